#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <random>
#include <set>
#include <tuple>

#include "clustering/DecoySpectra.h"
#include "clustering/Para.h"
#include "clustering/SpectralPairSearch.h"
#include "clustering/tests/SyntheticSpectra.h"
#include "clustering/tests/TestSupport.h"
#include "common/DtaName.h"
#include "tests/support/ReferenceEngine.h"

namespace {

namespace fs = std::filesystem;
using testsupport::DataFile;
using testsupport::MakeSpectrum;
using testsupport::ReadFile;
using testsupport::WriteFile;
using Group = CSpectralPairSearch::ShiftGroup;

std::vector<msdata::CSpectrum> SmallJob() {
  return {MakeSpectrum("p.1.1.2.dta", 1016.0, 2, {{116, 10}, {216, 20}, {300, 30}}),
          MakeSpectrum("p.2.2.2.dta", 1000.0, 2, {{100, 10}, {200, 20}, {300, 30}}),
          MakeSpectrum("p.3.3.2.dta", 994.0, 2, {{94, 40}, {194, 20}, {350, 5}}),
          MakeSpectrum("p.4.4.3.dta", 800.0, 3, {{100, 10}, {200, 20}, {300, 30}})};
}

class PairSearch : public testsupport::ScratchDir {
 protected:
  void Setup(int method, double threshold = 0.5, int lower = 6, int upper = 200) {
    para_.SetDataClass(MS2_FORMAT_DTA, File("data"), "", File("pairs.csv"), 1);
    para_.SetRepresentativeClass(REPRESENTATIVE_CONSENSUS, 0.4, TOLERANCE_DA);
    para_.SetCluster(para_.spectra_process.get(), nullptr, CLUSTER_SPECTRAL_PAIR, 2.5,
                     TOLERANCE_DA, threshold);
    para_.SetSimilarMethod(static_cast<Similar_Method>(method), 0.5, TOLERANCE_DA);
    para_.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
    para_.cluster->lower_mass = lower;
    para_.cluster->upper_mass = upper;
  }
  CSpectralPairSearch& Strategy() { return static_cast<CSpectralPairSearch&>(*para_.cluster); }
  void Run(std::vector<msdata::CSpectrum>& spectra) {
    para_.cluster->Run(spectra, para_.similarity.get(), para_.peak_select.get());
  }
  CPara para_;
};

TEST_F(PairSearch, GoldenPairFileScoreLogAndHistogram) {
  auto spectra = SmallJob();
  Setup(SIMILAR_DOT_PRODUCT_MOD);
  Run(spectra);
  EXPECT_EQ(ReadFile(File("pairs.csv")), ReadFile(DataFile("pairs_expected/pairs.csv")));
  EXPECT_EQ(ReadFile(File("score.txt")), ReadFile(DataFile("pairs_expected/score.txt")));
  EXPECT_EQ(ReadFile(File("temp.temp")), ReadFile(DataFile("pairs_expected/temp.temp")));
  EXPECT_EQ(messages_, "");

  // The score log is appended to, the other two are replaced.
  Run(spectra);
  EXPECT_EQ(ReadFile(File("pairs.csv")), ReadFile(DataFile("pairs_expected/pairs.csv")));
  EXPECT_EQ(ReadFile(File("score.txt")), ReadFile(DataFile("pairs_expected/score.txt")) +
                                            ReadFile(DataFile("pairs_expected/score.txt")));
}

TEST_F(PairSearch, MassWindowBoundsAreInclusive) {
  auto spectra = SmallJob();
  Setup(SIMILAR_DOT_PRODUCT_MOD, 0.5, 7, 16);
  Run(spectra);
  // |d| = 6 is below 7, |d| = 22 above 16; |d| = 16 is in.
  EXPECT_EQ(ReadFile(File("pairs.csv")),
            "p.1.1.2.dta,1016.000000,p.2.2.2.dta,1000.000000,16.000000,1.000000\n");
  EXPECT_EQ(ReadFile(File("temp.temp")), "16.000000,1, 0, 0, 0, 0, 0\n");
}

TEST_F(PairSearch, DotProductXScoresOnlyTripleAgainstDouble) {
  auto spectra = SmallJob();
  // Threshold below 0: a pair that is not scored still has score 0, which
  // is not above 0 only when the threshold is 0 or more.
  Setup(SIMILAR_DOT_PRODUCT_X, 0.0);
  Run(spectra);
  EXPECT_EQ(ReadFile(File("pairs.csv")), "");
  EXPECT_EQ(ReadFile(File("score.txt")), "");
  // An empty pair file gives an empty histogram.
  EXPECT_TRUE(fs::exists(File("temp.temp")));
  EXPECT_EQ(ReadFile(File("temp.temp")), "");

  // A triply charged spectrum first and a doubly charged one second.
  std::vector<msdata::CSpectrum> pair = {
      MakeSpectrum("x.1.1.3.dta", 1100.0, 3, {{100, 1}, {200, 1}}),
      MakeSpectrum("x.2.2.2.dta", 1000.0, 2, {{200, 1}, {400, 1}})};
  Run(pair);
  EXPECT_EQ(ReadFile(File("pairs.csv")),
            "x.1.1.3.dta,1100.000000,x.2.2.2.dta,1000.000000,100.000000,1.000000\n");
}

TEST_F(PairSearch, ComprehensiveLeavesTheLastSettings) {
  std::vector<msdata::CSpectrum> spectra = {
      MakeSpectrum("c.1.1.3.dta", 1100.0, 3, {{100, 1}, {200, 1}}),
      MakeSpectrum("c.2.2.3.dta", 1050.0, 3, {{100, 1}, {200, 1}}),
      MakeSpectrum("c.3.3.2.dta", 1000.0, 2, {{200, 1}, {400, 1}})};
  Setup(SIMILAR_COMPREHENSIVE, 0.1);
  Run(spectra);
  // Pairs in order: (1,2) method 2, (1,3) method 4, (2,3) method 4.
  EXPECT_EQ(para_.similarity->similar_method, SIMILAR_DOT_PRODUCT_X);
  EXPECT_EQ(para_.similarity->fragment_ion_tol, 0.5);
  EXPECT_NE(ReadFile(File("pairs.csv")).find("c.1.1.3.dta,1100.000000,c.2.2.3.dta"),
            std::string::npos);
}

TEST_F(PairSearch, UnwritablePairFile) {
  auto spectra = SmallJob();
  Setup(SIMILAR_DOT_PRODUCT_MOD);
  para_.spectra_process->cluster_result = File("missing/dir/pairs.csv");
  Run(spectra);
  EXPECT_EQ(messages_, "Cannot open file: " + File("missing/dir/pairs.csv") + "!\n");
  EXPECT_FALSE(fs::exists(File("temp.temp")));
}

TEST_F(PairSearch, HistogramGrouping) {
  const std::string pairs = DataFile("histogram/pairs.csv");
  ASSERT_TRUE(CSpectralPairSearch::WriteMassShiftHistogram(pairs, 0.01, File("h1.temp")));
  EXPECT_EQ(ReadFile(File("h1.temp")), ReadFile(DataFile("histogram/temp_t0.010.temp")));
  ASSERT_TRUE(CSpectralPairSearch::WriteMassShiftHistogram(pairs, 0.008, File("h2.temp")));
  EXPECT_EQ(ReadFile(File("h2.temp")), ReadFile(DataFile("histogram/temp_t0.008.temp")));

  // One line, one group; short lines take their last field; blank lines
  // are no pairs.
  WriteFile(File("one.csv"), "a,1,b,2,-1.5,0.9\n\n");
  ASSERT_TRUE(CSpectralPairSearch::WriteMassShiftHistogram(File("one.csv"), 0.01, File("o.temp")));
  EXPECT_EQ(ReadFile(File("o.temp")), "-1.500000,1, 0, 0, 0, 0, 0\n");
  EXPECT_DOUBLE_EQ(CSpectralPairSearch::PairLineDifference("x,y,3.25"), 3.25);
  EXPECT_DOUBLE_EQ(CSpectralPairSearch::PairLineDifference("name only"), 0.0);
  EXPECT_DOUBLE_EQ(CSpectralPairSearch::PairLineDifference("a,1,b,2,7.5,0.9, 3"), 7.5);

  EXPECT_FALSE(CSpectralPairSearch::WriteMassShiftHistogram(File("none.csv"), 0.01, File("n.t")));
  EXPECT_EQ(messages_, "Can not read file:" + File("none.csv") + "\n");
  EXPECT_FALSE(fs::exists(File("n.t")));
}

TEST(ShiftGroups, SmallestGapsJoinFirstAndGroupsStayNarrow) {
  auto g = CSpectralPairSearch::GroupShifts({10.009, 10.000, 10.004}, 0.01);
  ASSERT_EQ(g.size(), 1u);
  EXPECT_EQ(g[0].count, 3);
  EXPECT_DOUBLE_EQ(g[0].mean, (10.000 + 10.004 + 10.009) / 3);
  // A chain of small gaps does not make one wide group: 0, 0.006, 0.012,
  // 0.018 with t = 0.01 gives two pairs.
  g = CSpectralPairSearch::GroupShifts({0.0, 0.006, 0.012, 0.018}, 0.01);
  ASSERT_EQ(g.size(), 2u);
  EXPECT_EQ(g[0].count, 2);
  EXPECT_EQ(g[1].count, 2);
  // Larger groups first; equal counts keep ascending order.
  g = CSpectralPairSearch::GroupShifts({5, 1, 3, 3.001, 7}, 0.01);
  ASSERT_EQ(g.size(), 4u);
  EXPECT_EQ(g[0].count, 2);
  EXPECT_EQ(g[1].mean, 1);
  EXPECT_EQ(g[3].mean, 7);
  EXPECT_TRUE(CSpectralPairSearch::GroupShifts({}, 0.01).empty());
  EXPECT_EQ(CSpectralPairSearch::GroupShifts({std::nan(""), 2.0}, 0.01).size(), 1u);
  // A huge tolerance ends (gaps inside a group are never joined again).
  g = CSpectralPairSearch::GroupShifts({1, 2, 3, 2000}, 5000);
  EXPECT_EQ(g.size(), 2u);
}

TEST(ShiftGroups, MatchTheStraightforwardSearch) {
  std::mt19937 rng(3);
  for (int round = 0; round < 200; ++round) {
    std::vector<double> d;
    const int n = static_cast<int>(rng() % 60);
    for (int k = 0; k < n; ++k) {
      // Few distinct values on a coarse grid: many equal gaps and ties.
      d.push_back(static_cast<int>(rng() % 40) * 0.004 + (rng() % 3 == 0 ? 16.0 : 0.0));
    }
    const double t = (1 + rng() % 5) * 0.004;
    const auto fast = CSpectralPairSearch::GroupShifts(d, t);
    const auto slow = reference::GroupShifts(d, t);
    ASSERT_EQ(fast.size(), slow.size()) << round;
    for (std::size_t k = 0; k < fast.size(); ++k) {
      EXPECT_EQ(fast[k].count, slow[k].count) << round;
      EXPECT_EQ(fast[k].mean, slow[k].mean) << round;
    }
  }
}

TEST_F(PairSearch, HistogramThroughRunsOnDiskEqualsTheOneInMemory) {
  // Differences in bands 0.5 Da apart (stretches of their own) with many
  // repeats and ties; sorted in runs of 7 values, then merged.
  std::mt19937 rng(11);
  std::string text;
  std::vector<double> d;
  for (int k = 0; k < 3000; ++k) {
    char line[128];
    std::snprintf(line, sizeof line, "a,1,b,2,%lf,0.9\n", (rng() % 40) * 0.5 + (rng() % 50) * 0.0007);
    text += line;
    d.push_back(CSpectralPairSearch::PairLineDifference(line));
  }
  WriteFile(File("pairs.csv"), text);
  ASSERT_TRUE(CSpectralPairSearch::WriteMassShiftHistogram(File("pairs.csv"), 0.01, File("mem.temp")));
  ASSERT_TRUE(CSpectralPairSearch::WriteMassShiftHistogram(File("pairs.csv"), 0.01, File("runs.temp"), 7));
  EXPECT_EQ(ReadFile(File("runs.temp")), ReadFile(File("mem.temp")));
  const auto slow = reference::GroupShifts(d, 0.01);
  const auto fast = CSpectralPairSearch::GroupShifts(d, 0.01);
  ASSERT_EQ(fast.size(), slow.size());
  for (std::size_t k = 0; k < fast.size(); ++k) {
    EXPECT_EQ(fast[k].count, slow[k].count);
    EXPECT_EQ(fast[k].mean, slow[k].mean);
  }
  // The runs leave nothing behind.
  EXPECT_EQ(std::distance(fs::directory_iterator(File("")), fs::directory_iterator()), 3);

  // The grouping holds one band's distinct values at a time.
  shifts::CShiftGrouper grouper(0.01);
  std::sort(d.begin(), d.end());
  for (const double x : d) grouper.Add(x);
  EXPECT_EQ(grouper.Finish().size(), fast.size());
  EXPECT_LE(grouper.largest_stretch, 50u);
}

TEST_F(PairSearch, MatchesTheStraightforwardPath) {
  synthetic::Options o;
  o.families = 10;
  o.members_per_family = 6;
  o.shift = 15.995;
  o.charges = 2;
  auto spectra = synthetic::Make(o);
  // Heavier first, as the driver orders a pair search; once in a scrambled
  // order, where no mass window can be used.
  std::sort(spectra.begin(), spectra.end(),
            [](const auto& a, const auto& b) { return a.precursor_mass > b.precursor_mass; });
  auto scrambled = spectra;
  std::shuffle(scrambled.begin(), scrambled.end(), std::mt19937(5));
  for (int method = 0; method <= 7; ++method) {
    for (int threads : {1, 2}) {
      for (auto* list : {&spectra, &scrambled}) {
        if (list == &scrambled && threads == 2) continue;
        fs::remove(File("score.txt"));
        Setup(method, 0.3, 6, 400);
        Strategy().worker_threads = threads;
        Run(*list);
        CSimilarity similarity(static_cast<Similar_Method>(method), 0.5, TOLERANCE_DA);
        const auto ref = reference::PairSearch(*list, Strategy(), similarity, *para_.peak_select);
        EXPECT_EQ(ReadFile(File("pairs.csv")), ref.pairs) << method;
        EXPECT_EQ(ReadFile(File("score.txt")), ref.scores) << method;
        EXPECT_EQ(para_.similarity->similar_method, similarity.similar_method);
        if (method == SIMILAR_DOT_PRODUCT_MOD) {
          EXPECT_GT(ref.pairs.size(), 500u);
        }
      }
    }
  }
}

// Lists longer than the peak index holds, mixed with short ones, take the
// plain operations for the shifted methods; the files stay the same.
TEST_F(PairSearch, LongAndShortListsMatchTheStraightforwardPath) {
  synthetic::Options o;
  o.families = 6;
  o.members_per_family = 6;
  o.shift = 15.995;
  o.raw_peaks = 120;
  auto spectra = synthetic::Make(o);
  for (std::size_t k = 0; k < spectra.size(); k += 3) spectra[k].peaks.resize(40);
  std::sort(spectra.begin(), spectra.end(),
            [](const auto& a, const auto& b) { return a.precursor_mass > b.precursor_mass; });
  for (int method : {SIMILAR_DOT_PRODUCT_MOD, SIMILAR_DOT_PRODUCT_HALF, SIMILAR_COMPREHENSIVE}) {
    fs::remove(File("score.txt"));
    Setup(method, 0.2, 6, 400);
    para_.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 100, 20, 100);
    Strategy().worker_threads = 2;
    Run(spectra);
    CSimilarity similarity(static_cast<Similar_Method>(method), 0.5, TOLERANCE_DA);
    const auto ref = reference::PairSearch(spectra, Strategy(), similarity, *para_.peak_select);
    EXPECT_EQ(ReadFile(File("pairs.csv")), ref.pairs) << method;
    EXPECT_EQ(ReadFile(File("score.txt")), ref.scores) << method;
    EXPECT_GT(ref.pairs.size(), 200u) << method;
  }
}

