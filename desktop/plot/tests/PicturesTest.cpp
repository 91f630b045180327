// The pictures the console programs draw through tessera-plot, on the
// repository's own tables and cluster file, and what refuses a picture.

#include <QGuiApplication>
#include <QImage>
#include <QXmlStreamReader>

#include <climits>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <tuple>
#include <vector>

#include "common/PlotProgram.h"
#include "desktop/plot/CurvePlot.h"
#include "desktop/plot/HistogramPictures.h"
#include "tests/support/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

const std::string kSource = TESSERA_SOURCE_DIR;
const std::string kBin = TESSERA_BIN_DIR;

struct Input {
  const char* name;
  const char* subcommand;
  const char* file;  // below the source folder
  std::vector<const char*> texts;  // what the picture says
};

const Input kInputs[] = {
    {"Shiftscan", "histogram", "moddetect/tests/data/small.temp.temp", {"Delta mass (Da)", "Pairs", "15.995 Oxidation"}},
    {"PairSearch", "histogram", "clustering/tests/data/pairs_expected/temp.temp",
     {"Delta mass (Da)", "Pairs", "16.000 Oxidation"}},
    {"ClusterFile", "sizes", "clustering/tests/data/cluster_expected/cluster.csv",
     {"Cluster size (spectra)", "Clusters", "4 clusters of 6 spectra"}},
};

std::string Quoted(const std::string& s) { return "'" + s + "'"; }

// The exit status of a command line run by the shell.
int Status(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> FilesIn(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename().string());
  return names;
}

class PlotProgramTest : public ScratchDirTest {};

class PictureTest : public ScratchDirTest, public ::testing::WithParamInterface<std::tuple<int, const char*>> {};

TEST_P(PictureTest, IsWrittenWholeAndSaysWhatItShows) {
  const Input& input = kInputs[std::get<0>(GetParam())];
  const std::string kind = std::get<1>(GetParam());
  const std::string picture = File(std::string("picture.") + kind);
  ASSERT_EQ(plotprogram::CheckPictureTarget(picture, "picture", "the test"), "");
  ASSERT_EQ(plotprogram::Draw({input.subcommand, kSource + "/" + input.file, picture}, "not drawn"), "");
  // The picture alone: no temporary file, no probe left beside it.
  EXPECT_EQ(FilesIn(dir_), std::vector<std::string>{"picture." + kind});
  if (kind == "png") {
    const QImage image(QString::fromStdString(picture), "PNG");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), QSize(plot::kHistogramWidth, plot::kHistogramHeight));
    return;
  }
  QXmlStreamReader svg(QByteArray::fromStdString(testsupport::ReadFile(picture)));
  QString texts;
  while (!svg.atEnd()) {
    if (svg.readNext() == QXmlStreamReader::StartElement && svg.name() == QLatin1String("text"))
      texts += svg.readElementText(QXmlStreamReader::IncludeChildElements) + QLatin1Char('\n');
  }
  ASSERT_FALSE(svg.hasError()) << svg.errorString().toStdString();
  for (const char* said : input.texts) EXPECT_TRUE(texts.contains(QString::fromUtf8(said))) << said << " in\n" << texts.toStdString();
}

INSTANTIATE_TEST_SUITE_P(Inputs, PictureTest,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Values("png", "svg")),
                         [](const auto& info) {
                           return std::string(kInputs[std::get<0>(info.param)].name) + "_" + std::get<1>(info.param);
                         });

// Which table is whose, and the sizes of the clusters of a cluster file.
TEST(PictureInputs, AreToldApartAndCounted) {
  std::vector<plot::ShiftRow> rows;
  plot::ShiftTableKind kind{};
  std::string error;
  ASSERT_TRUE(plot::ReadShiftTable(testsupport::ReadFile(kSource + "/" + kInputs[0].file), rows, kind, error));
  EXPECT_EQ(kind, plot::ShiftTableKind::kShiftscan);
  EXPECT_EQ(rows.size(), 2u);
  // Line ends written on Windows read the same.
  ASSERT_TRUE(plot::ReadShiftTable("6.000000,1, 0, 0, 0, 0, 0\r\n16.0,3, 0, 0, 0, 0, 0\r\n", rows, kind, error));
  EXPECT_EQ(kind, plot::ShiftTableKind::kPairSearch);
  EXPECT_EQ(rows[1].pairs, 3);
  EXPECT_FALSE(plot::ReadShiftTable("1,s.1.1.2.dta,1,1000.0\n", rows, kind, error));
  EXPECT_NE(error.find("line 1"), std::string::npos) << error;

  std::vector<std::pair<int, int>> sizes;
  ASSERT_TRUE(plot::ReadClusterSizes(testsupport::ReadFile(kSource + "/" + kInputs[2].file), sizes, error));
  EXPECT_EQ(sizes, (std::vector<std::pair<int, int>>{{1, 3}, {3, 1}}));
  EXPECT_FALSE(plot::ReadClusterSizes("15.99504,146\n", sizes, error));
}

