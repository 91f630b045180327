#include <QtTest>

#include <QLineEdit>
#include <QPainter>
#include <QSignalSpy>

#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/core/tests/StandIns.h"
#include "desktop/shell/views/DocumentHistogram.h"
#include "desktop/shell/views/ParametersDlg.h"
#include "desktop/shell/views/PictureExport.h"
#include "desktop/shell/views/TesseraView.h"
#include "tests/support/Files.h"

namespace {

// A 600 x 400 client area puts the plot at x 50..550 and y 50..350, so with
// the default 0..200 Da range one dalton is 2.5 pixels.
const QSize kSize(600, 400);

void LoadTable(CTesseraDoc& doc, const std::string& lines) {
  testsupport::WriteFile("table.temp", lines);
  QVERIFY(doc.LoadHistogramData("table.temp"));
  doc.SetDataLoaded(true);
  doc.SetViewState(0);
}

bool IsBlue(QRgb c) { return qBlue(c) > 200 && qRed(c) < 80 && qGreen(c) < 80; }
bool IsRed(QRgb c) { return qRed(c) > 150 && qGreen(c) < 120 && qBlue(c) < 120; }
bool IsDark(QRgb c) { return qGray(c) < 100; }

int CountPixels(const QImage& image, const QRect& area, bool (*test)(QRgb)) {
  int n = 0;
  for (int y = area.top(); y <= area.bottom(); ++y)
    for (int x = area.left(); x <= area.right(); ++x)
      if (image.rect().contains(x, y) && test(image.pixel(x, y))) ++n;
  return n;
}

}  // namespace

class HistogramTest : public QObject {
  Q_OBJECT

  testsupport::CTempDir dir_{"HistogramTest"};
  testsupport::CCurrentDir inDir_{dir_.Path()};  // tables and pictures are written there

 private slots:

  void BarsFollowPeakWidthAndFilters_data() {
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("firstBlue");
    QTest::addColumn<int>("lastBlue");
    QTest::newRow("line") << 1 << 300 << 300;
    QTest::newRow("three") << 3 << 299 << 301;
    QTest::newRow("four starts one left") << 4 << 299 << 302;
  }
  void BarsFollowPeakWidthAndFilters() {
    QFETCH(int, width);
    QFETCH(int, firstBlue);
    QFETCH(int, lastBlue);
    CTesseraDoc doc;
    // 40 pairs at 100 Da (x 300, top of plot), 2 pairs at 160 Da (x 450),
    // 1 pair at 40 Da: not above the histogram filter.
    LoadTable(doc, "100.0,40\n160.0,2\n40.0,1\n");
    doc.Settings().peakWidth = width;
    CTesseraView view(&doc);
    const QImage image = view.RenderImage(kSize);

    for (int x = firstBlue - 1; x <= lastBlue + 1; ++x) {
      const bool inside = x >= firstBlue && x <= lastBlue;
      QCOMPARE(IsBlue(image.pixel(x, 300)), inside);
    }
    QVERIFY(IsBlue(image.pixel(300, 80)));
    QVERIFY(!IsBlue(image.pixel(300, 45)));
    // 2 pairs: a bar 15 pixels high but no label (not above the annotation
    // filter of 2); 40 pairs: a red label.
    QVERIFY(IsBlue(image.pixel(450, 340)));
    QVERIFY(!IsBlue(image.pixel(450, 330)));
    QCOMPARE(CountPixels(image, QRect(430, 310, 60, 50), IsRed), 0);
    QVERIFY(CountPixels(image, QRect(290, 32, 60, 18), IsRed) > 10);
    QCOMPARE(CountPixels(image, QRect(140, 50, 20, 299), IsBlue), 0);
  }

