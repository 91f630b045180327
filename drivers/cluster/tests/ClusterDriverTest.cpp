#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <cmath>
#include <functional>
#include <filesystem>
#include <random>
#include <fstream>
#include <memory>
#include <sstream>

#include "clustering/Para.h"
#include "clustering/Progress.h"
#include "common/ErrorMarker.h"
#include "common/Notifier.h"
#include "clustering/SimilarityCluster.h"
#include "drivers/cluster/ClusterJob.h"
#include "drivers/cluster/ClusterOptions.h"
#include "drivers/cluster/QualityReport.h"
#include "drivers/cluster/loading/OffloadedPeaks.h"
#include "spectra/MgfImporter.h"
#include "tests/support/ScratchDir.h"

namespace {

namespace fs = std::filesystem;

using testsupport::ReadFile;

bool EndsWith(const std::string& text, const std::string& end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

const std::string kData = std::string(TESSERA_SOURCE_DIR) + "/clustering/tests/data/";

// Each test works in a scratch folder of its own: the job writes the error
// marker and the pair search's tables into the working folder.
class ClusterDriver : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    working_ = std::make_unique<testsupport::CCurrentDir>(dir_);
    notify_ = notify::SetHandler([this](const std::string& m) { engine_ += m + "\n"; });
    progress_ = progress::SetSink([this](const std::string& m) { engine_ += m; });
  }
  void TearDown() override {
    notify::SetHandler(notify_);
    progress::SetSink(progress_);
    working_.reset();
    ScratchDirTest::TearDown();
  }

  // A parameter file as the desktop program writes it.
  std::string WritePara(int type, const std::string& data, int data_type = 0,
                        int consensus = 0, int upper = 200) {
    CPara para;
    para.SetDataClass(static_cast<MS2FormatType>(data_type), data, File("out"),
                      File(type == 1 ? "pairs.csv" : "cluster.csv"), 1);
    para.SetRepresentativeClass(static_cast<Representative_Spectra>(consensus), 0.4,
                                TOLERANCE_DA);
    para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(),
                    static_cast<Cluster_Type>(type), 2.5, TOLERANCE_DA, 0.6);
    para.SetSimilarMethod(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
    para.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
    if (para.cluster) para.cluster->upper_mass = upper;
    const std::string path = File("job.para");
    EXPECT_TRUE(para.WriteParaFile(path));
    return path;
  }

  // The parameter-file form of the program on these arguments.
  int Run(const std::vector<std::string>& args) {
    cli::CommandLine line = clusterjob::ClusterCommandLine();
    std::ostringstream out;
    const int answered = line.Report(line.Parse(args), out, out);
    const int status = answered >= 0 ? answered : clusterjob::RunParameterFileForm(line, out, out);
    output_ = out.str();
    return status;
  }

  std::unique_ptr<testsupport::CCurrentDir> working_;
  std::string output_;
  std::string engine_;
  notify::Handler notify_;
  progress::Sink progress_;
};

TEST_F(ClusterDriver, ClustersADtaDirectory) {
  const std::string para = WritePara(0, kData + "cluster_in");
  ASSERT_EQ(Run({para}), 0) << output_;
  EXPECT_EQ(ReadFile(File("cluster.csv")), ReadFile(kData + "cluster_expected/cluster.csv"));
  EXPECT_EQ(ReadFile(File("out/1.2-2.2-3.2.dta")),
            ReadFile(kData + "cluster_expected/1.2-2.2-3.2.dta"));
  EXPECT_NE(output_.find("Loaded 6 spectra"), std::string::npos) << output_;
  EXPECT_NE(output_.find("Cluster file: " + File("cluster.csv")), std::string::npos);
  EXPECT_FALSE(marker::ErrorMarkerExists());
  EXPECT_FALSE(fs::exists(File("temp.temp")));
}

TEST_F(ClusterDriver, DropsSpectraWithTooFewPeaks) {
  std::string para = WritePara(0, kData + "cluster_in");
  std::string text = ReadFile(para);
  text.replace(text.find("small_peaks_count_filter=1"), 26, "small_peaks_count_filter=3");
  std::ofstream(para, std::ios::binary) << text;
  ASSERT_EQ(Run({para}), 0) << output_;
  // s.4, s.5 (two peaks) and s.6 (one peak) are gone.
  EXPECT_NE(output_.find("3 with fewer than 3 peaks dropped, 3 used"), std::string::npos)
      << output_;
  EXPECT_EQ(ReadFile(File("cluster.csv")),
            "1,s.1.1.2.dta,1,1000.000000\n2,s.2.2.2.dta,1,1000.500000\n"
            "3,s.3.3.2.dta,1,1001.000000\n");
}