// Ranges far beyond any mass shift (a damaged table, a zoom typed in) keep
// the axes to at most a tick per pixel, each labelled in full, or to none
// where no tick could be told from the next; a picture of them is drawn
// at once.
TEST(HistogramAxes, KeepToATickPerPixelWhateverTheRange) {
  // Tick labels are measured in the painting's font.
  int argc = 1;
  char name[] = "tessera_plot_tests";
  char* argv[] = {name, nullptr};
  const QGuiApplication application(argc, argv);
  constexpr double kMost = std::numeric_limits<double>::max();
  const struct {
    double low, high;
    bool ticked;
  } ranges[] = {{0.0, 1e9, true},       {0.0, 1e308, true},
                {-1e300, 0.0, true},     {-kMost, kMost, false},
                {1e300, 1e300 + 1e285, false}};
  for (const auto& r : ranges) {
    CHistogramPlot plot;
    plot.Layout(QRect(0, 0, plot::kHistogramWidth, plot::kHistogramHeight));
    plot.lowMass = r.low;
    plot.highMass = r.high;
    plot.highCount = INT_MAX;
    std::vector<double> masses;
    std::size_t counts = 0;
    for (const CAxisTick& tick : plot.Ticks()) {
      if (tick.upwards) ++counts;
      else masses.push_back(tick.label.toDouble());
    }
    EXPECT_GT(counts, 0u);
    EXPECT_LE(counts, static_cast<std::size_t>(plot.bottom - plot.top));
    EXPECT_EQ(!masses.empty(), r.ticked) << r.high;
    EXPECT_LE(masses.size(), static_cast<std::size_t>(plot.right - plot.left)) << r.high;
    // The labels are whole numbers, not cut short: they span the range.
    if (r.ticked) {
      const double tenth = (r.high - r.low) / 10;
      EXPECT_LE(std::abs(masses.front() - r.low), tenth) << r.high;
      EXPECT_GE(masses.back(), r.high - tenth) << r.high;
    }
  }
}

class HugeShifts : public ScratchDirTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(HugeShifts, AreDrawnAtOnce) {
  Write("shifts.temp", std::string(GetParam()) + ",3, 0, 0, 0, 0, 0\n15.994915,2, 0, 0, 0, 0, 0\n");
  ASSERT_EQ(plotprogram::Draw({"histogram", File("shifts.temp"), File("p.png")}, "not drawn"), "");
  EXPECT_EQ(QImage(QString::fromStdString(File("p.png")), "PNG").size(),
            QSize(plot::kHistogramWidth, plot::kHistogramHeight));
}

INSTANTIATE_TEST_SUITE_P(Masses, HugeShifts, ::testing::Values("1e13", "1e308", "-1e308"));

// Ratios are shares: a row outside 0 to 1 is refused with its line and text
// (an "NA" incorrect ratio stands), rather than drawn as an empty picture.
TEST(CurveTable, TakesRatiosFromZeroToOneOnly) {
  const std::string header = "threshold\tclustered_ratio\tincorrect_ratio\tcompleteness\tclusters\r\n";
  const std::string good = "0.1\t1\t0\t0.5\t3\r\n0.2\t0\tNA\t0.5\t3\r\n";
  std::vector<plot::CurvePoint> points;
  std::string error;
  ASSERT_TRUE(plot::ReadCurveTable(header + good, points, error)) << error;
  EXPECT_EQ(points.size(), 2u);
  for (const char* row : {"0.3\t1e308\t0.1\t0.5\t3", "0.3\t0.5\t1e308\t0.5\t3", "0.3\t-0.01\t0.1\t0.5\t3",
                          "0.3\t0.5\t1.5\t0.5\t3", "0.3\tnan\t0.1\t0.5\t3"}) {
    EXPECT_FALSE(plot::ReadCurveTable(header + good + row + "\n", points, error)) << row;
    EXPECT_EQ(error.rfind("line 4 (\"" + std::string(row) + "\")", 0), 0u) << error;
  }
}