TEST_F(PairSearch, ShiftSearchMatchesTheStraightforwardPath) {
  synthetic::Options o;
  o.families = 8;
  o.members_per_family = 6;
  o.shift = 15.995;
  o.charges = 1;
  auto spectra = synthetic::Make(o);
  std::sort(spectra.begin(), spectra.end(),
            [](const auto& a, const auto& b) { return a.precursor_mass > b.precursor_mass; });
  for (int threads : {1, 2}) {
    Setup(SIMILAR_DOT_PRODUCT, 0.2);
    Strategy().worker_threads = threads;
    Strategy().ShiftSearch(spectra, para_.similarity.get(), para_.peak_select.get());
    CSimilarity similarity;
    const std::string ref =
        reference::ShiftSearch(spectra, Strategy(), similarity, *para_.peak_select);
    EXPECT_EQ(ReadFile(File("pairs.csv")), ref);
    EXPECT_NE(ref.find(", 16\n"), std::string::npos);
    EXPECT_EQ(para_.similarity->similar_method, SIMILAR_DOT_PRODUCT_MOD);
    // The shift search writes nothing but the pair file.
    EXPECT_FALSE(fs::exists(File("temp.temp")));
    EXPECT_FALSE(fs::exists(File("score.txt")));
  }
}

TEST_F(PairSearch, ShiftSearchFindsTheIntegerShift) {
  // The lighter spectrum's peaks moved up by 16 meet the heavier one's.
  std::vector<msdata::CSpectrum> spectra = {
      MakeSpectrum("h.1.1.2.dta", 1016.0, 2, {{116, 10}, {216, 20}, {316, 30}}),
      MakeSpectrum("h.2.2.2.dta", 1000.0, 2, {{100, 10}, {200, 20}, {300, 30}}),
      MakeSpectrum("h.3.3.3.dta", 990.0, 3, {{100, 10}, {200, 20}, {300, 30}})};
  Setup(SIMILAR_DOT_PRODUCT, 0.5);
  Strategy().ShiftSearch(spectra, para_.similarity.get(), para_.peak_select.get());
  EXPECT_EQ(ReadFile(File("pairs.csv")),
            "h.1.1.2.dta,1016.000000,h.2.2.2.dta,1000.000000,16.000000,1.000000, 16\n");
}

}  // namespace