TEST_F(ClusterDriver, PairSearchAndShiftSearch) {
  // A stale table from an earlier job must not survive a new one.
  std::ofstream(File("temp.temp")) << "99.0,1, 0, 0, 0, 0, 0\n";
  const std::string para = WritePara(1, kData + "cluster_in", 0, 0, 600);
  ASSERT_EQ(Run({para}), 0) << output_;
  // No pair of these spectra is alike: an empty pair file, an empty table.
  EXPECT_TRUE(fs::exists(File("pairs.csv")));
  EXPECT_EQ(ReadFile(File("pairs.csv")), "");
  EXPECT_TRUE(fs::exists(File("temp.temp")));
  EXPECT_EQ(ReadFile(File("temp.temp")), "");
  EXPECT_NE(output_.find("Mass-shift table: temp.temp"), std::string::npos);
  EXPECT_TRUE(fs::exists(File("score.txt")));

  EXPECT_TRUE(EndsWith(output_, "Pairs: 0 among 6 spectra.\n")) << output_;

  fs::remove(File("temp.temp"));
  ASSERT_EQ(Run({"--shift-search", "--threads", "2", para}), 0) << output_;
  EXPECT_TRUE(fs::exists(File("pairs.csv")));
  EXPECT_FALSE(fs::exists(File("temp.temp")));
}

// Both searches end with how many pairs they found among how many spectra:
// the lines of their pair files.
TEST_F(ClusterDriver, PairSearchesEndWithTheirCounts) {
  fs::create_directories(File("shifted"));
  const std::vector<std::pair<std::string, std::string>> spectra = {
      {"p.1.1.2.dta", "1016.0 2\n116 10\n216 20\n300 30\n"},
      {"p.2.2.2.dta", "1000.0 2\n100 10\n200 20\n300 30\n"},
      {"p.3.3.2.dta", "994.0 2\n94 40\n194 20\n350 5\n"},
      {"p.4.4.3.dta", "800.0 3\n100 10\n200 20\n300 30\n"}};
  for (const auto& [name, text] : spectra) testsupport::WriteFile(File("shifted/" + name), text);
  std::string para = WritePara(1, File("shifted"));
  std::string text = ReadFile(para);
  text.replace(text.find("similar_method=1"), 16, "similar_method=2");
  text.replace(text.find("threshold=0.60"), 14, "threshold=0.30");
  testsupport::WriteFile(para, text);
  for (const bool shifts : {false, true}) {
    std::vector<std::string> args = {para};
    if (shifts) args.insert(args.begin(), "--shift-search");
    ASSERT_EQ(Run(args), 0) << output_;
    const std::string pairs = ReadFile(File("pairs.csv"));
    const auto found = std::count(pairs.begin(), pairs.end(), '\n');
    EXPECT_EQ(found, 3) << pairs;
    EXPECT_TRUE(EndsWith(output_, "Pairs: " + std::to_string(found) + " among 4 spectra.\n")) << output_;
  }
}

// The estimate's bound: the differing pairs at the Poisson bound of their
// count (3.00 for none, 16.96 for ten), weighed as those seen, at counts
// where GSL's own inverses give up as well.
TEST(TargetIncorrect, UpperBoundAndTheSpectraATargetNeeds) {
  quality::Figures f;
  f.clustered = 1000;
  f.identified_clustered = 300;
  EXPECT_NEAR(clusterjob::IncorrectUpperBound(f), 2.995732 * 1000 / 90000, 1e-6);
  f.differing_pairs = 10;
  f.differing_per_member = 6.0;
  EXPECT_NEAR(f.IncorrectRatio(), 6.0 * 1000 / 90000, 1e-12);
  EXPECT_NEAR(clusterjob::IncorrectUpperBound(f), 16.9622 * 0.6 * 1000 / 90000, 1e-5);
  f.clustered = 5000000;
  f.identified_clustered = 1500000;
  f.differing_pairs = 500000;
  f.differing_per_member = 400000;
  const double bound = clusterjob::IncorrectUpperBound(f);
  EXPECT_GT(bound, f.IncorrectRatio());
  EXPECT_LT(bound, f.IncorrectRatio() * 1.01);
  f.identified_clustered = 19;
  EXPECT_EQ(clusterjob::IncorrectUpperBound(f), 1.0);
  // With none differing, 548 identified of 1000 clustered hold 0.01 (547 do
  // not), and never fewer than the curve needs to give a ratio at all.
  EXPECT_EQ(clusterjob::LeastIdentifiedFor(0.01, 1000), 548u);
  quality::Figures none;
  none.clustered = 1000;
  none.identified_clustered = 548;
  EXPECT_LE(clusterjob::IncorrectUpperBound(none), 0.01);
  none.identified_clustered = 547;
  EXPECT_GT(clusterjob::IncorrectUpperBound(none), 0.01);
  EXPECT_EQ(clusterjob::LeastIdentifiedFor(0.3, 10), 20u);
}

