#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <limits>
#include <random>
#include <set>
#include <sstream>

#include "clustering/Para.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SingleLinkage.h"
#include "clustering/SpectralPairSearch.h"
#include "clustering/tests/SyntheticSpectra.h"
#include "clustering/tests/TestSupport.h"
#include "common/Dta.h"
#include "tests/support/ReferenceEngine.h"

namespace {

namespace fs = std::filesystem;
using testsupport::DataFile;
using testsupport::MakeSpectrum;
using testsupport::ReadFile;

std::vector<std::string> FilesIn(const std::string& dir) {
  std::set<std::string> names;
  if (fs::is_directory(dir)) {
    for (const auto& e : fs::directory_iterator(dir)) names.insert(e.path().filename().string());
  }
  return {names.begin(), names.end()};
}

std::vector<msdata::CSpectrum> LoadDir(const std::string& dir) {
  std::vector<msdata::CSpectrum> spectra;
  for (const std::string& name : FilesIn(dir)) {
    msdata::CSpectrum s;
    std::string error;
    EXPECT_TRUE(msdata::ReadDta(dir + "/" + name, s, error)) << error;
    spectra.push_back(s);
  }
  synthetic::OrderForClustering(spectra);
  return spectra;
}

class SimilarityClustering : public testsupport::ScratchDir {
 protected:
  // A job over `data`, writing into the scratch directory.
  void Setup(const std::string& data, int consensus_type, double tolerance = 2.5,
             Tolerance_Type type = TOLERANCE_DA, double threshold = 0.6) {
    para_.SetDataClass(MS2_FORMAT_DTA, data, File("out"), File("cluster.csv"), 1);
    para_.SetRepresentativeClass(static_cast<Representative_Spectra>(consensus_type), 0.4,
                                 TOLERANCE_DA);
    para_.SetCluster(para_.spectra_process.get(), para_.representative_spectra.get(),
                     CLUSTER_SIMILARITY, tolerance, type, threshold);
    para_.SetSimilarMethod(SIMILAR_PEAK_COUNT, 0.1, TOLERANCE_PPM);
    para_.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  }
  CSimilarityCluster& Strategy() { return static_cast<CSimilarityCluster&>(*para_.cluster); }
  void Run(std::vector<msdata::CSpectrum>& spectra) {
    para_.cluster->Run(spectra, para_.similarity.get(), para_.peak_select.get());
  }
  CPara para_;
};

TEST_F(SimilarityClustering, GoldenClusterFileAndConsensusSpectrum) {
  const std::string in = DataFile("cluster_in");
  auto spectra = LoadDir(in);
  Setup(in, REPRESENTATIVE_CONSENSUS);
  Run(spectra);
  EXPECT_EQ(ReadFile(File("cluster.csv")), ReadFile(DataFile("cluster_expected/cluster.csv")));
  EXPECT_EQ(FilesIn(File("out")), (std::vector<std::string>{"1.2-2.2-3.2.dta", "s.4.4.2.dta",
                                                            "s.5.5.3.dta", "s.6.6.3.dta"}));
  EXPECT_EQ(ReadFile(File("out/1.2-2.2-3.2.dta")),
            ReadFile(DataFile("cluster_expected/1.2-2.2-3.2.dta")));
  // Single spectra are copies of their files, not rewritten.
  EXPECT_EQ(ReadFile(File("out/s.4.4.2.dta")), ReadFile(in + "/s.4.4.2.dta"));
  EXPECT_EQ(ReadFile(File("out/s.6.6.3.dta")), ReadFile(in + "/s.6.6.3.dta"));
  // Fewer than 10 spectra: no progress text.
  EXPECT_EQ(messages_, "Clustering done!\nGenerating consensus spectra...\n");
  // The similarity settings are left at "Dot Product", 0.5 Da.
  EXPECT_EQ(para_.similarity->similar_method, SIMILAR_DOT_PRODUCT);
  EXPECT_EQ(para_.similarity->fragment_ion_tol, 0.5);
  EXPECT_EQ(para_.similarity->fragment_ion_tol_type, TOLERANCE_DA);
}

TEST_F(SimilarityClustering, ConsensusTypesDecideTheSpectrumFiles) {
  const std::string in = DataFile("cluster_in");
  const std::vector<std::vector<std::string>> expected = {
      {"1.2-2.2-3.2.dta", "s.4.4.2.dta", "s.5.5.3.dta", "s.6.6.3.dta"},
      // The representative of the first cluster is its head (the most
      // supported member); the last block's lone spectrum is a cluster of its own.
      {"s.1.1.2.dta", "s.4.4.2.dta", "s.5.5.3.dta", "s.6.6.3.dta"},
      {"1.2-2.2-3.2.dta", "s.1.1.2.dta", "s.4.4.2.dta", "s.5.5.3.dta", "s.6.6.3.dta"},
      // Neither consensus spectra nor representatives: no spectrum at all.
      {}};
  for (int type = 0; type <= 3; ++type) {
    fs::remove_all(File("out"));
    auto spectra = LoadDir(in);
    Setup(in, type);
    Run(spectra);
    EXPECT_EQ(FilesIn(File("out")), expected[type]) << type;
    EXPECT_EQ(ReadFile(File("cluster.csv")), ReadFile(DataFile("cluster_expected/cluster.csv")));
  }
}

TEST_F(SimilarityClustering, BlocksByChargeAndPrecursorTolerance) {
  Setup(File("data"), 3, 2.5, TOLERANCE_DA);
  const msdata::PeakList peaks = {{100, 1}, {200, 2}};
  std::vector<msdata::CSpectrum> spectra = {
      MakeSpectrum("a.1.1.2.dta", 1000.0, 2, peaks), MakeSpectrum("a.2.2.2.dta", 1002.4, 2, peaks),
      // Exactly the tolerance from the block start: a new block.
      MakeSpectrum("a.3.3.2.dta", 1002.5, 2, peaks),
      // Same mass, other charge: a new block.
      MakeSpectrum("a.4.4.3.dta", 1002.5, 3, peaks)};
  auto blocks = Strategy().FindBlocks(spectra);
  ASSERT_EQ(blocks.size(), 3u);
  EXPECT_EQ(blocks[0].size, 2u);
  EXPECT_EQ(blocks[1].start, 2u);
  EXPECT_EQ(blocks[2].start, 3u);

  Strategy().precursor_ion_tol = 0.0;
  EXPECT_EQ(Strategy().FindBlocks(spectra).size(), 4u);
  Strategy().precursor_ion_tol = 10.0;
  Strategy().precursor_ion_tol_type = TOLERANCE_PPM;
  spectra[1].precursor_mass = 1000.0099;  // 9.9 ppm
  EXPECT_EQ(Strategy().FindBlocks(spectra)[0].size, 2u);
  spectra[1].precursor_mass = 1000.0101;
  EXPECT_EQ(Strategy().FindBlocks(spectra)[0].size, 1u);
  EXPECT_EQ(Strategy().FindBlocks({}).size(), 1u);
}

TEST_F(SimilarityClustering, ThresholdIsStrict) {
  const msdata::PeakList a = {{100, 10}, {200, 20}, {300, 30}};
  const msdata::PeakList b = {{100.2, 10}, {200, 20}, {400, 5}};
  std::vector<msdata::CSpectrum> spectra = {MakeSpectrum("t.1.1.2.dta", 1000.0, 2, a),
                                            MakeSpectrum("t.2.2.2.dta", 1000.5, 2, b)};
  Setup(File("data"), 3);
  CSimilarity dot(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  msdata::PeakList x = para_.peak_select->Prepare(a);
  msdata::PeakList y = para_.peak_select->Prepare(b);
  const int v = linkage::PackScore(dot.Compute(x, y, -0.5));
  ASSERT_GT(v, 0);
  const CSimilarityCluster::Block block{0, 2};

  Strategy().threshold = (v + 0.5) / 10000.0;  // T = v
  auto apart = Strategy().ClusterBlock(spectra, block, dot, *para_.peak_select);
  EXPECT_EQ(apart.links[0].next, -1);
  EXPECT_EQ(apart.representatives, (std::vector<int>{0, 1}));

  Strategy().threshold = (v - 0.5) / 10000.0;  // T = v - 1
  auto merged = Strategy().ClusterBlock(spectra, block, dot, *para_.peak_select);
  EXPECT_EQ(merged.links[0].next, 1);
  EXPECT_EQ(merged.links[1].root, 0);
  // Equal supports: the first member represents the cluster.
  EXPECT_EQ(merged.representatives, (std::vector<int>{0}));

  // A threshold below 0 still merges only pairs that score above 0.
  std::vector<msdata::CSpectrum> unrelated = {
      MakeSpectrum("u.1.1.2.dta", 1000.0, 2, {{100, 1}}),
      MakeSpectrum("u.2.2.2.dta", 1000.1, 2, {{900, 1}})};
  Strategy().threshold = -1.0;
  auto none = Strategy().ClusterBlock(unrelated, block, dot, *para_.peak_select);
  EXPECT_EQ(none.representatives, (std::vector<int>{0, 1}));
}

TEST_F(SimilarityClustering, ProgressAndLoneSpectra) {
  // Twelve spectra, each its own block: progress counts tenths of the list
  // and stops short of 100 percent; the last lone spectrum is a
  // representative, the others are copied while their blocks close.
  std::vector<msdata::CSpectrum> spectra;
  for (int k = 0; k < 12; ++k) {
    spectra.push_back(MakeSpectrum("p." + std::to_string(k) + "." + std::to_string(k) + ".2.dta",
                                   1000.0 + 10 * k, 2, {{100.0 + k, 1.0}}));
  }
  // The data "directory" is one input file: spectra are written from memory.
  testsupport::WriteFile(File("input.mgf"), "not read by the engine\n");
  Setup(File("input.mgf"), REPRESENTATIVE_MOST_SIMILAR);
  Run(spectra);
  EXPECT_EQ(messages_,
            "10%..20%..30%..40%..50%..60%..70%..80%..90%..Clustering done!\n"
            "Generating consensus spectra...\n");
  EXPECT_EQ(FilesIn(File("out")).size(), 12u);
  EXPECT_EQ(ReadFile(File("out/p.11.11.2.dta")), "1110.000000 2\n111.000000 1.000000\n");
  const std::string clusters = ReadFile(File("cluster.csv"));
  EXPECT_NE(clusters.find("12,p.11.11.2.dta,12,1110.000000\n"), std::string::npos);
}

TEST_F(SimilarityClustering, EmptyDataPathWritesNothing) {
  Setup("", REPRESENTATIVE_CONSENSUS);
  std::vector<msdata::CSpectrum> spectra = {MakeSpectrum("e.1.1.2.dta", 1000, 2, {{100, 1}})};
  Run(spectra);
  EXPECT_EQ(messages_, "Wrong data path!\n");
  EXPECT_FALSE(fs::exists(File("cluster.csv")));
  EXPECT_FALSE(fs::exists(File("out")));
}

TEST_F(SimilarityClustering, NoSpectraGiveAnEmptyClusterFile) {
  Setup(File("data"), REPRESENTATIVE_CONSENSUS);
  std::vector<msdata::CSpectrum> spectra;
  Run(spectra);
  EXPECT_TRUE(fs::exists(File("cluster.csv")));
  EXPECT_EQ(ReadFile(File("cluster.csv")), "");
}

TEST_F(SimilarityClustering, MatchesTheStraightforwardPath) {
  synthetic::Options o;
  o.families = 14;
  o.members_per_family = 9;
  o.mass_spread = 1.5;
  o.charges = 2;
  auto spectra = synthetic::Make(o);
  synthetic::OrderForClustering(spectra);
  struct Case {
    double tolerance;
    Tolerance_Type type;
    double threshold;
    int threads;
  };
  for (const Case& c : {Case{2.5, TOLERANCE_DA, 0.6, 1}, Case{2.5, TOLERANCE_DA, 0.3, 2},
                        Case{1500.0, TOLERANCE_PPM, 0.45, 2}, Case{0.8, TOLERANCE_DA, 0.0, 1}}) {
    fs::remove_all(File("out"));
    fs::remove_all(File("ref"));
    messages_.clear();
    Setup(File("data"), REPRESENTATIVE_BOTH, c.tolerance, c.type, c.threshold);
    Strategy().worker_threads = c.threads;
    Run(spectra);
    const std::string fast_messages = messages_;

    CSimilarity similarity;
    reference::ClusterOutcome ref =
        reference::Cluster(spectra, Strategy(), similarity, *para_.peak_select);
    CRepresentativeSpectra generator(REPRESENTATIVE_BOTH, 0.4, TOLERANCE_DA);
    CSpectraProcess settings(MS2_FORMAT_DTA, File("data"), File("ref"), File("ref.csv"), 1);
    messages_.clear();
    generator.Generate(spectra, ref.links, ref.representatives, settings);
    EXPECT_EQ(fast_messages, ref.progress + "Clustering done!\n" + messages_);
    EXPECT_EQ(ReadFile(File("cluster.csv")), ReadFile(File("ref.csv")));
    const auto files = FilesIn(File("out"));
    EXPECT_EQ(files, FilesIn(File("ref")));
    for (const std::string& f : files) {
      EXPECT_EQ(ReadFile(File("out/" + f)), ReadFile(File("ref/" + f))) << f;
    }
    // Several clusters of several members, so the comparison means something.
    EXPECT_LT(FilesIn(File("out")).size(), spectra.size());
  }
}

TEST_F(SimilarityClustering, EqualConsensusNamesDoNotOverwrite) {
  // Two clusters in different blocks whose names both read 10.2-20.2-20.2.
  const msdata::PeakList peaks = {{100, 1}, {200, 2}};
  std::vector<msdata::CSpectrum> spectra = {
      MakeSpectrum("a.10.10.2.dta", 1000.0, 2, peaks),
      MakeSpectrum("a.20.20.2.dta", 1000.1, 2, peaks),
      MakeSpectrum("b.10.10.2.dta", 1500.0, 2, {{300, 1}, {400, 2}}),
      MakeSpectrum("b.20.20.2.dta", 1500.1, 2, {{300, 1}, {400, 2}}),
      // A name without dots has an empty part.
      MakeSpectrum("plain", 1700.0, 2, peaks), MakeSpectrum("plain2", 1700.1, 2, peaks)};
  Setup(File("data"), REPRESENTATIVE_CONSENSUS);
  Run(spectra);
  EXPECT_EQ(FilesIn(File("out")),
            (std::vector<std::string>{"--.dta", "10.2-20.2-20.2.dta", "10.2-20.2-20.2_2.dta"}));
  EXPECT_EQ(ReadFile(File("out/10.2-20.2-20.2.dta")),
            "1000.100000 2\n100.000000 2.000000\n200.000000 4.000000\n");
  EXPECT_EQ(ReadFile(File("out/10.2-20.2-20.2_2.dta")),
            "1500.100000 2\n300.000000 2.000000\n400.000000 4.000000\n");
}

TEST(RepresentativeSpectra, NamePartsAndPeakMerging) {
  EXPECT_EQ(CRepresentativeSpectra::NamePart("s.10.12.2.dta"), "10.2");
  EXPECT_EQ(CRepresentativeSpectra::NamePart("my.run.7.9.3.dta"), "7.3");
  EXPECT_EQ(CRepresentativeSpectra::NamePart("10.12.2.dta"), "");
  EXPECT_EQ(CRepresentativeSpectra::NamePart(""), "");
  EXPECT_EQ(CRepresentativeSpectra::MergePeaks({{100.5, 5}, {100.0, 10}, {100.3, 20}}),
            (msdata::PeakList{{100.15, 30}, {100.5, 5}}));
  EXPECT_TRUE(CRepresentativeSpectra::MergePeaks({}).empty());
}

TEST(RepresentativeSpectra, ClusterFileFollowsChains) {
  std::vector<msdata::CSpectrum> spectra;
  for (int k = 0; k < 4; ++k) {
    spectra.push_back(MakeSpectrum("c." + std::to_string(k) + ".0.1.dta", 100.0 + k, 1, {}));
  }
  // Clusters {0, 2, 3} in merge order 0, 3, 2 and {1}.
  const std::vector<ClusterLink> links = {{0, 3}, {1, -1}, {0, -1}, {0, 2}};
  std::ostringstream out;
  CRepresentativeSpectra::WriteClusterFile(spectra, links, out);
  EXPECT_EQ(out.str(),
            "1,c.0.0.1.dta,1,100.000000\n2,c.3.0.1.dta,1,103.000000\n"
            "3,c.2.0.1.dta,1,102.000000\n4,c.1.0.1.dta,2,101.000000\n");
  // Links that loop or point outside the list end the chain.
  const std::vector<ClusterLink> broken = {{0, 1}, {0, 0}, {2, 77}, {3, -5}};
  std::ostringstream safe;
  CRepresentativeSpectra::WriteClusterFile(spectra, broken, safe);
  const std::string text = safe.str();
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 4);
}

// The spectra's raw peaks as a peak source that notes, whenever a spectrum
// file is about to be written, whether the cluster file is there already.
class WatchingPeakSource : public CPeakSource {
 public:
  WatchingPeakSource(const std::vector<msdata::CSpectrum>& spectra, const CPeakSelect& selection,
                     std::string cluster_file)
      : spectra_(spectra), selection_(selection), cluster_file_(std::move(cluster_file)) {}
  void Selected(std::size_t position, msdata::PeakList& peaks) const override {
    peaks = spectra_[position].peaks;
    selection_.Select(peaks);
  }
  void Raw(std::size_t position, msdata::PeakList& peaks) const override {
    peaks = spectra_[position].peaks;
    ++reads;
    if (fs::exists(cluster_file_)) ++reads_after_cluster_file;
  }
  mutable std::atomic<int> reads{0};
  mutable std::atomic<int> reads_after_cluster_file{0};

