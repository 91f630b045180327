#include <gtest/gtest.h>

#include <cmath>

#include "clustering/Similarity.h"
#include "common/NameTables.h"

namespace {

using msdata::PeakList;

double Score(int method, PeakList a, PeakList b, double delta, double tol = 0.5,
             Tolerance_Type type = TOLERANCE_DA) {
  CSimilarity s(static_cast<Similar_Method>(method), tol, type);
  return s.Compute(a, b, delta);
}

TEST(Similarity, TableHoldsSevenOperationsAndUnknownMethodsScoreZero) {
  CSimilarity s;
  EXPECT_EQ(s.operations.size(), 7u);
  for (auto op : s.operations) EXPECT_NE(op, nullptr);
  EXPECT_EQ(s.operations[1], &CSimilarity::DotProduct);
  EXPECT_EQ(s.operations[6], &CSimilarity::Bonanza);
  EXPECT_STREQ(names::kSimilarMethodNames[7], "Comprehensive");
  const PeakList same = {{100, 1}, {200, 2}};
  for (int method : {7, 8, -1, 1000}) EXPECT_EQ(Score(method, same, same, 0.0), 0.0) << method;
  // Empty lists give 0 for every method.
  for (int method = 0; method <= 7; ++method) {
    EXPECT_EQ(Score(method, {}, same, 20.0), 0.0) << method;
    EXPECT_EQ(Score(method, same, {}, 20.0), 0.0) << method;
    EXPECT_EQ(Score(method, {}, {}, 0.0), 0.0) << method;
  }
}

TEST(Similarity, IdenticalLists) {
  const PeakList same = {{100, 1}, {200, 2}, {350.5, 4}};
  for (int method : {1, 2, 3, 4}) EXPECT_NEAR(Score(method, same, same, 0.0), 1.0, 1e-12);
  EXPECT_NEAR(Score(6, same, same, 0.0), 1.0 / 3, 1e-12);
  EXPECT_NEAR(Score(0, same, same, 0.0), 1.0, 1e-12);
  EXPECT_NEAR(Score(5, same, same, 0.0), 1.0, 1e-12);
}

TEST(Similarity, DotProductByHand) {
  // Only 100 and 100.2 match: 3 * 1 / sqrt((9 + 16) * (1 + 4)).
  PeakList a = {{100, 3}, {200, 4}};
  PeakList b = {{100.2, 1}, {300, 2}};
  CSimilarity s(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  EXPECT_NEAR(s.Compute(a, b, 0.0), 3.0 / std::sqrt(125.0), 1e-12);
  // The caller's lists are left sorted by intensity, descending.
  EXPECT_EQ(a, (PeakList{{200, 4}, {100, 3}}));
  EXPECT_EQ(b, (PeakList{{300, 2}, {100.2, 1}}));

  // One first-list peak near two second-list peaks: the more intense one
  // (earlier after sorting) takes it.
  EXPECT_NEAR(Score(1, {{100, 1}}, {{100.1, 1}, {100.2, 2}}, 0.0), 2.0 / std::sqrt(5.0), 1e-12);
}

TEST(Similarity, ToleranceBoundary) {
  const PeakList a = {{100, 1}};
  const PeakList b = {{100.5, 1}};
  for (int method : {1, 2, 3, 4, 6}) EXPECT_EQ(Score(method, a, b, 0.0), 0.0) << method;
  EXPECT_NEAR(Score(0, a, b, 0.0), 1.0, 1e-12);
  EXPECT_NEAR(Score(5, a, b, 0.0), 1.0, 1e-12);
  // Just inside.
  for (int method : {1, 2, 3, 4}) EXPECT_NEAR(Score(method, a, {{100.49, 1}}, 0.0), 1.0, 1e-12);
}

TEST(Similarity, PartsPerMillion) {
  // 1.005 Da is 10050 ppm of 100 but 9950 ppm of 101.005: method 1 refers
  // to the first list's peak, method 2 to the second's.
  const PeakList a = {{100, 1}};
  const PeakList b = {{101.005, 1}};
  EXPECT_EQ(Score(1, a, b, 0.0, 10000, TOLERANCE_PPM), 0.0);
  EXPECT_NEAR(Score(2, a, b, 0.0, 10000, TOLERANCE_PPM), 1.0, 1e-12);
  EXPECT_NEAR(Score(4, a, b, 0.0, 10000, TOLERANCE_PPM), 1.0, 1e-12);
  EXPECT_NEAR(Score(0, a, b, 0.0, 10000, TOLERANCE_PPM), 1.0, 1e-12);
  EXPECT_NEAR(Score(1, {{1000, 1}}, {{1000.009, 1}}, 0.0, 10, TOLERANCE_PPM), 1.0, 1e-12);
  EXPECT_EQ(Score(1, {{1000, 1}}, {{1000.011, 1}}, 0.0, 10, TOLERANCE_PPM), 0.0);
  // Peak count and Bonanza compare in daltons whatever the type: 0.3 Da
  // is within a tolerance of "0.5", 3000 ppm is not.
  const PeakList c = {{100.3, 1}};
  EXPECT_NEAR(Score(5, a, c, 0.0, 0.5, TOLERANCE_PPM), 1.0, 1e-12);
  EXPECT_NEAR(Score(6, a, c, 0.0, 0.5, TOLERANCE_PPM), 1.0 / 3, 1e-12);
  EXPECT_EQ(Score(1, a, c, 0.0, 0.5, TOLERANCE_PPM), 0.0);
}

TEST(Similarity, ShiftedMatchingNeedsPositiveDelta) {
  // Method 2: 110 matches 100 + 10.
  EXPECT_NEAR(Score(2, {{110, 1}}, {{100, 1}}, 10.0), 1.0, 1e-12);
  EXPECT_EQ(Score(2, {{110, 1}}, {{100, 1}}, -10.0), 0.0);
  EXPECT_EQ(Score(2, {{100.6, 1}}, {{100, 1}}, 0.5), 0.0);
  // Method 3 halves delta.
  EXPECT_NEAR(Score(3, {{110, 1}}, {{100, 1}}, 20.0), 1.0, 1e-12);
  EXPECT_EQ(Score(3, {{110, 1}}, {{100, 1}}, 10.0), 0.0);
  // Method 4: twice the m/z, plain or shifted.
  EXPECT_NEAR(Score(4, {{100, 1}}, {{200, 1}}, 0.0), 1.0, 1e-12);
  EXPECT_NEAR(Score(4, {{100, 1}}, {{190, 1}}, 10.0), 1.0, 1e-12);
  EXPECT_NEAR(Score(4, {{110, 1}}, {{100, 1}}, 10.0), 1.0, 1e-12);
  EXPECT_EQ(Score(4, {{100, 1}}, {{190, 1}}, -10.0), 0.0);
  // Method 6: P / (P + Q1 + Q2) with a shifted match.
  EXPECT_NEAR(Score(6, {{110, 2}, {500, 1}}, {{100, 3}}, 10.0), 6.0 / (6 + 4 + 9), 1e-12);
  EXPECT_EQ(Score(6, {{110, 2}}, {{100, 3}}, -10.0), 0.0);
}

TEST(Similarity, IntensityScoreByHand) {
  const PeakList a = {{100, 1}, {200, 2}, {300, 3}};
  const PeakList b = {{100.1, 4}, {250, 5}};
  // Direct pass matches 100 with 100.1: (1 + 4) / 15.
  EXPECT_NEAR(Score(0, a, b, 0.0), 5.0 / 15, 1e-12);
  // Shifted by +50: 250 + 50 meets 300 as well.
  EXPECT_NEAR(Score(0, a, b, 50.0), 13.0 / 15, 1e-12);
  // Method 0 shifts by negative deltas too: 250 - 50 meets 200.
  EXPECT_NEAR(Score(0, a, b, -50.0), 12.0 / 15, 1e-12);
  // Lists are not sorted by this method.
  PeakList x = a;
  PeakList y = b;
  CSimilarity(SIMILAR_INTENSITY_SCORE, 0.5, TOLERANCE_DA).Compute(x, y, 0.0);
  EXPECT_EQ(x, a);
  // Zero intensities: no division by zero.
  EXPECT_EQ(Score(0, {{100, 0}}, {{100, 0}}, 0.0), 0.0);
}

TEST(Similarity, PeakCountByHand) {
  // The shifted pass finds 150 = 140 + 10: 2 matches of 2.
  EXPECT_NEAR(Score(5, {{100, 1}, {150, 1}}, {{100, 1}, {140, 1}}, 10.0), 1.0, 1e-12);
  EXPECT_NEAR(Score(5, {{100, 1}, {150, 1}}, {{100, 1}, {140, 1}}, -10.0), 0.5, 1e-12);
  // A shifted match on a peak matched before does not count.
  EXPECT_NEAR(Score(5, {{100, 1}, {110, 1}}, {{100, 1}}, 10.0), 0.5, 1e-12);
  // Divided by the larger list: 1 match of 3.
  EXPECT_NEAR(Score(5, {{100, 1}, {200, 1}, {300, 1}}, {{100.2, 1}, {100.4, 1}, {210, 1}}, 0.0),
              1.0 / 3, 1e-12);
}

TEST(Similarity, ArrangedListsScoreAsCompute) {
  const PeakList a = {{100, 3}, {150, 3}, {200, 4}, {420.2, 1}};
  const PeakList b = {{100.2, 1}, {150.1, 3}, {210, 4}, {300, 2}};
  for (int method = 0; method <= 7; ++method) {
    CSimilarity s(static_cast<Similar_Method>(method), 0.5, TOLERANCE_DA);
    PeakList x = a;
    PeakList y = b;
    CSimilarity::ArrangeFor(method, x);
    CSimilarity::ArrangeFor(method, y);
    PeakList cx = a;
    PeakList cy = b;
    EXPECT_EQ(s.ComputeArranged(x, y, 10.0), s.Compute(cx, cy, 10.0)) << method;
  }
}

}  // namespace

#include <random>

#include "tests/support/ReferenceEngine.h"

namespace {

// Peaks on a coarse m/z grid, so that exact-tolerance differences, equal
// intensities and several candidates per peak are common.
msdata::PeakList GridPeaks(std::mt19937& rng, std::size_t n) {
  msdata::PeakList peaks;
  for (std::size_t k = 0; k < n; ++k) {
    peaks.emplace_back(100.0 + (rng() % 400) * 0.25, 1.0 + rng() % 5);
  }
  return peaks;
}

TEST(Similarity, MatchesPlainNestedLoops) {
  std::mt19937 rng(11);
  const double deltas[] = {0.0, 0.5, 0.75, 16.0, -16.0, 2.25};
  for (int round = 0; round < 400; ++round) {
    const msdata::PeakList a = GridPeaks(rng, rng() % 40);
    const msdata::PeakList b = GridPeaks(rng, rng() % 40);
    for (int method : {1, 2, 3, 4, 6}) {
      for (Tolerance_Type type : {TOLERANCE_DA, TOLERANCE_PPM}) {
        const double tol = type == TOLERANCE_DA ? 0.5 : 2500.0;
        const double delta = deltas[rng() % 6];
        CSimilarity s(static_cast<Similar_Method>(method), tol, type);
        msdata::PeakList x = a;
        msdata::PeakList y = b;
        msdata::PeakList rx = a;
        msdata::PeakList ry = b;
        EXPECT_EQ(s.Compute(x, y, delta), reference::Compute(s, rx, ry, delta))
            << method << " " << type << " " << delta;
      }
    }
  }
}

}  // namespace
