#include <gtest/gtest.h>

#include <map>
#include <random>
#include <sstream>

#include "clustering/ClusterQuality.h"
#include "clustering/Para.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/tests/SyntheticSpectra.h"
#include "clustering/tests/TestSupport.h"
#include "common/TextUtil.h"

namespace {

using testsupport::ReadFile;

// Cluster numbers of the merges above `floor`, by union-find afresh.
std::vector<int> LabelsAbove(std::size_t n, const std::vector<linkage::Merge>& merges, int floor) {
  std::vector<int> parent(n);
  for (std::size_t s = 0; s < n; ++s) parent[s] = static_cast<int>(s);
  auto find = [&](int x) {
    while (parent[x] != x) x = parent[x];
    return x;
  };
  for (const auto& m : merges) {
    if (m.score > floor) parent[find(static_cast<int>(m.a))] = find(static_cast<int>(m.b));
  }
  std::vector<int> labels(n);
  for (std::size_t s = 0; s < n; ++s) labels[s] = find(static_cast<int>(s));
  return labels;
}

void ExpectSame(const quality::Figures& want, const quality::Figures& got) {
  EXPECT_EQ(got.spectra, want.spectra);
  EXPECT_EQ(got.clustered, want.clustered);
  EXPECT_EQ(got.clusters, want.clusters);
  EXPECT_EQ(got.identified_clustered, want.identified_clustered);
  EXPECT_EQ(got.incorrect, want.incorrect);
  EXPECT_EQ(got.pairs_together, want.pairs_together);
  EXPECT_EQ(got.pairs_same_peptide, want.pairs_same_peptide);
  EXPECT_EQ(got.identified_pairs, want.identified_pairs);
  EXPECT_EQ(got.differing_pairs, want.differing_pairs);
  EXPECT_NEAR(got.differing_per_member, want.differing_per_member, 1e-9);
}

// The curve follows merges one by one; every row must be what counting a
// clustering afresh gives.
TEST(QualityCurve, EveryRowEqualsTheClusteringAtItsThreshold) {
  std::mt19937 rng(7);
  const std::size_t n = 300;
  std::vector<int> peptides(n, -1);
  for (auto& p : peptides) p = rng() % 3 == 0 ? -1 : static_cast<int>(rng() % 40);
  std::vector<linkage::Merge> merges;
  for (int e = 0; e < 260; ++e) {
    merges.push_back({static_cast<std::uint32_t>(rng() % n), static_cast<std::uint32_t>(rng() % n),
                      static_cast<std::int16_t>(3000 + rng() % 7001)});
  }
  const auto rows = quality::Curve(n, merges, peptides, 0.3);
  ASSERT_GT(rows.size(), 71u);
  EXPECT_EQ(rows.front().threshold, 1.0);
  EXPECT_EQ(rows.back().floor, linkage::MergeFloor(0.3));
  for (std::size_t r = 1; r < rows.size(); ++r) EXPECT_LT(rows[r].floor, rows[r - 1].floor);
  for (const auto& row : rows) ExpectSame(quality::FiguresOf(LabelsAbove(n, merges, row.floor), peptides), row);

  // Hand-made: spectra 0-2 one peptide, 3 another, merged at 0.9 and 0.8.
  const std::vector<int> four = {5, 5, 5, 6};
  const auto small = quality::Curve(4, {{0, 1, 9000}, {1, 3, 8000}, {2, 3, 8000}}, four, 0.5);
  const quality::Figures at85 = *std::find_if(small.begin(), small.end(), [](auto& f) { return f.floor == 8500; });
  EXPECT_EQ(at85.clustered, 2u);
  EXPECT_EQ(at85.incorrect, 0u);
  EXPECT_EQ(at85.pairs_together, 1u);
  EXPECT_EQ(at85.pairs_same_peptide, 3u);
  EXPECT_EQ(small.back().clustered, 4u);
  EXPECT_EQ(small.back().clusters, 1u);
  EXPECT_EQ(small.back().incorrect, 1u);  // the one of peptide 6 against three of 5
  EXPECT_EQ(small.back().pairs_together, 3u);
  const std::string table = quality::CurveTable(small);
  EXPECT_EQ(table.substr(0, table.find('\n')), "threshold\tclustered_ratio\tincorrect_ratio\tcompleteness\tclusters");
  EXPECT_NE(table.find("0.7999\t1.000000\tNA\t1.000000\t1\n"), std::string::npos) << table;
}

// Clusters of ten of one peptide, mixed clusters of two, and one of two
// peptides twice each (four differing pairs for two wrong spectra). With
// every spectrum identified the estimate is the true ratio; with a third
// identified, the mixed pairs seldom show among the identified spectra,
// but the estimate still finds them, on average over many draws.
TEST(QualityEstimate, CountsTheErrorsOfSmallClustersTheIdentifiedMiss) {
  std::vector<int> cluster_of, truth;
  for (int c = 0; c < 100; ++c) {
    for (int m = 0; m < 10; ++m) {
      cluster_of.push_back(c);
      truth.push_back(c);
    }
  }
  for (int c = 100; c < 160; ++c) {
    cluster_of.insert(cluster_of.end(), {c, c});
    truth.insert(truth.end(), {1000 + 2 * c, 1001 + 2 * c});
  }
  cluster_of.insert(cluster_of.end(), {500, 500, 500, 500});
  truth.insert(truth.end(), {900, 900, 901, 901});
  const double true_ratio = 62.0 / 1124.0;
  EXPECT_NEAR(quality::FiguresOf(cluster_of, truth).IncorrectRatio(), true_ratio, 1e-12);

  std::mt19937 rng(11);
  double estimate = 0, counted = 0;
  const int draws = 400;
  for (int d = 0; d < draws; ++d) {
    std::vector<int> identified = truth;
    for (int& p : identified) p = rng() % 3 == 0 ? p : -1;
    const quality::Figures f = quality::FiguresOf(cluster_of, identified);
    estimate += f.IncorrectRatio() / draws;
    counted += f.IdentifiedIncorrectRatio() / draws;
  }
  EXPECT_NEAR(estimate, true_ratio, 0.1 * true_ratio);
  EXPECT_LT(counted, 0.5 * true_ratio);  // what counting the identified gives
}

class MergeLog : public testsupport::ScratchDir, public ::testing::WithParamInterface<bool> {};

// One run's merges give the clusters of every higher threshold: its curve
// equals the figures of separate runs, through the matrix and through the
// pair join alike.
TEST_P(MergeLog, CurveOfOneRunEqualsSeparateRuns) {
  synthetic::Options o;
  o.families = 8;
  o.members_per_family = 20;  // blocks large enough for the pair join
  o.mass_spread = 0.004;
  auto spectra = synthetic::Make(o);
  synthetic::OrderForClustering(spectra);
  std::vector<int> peptides(spectra.size());
  for (std::size_t s = 0; s < spectra.size(); ++s) peptides[s] = s % 9 == 0 ? -1 : static_cast<int>(s / 20 + (s % 7 == 0));

  std::size_t scored = 0;
  auto run = [&](double threshold, std::vector<linkage::Merge>* log) {
    CPara para;
    para.SetDataClass(MS2_FORMAT_DTA, File("data"), "", File("clusters.csv"), 1);
    para.SetRepresentativeClass(static_cast<Representative_Spectra>(3), 0.4, TOLERANCE_DA);
    para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(), CLUSTER_SIMILARITY, 20,
                    TOLERANCE_PPM, threshold);
    para.SetSimilarMethod(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
    para.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
    auto& strategy = static_cast<CSimilarityCluster&>(*para.cluster);
    strategy.join_pairs = GetParam();
    strategy.merge_log = log;
    auto copy = spectra;
    para.cluster->Run(copy, para.similarity.get(), para.peak_select.get());
    scored = strategy.pairs_scored;
    // Cluster numbers by name, back to list positions.
    std::map<std::string, int> cluster_of_name;
    std::istringstream in(ReadFile(File("clusters.csv")));
    std::string line;
    while (std::getline(in, line)) {
      const auto fields = text::Split(line);
      cluster_of_name[fields[1]] = text::AtoI(fields[2]);
    }
    std::vector<int> labels;
    for (const auto& s : spectra) labels.push_back(cluster_of_name.at(s.name));
    return labels;
  };
  std::vector<linkage::Merge> merges;
  run(0.3, &merges);
  ASSERT_FALSE(merges.empty());
  if (GetParam()) {
    EXPECT_LT(scored, 8u * 20 * 19 / 2);  // the join left pairs out
  }
  const auto rows = quality::Curve(spectra.size(), merges, peptides, 0.3);
  for (double t : {0.4, 0.5, 0.6, 0.7, 0.8}) {
    const auto row = std::find_if(rows.begin(), rows.end(), [t](auto& f) { return f.threshold == t; });
    ASSERT_NE(row, rows.end()) << t;
    ExpectSame(quality::FiguresOf(run(t, nullptr), peptides), *row);
  }
  EXPECT_GT(rows.back().clustered, rows.front().clustered);
}

INSTANTIATE_TEST_SUITE_P(Paths, MergeLog, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "join" : "matrix"; });

}  // namespace