  // Labels of neighbouring bars would print over each other: the taller
  // bar keeps its label, the other goes without; a label clear of both
  // stays, one a taller bar would cross moves to its bar's left, one with
  // both sides taken moves a line up.
  void CrowdedLabelsGiveWay() {
    // Every bar labelled; 2.5 pixels per Da.
    const auto render = [](const std::string& table) {
      CTesseraDoc doc;
      LoadTable(doc, table);
      doc.Settings().annotationFilter = 0;
      return CTesseraView(&doc).RenderImage(kSize);
    };
    // 100 and 104 Da are 10 pixels apart, 160 Da is clear. The taller bar's
    // label starts at x 292; the neighbour's would start at 302 one pixel
    // lower and show red beyond the first label's end.
    const QImage image = render("100.0,40\n104.0,39\n160.0,39\n1.0,0\n");
    const QImage alone = render("100.0,40\n160.0,39\n1.0,0\n");
    const QRect around(280, 25, 100, 30);
    QCOMPARE(CountPixels(image, around, IsRed), CountPixels(alone, around, IsRed));
    QVERIFY(CountPixels(image, QRect(440, 25, 60, 30), IsRed) > 10);

    // 8 pairs at 80 Da (x 250): its label would reach past x 275, where
    // the 40-pair bar at 90 Da stands, so it ends at its own bar instead.
    const QImage moved = render("90.0,40\n80.0,8\n1.0,0\n");
    QVERIFY(CountPixels(moved, QRect(200, 250, 53, 80), IsRed) > 10);
    QCOMPARE(CountPixels(moved, QRect(253, 250, 22, 80), IsRed), 0);

    // Two equal bars 10 pixels apart (60 and 64 Da, x 200 and 210) under a
    // tall one elsewhere: the second label goes one line up.
    const QImage raised = render("150.0,40\n60.0,10\n64.0,10\n1.0,0\n");
    QVERIFY(CountPixels(raised, QRect(190, 260, 50, 15), IsRed) > 10);
    QVERIFY(CountPixels(raised, QRect(200, 244, 50, 15), IsRed) > 10);

    // A bar at the frame's left edge keeps its label inside the frame,
    // clear of the count axis.
    const QImage edge = render("1.0,40\n100.0,0\n");
    QCOMPARE(CountPixels(edge, QRect(0, 0, 50, 400), IsRed), 0);
    QVERIFY(CountPixels(edge, QRect(50, 25, 60, 30), IsRed) > 10);
  }

  void FiltersComeFromThe31stPointOnce() {
    CTesseraDoc doc;
    std::string table;
    for (int i = 0; i < 35; ++i) table += std::to_string(10 + 5 * i) + ".0," + std::to_string(100 - i) + "\n";
    LoadTable(doc, table);
    CTesseraView view(&doc);
    view.RenderImage(kSize);
    QCOMPARE(doc.Settings().histogramFilter, 70);
    QCOMPARE(doc.Settings().annotationFilter, 70);
    QVERIFY(doc.FiltersInitialised());
    doc.Settings().histogramFilter = 3;
    view.RenderImage(kSize);
    QCOMPARE(doc.Settings().histogramFilter, 3);
  }

  void TickStepsAndAxisTicks() {
    QCOMPARE(CHistogramPlot::TickStep(200.0), 100.0);
    QCOMPARE(CHistogramPlot::TickStep(199.0), 10.0);
    QCOMPARE(CHistogramPlot::TickStep(1.0), 0.1);
    QCOMPARE(CHistogramPlot::TickStep(0.00015), 0.0);
    QCOMPARE(CHistogramPlot::TickStep(1e9), 100000.0);

    CTesseraDoc doc;
    LoadTable(doc, "100.0,40\n");
    CTesseraView view(&doc);
    QImage image = view.RenderImage(kSize);
    // Ticks every 100 Da: 0.00 at x 50, 100.00 at 300, 200.00 at 550.
    for (int x : {50, 300, 550}) QVERIFY2(IsDark(image.pixel(x, 353)), qPrintable(QString::number(x)));
    QCOMPARE(CountPixels(image, QRect(60, 353, 230, 1), IsDark), 0);
    QVERIFY(CountPixels(image, QRect(290, 366, 40, 14), IsDark) > 10);  // "100.00"

    // A range narrower than twice the smallest step has no mass ticks.
    doc.Settings().massHigh = 0.0001;
    image = view.RenderImage(kSize);
    QCOMPARE(CountPixels(image, QRect(48, 352, 510, 4), IsDark), 0);
  }

