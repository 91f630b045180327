// tessera-plot: writes a plot as a PNG or SVG picture without a display (Qt's
// offscreen platform), for the console programs that start it.
//
// Usage: tessera-plot curve TABLE.tsv PICTURE.png|PICTURE.svg
//        tessera-plot histogram TABLE PICTURE.png|PICTURE.svg [--unimod-tolerance DA]
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
#include <iostream>
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

constexpr double kDefaultTolerance = 0.01;
constexpr double kMostTolerance = 10.0;

cli::CommandLine PlotCommandLine() {
  cli::CommandLine line(
      "tessera-plot",
      {"curve TABLE.tsv PICTURE.png|PICTURE.svg", "histogram TABLE PICTURE.png|PICTURE.svg [--unimod-tolerance DA]",
       "sizes CLUSTERFILE PICTURE.png|PICTURE.svg"},
      "  curve      the threshold curve table of cluster --curve: clustered ratio against incorrect ratio\n"
      "  histogram  a mass-shift table (temp.temp) of the spectral pair search or of Shiftscan: pairs by\n"
      "             mass shift, the 10 shifts with most pairs named from Unimod within --unimod-tolerance\n"
      "  sizes      a cluster file (row, spectrum name, cluster number, precursor MH+): clusters by size\n"
      "Exit status 0 when the picture is written, 1 when it cannot be, 2 for a wrong command line.");
  line.Add(cli::Real("unimod-tolerance", "DA", "histogram: how far a Unimod mass may lie from a shift, at most 10",
                     "0.01")
               .Range(0, kMostTolerance)
               .Alias("tolerance"));
  return line;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "tessera-plot: %s\n", message.c_str());
  return 1;
}

int WrongCommandLine(const cli::CommandLine& line, const std::string& message) {
  std::fprintf(stderr, "tessera-plot: %s\n%s", message.c_str(), line.Usage().c_str());
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

// "" or what is wrong with a parsed command line.
std::string ReadRequest(const cli::CommandLine& line, Request& request) {
  const std::vector<std::string>& words = line.Positionals();
  if (words.empty()) return "no plot named";
  request.kind = words[0];
  if (request.kind != "curve" && request.kind != "histogram" && request.kind != "sizes")
    return "unknown plot: " + request.kind;
  if (line.Has("unimod-tolerance") && request.kind != "histogram")
    return "option --unimod-tolerance goes with histogram";
  request.tolerance = line.Real("unimod-tolerance", kDefaultTolerance);
  if (words.size() != 3) return "give one input file and one picture";
  request.input = words[1];
  request.picture = words[2];
  if (plot::PictureKind(request.picture).empty()) return request.picture + ": a picture is written as .png or .svg";
  return std::string();
}

}  // namespace

int main(int argc, char** argv) {
  cli::CommandLine line = PlotCommandLine();
  if (const int answered = line.Report(line.Parse(argc, argv), std::cout, std::cerr); answered >= 0)
    return answered;
  Request request;
  if (std::string wrong = ReadRequest(line, request); !wrong.empty()) return WrongCommandLine(line, wrong);

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
