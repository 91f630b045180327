#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>

#include "clustering/ClusterQuality.h"
#include "clustering/Para.h"
#include "clustering/PreciseCluster.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/tests/SyntheticSpectra.h"
#include "clustering/tests/TestSupport.h"
#include "common/TextUtil.h"

namespace {

using testsupport::MakeSpectrum;
using testsupport::ReadFile;

// Peaks 21 Da apart, so that the selection (five per 100 Da) keeps all:
// ladder 0 takes the even places, ladder 1 the odd ones.
msdata::PeakList Ladders(bool first, bool second) {
  msdata::PeakList peaks;
  for (int i = 0; i < 20; ++i) {
    if ((i % 2 == 0 && first) || (i % 2 == 1 && second)) peaks.emplace_back(200.0 + 21.0 * i, 100.0);
  }
  return peaks;
}

// A spectrum of one ladder, or of both (the bridge: cosine 0.707 with
// either, while the two ladders share nothing).
msdata::CSpectrum Of(const std::string& ladders, int scan, int charge = 2, double mass = 1500.0) {
  return MakeSpectrum("s." + std::to_string(scan) + "." + std::to_string(scan) + "." + std::to_string(charge) +
                          ".dta",
                      mass + scan * 1e-4, charge, Ladders(ladders != "1", ladders != "0"));
}

struct ChainCase {
  const char* name;
  std::vector<msdata::CSpectrum> spectra;  // in the driver's order
  std::vector<std::size_t> single;         // sizes of the clusters of two or more, descending
  std::vector<std::size_t> precise;
};

class PreciseMode : public testsupport::ScratchDir, public ::testing::WithParamInterface<ChainCase> {
 protected:
  // Clusters with threshold 0.6 and returns the sizes of the clusters of
  // two or more, descending; with `merges`, also the merges.
  std::vector<std::size_t> Sizes(std::vector<msdata::CSpectrum> spectra, Clustering_Mode mode, double threshold = 0.6,
                                 std::vector<linkage::Merge>* merges = nullptr, std::vector<int>* labels = nullptr) {
    CPara para;
    para.SetDataClass(MS2_FORMAT_DTA, File("data"), "", File("clusters.csv"), 1);
    para.SetRepresentativeClass(static_cast<Representative_Spectra>(3), 0.4, TOLERANCE_DA);
    para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(), CLUSTER_SIMILARITY, 20,
                    TOLERANCE_PPM, threshold);
    para.SetSimilarMethod(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
    para.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
    para.cluster->clustering_mode = mode;
    static_cast<CSimilarityCluster&>(*para.cluster).merge_log = merges;
    const std::vector<msdata::CSpectrum> order = spectra;
    para.cluster->Run(spectra, para.similarity.get(), para.peak_select.get());
    std::map<std::string, int> cluster_of;
    std::map<int, std::size_t> size;
    std::istringstream in(ReadFile(File("clusters.csv")));
    for (std::string line; std::getline(in, line);) {
      const auto fields = text::Split(line);
      cluster_of[fields[1]] = text::AtoI(fields[2]);
      ++size[text::AtoI(fields[2])];
    }
    if (labels) {
      labels->clear();
      for (const auto& s : order) labels->push_back(cluster_of.at(s.name));
    }
    std::vector<std::size_t> sizes;
    for (const auto& [cluster, n] : size) {
      if (n > 1) sizes.push_back(n);
    }
    std::sort(sizes.rbegin(), sizes.rend());
    return sizes;
  }
};

TEST_P(PreciseMode, MergesOnTheMeanOfEveryPairNotOnOneGoodPair) {
  const ChainCase& c = GetParam();
  EXPECT_EQ(Sizes(c.spectra, CLUSTERING_SINGLE), c.single);
  EXPECT_EQ(Sizes(c.spectra, CLUSTERING_PRECISE), c.precise);
}

INSTANTIATE_TEST_SUITE_P(
    HandMade, PreciseMode,
    ::testing::Values(
        // One ladder, both, the other: single linkage chains all three.
        ChainCase{"Chain", {Of("0", 1), Of("01", 2), Of("1", 3)}, {3}, {2}},
        // Two groups of three bridged by one spectrum of both: single
        // linkage joins all seven, the mean keeps the groups apart.
        ChainCase{"Bridge",
                  {Of("0", 1), Of("0", 2), Of("0", 3), Of("01", 4), Of("1", 5), Of("1", 6), Of("1", 7)},
                  {7},
                  {4, 3}},
        // Alike spectra at charges 2 and 3 of one MH+: blocks hold one
        // charge, the precise mode compares them.
        ChainCase{"AcrossCharges", {Of("0", 1, 2), Of("0", 2, 2), Of("0", 3, 3)}, {2}, {3}},
        // Alike spectra 30 ppm apart are no pair in either mode.
        ChainCase{"OutOfTolerance", {Of("0", 1, 2, 1500.0), Of("0", 2, 2, 1500.045)}, {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

// The full matrix and the neighbour maps make the same merges in the same
// order, ties among them (scores from a few values only).
class AverageLinkageStorage : public ::testing::TestWithParam<std::pair<int, int>> {};

TEST_P(AverageLinkageStorage, MatrixAndNeighboursMergeAlike) {
  const auto [k, percent] = GetParam();
  std::mt19937 rng(static_cast<std::uint32_t>(k * 100 + percent));
  std::vector<linkage::Edge> edges;
  for (int a = 0; a < k; ++a) {
    for (int b = a + 1; b < k; ++b) {
      if (static_cast<int>(rng() % 100) < percent)
        edges.push_back({static_cast<std::uint32_t>(a), static_cast<std::uint32_t>(b),
                         static_cast<std::int16_t>(1000 * (1 + rng() % 9))});
    }
  }
  const auto neighbours = precise::AverageLinkage(k, edges, 2000, precise::Storage::kNeighbours);
  const auto matrix = precise::AverageLinkage(k, edges, 2000, precise::Storage::kMatrix);
  ASSERT_EQ(matrix.size(), neighbours.size());
  ASSERT_FALSE(matrix.empty());
  for (std::size_t m = 0; m < matrix.size(); ++m) {
    EXPECT_EQ(matrix[m].a, neighbours[m].a) << m;
    EXPECT_EQ(matrix[m].b, neighbours[m].b) << m;
    EXPECT_EQ(matrix[m].score, neighbours[m].score) << m;
    if (m > 0) {
      EXPECT_LE(matrix[m].score, matrix[m - 1].score) << m;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Groups, AverageLinkageStorage,
                         ::testing::Values(std::pair{12, 30}, std::pair{80, 5}, std::pair{80, 60}, std::pair{200, 95}));

// Merge scores never rise, so the merges of one run above a floor are the
// clusters a run at that floor makes: the threshold curve holds.
TEST_F(PreciseMode, MergesOfOneRunAreTheClustersOfEveryHigherThreshold) {
  synthetic::Options o;
  o.families = 10;
  o.members_per_family = 12;
  o.mass_spread = 0.004;
  o.shared_peaks = 30;
  auto spectra = synthetic::Make(o);
  synthetic::OrderForClustering(spectra);
  std::vector<int> peptides(spectra.size());
  for (std::size_t s = 0; s < spectra.size(); ++s) peptides[s] = s % 5 == 0 ? -1 : static_cast<int>(s % 13);
  std::vector<linkage::Merge> merges;
  std::vector<int> labels;
  Sizes(spectra, CLUSTERING_PRECISE, 0.2, &merges, &labels);
  ASSERT_GT(merges.size(), 20u);
  const auto rows = quality::Curve(spectra.size(), merges, peptides, 0.2);
  for (double t : {0.2, 0.4, 0.6, 0.8}) {
    const auto row = std::find_if(rows.begin(), rows.end(), [t](auto& f) { return f.threshold == t; });
    ASSERT_NE(row, rows.end()) << t;
    Sizes(spectra, CLUSTERING_PRECISE, t, nullptr, &labels);
    const quality::Figures alone = quality::FiguresOf(labels, peptides);
    EXPECT_EQ(row->clustered, alone.clustered) << t;
    EXPECT_EQ(row->clusters, alone.clusters) << t;
    EXPECT_EQ(row->differing_pairs, alone.differing_pairs) << t;
  }
}

}  // namespace