 private:
  const std::vector<msdata::CSpectrum>& spectra_;
  CPeakSelect selection_;
  std::string cluster_file_;
};

// A run cut short must not leave a whole cluster file beside a spectrum
// folder that is not: the cluster file comes after every spectrum file.
TEST_F(SimilarityClustering, ClusterFileComesAfterEverySpectrumFile) {
  const std::string in = DataFile("cluster_in");
  for (int type = REPRESENTATIVE_CONSENSUS; type <= REPRESENTATIVE_BOTH; ++type) {
    fs::remove_all(File("out"));
    fs::remove(File("cluster.csv"));
    auto spectra = LoadDir(in);
    Setup(in, type);
    WatchingPeakSource watch(spectra, *para_.peak_select, File("cluster.csv"));
    Strategy().peak_source = &watch;
    bool hook_before_cluster_file = false;
    para_.representative_spectra->clusters_numbered = [&](const std::vector<unsigned char>&) {
      hook_before_cluster_file = !fs::exists(File("cluster.csv"));
      return true;
    };
    Run(spectra);
    EXPECT_GT(watch.reads.load(), 0) << type;
    EXPECT_EQ(watch.reads_after_cluster_file.load(), 0) << type;
    EXPECT_TRUE(hook_before_cluster_file) << type;
    EXPECT_EQ(ReadFile(File("cluster.csv")), ReadFile(DataFile("cluster_expected/cluster.csv")));
  }
}

TEST_F(SimilarityClustering, UnwritableClusterFileStillGivesSpectra) {
  const std::string in = DataFile("cluster_in");
  auto spectra = LoadDir(in);
  Setup(in, REPRESENTATIVE_CONSENSUS);
  para_.spectra_process->cluster_result = File("no/such/dir/cluster.csv");
  Run(spectra);
  EXPECT_NE(messages_.find("Cannot generate the clustering result file!\n"), std::string::npos);
  EXPECT_EQ(FilesIn(File("out")).size(), 4u);
}

}  // namespace