// Steps from 1.00 down to 0.30, the identified clustered spectra (a third
// of the clustered) growing as the threshold falls; `differing_at(n)` of
// their pairs differing, each in a cluster of two.
std::vector<quality::Figures> Survey(std::size_t most, const std::function<std::size_t(std::size_t)>& differing_at) {
  std::vector<quality::Figures> rows;
  for (int k = 100; k >= 30; --k) {
    quality::Figures f;
    f.threshold = k / 100.0;
    f.identified_clustered = most * static_cast<std::size_t>(100 - k) / 70;
    f.clustered = 3 * f.identified_clustered;
    f.spectra = 2 * f.clustered + 1;
    f.identified_pairs = 2 * f.identified_clustered;
    f.differing_pairs = differing_at(f.identified_clustered);
    f.differing_per_member = static_cast<double>(f.differing_pairs);
    rows.push_back(f);
    // Rows between the steps (just under a merge score) are never chosen.
    quality::Figures between = f;
    between.threshold = k / 100.0 - 0.0037;
    between.differing_pairs = 0;
    between.differing_per_member = 0;
    between.identified_clustered = 100000;
    if (k > 30) rows.push_back(between);
  }
  return rows;
}

struct ChoiceCase {
  const char* name;
  std::size_t most;
  std::function<std::size_t(std::size_t)> differing_at;
  bool chosen;
  double threshold;      // chosen, or the closest
  const char* says;
};

class TargetChoice : public ::testing::TestWithParam<ChoiceCase> {};