namespace {

// The score log's own formatting against printf: random values, ties of
// the rounding (multiples of 1/32 and 1/1024 lie exactly halfway between
// ten-thousandths), neighbours of halfway points, and values printf
// handles itself.
TEST(ScoreLog, LinesEqualPrintf) {
  std::mt19937_64 rng(9);
  std::vector<double> values = {0.0, 1e-7, 1e-6, 0.00995, 0.01, 0.5, 1.0, 1.00005, 1023.99995,
                                1024.0, 5e6, std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN(), -0.5};
  for (int k = 0; k <= 2048; ++k) {
    values.push_back(k / 32.0);
    values.push_back(k / 1024.0);
    values.push_back(std::nextafter(k / 1024.0, 0.0));
    values.push_back(std::nextafter((k + 0.5) / 10000.0, 1.0));
    values.push_back(std::nextafter((k + 0.5) / 10000.0, 0.0));
  }
  for (int k = 0; k < 200000; ++k) {
    values.push_back(static_cast<double>(rng() >> 11) * 0x1.0p-53 * (k % 10 == 0 ? 1100.0 : 1.0));
  }
  for (double v : values) {
    std::string got;
    CSpectralPairSearch::AppendScoreLine(got, v);
    char want[64];
    std::snprintf(want, sizeof want, "%.4lf\n", v);
    ASSERT_EQ(got, want) << v;
  }
}

}  // namespace