namespace {

// Damaged spectra (NaN, infinities, negative values, no peaks, zero
// masses) go through both strategies without a crash or a NaN score.
TEST_F(SimilarityClustering, DamagedSpectraNeverCrash) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::mt19937 rng(21);
  const double values[] = {nan, inf, -inf, -5.0, 0.0, 100.0, 100.2, 250.0, 1e308};
  std::vector<msdata::CSpectrum> spectra;
  for (int k = 0; k < 60; ++k) {
    msdata::PeakList peaks;
    const int n = static_cast<int>(rng() % 30);
    for (int p = 0; p < n; ++p) peaks.emplace_back(values[rng() % 9], values[rng() % 9]);
    spectra.push_back(MakeSpectrum("d." + std::to_string(k) + "." + std::to_string(k) + ".2.dta",
                                   k % 7 == 0 ? values[rng() % 9] : 1000.0 + (k % 5) * 0.1,
                                   static_cast<int>(rng() % 3), peaks));
  }
  for (int type = 0; type <= 3; ++type) {
    fs::remove_all(File("out"));
    Setup(File("input.mgf"), type, type == 3 ? 50.0 : 2.5, type == 3 ? TOLERANCE_PPM : TOLERANCE_DA,
          0.1);
    Run(spectra);
    EXPECT_TRUE(fs::exists(File("cluster.csv")));
  }
  for (int method = 0; method <= 7; ++method) {
    CPara pair;
    pair.SetDataClass(MS2_FORMAT_DTA, File("d"), "", File("pairs.csv"), 1);
    pair.SetCluster(pair.spectra_process.get(), nullptr, CLUSTER_SPECTRAL_PAIR, 1, TOLERANCE_DA,
                    -1.0);
    pair.SetSimilarMethod(static_cast<Similar_Method>(method), 0.5, TOLERANCE_DA);
    pair.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
    pair.cluster->lower_mass = 0;
    pair.cluster->upper_mass = 1000;
    pair.cluster->Run(spectra, pair.similarity.get(), pair.peak_select.get());
    static_cast<CSpectralPairSearch&>(*pair.cluster)
        .ShiftSearch(spectra, pair.similarity.get(), pair.peak_select.get());
  }
  EXPECT_EQ(ReadFile(File("score.txt")).find("nan"), std::string::npos);
}

}  // namespace

