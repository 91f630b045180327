#include <QtTest>
#include <fstream>

#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/tests/StandIns.h"

class TesseraDocTest : public QObject {
  Q_OBJECT

  ScratchCurrentDir scratch_;  // the tables are written there

 private slots:
  void initTestCase() { QVERIFY(scratch_.IsValid()); }

  void LoadSortsRowsByMassAndKeepsPointsInFileOrder() {
    {
      std::ofstream out("table.temp", std::ios::binary);
      out << "not a number\r\n15.995,40,more\n-17.03,12\n";
    }
    CTesseraDoc doc;
    QVERIFY(doc.LoadHistogramData("table.temp"));
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
    {
      std::ofstream out("one.temp");
      out << "1.0,2\n";
    }
    QVERIFY(doc.LoadHistogramData("one.temp"));
    QVERIFY(!doc.LoadHistogramData("no-such.temp"));
    QCOMPARE(doc.ResultRows().size(), size_t{1});
  }
};

QTEST_GUILESS_MAIN(TesseraDocTest)
#include "TesseraDocTest.moc"
