// The document and the pieces of the desktop that every part shares: the
// mass-shift table check, numbers as typed, the program's memory, and the
// tab-separated export of tables.

#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSettings>
#include <QTableWidget>
#include <QtTest>

#include "desktop/shell/core/Numbers.h"
#include "desktop/shell/core/TableExport.h"
#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/tests/StandIns.h"
#include "tests/support/Files.h"

class TesseraDocTest : public QObject {
  Q_OBJECT

  testsupport::CTempDir dir_{"TesseraDocTest"};  // the tables are written there

 private slots:
  void LoadSortsRowsByMassAndKeepsPointsInFileOrder() {
    const std::string table = dir_.Write("table.temp", "not a number\r\n15.995,40,more\n-17.03,12\n");
    CTesseraDoc doc;
    QVERIFY(doc.LoadHistogramData(table));
    const auto& points = doc.HistogramPoints();
    QCOMPARE(points.size(), size_t{3});
    // A first line that does not parse stands for (0, 0.0).
    QCOMPARE(points[0].count, 0);
    QCOMPARE(points[0].mass, 0.0);
    QCOMPARE(points[1].count, 40);
    const auto& rows = doc.ResultRows();
    QCOMPARE(rows[0].text, std::string("-17.03,12\n"));
    QCOMPARE(rows[1].text, std::string("not a number\n"));
    QCOMPARE(rows[2].text, std::string("15.995,40,more\n"));
  }

  void MissingFileChangesNothing() {
    CTesseraDoc doc;
    QVERIFY(doc.LoadHistogramData(dir_.Write("one.temp", "1.0,2\n")));
    QVERIFY(!doc.LoadHistogramData(dir_.File("no-such.temp")));
    QCOMPARE(doc.ResultRows().size(), size_t{1});
  }

  void RecognisesMassShiftTables_data() {
    QTest::addColumn<QString>("content");
    QTest::addColumn<QString>("refusedLine");
    QTest::newRow("pair search") << "16.000000,1, 0, 0, 0, 0, 0\n28.000000,1, 0, 0, 0, 0, 0\n" << "";
    QTest::newRow("Shiftscan, CRLF") << "   15.99504,146,     3.014, 2699.1,   0,    0.00000,    0.00000\r\n" << "";
    QTest::newRow("mass and pairs") << "15.9949,40\n\n-17.03,12\n" << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("cluster file") << "1,BSA1.100.100.2.dta,722.33\n" << "line 1 ";
    QTest::newRow("pair file") << "15.9949,40\nBSA1.9.9.2.dta,1000.5,BSA1.8.8.2.dta,984.5,16.0,0,1\n" << "line 2 ";
    QTest::newRow("fractional pairs") << "15.9949,4.5\n" << "line 1 ";
    QTest::newRow("negative pairs") << "15.9949,-4\n" << "line 1 ";
    QTest::newRow("eight fields") << "1,2,3,4,5,6,7,8\n" << "line 1 ";
    QTest::newRow("row numbers") << "1\n2\n" << "line 1 ";
  }
  void RecognisesMassShiftTables() {
    QFETCH(QString, content);
    QFETCH(QString, refusedLine);
    const std::string path = dir_.Write("table.csv", content.toStdString());
    std::string why;
    QCOMPARE(IsMassShiftTable(path, why), refusedLine.isEmpty());
    QVERIFY2(QString::fromStdString(why).contains(refusedLine), why.c_str());
  }