namespace {

// Near-duplicate families around one precursor mass, so that blocks are
// large and most pairs score near one another, plus damaged spectra.
std::vector<msdata::CSpectrum> CrowdedSpectra() {
  synthetic::Options o;
  o.families = 6;
  o.members_per_family = 14;
  o.raw_peaks = 110;
  o.shared_peaks = 70;
  o.charges = 2;
  o.seed = 77;
  auto spectra = synthetic::Make(o);
  std::mt19937 rng(5);
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    msdata::CSpectrum& s = spectra[i];
    s.precursor_mass = 1500.0 + static_cast<double>(rng() % 1000) / 1000.0;
    // Every third family borrows the peaks of the one before: scores then
    // also fall between families.
    if (i >= o.members_per_family && (i / o.members_per_family) % 3 == 1 && rng() % 2 == 0) {
      s.peaks = spectra[i - o.members_per_family].peaks;
      for (msdata::Peak& p : s.peaks) p.second *= 0.5 + (rng() % 100) / 100.0;
    }
  }
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  spectra[3].peaks[5].first = nan;
  spectra[4].peaks[7].second = nan;
  spectra[20].peaks[2].second = inf;
  spectra[21].peaks[9].second = -40.0;
  spectra[30].peaks[11].first = 7e8;
  for (msdata::Peak& p : spectra[40].peaks) p.second = 0.0;
  return spectra;
}

