// tessera-plot: writes a plot as a PNG or SVG picture without a display (Qt's
// offscreen platform), for the console programs that start it.
//
// Usage: tessera-plot curve TABLE.tsv PICTURE.png|PICTURE.svg
//   curve: the threshold curve table that `cluster --curve` writes.
// Exit status 0 when the picture is written, 1 when it cannot be, 2 for a
// wrong command line.

#include <QGuiApplication>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "desktop/plot/CurvePlot.h"
#include "desktop/plot/PictureFile.h"

namespace {

constexpr const char* kUsage = "usage: tessera-plot curve TABLE.tsv PICTURE.png|PICTURE.svg\n";

int Fail(const std::string& message) {
  std::fprintf(stderr, "tessera-plot: %s\n", message.c_str());
  return 1;
}

// Qt's notes on the environment (no runtime folder on a server) are not
// the user's business; real warnings still reach standard error.
void QuietAboutEnvironment(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg || message.contains("XDG_RUNTIME_DIR")) return;
  std::fprintf(stderr, "tessera-plot: %s\n", message.toLocal8Bit().constData());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || std::strcmp(argv[1], "curve") != 0 || plot::PictureKind(argv[3]).empty()) {
    std::fputs(kUsage, stderr);
    return 2;
  }
  // Pictures are made where no display is: on servers, in batch jobs.
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler(QuietAboutEnvironment);
  QGuiApplication app(argc, argv);
  std::ifstream in(argv[2], std::ios::binary);
  if (!in) return Fail(std::string(argv[2]) + ": cannot be read");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::string error;
  std::vector<plot::CurvePoint> points;
  if (!plot::ReadCurveTable(text, points, error)) return Fail(std::string(argv[2]) + ": " + error);
  const auto paint = [&](QPainter& painter, const QRect& area) { plot::PaintCurve(painter, area, points); };
  if (!plot::WritePicture(argv[3], 900, 650, paint, error)) return Fail(error);
  return 0;
}