  void ZoomRules_data() {
    QTest::addColumn<double>("massHigh");
    QTest::addColumn<QPoint>("start");
    QTest::addColumn<QPoint>("end");
    QTest::addColumn<bool>("zooms");
    QTest::newRow("too narrow") << 200.0 << QPoint(100, 100) << QPoint(115, 300) << false;
    QTest::newRow("too flat") << 200.0 << QPoint(100, 100) << QPoint(300, 110) << false;
    QTest::newRow("down-right") << 200.0 << QPoint(100, 110) << QPoint(300, 290) << true;
    QTest::newRow("up-left") << 200.0 << QPoint(300, 290) << QPoint(100, 110) << true;
    QTest::newRow("up-right") << 200.0 << QPoint(100, 290) << QPoint(300, 110) << true;
    // 20 Da over the plot: 100 pixels are 4 Da, 150 pixels 6 Da.
    QTest::newRow("under 5 Da") << 20.0 << QPoint(100, 100) << QPoint(200, 300) << false;
    QTest::newRow("over 5 Da") << 20.0 << QPoint(100, 100) << QPoint(250, 300) << true;
  }
  void ZoomRules() {
    QFETCH(double, massHigh);
    QFETCH(QPoint, start);
    QFETCH(QPoint, end);
    QFETCH(bool, zooms);
    CTesseraDoc doc;
    LoadTable(doc, "10.0,40\n");
    doc.Settings().massHigh = massHigh;
    CTesseraView view(&doc);
    view.resize(kSize);
    view.grab();
    QCOMPARE(view.ZoomTo(start, end), zooms);
    QCOMPARE(doc.ViewState(), zooms ? 1 : 0);
    if (!zooms) return;
    if (massHigh == 200.0) {
      // Same rectangle whichever way it was dragged.
      QCOMPARE(view.Plot().lowMass, 20.0);
      QCOMPARE(view.Plot().highMass, 100.0);
      QCOMPARE(view.Plot().highCount, 32);
      QCOMPARE(view.Plot().lowCount, 8);
    }
    view.grab();  // the zoom survives a repaint
    QVERIFY(view.Plot().highMass < massHigh);
    view.Refresh();
    view.grab();
    QCOMPARE(doc.ViewState(), 0);
    QCOMPARE(view.Plot().highMass, massHigh);
  }

  void MouseZoomsAndReadsOutAndPaintAsksForRefill() {
    CTesseraDoc doc;
    CTesseraView view(&doc);
    view.resize(kSize);
    QSignalSpy refills(&view, &CTesseraView::RefreshRequested);
    QSignalSpy status(&view, &CTesseraView::StatusMessage);
    view.grab();
    QCOMPARE(refills.count(), 0);  // nothing loaded: the list is not asked
    LoadTable(doc, "100.0,40\n");
    view.grab();
    QCOMPARE(refills.count(), 1);

    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QTest::mouseMove(&view, QPoint(view.Plot().XOf(100.0), 200));
    QCOMPARE(status.count(), 1);
    QVERIFY(status.takeFirst().at(0).toString().contains(QStringLiteral("Spectrum pairs: 40")));
    QTest::mousePress(&view, Qt::LeftButton, {}, QPoint(100, 110));
    QTest::mouseMove(&view, QPoint(300, 290));
    QTest::mouseRelease(&view, Qt::LeftButton, {}, QPoint(300, 290));
    QCOMPARE(doc.ViewState(), 1);
    QCOMPARE(view.Plot().highMass, 100.0);
  }

  // OK takes the values (a higher histogram filter lifts the annotation
  // filter with it, a lower one leaves it); Cancel leaves the settings as
  // they were.
  void ParametersTakeEffectOnOk() {
    CTesseraDoc doc;
    {
      CParametersDlg dialog(&doc);
      QCOMPARE(dialog.massHighEdit->text(), QStringLiteral("200.000"));
      QCOMPARE(dialog.toleranceEdit->text(), QStringLiteral("0.010"));
      dialog.massHighEdit->setText(QStringLiteral("150.5"));
      dialog.peakWidthEdit->setText(QStringLiteral("5"));
      QCOMPARE(doc.Settings().massHigh, 200.0);
      dialog.reject();
    }
    QCOMPARE(doc.Settings().massHigh, 200.0);
    QCOMPARE(doc.Settings().peakWidth, 3);

    CParametersDlg dialog(&doc);
    dialog.massHighEdit->setText(QStringLiteral("150.5"));
    dialog.toleranceEdit->setText(QStringLiteral("0.02"));
    dialog.peakWidthEdit->setText(QStringLiteral("5"));
    dialog.histogramFilterEdit->setText(QStringLiteral("7"));
    QCOMPARE(dialog.annotationFilterEdit->text(), QStringLiteral("7"));
    dialog.histogramFilterEdit->setText(QStringLiteral("3"));
    QCOMPARE(dialog.annotationFilterEdit->text(), QStringLiteral("7"));
    dialog.accept();
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QCOMPARE(doc.Settings().massHigh, 150.5);
    QCOMPARE(doc.Settings().unimodTolerance, 0.02);
    QCOMPARE(doc.Settings().peakWidth, 5);
    QCOMPARE(doc.Settings().histogramFilter, 3);
    QCOMPARE(doc.Settings().annotationFilter, 7);
  }