// Run's block loop without the files: links and representatives.
reference::ClusterOutcome ClusterAll(const std::vector<msdata::CSpectrum>& spectra,
                                     const CSimilarityCluster& strategy,
                                     const CPeakSelect& select, int threads) {
  const CSimilarity dot(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  reference::ClusterOutcome out;
  const auto blocks = strategy.FindBlocks(spectra);
  for (std::size_t b = 0; b < blocks.size(); ++b) {
    const auto start = static_cast<std::int32_t>(blocks[b].start);
    if (blocks[b].size == 1 && b + 1 < blocks.size()) {
      out.links.push_back(ClusterLink{start, -1});
      continue;
    }
    const auto r = strategy.ClusterBlock(spectra, blocks[b], dot, select, threads, true);
    for (const ClusterLink& l : r.links) {
      out.links.push_back(ClusterLink{l.root + start, l.next < 0 ? -1 : l.next + start});
    }
    for (int p : r.representatives) out.representatives.push_back(p + start);
  }
  return out;
}

std::string Describe(const reference::ClusterOutcome& o) {
  std::string text;
  for (const ClusterLink& l : o.links) {
    text += std::to_string(l.root) + ">" + std::to_string(l.next) + " ";
  }
  text += "| ";
  for (int p : o.representatives) text += std::to_string(p) + " ";
  return text;
}

// A block of equal spectra: every pair merges, so the bounds skip none.
// The block holds no more pair entries than its score matrices (2 bytes a
// pair, twice with representatives), and merges into one chain in order.
TEST(BlockMemory, EqualSpectraHoldNoMoreThanTheMatrix) {
  const std::size_t k = 1500;
  const msdata::PeakList peaks = {{120.1, 30}, {250.3, 80}, {377.2, 15}, {501.9, 60}, {640.4, 25},
                                  {777.7, 90}, {820.2, 10}, {955.5, 45}, {1010.1, 70}, {1130.6, 35}};
  std::vector<msdata::CSpectrum> spectra;
  for (std::size_t i = 0; i < k; ++i) {
    const std::string n = std::to_string(i + 1);
    spectra.push_back(MakeSpectrum("e." + n + "." + n + ".2.dta", 1000.0, 2, peaks));
  }
  CSimilarityCluster strategy(nullptr, nullptr, 20.0, TOLERANCE_PPM, 0.6);
  const CPeakSelect select(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  const CSimilarity dot(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  const auto r = strategy.ClusterBlock(spectra, CSimilarityCluster::Block{0, k}, dot, select, 2, true);
  EXPECT_LE(r.held_bytes, k * (k - 1) / 2 * 2 * sizeof(std::int16_t));
  ASSERT_EQ(r.links.size(), k);
  for (std::size_t i = 0; i < k; ++i) {
    EXPECT_EQ(r.links[i].root, 0);
    EXPECT_EQ(r.links[i].next, i + 1 < k ? static_cast<int>(i + 1) : -1);
  }
  EXPECT_EQ(r.representatives, std::vector<int>{0});
}

class JoinedClustering : public ::testing::TestWithParam<std::tuple<int, int>> {};

// The joined engine, the engine scoring every pair and the straightforward
// reference agree on every link and representative: thresholds from 0 to
// 0.9 and exactly at and one step below observed scores, every peak
// selection (top 100 keeps lists beyond the index's 63 peaks), damaged
// spectra, one thread and several.
TEST_P(JoinedClustering, EqualsEveryPairAndTheReference) {
  const auto [method, threads] = GetParam();
  auto spectra = CrowdedSpectra();
  synthetic::OrderForClustering(spectra);
  const CPeakSelect select(static_cast<Peak_Select_Method>(method), method == 0 ? 100 : 50,
                           method == 1 ? 9 : 5, 100);
  // Packed scores of a few real pairs, for thresholds right at them.
  std::vector<double> thresholds = {0.0, 0.3, 0.6, 0.9};
  const CSimilarity dot(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  for (std::size_t i : {2u, 17u, 33u}) {
    msdata::PeakList x = select.Prepare(spectra[i].peaks);
    msdata::PeakList y = select.Prepare(spectra[i + 1].peaks);
    const int packed = linkage::PackScore(dot.Compute(x, y, 0.0));
    thresholds.push_back(packed / 10000.0);
    thresholds.push_back((packed - 1) / 10000.0);
  }
  for (double threshold : thresholds) {
    CSimilarityCluster strategy(nullptr, nullptr, 2.5, TOLERANCE_DA, threshold);
    const auto joined = ClusterAll(spectra, strategy, select, threads);
    strategy.join_pairs = false;
    const auto every = ClusterAll(spectra, strategy, select, threads);
    CSimilarity similarity(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
    const auto ref = reference::Cluster(spectra, strategy, similarity, select);
    EXPECT_EQ(Describe(joined), Describe(every)) << "threshold " << threshold;
    EXPECT_EQ(Describe(joined), Describe(ref)) << "threshold " << threshold;
  }
}

INSTANTIATE_TEST_SUITE_P(Methods, JoinedClustering,
                         ::testing::Combine(::testing::Values(0, 1, 2), ::testing::Values(1, 3)));

}  // namespace
