#include <QAbstractItemModel>
#include <QLabel>
#include <QTableView>
#include <QtTest>

#include "desktop/shell/core/TableExport.h"
#include "desktop/shell/propagation_ui/PropagatedTable.h"
#include "tests/support/Files.h"
#include "resultfiles/unimod/UnimodTable.h"

namespace {

const std::string kUnimod = TESSERA_SOURCE_DIR "/data/Unimod_xml/Unimod_mono.xml";

CTransferRow Row(const char* spectrum, const char* route, bool has_shift, double shift, bool scored,
                 double score, double q) {
  CTransferRow row;
  row.spectrum = spectrum;
  row.sequence = "ECCDKPLLEK";
  row.modifications = has_shift ? "1,1 2,1 2,31.971863,-1" : "1,1 2,1";
  row.route = route;
  row.source = "966.3-846.3-796.3.DTA";
  row.has_shift = has_shift;
  row.shift = shift;
  row.scored = scored;
  row.score = score;
  row.q_value = q;
  if (!scored) row.not_scored = "spectrum file not found";
  return row;
}

// The column of a title in the view's header.
QStringList Column(const QTableView& view, int column) {
  QStringList cells;
  for (int r = 0; r < view.model()->rowCount(); ++r) cells << view.model()->index(r, column).data().toString();
  return cells;
}

}  // namespace

class PropagatedTableTest : public QObject {
  Q_OBJECT

  testsupport::CTempDir dir_{"PropagatedTableTest"};

 private slots:
  void ShiftsAreNamedFromUnimod_data() {
    QTest::addColumn<double>("shift");
    QTest::addColumn<QString>("first");
    QTest::newRow("persulfide") << 31.971863 << "Sulfide";
    QTest::newRow("water loss") << -18.011352 << "Dehydrated";
    QTest::newRow("carbamidomethyl") << 57.021464 << "Carbamidomethyl";
    QTest::newRow("nothing near") << 0.5 << "";
  }

  void ShiftsAreNamedFromUnimod() {
    QFETCH(double, shift);
    QFETCH(QString, first);
    const CUnimodTable unimod(kUnimod);
    QVERIFY2(unimod.Size() > 1000, unimod.Error().c_str());
    const QString names = UnimodNames(unimod, shift);
    QCOMPARE(names.section(QStringLiteral("; "), 0, 0), first);
    // Only masses of this shift's sign: a loss is never named as a gain.
    if (shift < 0) QVERIFY2(!names.contains(QStringLiteral("Water")), qPrintable(names));
  }

  // Sorted by q-value first, rows without a score last whichever way a
  // numeric column is sorted by; the table saves as shown.
  void TableSortsAndSavesAsShown() {
    std::vector<CTransferRow> rows = {Row("B.2.2.3.DTA", "pairs", true, 31.971863, true, 4.5, 0.02),
                                      Row("A.1.1.3.DTA", "cluster", false, 0.0, true, 9.25, 0.0),
                                      Row("C.3.3.3.DTA", "pairs", true, 31.971863, false, 0.0, 1.0),
                                      Row("D.4.4.3.DTA", "pairs", true, -18.011352, true, 1.5, 0.3)};
    CPropagatedTableDlg dialog(rows, QStringLiteral("Transfer confidence: ..."));
    QTableView& view = *dialog.View();
    QCOMPARE(view.model()->rowCount(), 4);
    QCOMPARE(Column(view, CPropagatedTableModel::kSpectrum),
             (QStringList{"A.1.1.3.DTA", "B.2.2.3.DTA", "D.4.4.3.DTA", "C.3.3.3.DTA"}));
    QCOMPARE(Column(view, CPropagatedTableModel::kQValue), (QStringList{"0.0000", "0.0200", "0.3000", "NA"}));
    QCOMPARE(Column(view, CPropagatedTableModel::kShift), (QStringList{"", "31.9719", "-18.0114", "31.9719"}));
    QVERIFY(Column(view, CPropagatedTableModel::kUnimod)[1].startsWith(QStringLiteral("Sulfide")));
    view.sortByColumn(CPropagatedTableModel::kScore, Qt::DescendingOrder);
    QCOMPARE(Column(view, CPropagatedTableModel::kScore), (QStringList{"9.25", "4.50", "1.50", "NA"}));
    QCOMPARE(view.model()->index(3, CPropagatedTableModel::kScore).data(Qt::ToolTipRole).toString(),
             QStringLiteral("No score: spectrum file not found"));
    view.sortByColumn(CPropagatedTableModel::kSpectrum, Qt::AscendingOrder);
    QCOMPARE(Column(view, CPropagatedTableModel::kSpectrum).first(), QStringLiteral("A.1.1.3.DTA"));

    const QString path = QString::fromStdString(dir_.File("shown.tsv"));
    QString error;
    QVERIFY2(desktop::WriteTableAsTsv(view, path, error), qPrintable(error));
    const QStringList lines =
        QString::fromStdString(testsupport::ReadFile(path.toStdString())).split('\n', Qt::SkipEmptyParts);
    QCOMPARE(lines.size(), 5);
    QCOMPARE(lines[0], QStringLiteral("spectrum\tsequence\tmodifications\troute\tsource\tshift\tunimod\tscore\tq_value"));
    QVERIFY2(lines[1].startsWith(QStringLiteral("A.1.1.3.DTA\tECCDKPLLEK\t1,1 2,1\tcluster\t")), qPrintable(lines[1]));
    QVERIFY(lines[3].endsWith(QStringLiteral("\tNA\tNA")));
    QCOMPARE(dialog.findChild<QLabel*>(QStringLiteral("summaryLabel"))->text(),
             QStringLiteral("Transfer confidence: ..."));
  }

  // Long texts are narrowed so that the scores at the right end stay in
  // sight; the texts stay whole in their tooltips.
  void ScoresStayInSight() {
    CTransferRow row = Row("BSA1.670.670.2.dta", "pairs", true, 15.994915, true, 3.5, 0.01);
    row.source = std::string(120, 'S') + ".dta";
    row.modifications = "1,1 2,1" + std::string(60, ' ') + "5,15.994915,-1";
    CPropagatedTableDlg dialog({row}, QStringLiteral("summary"));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QTableView& view = *dialog.View();
    const int q = CPropagatedTableModel::kQValue;
    QVERIFY2(view.columnViewportPosition(q) + view.columnWidth(q) <= view.viewport()->width(),
             qPrintable(QStringLiteral("%1 + %2 > %3")
                            .arg(view.columnViewportPosition(q))
                            .arg(view.columnWidth(q))
                            .arg(view.viewport()->width())));
    QCOMPARE(view.model()->index(0, CPropagatedTableModel::kSource).data(Qt::ToolTipRole).toString(),
             QString::fromStdString(row.source));
  }
};

QTEST_MAIN(PropagatedTableTest)
#include "PropagatedTableTest.moc"