TEST_P(TargetChoice, ChoosesOnlyWhereTheBoundHolds) {
  const ChoiceCase& c = GetParam();
  const clusterjob::ThresholdChoice choice = clusterjob::ChooseThreshold(Survey(c.most, c.differing_at), 0.01);
  EXPECT_EQ(choice.chosen, c.chosen);
  EXPECT_NEAR(choice.at.threshold, c.threshold, 1e-9);
  const std::string said = clusterjob::DescribeChoice(choice, 0.01, 0.6);
  EXPECT_NE(said.find(c.says), std::string::npos) << said;
  if (!c.chosen) {
    EXPECT_EQ(said.rfind("Warning: ", 0), 0u) << said;
    EXPECT_NE(said.find("; the threshold stays 0.60"), std::string::npos) << said;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Surveys, TargetChoice,
    ::testing::Values(
        // 29 identified of 87 clustered, none differing: a ratio of 0 that
        // may still be 0.10.
        ChoiceCase{"FewNoneWrong", 29, [](std::size_t) { return std::size_t{0}; }, false, 0.30,
                   "identified clustered spectra too few to hold an incorrect ratio of at most 0.01 with 95% "
                   "confidence: 29 at most, and at least 162 are needed even with none incorrect (closest: 0.30, "
                   "0 of 58 identified pairs differing, estimate 0.0000, upper bound 0.3099); the threshold stays "
                   "0.60"},
        // 3000 identified, none differing: the lowest step is chosen.
        ChoiceCase{"EnoughNoneWrong", 3000, [](std::size_t) { return std::size_t{0}; }, true, 0.30,
                   "Threshold for at most 0.01 incorrect: 0.30 (estimated incorrect ratio 0.0000, 95% upper bound "
                   "0.0030, from 0 of 6000 identified pairs within clusters differing, 3000 of 9000 clustered "
                   "spectra identified; clustered ratio 0.5000)"},
        // Pairs differ below 0.50: the last step before them holds.
        ChoiceCase{"ErrorsBelowAStep", 1400, [](std::size_t n) { return n > 1000 ? n / 20 : std::size_t{0}; }, true,
                   0.50, "Threshold for at most 0.01 incorrect: 0.50 (estimated incorrect ratio 0.0000, 95% upper "
                         "bound 0.0090, from 0 of 2000"},
        // One pair in twenty differing at every size: no number of spectra helps.
        ChoiceCase{"TooManyWrong", 5000, [](std::size_t n) { return n / 20; }, false, 0.32,
                   "no threshold holds an incorrect ratio of at most 0.01 with 95% confidence: too many identified "
                   "pairs within clusters differ"}),
    [](const auto& info) { return std::string(info.param.name); });

// A clustering whose few identified spectra cannot hold the target keeps
// the threshold of its parameter file, says so and succeeds.
TEST_F(ClusterDriver, ATargetTheSpectraCannotHoldKeepsTheThreshold) {
  const std::string para = WritePara(0, kData + "cluster_in");
  const std::string given = ReadFile(para);
  std::string ids;
  for (int s = 1; s <= 3; ++s) {
    const std::string n = std::to_string(s);
    ids += n + ",\t" + n + "\ts." + n + "." + n + ".2.dta\t2\t0\n*\tK.PEPTIDER.A\t0.01\n";
  }
  testsupport::WriteFile(File("ids.spectra"), ids);
  ASSERT_EQ(Run({"--ids", File("ids.spectra"), "--target-incorrect", "0.01", para}), 0) << output_;
  const std::string warning = "Warning: identified clustered spectra too few to hold an incorrect ratio of at most "
                              "0.01 with 95% confidence: 3 at most, and at least ";
  ASSERT_NE(output_.find(warning), std::string::npos) << output_;
  EXPECT_NE(output_.find(" are needed even with none incorrect; the threshold stays 0.60\n"), std::string::npos)
      << output_;
  EXPECT_EQ(ReadFile(para), given);
  EXPECT_EQ(ReadFile(File("cluster.csv")), ReadFile(kData + "cluster_expected/cluster.csv"));
  EXPECT_FALSE(marker::ErrorMarkerExists());
}

TEST_F(ClusterDriver, FailuresLeaveTheMarker) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string good = WritePara(0, kData + "cluster_in");
  std::ofstream(File("bad_type.para")) << "[cluster]\ncluster_type=7\n";
  std::ofstream(File("no_result.para")) << "[file]\ndata_directory=" << kData << "cluster_in\n";
  const std::string out_dir = "\nout_directory=" + File("out") + "\n";
  std::ofstream(File("unknown_format.para"))
      << "[file]\ndata_type=9\ncluster_result=" << File("c.csv") << "\ndata_directory=" << kData
      << "cluster_in" << out_dir;
  std::ofstream(File("missing_data.para"))
      << "[file]\ndata_type=0\ncluster_result=" << File("c.csv")
      << "\ndata_directory=" << File("nowhere") << out_dir;
  std::ofstream(File("unwritable.para"))
      << "[file]\ndata_type=0\ncluster_result=" << File("no/dir/c.csv")
      << "\ndata_directory=" << kData << "cluster_in" << out_dir;
  // Refused before any work: outputs over inputs, unusable folders, values
  // that would exhaust memory or are not numbers.
  fs::create_directories(File("data"));
  fs::copy_file(kData + "cluster_in/s.1.1.2.dta", File("data/s.1.1.2.dta"));
  fs::create_directories(File("empty_dir"));
  std::ofstream(File("blocker")) << "a file\n";
  auto refused = [&](const std::string& name, const std::string& file_lines, const std::string& more = "") {
    std::ofstream(File(name)) << "[file]\ndata_type=0\ndata_directory=" << File("data") << "\n" << file_lines
                              << more;
  };
  refused("result_is_input.para", "cluster_result=" + File("data/s.1.1.2.dta") + out_dir);
  refused("result_is_dir.para", "cluster_result=" + File("empty_dir") + out_dir);
  refused("no_out.para", "cluster_result=" + File("c.csv") + "\n");
  refused("out_is_data.para", "cluster_result=" + File("c.csv") + "\nout_directory=" + File("data") + "\n");
  refused("out_blocked.para", "cluster_result=" + File("c.csv") + "\nout_directory=" + File("blocker/x") + "\n");
  refused("threshold_high.para", "cluster_result=" + File("c.csv") + out_dir, "[cluster]\nthreshold=5\n");
  refused("threshold_low.para", "cluster_result=" + File("c.csv") + out_dir, "[cluster]\nthreshold=-5\n");
  refused("masses.para", "cluster_result=" + File("c.csv") + "\n",
          "[cluster]\ncluster_type=1\n[modification]\nlower_mass=300\nupper_mass=200\n");
  refused("huge_window.para", "cluster_result=" + File("c.csv") + out_dir,
          "[preprocessing]\npart_top_peak_num=2147483647\n");
  refused("nan_tol.para", "cluster_result=" + File("c.csv") + out_dir, "[similarity]\nfragment_ion_tol=nan\n");
  refused("mode.para", "cluster_result=" + File("c.csv") + out_dir, "[cluster]\nclustering_mode=complete\n");
  const std::vector<Case> cases = {
      {{good, good}, clusterjob::kUsage},
      {{"", good}, clusterjob::kUsage},
      {{File("missing.para")}, "Cannot read parameter file: " + File("missing.para")},
      {{File("bad_type.para")}, "Unknown cluster type"},
      {{"--shift-search", good}, "The shift search needs cluster_type=1"},
      {{File("no_result.para")}, "No result file"},
      {{File("unknown_format.para")}, "Unknown data type 9"},
      {{File("missing_data.para")}, "Cannot load spectra from " + File("nowhere")},
      {{File("unwritable.para")}, "Cannot write the cluster file"},
      {{File("result_is_input.para")}, "would overwrite the input"},
      {{File("result_is_dir.para")}, "The cluster file is a folder"},
      {{File("no_out.para")}, "(out_directory) is given"},
      {{File("out_is_data.para")}, "is the data folder or inside it"},
      {{File("out_blocked.para")}, "Cannot create the folder for the clustered spectra"},
      {{File("threshold_high.para")}, "Parameter threshold must be a number in [0, 1]"},
      {{File("threshold_low.para")}, "Parameter threshold must be a number in [0, 1]"},
      {{File("masses.para")}, "lower_mass (300) is above upper_mass (200)"},
      {{File("huge_window.para")}, "part_top_peak_num must be"},
      {{File("nan_tol.para")}, "fragment_ion_tol must be"},
      {{File("mode.para")}, "Parameter clustering_mode is neither single nor precise"},
  };
  for (const Case& c : cases) {
    marker::RemoveErrorMarker();
    EXPECT_EQ(Run(c.args), 1) << c.message;
    EXPECT_NE(output_.find(c.message), std::string::npos) << output_;
    EXPECT_TRUE(marker::ErrorMarkerExists()) << c.message;
  }
  // Options of the other forms are usage errors that leave no marker.
  marker::RemoveErrorMarker();
  EXPECT_EQ(Run({"--threshold", "0.5", good}), 2);
  EXPECT_NE(output_.find("option --threshold needs an output folder (-o) or --write-para"), std::string::npos)
      << output_;
  EXPECT_EQ(Run({"--no-such-option", good}), 2);
  EXPECT_FALSE(marker::ErrorMarkerExists());
  EXPECT_TRUE(fs::is_directory(File("empty_dir")));
  EXPECT_EQ(fs::file_size(File("data/s.1.1.2.dta")), fs::file_size(kData + "cluster_in/s.1.1.2.dta"));
}