// A wrong command line is status 2, a picture that cannot be made status 1;
// either way before any work, and nothing is left where the picture was
// to go (nor an output folder of the run).
TEST_F(PlotProgramTest, RefusesPicturesBeforeAnyWork) {
  const std::string table = Quoted(kSource + "/" + kInputs[0].file);
  const std::string run = Quoted(kSource + "/" + kInputs[2].file);  // never read: refused first
  const std::string spectra = Quoted(kSource + "/spectra/tests/data/bsa_small.mzML");
  const std::string plot = Quoted(kBin + "/tessera-plot");
  const std::string cluster = Quoted(kBin + "/cluster");
  const std::string shiftscan = Quoted(kBin + "/Shiftscan");
  const std::string missing = Quoted(File("no/such/folder/p.png"));
  const std::string out = Quoted(File("out"));
  Write("config.cfg", "[data]\nfilepath=" + File("absent.mzML") + "\n");
  Write("curve.tsv", "threshold\tclustered_ratio\tincorrect_ratio\n0.1\t0.5\t1e308\n");
  fs::create_directory(File("d.png"));
  const std::vector<std::string> before = FilesIn(dir_);
  const struct {
    std::string command;
    int status;
  } cases[] = {
      {plot + " bars " + table + " p.png", 2},
      {plot + " histogram " + table + " p.gif", 2},
      {plot + " histogram " + table + " p.png --tolerance -1", 2},
      {plot + " histogram " + table + " p.png --tolerance 10.5", 2},
      {plot + " histogram " + table + " --tolerance=abc p.png", 2},
      {plot + " sizes " + run + " p.png --tolerance 0.02", 2},
      {plot + " histogram " + table, 2},
      {plot + " histogram " + Quoted(File("absent.temp")) + " p.png", 1},
      {plot + " histogram " + run + " p.png", 1},  // a cluster file is no mass-shift table
      {plot + " sizes " + table + " p.png", 1},
      {plot + " histogram " + table + " " + missing, 1},
      {plot + " curve curve.tsv p.png", 1},
      {cluster + " " + spectra + " -o " + out + " --type pairs --plot p.bmp", 2},
      {cluster + " " + spectra + " -o " + out + " --plot p.png", 2},  // clustering draws no shifts
      {cluster + " " + spectra + " -o " + out + " --type pairs --plot " + missing, 1},
      {cluster + " " + spectra + " -o " + out + " --type pairs --plot d.png", 1},  // a folder
      {shiftscan + " " + run + " -o " + out + " --plot p.tiff", 2},
      {shiftscan + " " + run + " --write-config c.cfg --plot p.png", 2},
      {shiftscan + " " + run + " -o " + out + " --plot " + missing, 1},
      {shiftscan + " --plot p.jpg " + Quoted(File("config.cfg")), 2},
      {shiftscan + " --no-wait --plot " + missing + " " + Quoted(File("config.cfg")), 1},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Status("cd " + Quoted(dir_.string()) + " && " + c.command + " </dev/null >/dev/null 2>&1"), c.status)
        << c.command;
    fs::remove(File("error_happened.error"));  // the configuration form's marker says it too
    EXPECT_EQ(FilesIn(dir_), before) << c.command;
  }
}

// Without tessera-plot beside it a program says so before any work.
TEST_F(PlotProgramTest, AbsentIsSaidBeforeAnyWork) {
  // The program alone in a folder with the libraries it loads.
  for (const auto& entry : fs::directory_iterator(kBin)) {
    if (entry.path().extension() == ".so") fs::create_symlink(entry.path(), dir_ / entry.path().filename());
  }
  fs::copy_file(kBin + "/cluster", File("cluster"));
  const std::string command = Quoted(File("cluster")) + " " + Quoted(kSource + "/spectra/tests/data/bsa_small.mzML") + " -o " +
                              Quoted(File("out")) + " --type pairs --plot " + Quoted(File("p.png")) + " 2>" +
                              Quoted(File("said.txt"));
  EXPECT_EQ(Status(command), 1);
  EXPECT_NE(testsupport::ReadFile(File("said.txt")).find("tessera-plot is not beside cluster"), std::string::npos);
  EXPECT_FALSE(fs::exists(File("out")));
  EXPECT_FALSE(fs::exists(File("p.png")));
}

}  // namespace