  void NumbersAsTyped_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("decimal");
    QTest::addColumn<double>("value");
    QTest::newRow("point") << "15.994915" << true << 15.994915;
    QTest::newRow("negative") << " -15.99 " << true << -15.99;
    QTest::newRow("exponent") << "1e3" << true << 1000.0;
    QTest::newRow("comma") << "15,994915" << false << 0.0;
    QTest::newRow("trailing letters") << "15.99abc" << false << 0.0;
    QTest::newRow("letters") << "abc" << false << 0.0;
    QTest::newRow("empty") << "" << false << 0.0;
    QTest::newRow("hexadecimal") << "0x10" << false << 0.0;
    QTest::newRow("two points") << "1.2.3" << false << 0.0;
  }
  void NumbersAsTyped() {
    QFETCH(QString, text);
    QFETCH(bool, decimal);
    QFETCH(double, value);
    double read = 0.0;
    QCOMPARE(desktop::ReadDecimal(text, read), decimal);
    if (decimal) QCOMPARE(read, value);
    int whole = 0;
    QVERIFY(desktop::ReadWhole(QStringLiteral("42"), whole) && whole == 42);
    QVERIFY(!desktop::ReadWhole(QStringLiteral("4.2"), whole));
  }

  // Typed or pasted, a comma becomes the point; letters never get in.
  void DecimalFieldTakesOnlyNumbers() {
    QLineEdit field;
    field.setValidator(new desktop::CDecimalValidator(&field));
    QTest::keyClicks(&field, QStringLiteral("-15,9a9x"));
    QCOMPARE(field.text(), QStringLiteral("-15.99"));
    field.clear();
    field.insert(QStringLiteral("15,994915"));
    QCOMPARE(field.text(), QStringLiteral("15.994915"));
    field.insert(QStringLiteral("abc"));
    QCOMPARE(field.text(), QStringLiteral("15.994915"));
  }

  // Named fields come back as they were left; a chooser starts where the
  // last one of its kind ended; nothing is kept while the memory is off.
  void MemoryKeepsFieldsAndFolders() {
    const auto fill = [](QWidget& form, const QString& text, bool checked, int index) {
      auto* edit = new QLineEdit(&form);
      edit->setObjectName(QStringLiteral("edit"));
      edit->setText(text);
      auto* box = new QCheckBox(&form);
      box->setObjectName(QStringLiteral("box"));
      box->setChecked(checked);
      auto* list = new QComboBox(&form);
      list->setObjectName(QStringLiteral("list"));
      list->addItems({QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")});
      list->setCurrentIndex(index);
    };
    QWidget unsaved;
    fill(unsaved, QStringLiteral("lost"), true, 1);
    desktop::RememberFields(&unsaved, QStringLiteral("Form"));
    {
      ScratchSettings settings;
      QWidget form;
      fill(form, QStringLiteral("kept"), true, 2);
      desktop::RememberFields(&form, QStringLiteral("Form"), {QStringLiteral("box")});
      QWidget again;
      fill(again, QString(), false, 0);
      desktop::RecallFields(&again, QStringLiteral("Form"));
      QCOMPARE(again.findChild<QLineEdit*>(QStringLiteral("edit"))->text(), QStringLiteral("kept"));
      QVERIFY(!again.findChild<QCheckBox*>(QStringLiteral("box"))->isChecked());
      QCOMPARE(again.findChild<QComboBox*>(QStringLiteral("list"))->currentIndex(), 2);

      ScriptedChooser chooser;
      chooser.open = QString::fromStdString(dir_.Write("chosen.csv", ""));
      desktop::FileChoice choice;
      choice.memoryKey = QStringLiteral("tables");
      desktop::ChooseFile(nullptr, choice);
      choice.proposed = QStringLiteral("next.csv");
      desktop::ChooseFile(nullptr, choice);
      QCOMPARE(chooser.asked.back().proposed, QString::fromStdString(dir_.File("next.csv")));
      QCOMPARE(desktop::StartingPlace(QStringLiteral("/elsewhere/x.csv"), QString::fromStdString(dir_.Path().string())),
               QStringLiteral("/elsewhere/x.csv"));
      QVERIFY(QFile::exists(settings.File()));

      // The recent files an older version kept under the wizard's
      // placeholder organisation come along once.
      QSettings(QStringLiteral("应用程序向导生成的本地应用程序"), QStringLiteral("Tessera"))
          .setValue(QStringLiteral("Recent File List/File1"), QStringLiteral("/data/old.csv"));
      desktop::MoveOldRecentFiles();
      QCOMPARE(desktop::Recall(QStringLiteral("Recent File List/File1")).toString(), QStringLiteral("/data/old.csv"));
    }
    QWidget off;
    fill(off, QString(), false, 0);
    desktop::RecallFields(&off, QStringLiteral("Form"));
    QVERIFY(off.findChild<QLineEdit*>(QStringLiteral("edit"))->text().isEmpty());
  }

  // Columns in the order shown; tabs and line breaks inside a cell become
  // blanks; a file that cannot be written is said so and leaves no file.
  void TablesExportAsTabSeparatedText() {
    QTableWidget table(2, 3);
    table.setHorizontalHeaderLabels({QStringLiteral("A"), QStringLiteral("B (Da)"), QStringLiteral("C")});
    const char* cells[2][3] = {{" 1.5", "x\ty", "first"}, {"2", "", "two\nlines"}};
    for (int r = 0; r < 2; ++r)
      for (int c = 0; c < 3; ++c) table.setItem(r, c, new QTableWidgetItem(QString::fromLatin1(cells[r][c])));
    table.horizontalHeader()->moveSection(2, 0);
    QCOMPARE(desktop::TableAsTsv(table), QStringLiteral("C\tA\tB (Da)\nfirst\t1.5\tx y\ntwo lines\t2\t\n"));
    QString error;
    QVERIFY(desktop::WriteTableAsTsv(table, QString::fromStdString(dir_.File("t.tsv")), error));
    QCOMPARE(testsupport::ReadFile(dir_.File("t.tsv")), std::string("C\tA\tB (Da)\nfirst\t1.5\tx y\ntwo lines\t2\t\n"));
    const QString unwritable = QString::fromStdString(dir_.File("no/such/t.tsv"));
    QVERIFY(!desktop::WriteTableAsTsv(table, unwritable, error));
    QCOMPARE(error, QStringLiteral("Can not save file: ") + unwritable);
    QVERIFY(!QFile::exists(unwritable));
  }
};

QTEST_MAIN(TesseraDocTest)
#include "TesseraDocTest.moc"