// The spectrum files of each representative type, and the MGF file holds
// exactly those spectra, once each. Types other than 0, 1 and 2 write the
// cluster file alone: no spectrum, not even a folder for them.
TEST_F(ClusterDriver, TheMgfHoldsTheSpectraWrittenOnceEach) {
  for (int type = 0; type <= 3; ++type) {
    fs::remove_all(File("out"));
    const std::string para = WritePara(0, kData + "cluster_in", 0, type);
    ASSERT_EQ(Run({"--mgf", File("all.mgf"), para}), 0) << type << ": " << output_;
    EXPECT_EQ(ReadFile(File("cluster.csv")), ReadFile(kData + "cluster_expected/cluster.csv")) << type;
    std::vector<std::string> files;
    if (fs::exists(File("out"))) {
      for (const auto& e : fs::directory_iterator(File("out"))) files.push_back(e.path().filename().string());
    }
    std::vector<std::string> titles;
    std::istringstream mgf(ReadFile(File("all.mgf")));
    for (std::string line; std::getline(mgf, line);) {
      if (line.rfind("TITLE=", 0) == 0) titles.push_back(line.substr(6));
    }
    std::sort(files.begin(), files.end());
    std::sort(titles.begin(), titles.end());
    EXPECT_EQ(titles, files) << type;
    EXPECT_EQ(files.size(), (std::vector<std::size_t>{4, 4, 5, 0}[type])) << type;
    EXPECT_EQ(fs::exists(File("out")), type != 3) << type;
    EXPECT_EQ(output_.find("Spectra: ") != std::string::npos, type != 3) << output_;
  }
}

