// tessera-plot: writes a plot as a PNG or SVG picture without a display (Qt's
// offscreen platform), for the console programs that start it.
//
// Usage: tessera-plot curve TABLE.tsv PICTURE.png|PICTURE.svg
//        tessera-plot histogram TABLE PICTURE.png|PICTURE.svg [--tolerance DA]
//        tessera-plot sizes CLUSTERFILE PICTURE.png|PICTURE.svg
//   curve: the threshold curve table that `cluster --curve` writes.
//   histogram: a mass-shift table ("temp.temp") of the pair search or of
//     Shiftscan, the shifts of most pairs named from Unimod.
//   sizes: the clusters of a cluster file by size.
// Exit status 0 when the picture is written, 1 when it cannot be, 2 for a
// wrong command line.

#include <QGuiApplication>
#include <QPainter>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "common/CommandLine.h"
#include "common/PathUtil.h"
#include "desktop/plot/CurvePlot.h"
#include "desktop/plot/HistogramPictures.h"
#include "desktop/plot/PictureFile.h"
#include "resultfiles/unimod/UnimodTable.h"

namespace {

constexpr const char* kUsage =
    "usage: tessera-plot curve TABLE.tsv PICTURE.png|PICTURE.svg\n"
    "       tessera-plot histogram TABLE PICTURE.png|PICTURE.svg [--tolerance DA]\n"
    "       tessera-plot sizes CLUSTERFILE PICTURE.png|PICTURE.svg\n";
constexpr const char* kHelp =
    "  curve      the threshold curve table of cluster --curve: clustered ratio against incorrect ratio\n"
    "  histogram  a mass-shift table (temp.temp) of the spectral pair search or of Shiftscan: pairs by\n"
    "             mass shift, the 10 shifts with most pairs named from Unimod within --tolerance DA\n"
    "             (default 0.01, at most 10)\n"
    "  sizes      a cluster file (row, spectrum name, cluster number, precursor MH+): clusters by size\n"
    "Exit status 0 when the picture is written, 1 when it cannot be, 2 for a wrong command line.\n";
constexpr double kDefaultTolerance = 0.01;
constexpr double kMostTolerance = 10.0;

int Fail(const std::string& message) {
  std::fprintf(stderr, "tessera-plot: %s\n", message.c_str());
  return 1;
}

int WrongCommandLine(const std::string& message) {
  std::fprintf(stderr, "tessera-plot: %s\n%s", message.c_str(), kUsage);
  return 2;
}

// Qt's notes on the environment (no runtime folder on a server) are not
// the user's business; real warnings still reach standard error.
void QuietAboutEnvironment(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg || message.contains("XDG_RUNTIME_DIR")) return;
  std::fprintf(stderr, "tessera-plot: %s\n", message.toLocal8Bit().constData());
}

struct Request {
  std::string kind;  // curve, histogram or sizes
  std::string input;
  std::string picture;
  double tolerance = kDefaultTolerance;
};

// "" or what is wrong with the command line.
std::string ReadRequest(int argc, char** argv, Request& request) {
  if (argc < 2) return "no plot named";
  request.kind = argv[1];
  if (request.kind != "curve" && request.kind != "histogram" && request.kind != "sizes")
    return "unknown plot: " + request.kind;
  std::vector<std::string> operands;
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word != "--tolerance") {
      operands.push_back(word);
      continue;
    }
    if (request.kind != "histogram") return "option --tolerance goes with histogram";
    if (i + 1 == argc || !cli::ParseFiniteNumber(argv[i + 1], request.tolerance) || request.tolerance < 0.0 ||
        request.tolerance > kMostTolerance)
      return "option --tolerance: not a tolerance of 0 to 10 Da: \"" + std::string(i + 1 < argc ? argv[i + 1] : "") +
             "\"";
    ++i;
  }
  if (operands.size() != 2) return "give one input file and one picture";
  request.input = operands[0];
  request.picture = operands[1];
  if (plot::PictureKind(request.picture).empty()) return request.picture + ": a picture is written as .png or .svg";
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string(argv[1]) == "--help") {
    std::printf("%s%s", kUsage, kHelp);
    return 0;
  }
  if (argc == 2 && std::string(argv[1]) == "--version") {
    std::printf("%s\n", cli::VersionLine("tessera-plot").c_str());
    return 0;
  }
  Request request;
  if (std::string wrong = ReadRequest(argc, argv, request); !wrong.empty()) return WrongCommandLine(wrong);

  std::ifstream in(request.input, std::ios::binary);
  if (!in || path::IsDirectory(request.input)) return Fail(request.input + ": cannot be read");
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  const std::string name = path::FileName(request.input);
  std::string error;
  std::vector<plot::CurvePoint> points;
  std::vector<plot::ShiftRow> shifts;
  plot::ShiftTableKind table_kind = plot::ShiftTableKind::kShiftscan;
  std::vector<std::pair<int, int>> sizes;
  const bool read = request.kind == "curve"       ? plot::ReadCurveTable(text, points, error)
                    : request.kind == "histogram" ? plot::ReadShiftTable(text, shifts, table_kind, error)
                                                  : plot::ReadClusterSizes(text, sizes, error);
  if (!read) return Fail(request.input + ": " + error);

  // Pictures are made where no display is: on servers, in batch jobs.
  if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
  qInstallMessageHandler(QuietAboutEnvironment);
  QGuiApplication app(argc, argv);
  if (request.kind == "curve") {
    const auto paint = [&](QPainter& painter, const QRect& area) { plot::PaintCurve(painter, area, points); };
    if (!plot::WritePicture(request.picture, 900, 650, paint, error)) return Fail(error);
    return 0;
  }
  plot::HistogramPicture picture;
  if (request.kind == "histogram") {
    // The Unimod table the desktop's list reads, beside the programs.
    CUnimodTable unimod;
    if (!unimod.Load(path::Join(path::ProgramDirectory(), "Unimod_xml/Unimod_mono.xml")))
      std::fprintf(stderr, "tessera-plot: no Unimod names: %s\n", unimod.Error().c_str());
    picture = plot::ShiftPicture(name, shifts, table_kind, unimod, request.tolerance);
  } else {
    picture = plot::SizePicture(name, sizes);
  }
  const auto paint = [&](QPainter& painter, const QRect& area) { plot::PaintHistogramPicture(painter, area, picture); };
  if (!plot::WritePicture(request.picture, plot::kHistogramWidth, plot::kHistogramHeight, paint, error))
    return Fail(error);
  return 0;
}