  void ParametersRefuseWhatCannotBeDrawn_data() {
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("said");
    QTest::newRow("reversed range") << "massLow" << "250" << "Mass range";
    QTest::newRow("negative width") << "peakWidth" << "-5" << "Peak width";
    QTest::newRow("zero width") << "peakWidth" << "0" << "Peak width";
    QTest::newRow("tolerance not a number") << "unimodTolerance" << "0.0.1" << "Tolerance";
    QTest::newRow("negative filter") << "histogramFilter" << "-1" << "Histogram filtering";
  }
  void ParametersRefuseWhatCannotBeDrawn() {
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, said);
    RecordedMessages messages;
    CTesseraDoc doc;
    CParametersDlg dialog(&doc);
    dialog.findChild<QLineEdit*>(field)->setText(value);
    dialog.accept();
    QVERIFY(dialog.result() != QDialog::Accepted);
    QCOMPARE(messages.texts.size(), 1);
    QVERIFY2(messages.texts[0].contains(said), qPrintable(messages.texts[0]));
    QCOMPARE(doc.Settings().massLow, 0.0);
    QCOMPARE(doc.Settings().peakWidth, 3);
    QCOMPARE(doc.Settings().histogramFilter, 1);
  }

  // Zoom Back steps back one zoom at a time, the last step to the data's
  // whole range; new data forgets the zooms.
  void ZoomBackStepsThroughTheZooms() {
    CTesseraDoc doc;
    LoadTable(doc, "10.0,40\n");
    CTesseraView view(&doc);
    view.resize(kSize);
    view.grab();
    QVERIFY(!view.ZoomBack());
    QVERIFY(view.ZoomTo(QPoint(100, 110), QPoint(300, 290)));
    QVERIFY(view.ZoomTo(QPoint(100, 110), QPoint(300, 290)));
    QCOMPARE(view.ZoomDepth(), 2);
    QCOMPARE(view.Plot().lowMass, 28.0);
    QVERIFY(view.ZoomBack());
    QCOMPARE(view.Plot().lowMass, 20.0);
    QCOMPARE(view.Plot().highMass, 100.0);
    QCOMPARE(doc.ViewState(), 1);
    QVERIFY(view.ZoomBack());
    view.grab();
    QCOMPARE(doc.ViewState(), 0);
    QCOMPARE(view.Plot().highMass, 200.0);
    QVERIFY(view.ZoomTo(QPoint(100, 110), QPoint(300, 290)));
    doc.UpdateAllViews();
    QCOMPARE(view.ZoomDepth(), 0);
  }

  // A bar under the floor of a zoom, or standing on it, has no height and
  // no label (it would sit on or under the mass axis).
  void ZoomedFloorHidesLowerLabels() {
    CTesseraDoc doc;
    LoadTable(doc, "100.0,40\n150.0,10\n60.0,20\n1.0,0\n");
    doc.Settings().annotationFilter = 0;
    CTesseraView view(&doc);
    view.resize(kSize);
    view.grab();
    // From 4 to 196 Da and from 20 to 40 pairs.
    QVERIFY(view.ZoomTo(QPoint(60, 60), QPoint(540, 200)));
    QCOMPARE(view.Plot().lowCount, 20);
    const QImage image = view.RenderImage(kSize);
    for (double mass : {150.0, 60.0}) {
      const int x = view.Plot().XOf(mass);
      QCOMPARE(CountPixels(image, QRect(x - 20, 300, 80, 100), IsRed), 0);
    }
    QVERIFY(CountPixels(image, QRect(view.Plot().XOf(100.0) - 10, 25, 70, 30), IsRed) > 10);
  }

  // However small the pane, no two labels of an axis overlap: those
  // without room are left out, the ticks stay.
  void AxisLabelsNeverOverlap_data() {
    QTest::addColumn<QSize>("size");
    QTest::addColumn<bool>("allLabelled");
    QTest::newRow("roomy") << QSize(600, 400) << true;
    QTest::newRow("flat") << QSize(600, 140) << false;
    QTest::newRow("narrow") << QSize(150, 400) << false;
  }
  void AxisLabelsNeverOverlap() {
    QFETCH(QSize, size);
    QFETCH(bool, allLabelled);
    CTesseraDoc doc;
    LoadTable(doc, "100.0,95\n");  // a tick every 10 pairs
    CHistogramPlot plot;
    QImage image(size, QImage::Format_RGB32);
    QPainter painter(&image);
    PaintDocumentHistogram(plot, painter, image.rect(), doc);
    const std::vector<CAxisTick> ticks = plot.Ticks();
    QVERIFY(!ticks.empty());
    bool every = true;
    for (std::size_t i = 0; i < ticks.size(); ++i) {
      every = every && ticks[i].labelled;
      for (std::size_t j = i + 1; j < ticks.size(); ++j) {
        if (ticks[i].labelled && ticks[j].labelled && ticks[i].upwards == ticks[j].upwards)
          QVERIFY2(!ticks[i].box.intersects(ticks[j].box), qPrintable(ticks[i].label + " / " + ticks[j].label));
      }
    }
    QCOMPARE(every, allLabelled);
    QVERIFY(ticks.front().labelled);
  }

  void ReadoutShowsTheNearestDrawnBar() {
    CTesseraDoc doc;
    LoadTable(doc, "15.9949,40\n57.0215,20\n0.9840,1\n");
    CTesseraView view(&doc);
    view.resize(kSize);
    view.grab();
    const int at57 = view.Plot().XOf(57.0215);
    QCOMPARE(view.ReadoutAt(at57), QStringLiteral("Mass: 57.021500 Da    Spectrum pairs: 20"));
    // Within half of the 3-pixel bar, and just beyond it.
    QVERIFY(view.ReadoutAt(view.Plot().XOf(15.9949) + 1).startsWith(QStringLiteral("Mass: 15.994900 Da")));
    QVERIFY(view.ReadoutAt(at57 + 3).isEmpty());
    // The 1-pair point is filtered out, so no bar is there to read.
    QVERIFY(view.ReadoutAt(view.Plot().XOf(0.984)).isEmpty());
    doc.SetDataLoaded(false);
    QVERIFY(view.ReadoutAt(at57).isEmpty());
  }

  void PicturesInEveryFormat_data() {
    QTest::addColumn<int>("format");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QString>("written");
    QTest::newRow("bmp") << int(desktop::kBmp) << "pic-a" << "pic-a.bmp";
    QTest::newRow("jpg") << int(desktop::kJpeg) << "pic-b" << "pic-b.jpg";
    QTest::newRow("png") << int(desktop::kPng) << "pic-c.png" << "pic-c.png";
    QTest::newRow("PNG upper case") << int(desktop::kPng) << "pic-d.PNG" << "pic-d.PNG";
    QTest::newRow("tiff") << int(desktop::kTiff) << "pic-e" << "pic-e.tiff";
    QTest::newRow("png named .bmp") << int(desktop::kPng) << "pic-f.bmp" << "pic-f.bmp.png";
  }
  void PicturesInEveryFormat() {
    QFETCH(int, format);
    QFETCH(QString, chosen);
    QFETCH(QString, written);
    CTesseraDoc doc;
    LoadTable(doc, "100.0,40\n");
    CTesseraView view(&doc);
    const QString path = desktop::PicturePath(chosen, format);
    QCOMPARE(path, written);
    QFile::remove(path);
    QVERIFY(desktop::SavePicture(view.RenderImage(kSize), path, format));
    QImage back(path);
    QCOMPARE(back.size(), kSize);
    QVERIFY(IsBlue(back.pixel(300, 200)));
  }

  void FailedPictureLeavesNoFile() {
    QVERIFY(!desktop::SavePicture(QImage(kSize, QImage::Format_RGB32), "no-such-dir/pic.png", desktop::kPng));
    QVERIFY(!QFile::exists("no-such-dir/pic.png"));
    QVERIFY(!desktop::SavePicture(QImage(), "empty.png", desktop::kPng));
    QVERIFY(!QFile::exists("empty.png"));
  }
};

QTEST_MAIN(HistogramTest)
#include "HistogramTest.moc"