namespace {

// Without the score log the search scores only pairs that can pass; its
// files must be those of the search that scores every pair. The set
// stresses the bound: near-duplicates shifted by many masses (some
// fragments moved with the precursor), fragments exactly at and around the
// tolerance, charges 2 and 3, long lists, and spectra the join cannot
// weigh (a negative intensity) or that score 0 with everything.
std::vector<msdata::CSpectrum> JoinStressSet() {
  std::mt19937 rng(20261208);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  std::vector<msdata::CSpectrum> out;
  int scan = 1;
  auto add = [&](double mass, int charge, msdata::PeakList peaks) {
    std::sort(peaks.begin(), peaks.end());
    out.push_back(MakeSpectrum(msdata::MakeDtaName("j", scan, scan, charge), mass, charge, std::move(peaks)));
    ++scan;
  };
  for (int family = 0; family < 12; ++family) {
    const int charge = 2 + family % 2;
    const double base = 900.0 + 40.0 * family + unit(rng);
    msdata::PeakList ladder;
    for (int p = 0; p < 30; ++p) ladder.emplace_back(150.0 + 1500.0 * unit(rng), 10.0 + 990.0 * unit(rng));
    for (int member = 0; member < 9; ++member) {
      // Shifts of whole and fractional daltons, 1 to 200 apart.
      const double shift = member == 0 ? 0.0 : std::floor(1.0 + 199.0 * unit(rng)) + (member % 3) * 0.3;
      msdata::PeakList peaks;
      for (const auto& [mz, intensity] : ladder) {
        double at = mz;
        if (member > 0 && unit(rng) < 0.4) at += shift;              // fragments carrying the shift
        if (unit(rng) < 0.15) at += (unit(rng) < 0.5 ? -1 : 1) * 0.5;  // exactly at the tolerance
        if (unit(rng) < 0.15) at += (unit(rng) < 0.5 ? -1 : 1) * (0.5 - 1e-9);
        if (unit(rng) < 0.2 * member / 8.0) continue;                // decay: scores spread over 0..1
        peaks.emplace_back(at, intensity * (0.6 + 0.8 * unit(rng)));
      }
      const int noise = member == 4 ? 300 : 5 + member;  // one long list per family
      for (int k = 0; k < noise; ++k) peaks.emplace_back(100.0 + 1900.0 * unit(rng), 50.0 * unit(rng));
      add(base + shift, charge, std::move(peaks));
    }
    // A charge-reduced partner for "Dot Product X": fragments at twice the m/z.
    msdata::PeakList doubled;
    for (const auto& [mz, intensity] : ladder) doubled.emplace_back(2.0 * mz - 1.0, intensity);
    add(base - 60.0, 2, std::move(doubled));
  }
  add(1000.0, 2, {{300.0, 5.0}, {400.0, -2.0}, {500.0, 7.0}});  // a negative intensity
  add(1001.0, 2, {{300.0, 0.0}, {400.0, 0.0}});                 // scores 0 with everything
  std::stable_sort(out.begin(), out.end(),
                   [](const auto& a, const auto& b) { return a.precursor_mass > b.precursor_mass; });
  return out;
}

// A decoy is its spectrum with every fragment peak moved by one offset of
// 3 to 15 steps either way, drawn from the name alone.
TEST(DecoySpectra, PeaksMovedByOneOffsetPrecursorKept) {
  std::set<long> steps;
  for (int scan = 1; scan <= 400; ++scan) {
    const auto spectrum = MakeSpectrum(msdata::MakeDtaName("run", scan, scan, 2), 1000.0 + scan, 2,
                                       {{110.5, 3.0}, {200.25, 1.0}, {733.0, 9.0}});
    const msdata::CSpectrum decoy = decoy::Of(spectrum);
    EXPECT_EQ(decoy.name, spectrum.name);
    EXPECT_EQ(decoy.precursor_mass, spectrum.precursor_mass);
    EXPECT_EQ(decoy.charge, spectrum.charge);
    const double offset = decoy::Offset(spectrum.name);
    ASSERT_EQ(decoy.peaks.size(), spectrum.peaks.size());
    for (std::size_t k = 0; k < decoy.peaks.size(); ++k) {
      EXPECT_EQ(decoy.peaks[k].first, spectrum.peaks[k].first + offset);
      EXPECT_EQ(decoy.peaks[k].second, spectrum.peaks[k].second);
    }
    const long step = std::lround(offset / decoy::kStep);
    EXPECT_NEAR(offset, step * decoy::kStep, 1e-9);
    EXPECT_GE(std::labs(step), decoy::kLeastSteps);
    EXPECT_LE(std::labs(step), decoy::kMostSteps);
    steps.insert(step);
    EXPECT_EQ(decoy::Of(spectrum).peaks, decoy.peaks);  // reproducible
  }
  EXPECT_EQ(steps.size(), 2u * (decoy::kMostSteps - decoy::kLeastSteps + 1));  // every offset is drawn
}

// Three spectra whose pairs and decoy pairs are known: C has A's peaks (a
// pair); B has them moved down by B's own decoy offset, so B's decoy meets
// A and C and B meets neither. Peaks of A lie too far apart for a decoy or
// a shift of 25, 50 or 100 Da to line two of them up.
class DecoyCount : public PairSearch, public ::testing::WithParamInterface<std::tuple<int, bool, int>> {};

TEST_P(DecoyCount, DecoysAboveTheThresholdAreCounted) {
  const auto [method, log, threads] = GetParam();
  const msdata::PeakList a = {{200, 50}, {347, 80}, {533, 30}, {731, 90}, {902, 60}, {1180, 40}};
  msdata::PeakList b = a;
  decoy::Move(b, -decoy::Offset("b.1.1.2.dta"));
  std::vector<msdata::CSpectrum> spectra = {MakeSpectrum("a.1.1.2.dta", 1100.0, 2, a),
                                            MakeSpectrum("c.1.1.2.dta", 1050.0, 2, a),
                                            MakeSpectrum("b.1.1.2.dta", 1000.0, 2, b)};
  Setup(method, 0.5, 6, 200);
  para_.cluster->score_log = log;
  para_.cluster->decoy_pairs = true;
  Strategy().worker_threads = threads;
  Run(spectra);
  EXPECT_EQ(Strategy().pairs_above, 1u);
  EXPECT_EQ(Strategy().decoy_pairs_above, 2u);
  EXPECT_EQ(ReadFile(File("pairs.csv")).substr(0, 24), "a.1.1.2.dta,1100.000000,");
  EXPECT_EQ(CSpectralPairSearch::DecoyEstimate(Strategy().pairs_above, Strategy().decoy_pairs_above),
            "Pairs above the threshold: 1; expected false pairs (decoys): 2 (200.0%).");
}

INSTANTIATE_TEST_SUITE_P(Cases, DecoyCount,
                         ::testing::Combine(::testing::Values(SIMILAR_DOT_PRODUCT, SIMILAR_DOT_PRODUCT_MOD,
                                                              SIMILAR_DOT_PRODUCT_HALF),
                                            ::testing::Bool(), ::testing::Values(1, 3)));

TEST(DecoySpectra, EstimateLineWithoutPairs) {
  EXPECT_EQ(CSpectralPairSearch::DecoyEstimate(0, 3), "Pairs above the threshold: 0; expected false pairs (decoys): 3.");
  EXPECT_EQ(CSpectralPairSearch::DecoyEstimate(800, 6),
            "Pairs above the threshold: 800; expected false pairs (decoys): 6 (0.8%).");
}

struct JoinCase {
  int method;
  double threshold;
  int threads;
};

class PairSearchJoin : public PairSearch, public ::testing::WithParamInterface<JoinCase> {};

// Decoys change no file: the joined run with them writes what the full one
// without them writes, and a full run with them the same score log. Both
// paths count the same decoy pairs above the threshold.
TEST_P(PairSearchJoin, WithoutTheLogGivesTheFilesOfScoringEveryPair) {
  const JoinCase c = GetParam();
  auto spectra = JoinStressSet();
  auto run = [&](bool log, bool decoys, std::string& pairs, std::string& histogram) {
    fs::remove(File("score.txt"));
    Setup(c.method, c.threshold, 1, 200);
    para_.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 100, 5, 100);
    para_.cluster->score_log = log;
    para_.cluster->decoy_pairs = decoys;
    Strategy().worker_threads = c.threads;
    Run(spectra);
    pairs = ReadFile(File("pairs.csv"));
    histogram = ReadFile(File("temp.temp"));
  };
  std::string all_pairs, all_histogram, joined_pairs, joined_histogram, decoy_pairs, decoy_histogram;
  run(true, true, decoy_pairs, decoy_histogram);
  const std::string decoy_log = ReadFile(File("score.txt"));
  const std::size_t all_decoys_above = Strategy().decoy_pairs_above;
  run(true, false, all_pairs, all_histogram);
  EXPECT_EQ(Strategy().decoy_pairs_above, 0u);
  const std::size_t all_scored = Strategy().pairs_scored;
  EXPECT_EQ(decoy_pairs, all_pairs);
  EXPECT_EQ(decoy_histogram, all_histogram);
  EXPECT_EQ(decoy_log, ReadFile(File("score.txt")));
  run(false, true, joined_pairs, joined_histogram);
  EXPECT_FALSE(fs::exists(File("score.txt")));
  EXPECT_EQ(joined_pairs, all_pairs);
  EXPECT_EQ(joined_histogram, all_histogram);
  EXPECT_EQ(Strategy().decoy_pairs_above, all_decoys_above);
  if (c.threshold == 0.0 && c.method >= SIMILAR_DOT_PRODUCT && c.method <= SIMILAR_DOT_PRODUCT_HALF) {
    EXPECT_GT(all_decoys_above, 0u);
  }
  const bool served = c.method >= SIMILAR_DOT_PRODUCT && c.method <= SIMILAR_DOT_PRODUCT_X;
  EXPECT_EQ(Strategy().joined, served);
  if (served) {
    EXPECT_EQ(Strategy().pairs_in_window, all_scored);
    if (c.threshold >= 0.3) {
      EXPECT_LT(Strategy().pairs_scored, all_scored / 2);
    }
  }
  if (c.threshold == 0.3 && c.method == SIMILAR_DOT_PRODUCT_MOD) {
    EXPECT_GT(all_pairs.size(), 2000u);
  }
}

std::vector<JoinCase> JoinCases() {
  std::vector<JoinCase> cases;
  for (int method = 0; method <= 7; ++method)
    for (double threshold : {0.0, 0.3, 0.6, 0.9})
      for (int threads : {1, 3}) cases.push_back({method, threshold, threads});
  return cases;
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Cases, PairSearchJoin, ::testing::ValuesIn(JoinCases()),
                         [](const ::testing::TestParamInfo<JoinCase>& info) {
                           return "method" + std::to_string(info.param.method) + "_t" +
                                  std::to_string(static_cast<int>(info.param.threshold * 10)) + "_threads" +
                                  std::to_string(info.param.threads);
                         });
