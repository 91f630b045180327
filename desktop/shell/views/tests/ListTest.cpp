#include <QSignalSpy>
#include <QtTest>

#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/views/ModInfoDlg.h"
#include "desktop/shell/views/MyListView.h"
#include "resultfiles/unimod/UnimodTable.h"
#include "resultfiles/unimod/UnimodConvert.h"
#include "tests/support/Files.h"
#include "UnimodFixtures.h"
#include "desktop/shell/core/tests/StandIns.h"

namespace {

QStringList Names(const std::vector<UnimodEntry>& hits) {
  QStringList names;
  for (const UnimodEntry& hit : hits) names << QString::fromStdString(hit.interimName);
  return names;
}

QStringList Column(const QTableWidget& table, int column) {
  QStringList texts;
  for (int r = 0; r < table.rowCount(); ++r) texts << table.item(r, column)->text();
  return texts;
}

}  // namespace

class ListTest : public QObject {
  Q_OBJECT

  testsupport::CTempDir dir_{"ListTest"};
  testsupport::CCurrentDir inDir_{dir_.Path()};  // files are written there

 private slots:
  void initTestCase() { testsupport::WriteFile("unimod.xml", kUnimod); }

  void LookupByMass_data() {
    QTest::addColumn<double>("delta");
    QTest::addColumn<double>("tolerance");
    QTest::addColumn<QStringList>("names");
    const QStringList oxygen = {"Oxidation", "Ala->Ser"};
    QTest::newRow("+15.995") << 15.995 << 0.01 << oxygen;
    QTest::newRow("-15.995") << -15.995 << 0.01 << oxygen;
    QTest::newRow("positive hits first") << 0.984016 << 0.001 << QStringList{"Deamidated", "Amidated"};
    QTest::newRow("negative delta") << -0.984016 << 0.001 << QStringList{"Amidated", "Deamidated"};
    QTest::newRow("tolerance 0 exact") << 15.994915 << 0.0 << oxygen;
    QTest::newRow("tolerance 0 near") << 15.9949 << 0.0 << QStringList{};
    QTest::newRow("both range ends") << 15.5 << 1.5 << QStringList{"End14", "Methyl", "Oxidation", "Ala->Ser", "End17"};
    QTest::newRow("just inside") << 15.5 << 1.499 << QStringList{"Methyl", "Oxidation", "Ala->Ser"};
    QTest::newRow("nothing") << 100.0 << 0.5 << QStringList{};
  }
  void LookupByMass() {
    QFETCH(double, delta);
    QFETCH(double, tolerance);
    QFETCH(QStringList, names);
    CUnimodTable table("unimod.xml");
    QCOMPARE(table.Size(), size_t{8});
    std::vector<UnimodEntry> hits;
    table.Lookup(delta, tolerance, hits);
    QCOMPARE(Names(hits), names);
  }

  void EntriesAreReadByPosition() {
    CUnimodTable table("unimod.xml");
    const UnimodEntry& oxidation = table.Entries()[0];
    QCOMPARE(oxidation.key, std::string("35"));
    QCOMPARE(oxidation.psiMsName, std::string("Oxidation"));
    QCOMPARE(oxidation.composition, std::string("O"));
    QCOMPARE(oxidation.description, std::string("Oxidation or Hydroxylation"));
    QCOMPARE(oxidation.averageMass, 15.9994);
    QCOMPARE(oxidation.sites, std::vector<std::string>{"M"});
    QCOMPARE(oxidation.specificityCount, 1);
    QCOMPARE(table.Entries()[5].description, std::string("Ala->Ser substitution"));
    QVERIFY(table.Entries()[2].psiMsName.empty());
  }