// No output of a job replaces one of its inputs or another of its outputs;
// such a job is refused before any work, and every file stays as it was.
TEST_F(ClusterDriver, NoOutputReplacesAnInputOrAnotherOutput) {
  // A copy of the data: a fault here must not reach the source tree.
  fs::copy(kData + "cluster_in", File("data"));
  const std::string para = WritePara(0, File("data"));
  ASSERT_EQ(Run({para}), 0) << output_;
  std::ofstream(File("ids.spectra")) << "identifications\n";
  fs::create_directory(File("afolder"));
  const std::vector<std::string> kept = {para, File("cluster.csv"), File("clusters.tsv"), File("out/1.2-2.2-3.2.dta"),
                                         File("data/s.1.1.2.dta"), File("ids.spectra")};
  std::vector<std::string> before;
  for (const std::string& file : kept) before.push_back(ReadFile(file));
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--mgf", File("cluster.csv")}, "The MGF file would overwrite the cluster file"},
      {{"--mgf", File("clusters.tsv")}, "The MGF file would overwrite the cluster table"},
      {{"--curve", File("clusters.tsv")}, "The curve file would overwrite the cluster table"},
      {{"--curve", para}, "The curve file would overwrite the parameter file"},
      {{"--curve", File("data/s.1.1.2.dta")}, "The curve file would overwrite the input"},
      {{"--curve", File("data/new.tsv")}, "The curve file would overwrite the input"},
      {{"--ids", File("ids.spectra"), "--curve", File("ids.spectra")},
       "The curve file would overwrite the identifications"},
      {{"--mgf", File("x.tsv"), "--curve", File("x.tsv")}, "The curve file would overwrite the MGF file"},
      {{"--curve", File("c.png"), "--curve-plot", File("c.png")}, "The curve picture would overwrite the curve file"},
      {{"--mgf", File("out/1.2-2.2-3.2.dta")}, "would lie among the clustered spectra"},
      {{"--curve", File("out/curve.tsv")}, "would lie among the clustered spectra"},
      {{"--mgf", File("out")}, "would lie among the clustered spectra"},
      {{"--mgf", File("afolder")}, "The MGF file is a folder"},
      {{"--mgf", File("no/dir/x.mgf")}, "Cannot write the MGF file into the folder of"},
      {{"--curve", File("no/dir/c.tsv")}, "Cannot write the curve file into the folder of"},
      {{"--ids", File("no/ids.pep.xml"), "--curve", File("c.tsv")}, "Cannot read the identifications"},
  };
  for (const auto& [options, message] : cases) {
    marker::RemoveErrorMarker();
    std::vector<std::string> args = options;
    args.push_back(para);
    EXPECT_EQ(Run(args), 1) << message;
    EXPECT_NE(output_.find(message), std::string::npos) << output_;
    EXPECT_TRUE(marker::ErrorMarkerExists()) << message;
  }
  for (std::size_t k = 0; k < kept.size(); ++k) EXPECT_EQ(ReadFile(kept[k]), before[k]) << kept[k];
  for (const char* absent : {"data/new.tsv", "out/curve.tsv", "x.tsv", "c.png", "c.tsv"})
    EXPECT_FALSE(fs::exists(File(absent))) << absent;

  // A pair file where the search writes its mass-shift table; and a pair
  // search writes no spectra, so it refuses --mgf.
  std::string pairs_para = ReadFile(WritePara(1, File("data"), 0, 0, 600));
  const std::string pair_line = "cluster_result=" + File("pairs.csv");
  pairs_para.replace(pairs_para.find(pair_line), pair_line.size(), "cluster_result=" + File("temp.temp"));
  std::ofstream(File("job.para")) << pairs_para;
  EXPECT_EQ(Run({File("job.para")}), 1);
  EXPECT_NE(output_.find("The mass-shift table would overwrite the pair file"), std::string::npos) << output_;
  const std::string pairs = WritePara(1, File("data"), 0, 0, 600);
  EXPECT_EQ(Run({"--mgf", File("pairs.mgf"), pairs}), 1);
  EXPECT_NE(output_.find("Only a clustering (cluster_type=0) writes an MGF file"), std::string::npos) << output_;
  EXPECT_FALSE(fs::exists(File("pairs.mgf")));
  EXPECT_FALSE(fs::exists(File("pairs.csv")));
  // The working folder may be the data folder: its tables are no spectra.
  testsupport::CCurrentDir in_data(dir_ / "data");
  EXPECT_EQ(Run({pairs}), 0) << output_;
  EXPECT_TRUE(fs::exists(File("data/temp.temp")));
}

