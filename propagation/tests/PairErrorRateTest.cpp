#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "propagation/PairErrorRate.h"

namespace {

TEST(PairErrorRate, LogisticFitRecoversTheCurve) {
  // Judged pairs drawn exactly in proportion to a known curve: the fit
  // finds it again.
  const CLogisticFit truth{10.0, -20.0};
  std::vector<std::pair<double, bool>> judged;
  for (int i = 0; i <= 60; ++i) {
    const double s = 0.3 + i * 0.01;
    const int wrong = static_cast<int>(std::lround(truth(s) * 40));
    for (int k = 0; k < 40; ++k) judged.emplace_back(s, k < wrong);
  }
  const CLogisticFit fit = FitLogistic(judged);
  for (const double s : {0.4, 0.5, 0.6, 0.7}) EXPECT_NEAR(fit(s), truth(s), 0.01) << s;
  // Only false pairs: still a finite curve, high everywhere.
  const CLogisticFit all_false = FitLogistic({{0.5, true}, {0.6, true}, {0.7, true}});
  EXPECT_TRUE(std::isfinite(all_false.a) && std::isfinite(all_false.b));
  EXPECT_GT(all_false(0.6), 0.9);
}

TEST(PairErrorRate, JudgesPairsOfIdentifiedEndsAndCountsEveryPair) {
  // Low-similarity pairs join two peptides, high ones one; ends without an
  // identification are not judged but counted among the pairs.
  std::vector<std::pair<std::pair<std::string, std::string>, double>> pairs;
  std::map<std::string, std::string> peptide_of;
  for (int i = 0; i < 40; ++i) {
    const std::string a = "A" + std::to_string(i), b = "B" + std::to_string(i);
    const double s = 0.4 + 0.01 * i;
    peptide_of[a] = "PEPTLDEK";
    peptide_of[b] = s < 0.55 ? "LVTDLTK" : "PEPTLDEK";
    pairs.push_back({{a, b}, s});
    pairs.push_back({{a, "UNKNOWN"}, s});
  }
  const std::vector<CPairErrorRate> rates = PairErrorRates(pairs, {0.4, 0.6}, peptide_of);
  ASSERT_EQ(rates.size(), 2u);
  EXPECT_EQ(rates[0].pairs, 80);
  EXPECT_EQ(rates[0].judged, 40);
  EXPECT_EQ(rates[0].wrong, 15);
  EXPECT_NEAR(rates[0].share, 15.0 / 40, 0.03);
  EXPECT_LE(rates[0].low, rates[0].share);
  EXPECT_GE(rates[0].high, rates[0].share);
  EXPECT_EQ(rates[1].wrong, 0);
  EXPECT_LT(rates[1].share, 0.01);
  EXPECT_NE(PairErrorText(rates).find("similarity >= 0.40: 80 pairs,"), std::string::npos);
  EXPECT_EQ(PairErrorText({}), "");
}

}  // namespace