  void BadUnimodFileGivesEmptyTableAndOneWarning_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("content");
    QTest::newRow("missing") << "absent.xml" << QString();
    QTest::newRow("unparsable") << "broken.xml" << "<u><list count=\"1\"><m><k>1</k></u>";
    QTest::newRow("no list") << "bare.xml" << "<u/>";
  }
  void BadUnimodFileGivesEmptyTableAndOneWarning() {
    QFETCH(QString, path);
    QFETCH(QString, content);
    if (!content.isEmpty()) testsupport::WriteFile(path.toStdString(), content.toStdString());
    CTesseraDoc doc;
    CMyListView list(&doc, path);
    QSignalSpy spy(&list, &CMyListView::StatusMessage);
    QCOMPARE(list.Unimod().Size(), size_t{0});
    QVERIFY(list.UnimodWarning().contains(path));
    QCoreApplication::processEvents();
    list.Refill();
    list.Refill();
    QCoreApplication::processEvents();
    QCOMPARE(spy.count(), 1);
    std::vector<UnimodEntry> hits;
    list.Unimod().Lookup(15.995, 1.0, hits);
    QVERIFY(hits.empty());
  }

  void RowsFormatsSortingAndDetails() {
    testsupport::WriteFile("table.temp",
                           "15.9949,40,12.5,33.12,0,1000.1,1016.0949\n"
                           "57.0215,9,-3.25,7.04,1,800.4,857.4215\n"
                           "0.9840,25,1,2,2,500,500.984\n");
    CTesseraDoc doc;
    QVERIFY(doc.LoadHistogramData("table.temp"));
    CMyListView list(&doc, "unimod.xml");
    list.Refill();
    QCOMPARE(list.columnCount(), 8);
    QCOMPARE(list.horizontalHeaderItem(7)->text(), QStringLiteral("Unimod"));
    QCOMPARE(list.rowCount(), 3);
    // Rows come sorted by mass.
    QStringList first;
    for (int c = 0; c < 8; ++c) first << list.item(0, c)->text();
    QCOMPARE(first, (QStringList{"0.9840", "25", "     1.000", "    2.0", "   2", "  500.00000", "  500.98400",
                                 "Deamidated/Amidated/"}));
    // A single modification (type 0) has no parts to name.
    QCOMPARE(list.item(1, 5)->text(), QString());
    QCOMPARE(list.item(1, 7)->text(), QStringLiteral("Oxidation/Ala->Ser/"));
    QCOMPARE(list.item(2, 2)->text(), QStringLiteral("    -3.250"));

    list.SortByColumn(1);
    QCOMPARE(Column(list, 1), (QStringList{"9", "25", "40"}));
    list.SortByColumn(1);
    QCOMPARE(Column(list, 1), (QStringList{"40", "25", "9"}));
    // Names read as 0: nothing moves.
    list.SortByColumn(7);
    QCOMPARE(Column(list, 1), (QStringList{"40", "25", "9"}));
    QCOMPARE(list.item(0, 7)->text(), QStringLiteral("Oxidation/Ala->Ser/"));

    std::unique_ptr<CModInfoDlg> details = list.ModInfoForRow(0);
    QVERIFY(details);
    QCOMPARE(details->windowTitle(), QStringLiteral("Mod information by Unimod"));
    QTableWidget* table = details->Table();
    QCOMPARE(table->columnCount(), 6);
    QCOMPARE(table->horizontalHeaderItem(2)->text(), QStringLiteral("Difference (Da)"));
    QCOMPARE(table->horizontalHeaderItem(5)->text(), QStringLiteral("Description"));
    QCOMPARE(table->rowCount(), 2);
    QCOMPARE(table->item(1, 0)->text(), QStringLiteral("2"));
    QCOMPARE(table->item(0, 1)->text(), QStringLiteral("15.994915"));
    QCOMPARE(table->item(0, 2)->text(), QStringLiteral("-0.000015"));
    QCOMPARE(table->item(1, 4)->text(), QStringLiteral("Ala->Ser"));
    // 57.0215 matches nothing in this table: no dialog.
    QVERIFY(!list.ModInfoForRow(2));
  }

  // The list shows the document's table, whatever it holds: an empty table
  // leaves no rows of the one before.
  void ListFollowsTheDocument() {
    testsupport::WriteFile("three.temp", "15.9949,40\n57.0215,9\n0.9840,25\n");
    testsupport::WriteFile("none.temp", "");
    CTesseraDoc doc;
    CMyListView list(&doc, "unimod.xml");
    QVERIFY(doc.LoadHistogramData("three.temp"));
    doc.SetDataLoaded(true);
    doc.UpdateAllViews();
    QTRY_COMPARE(list.rowCount(), 3);
    QVERIFY(doc.LoadHistogramData("none.temp"));
    doc.UpdateAllViews();
    QTRY_COMPARE(list.rowCount(), 0);
  }

  // Columns a row does not fill stay empty: the pair search gives only mass
  // and pairs; a single modification of Shiftscan has no parts. Unimod's
  // placeholders match nothing, and the details measure the difference
  // from the table's mass, not the rounded one shown.
  void UnusedColumnsPlaceholdersAndDifferences() {
    testsupport::WriteFile("mixed.temp",
                           "18.500000,1, 0, 0, 0, 0, 0\n"
                           "   15.99504,146,     3.014, 2699.1,   0,    0.00000,    0.00000\n"
                           "   31.98960,9,     1.000,  100.0,   1,   15.99504,   15.99456\n"
                           "1.00784,5\n");
    CTesseraDoc doc;
    QVERIFY(doc.LoadHistogramData("mixed.temp"));
    CMyListView list(&doc, "unimod.xml");
    list.Refill();
    const auto row = [&list](int r) {
      QStringList cells;
      for (int c = 0; c < list.columnCount(); ++c) cells << list.item(r, c)->text();
      return cells;
    };
    QCOMPARE(row(0), (QStringList{"1.0078", "5", "", "", "", "", "", ""}));
    QCOMPARE(row(1), (QStringList{"15.9950", "146", "     3.014", " 2699.1", "   0", "", "", "Oxidation/Ala->Ser/"}));
    QCOMPARE(row(2), (QStringList{"18.5000", "1", "", "", "", "", "", ""}));
    QCOMPARE(row(3), (QStringList{"31.9896", "9", "     1.000", "  100.0", "   1", "   15.99504", "   15.99456", ""}));
    QVERIFY(!list.ModInfoForRow(0));
    QCOMPARE(list.MassOfRow(1), 15.99504);
    std::unique_ptr<CModInfoDlg> details = list.ModInfoForRow(1);
    QVERIFY(details);
    QCOMPARE(details->Table()->item(0, 2)->text(), QStringLiteral("0.000125"));
  }

  // "Export as TSV..." writes the list as shown: titles, then one line per
  // row, cells without their padding.
  void ExportWritesTheListAsShown() {
    testsupport::WriteFile("export.temp",
                           "18.500000,1, 0, 0, 0, 0, 0\n   15.99504,146,     3.014, 2699.1,   0,    0.00000,    0.00000\n");
    CTesseraDoc doc;
    QVERIFY(doc.LoadHistogramData("export.temp"));
    CMyListView list(&doc, "unimod.xml");
    list.Refill();
    list.SortByColumn(1);
    ScriptedChooser chooser;
    chooser.save = QDir::current().filePath(QStringLiteral("list.tsv"));
    list.ExportAsTsv();
    QCOMPARE(chooser.asked.back().defaultSuffix, QStringLiteral("tsv"));
    QCOMPARE(testsupport::ReadFile("list.tsv"),
             std::string("Delta mass (Da)\tPairs\tDelta time (s)\tD-score\tType\tMass1 (Da)\tMass2 (Da)\tUnimod\n"
                         "18.5000\t1\t\t\t\t\t\t\n"
                         "15.9950\t146\t3.014\t2699.1\t0\t\t\tOxidation/Ala->Ser/\n"));
  }

  void GeneratorWritesTheLayoutTheListReads() {
    const std::string official = kOfficialUnimod;
    std::string mono;
    const unimod::ConvertResult result = unimod::ConvertText(official, mono);
    QVERIFY2(result.ok, result.error.c_str());
    QCOMPARE(result.written, 3);
    QCOMPARE(result.skipped, 1);
    QCOMPARE(result.newest, std::string("2019-10-17 16:01:58"));
    QVERIFY(mono.find("Design Science License") != std::string::npos);

    CUnimodTable table;
    QVERIFY2(table.Parse(mono), table.Error().c_str());
    const auto& entries = table.Entries();
    QCOMPARE(entries.size(), size_t{3});
    QCOMPARE(entries[0].interimName, std::string("Dehydrated"));
    QCOMPARE(entries[1].key, std::string("34"));
    QCOMPARE(entries[1].description, std::string("Methylation"));
    QCOMPARE(entries[1].composition, std::string("H(2) C"));
    QCOMPARE(entries[1].specificityCount, 2);
    QCOMPARE(entries[1].sites, (std::vector<std::string>{"K", "R"}));
    QCOMPARE(entries[1].classifications[1], std::string("Post-translational"));
    QCOMPARE(entries[2].interimName, std::string("Ala->Ser"));
    QCOMPARE(entries[2].monoMass, 15.994915);

    std::string unused;
    QVERIFY(!unimod::ConvertText("<other/>", unused).ok);
    QVERIFY(!unimod::ConvertText("<umod:unimod><umod:mod", unused).ok);
  }
};

QTEST_MAIN(ListTest)
#include "ListTest.moc"