// A file that fails after the spectra were written fails the run without a
// cluster file, and what the run wrote besides goes with it.
TEST_F(ClusterDriver, ARunThatFailsLeavesNoClusterFile) {
  const std::string para = WritePara(0, kData + "cluster_in");
  // /dev/full takes the check and refuses every byte.
  for (const std::vector<std::string>& options : {std::vector<std::string>{"--mgf", "/dev/full"},
                                                  {"--mgf", File("all.mgf"), "--curve", "/dev/full"}}) {
    marker::RemoveErrorMarker();
    std::vector<std::string> args = options;
    args.push_back(para);
    EXPECT_EQ(Run(args), 1) << options[1];
    EXPECT_NE(output_.find("/dev/full"), std::string::npos) << output_;
    EXPECT_TRUE(marker::ErrorMarkerExists());
    for (const char* absent : {"cluster.csv", "clusters.tsv", "all.mgf"}) {
      EXPECT_FALSE(fs::exists(File(absent))) << options[1] << ": " << absent;
    }
  }
  EXPECT_TRUE(fs::exists("/dev/full"));
}

TEST_F(ClusterDriver, OneInputFileGivesSpectraWrittenFromMemory) {
  std::ofstream(File("run.mgf"))
      << "BEGIN IONS\nTITLE=run.10.10.2.dta\nPEPMASS=500.5\nCHARGE=2+\n"
         "100 10\n200 20\n300 30\nEND IONS\n"
         "BEGIN IONS\nTITLE=run.11.11.2.dta\nPEPMASS=500.6\nCHARGE=2+\n"
         "100 10\n200 20\n300 30\nEND IONS\n"
         "BEGIN IONS\nTITLE=run.30.30.2.dta\nPEPMASS=800.25\nCHARGE=2+\n"
         "150 5\n450 6\nEND IONS\n";
  const std::string para = WritePara(0, File("run.mgf"), 2, 2);
  ASSERT_EQ(Run({para}), 0) << output_;
  EXPECT_EQ(ReadFile(File("cluster.csv")),
            "1,run.10.10.2.dta,1,999.992724\n2,run.11.11.2.dta,1,1000.192724\n"
            "3,run.30.30.2.dta,2,1599.492724\n");
  // Consensus, representative and lone spectrum: the last two cannot be
  // copied from a directory and are written from the loaded spectra.
  EXPECT_EQ(ReadFile(File("out/10.2-11.2-11.2.dta")),
            "1000.192724 2\n100.000000 20.000000\n200.000000 40.000000\n300.000000 60.000000\n");
  EXPECT_EQ(ReadFile(File("out/run.10.10.2.dta")),
            "999.992724 2\n100.000000 10.000000\n200.000000 20.000000\n300.000000 30.000000\n");
  EXPECT_EQ(ReadFile(File("out/run.30.30.2.dta")),
            "1599.492724 2\n150.000000 5.000000\n450.000000 6.000000\n");
}

TEST_F(ClusterDriver, TheProgramItself) {
  const std::string program = std::string(TESSERA_BIN_DIR) + "/cluster";
  const std::string para = WritePara(0, kData + "cluster_in");
  int status = std::system((program + " " + para + " > log.txt").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadFile(File("cluster.csv")), ReadFile(kData + "cluster_expected/cluster.csv"));
  const std::string log = ReadFile(File("log.txt"));
  EXPECT_NE(log.find("Clustering done!\nGenerating consensus spectra...\n"), std::string::npos)
      << log;
  // The run ends with its counts: s.1 to s.3 share a cluster, the other
  // three are alone.
  EXPECT_TRUE(EndsWith(log, "\nClusters: 4 from 6 spectra; clusters of two or more: 1, holding 3 spectra.\n"))
      << log;

  // No arguments: the usage on standard error, status 2, no marker.
  status = std::system((program + " > usage.txt 2> said.txt").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 2);
  EXPECT_EQ(ReadFile(File("usage.txt")), "");
  EXPECT_EQ(ReadFile(File("said.txt")).rfind("usage: cluster ", 0), 0u);
  EXPECT_FALSE(marker::ErrorMarkerExists());
}

