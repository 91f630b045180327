#include <QtTest>

#include "desktop/shell/core/TesseraDoc.h"
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
};

QTEST_GUILESS_MAIN(TesseraDocTest)
#include "TesseraDocTest.moc"
