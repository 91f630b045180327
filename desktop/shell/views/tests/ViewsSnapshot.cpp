// views-snapshot: the two panes as the main window stacks them, drawn from a
// mass-shift table into a PNG. For looking at real data without the window.
#include <QApplication>
#include <QSplitter>
#include <cstdio>

#include "desktop/shell/core/TesseraDoc.h"
#include "desktop/shell/views/Views.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 3 || argc > 4) {
    std::printf("Usage: views-snapshot <mass-shift table> <picture.png> [Unimod_mono.xml]\n");
    return 2;
  }
  CTesseraDoc doc;
  if (!doc.LoadHistogramData(argv[1])) {
    std::printf("Cannot open file: %s\n", argv[1]);
    return 1;
  }
  doc.SetDataLoaded(true);
  QSplitter splitter(Qt::Vertical);
  auto* histogram = new CTesseraView(&doc, &splitter);
  auto* list = argc == 4 ? new CMyListView(&doc, QString::fromLocal8Bit(argv[3]), &splitter)
                         : new CMyListView(&doc, &splitter);
  ConnectViews(histogram, list);
  splitter.resize(1200, 800);
  splitter.setSizes({640, 160});
  splitter.show();
  histogram->grab();
  QCoreApplication::processEvents();
  // The strongest shifts first, as a user would sort them ("Pairs" twice).
  list->SortByColumn(1);
  list->SortByColumn(1);
  if (!list->UnimodWarning().isEmpty()) std::printf("%s\n", qPrintable(list->UnimodWarning()));
  if (!splitter.grab().save(QString::fromLocal8Bit(argv[2]))) {
    std::printf("Cannot write file: %s\n", argv[2]);
    return 1;
  }
  return 0;
}