// Clustering an MGF file keeps only the selected peaks and reads the raw
// ones again to write spectra; the files must be those of the engine run on
// the spectra as loaded, whatever the thread count, for numbers the compact
// store keeps as decimals and for those it must keep as doubles.
TEST_F(ClusterDriver, PeaksReadAgainGiveTheFilesOfPeaksKeptInMemory) {
  std::mt19937 random(5);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::string text;
  char line[128];
  for (int t = 0; t < 12; ++t) {
    std::vector<std::pair<double, double>> peaks;
    for (int k = 0; k < 40 + 7 * t; ++k) peaks.emplace_back(100 + 1500 * unit(random), 1 + 5000 * unit(random));
    for (int copy = 0; copy < 8; ++copy) {
      std::snprintf(line, sizeof line, "BEGIN IONS\nTITLE=run.%d.%d.%d.dta\nPEPMASS=%.6f\nCHARGE=%d+\n", 100 * t + copy,
                    100 * t + copy, 2 + t % 2, 500 + 3.0 * t + 0.01 * copy, 2 + t % 2);
      text += line;
      for (std::size_t k = 0; k < peaks.size(); ++k) {
        const double mz = peaks[k].first + 0.02 * (unit(random) - 0.5);
        const double intensity = peaks[k].second * (0.5 + unit(random));
        // Mostly decimals as converters write them; some the store keeps as doubles.
        if (k % 11 == 3) {
          std::snprintf(line, sizeof line, "%.12f %.3e\n", mz, intensity);
        } else if (k % 13 == 5) {
          std::snprintf(line, sizeof line, "%.5f -%.4f\n", mz, intensity);
        } else {
          std::snprintf(line, sizeof line, "%.5f %.4f\n", mz, intensity);
        }
        text += line;
      }
      text += "END IONS\n";
    }
  }
  text += "BEGIN IONS\nTITLE=run.999.999.2.dta\nPEPMASS=700\nCHARGE=2+\nEND IONS\n";  // no peaks
  std::ofstream(File("run.mgf")) << text;

  const std::string para = WritePara(0, File("run.mgf"), 2, 2);
  CPara reference;
  ASSERT_TRUE(reference.ReadParaFile(para));
  reference.spectra_process->out_directory = File("reference");
  reference.spectra_process->cluster_result = File("reference.csv");
  std::vector<msdata::CSpectrum> spectra;
  ASSERT_TRUE(CMgfImporter().Load(File("run.mgf"), spectra, true));
  spectra.erase(std::remove_if(spectra.begin(), spectra.end(),
                               [](const msdata::CSpectrum& s) { return s.peaks.empty(); }),
                spectra.end());
  clusterjob::OrderForClustering(spectra);
  reference.cluster->Run(spectra, reference.similarity.get(), reference.peak_select.get());

  for (const char* threads : {"1", "2"}) {
    fs::remove_all(File("out"));
    ASSERT_EQ(Run({"--threads", threads, para}), 0) << output_;
    EXPECT_EQ(ReadFile(File("cluster.csv")), ReadFile(File("reference.csv")));
    std::size_t files = 0;
    for (const auto& entry : fs::directory_iterator(File("reference"))) {
      EXPECT_EQ(ReadFile(File("out/" + entry.path().filename().string())), ReadFile(entry.path().string()))
          << entry.path();
      ++files;
    }
    EXPECT_GT(files, 12u);
    EXPECT_EQ(static_cast<std::size_t>(std::distance(fs::directory_iterator(File("out")), fs::directory_iterator())),
              files);
  }

  // The selections come back bit for bit, and a file changed under the run
  // is said, not read as something else.
  COffloadedPeaks store(CPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100), 1, 2);
  ASSERT_TRUE(store.Open(File("run.mgf")));
  CMgfImporter importer;
  importer.SetHook([&store](msdata::CSpectrum& s, const CMS2Input::RecordPlace& place) {
    return store.Keep(s, place);
  });
  std::vector<msdata::CSpectrum> kept;
  ASSERT_TRUE(importer.Load(File("run.mgf"), kept, true));
  store.Arrange({});
  ASSERT_EQ(kept.size(), 96u);
  std::vector<msdata::CSpectrum> loaded;
  ASSERT_TRUE(CMgfImporter().Load(File("run.mgf"), loaded, true));
  msdata::PeakList peaks;
  for (std::size_t i = 0; i < kept.size(); ++i) {
    EXPECT_TRUE(kept[i].peaks.empty());
    msdata::PeakList selected = loaded[i].peaks;
    CPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100).Select(selected);
    store.Selected(i, peaks);
    ASSERT_EQ(peaks.size(), selected.size());
    EXPECT_TRUE(peaks.empty() ||
                std::memcmp(peaks.data(), selected.data(), peaks.size() * sizeof(msdata::Peak)) == 0)
        << i;
    store.Raw(i, peaks);
    EXPECT_EQ(peaks, loaded[i].peaks);
  }
  std::ofstream(File("run.mgf")) << text.substr(0, text.size() / 3);
  EXPECT_THROW(store.Raw(kept.size() - 1, peaks), std::runtime_error);
}

}  // namespace
