#include <gtest/gtest.h>

#include "clustering/PeakOrder.h"
#include "clustering/PeakSelect.h"

#include <cmath>
#include <cstring>
#include <random>

namespace {

using msdata::Peak;
using msdata::PeakList;

PeakList Ladder(int count) {
  PeakList peaks;
  for (int k = 0; k < count; ++k) peaks.emplace_back(100.0 + k, 1.0 + (k * 7) % 13);
  return peaks;
}

TEST(PeakSelect, TopOverall) {
  // Fewer peaks than N: all stay, sorted by m/z.
  PeakList peaks = Ladder(49);
  std::reverse(peaks.begin(), peaks.end());
  CPeakSelect(PEAK_SELECT_TOP_N, 50, 5, 100).Select(peaks);
  EXPECT_EQ(peaks, Ladder(49));

  PeakList few = {{300, 5}, {100, 9}, {200, 1}, {400, 7}};
  CPeakSelect(PEAK_SELECT_TOP_N, 2, 5, 100).Select(few);
  EXPECT_EQ(few, (PeakList{{100, 9}, {400, 7}}));

  // N = 0 empties the list, with method 0 and with method 2.
  PeakList none = Ladder(10);
  CPeakSelect(PEAK_SELECT_TOP_N, 0, 5, 100).Select(none);
  EXPECT_TRUE(none.empty());
  none = Ladder(10);
  CPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 0, 5, 100).Select(none);
  EXPECT_TRUE(none.empty());
  none = Ladder(10);
  CPeakSelect(PEAK_SELECT_TOP_N, -4, 5, 100).Select(none);
  EXPECT_TRUE(none.empty());
}

TEST(PeakSelect, WindowsFollowThePeaks) {
  // [100..200] holds 100 and 150; 200.5 opens the next window, with 201.
  PeakList peaks = {{100, 1}, {150, 2}, {200.5, 3}, {201, 4}};
  CPeakSelect(PEAK_SELECT_TOP_M_PER_WINDOW, 50, 5, 100).Select(peaks);
  EXPECT_EQ(peaks.size(), 4u);

  // A peak exactly W above the window start is still in the window.
  PeakList edge = {{100, 5}, {150, 1}, {200, 3}, {250, 9}};
  CPeakSelect(PEAK_SELECT_TOP_M_PER_WINDOW, 50, 2, 100).Select(edge);
  // Window 1 = {100, 150, 200}: keeps 100 (5) and 200 (3). Window 2 = {250}.
  EXPECT_EQ(edge, (PeakList{{100, 5}, {200, 3}, {250, 9}}));

  // At most M per window; equal intensities replace the first weakest slot
  // only when strictly greater, and zero intensities never survive.
  PeakList crowd = {{100, 2}, {110, 2}, {120, 3}, {130, 0}, {140, 1}};
  CPeakSelect(PEAK_SELECT_TOP_M_PER_WINDOW, 50, 2, 100).Select(crowd);
  EXPECT_EQ(crowd, (PeakList{{110, 2}, {120, 3}}));

  // M = 0 keeps nothing; an empty list stays empty.
  PeakList any = Ladder(20);
  CPeakSelect(PEAK_SELECT_TOP_M_PER_WINDOW, 50, 0, 100).Select(any);
  EXPECT_TRUE(any.empty());
  PeakList empty;
  CPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100).Select(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(PeakSelect, WindowSelectionComesBeforeTheOverallTop) {
  // Per window (W = 100, M = 1): 100 (9) and 250 (4); top 1 overall: 100.
  // Top 1 first would also give 100, so make the windows decide: the
  // window pass drops 120 (8), which would otherwise be second overall.
  PeakList peaks = {{100, 9}, {120, 8}, {250, 4}, {260, 1}};
  CPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 2, 1, 100).Select(peaks);
  EXPECT_EQ(peaks, (PeakList{{100, 9}, {250, 4}}));
}

TEST(PeakSelect, OtherMethodsOnlySort) {
  PeakList peaks = {{300, 1}, {100, 2}, {200, 3}};
  CPeakSelect(static_cast<Peak_Select_Method>(3), 1, 1, 1).Select(peaks);
  EXPECT_EQ(peaks, (PeakList{{100, 2}, {200, 3}, {300, 1}}));
}

TEST(PeakSelect, SquareRootScaling) {
  PeakList peaks = {{100, 1}, {200, 4}, {300, 16}};
  CPeakSelect::SqrtScale(peaks);
  EXPECT_NEAR(peaks[0].second, 1000.0 / 7, 1e-9);
  EXPECT_NEAR(peaks[1].second, 2000.0 / 7, 1e-9);
  EXPECT_NEAR(peaks[2].second, 4000.0 / 7, 1e-9);
  EXPECT_EQ(peaks[2].first, 300);

  PeakList zeros = {{100, 0}, {200, 0}};
  CPeakSelect::SqrtScale(zeros);
  EXPECT_EQ(zeros, (PeakList{{100, 0}, {200, 0}}));
  PeakList empty;
  CPeakSelect::SqrtScale(empty);
  EXPECT_TRUE(empty.empty());
}

TEST(PeakSelect, PrepareCopiesSelectsAndScales) {
  const PeakList raw = {{100, 4}, {150, 1}, {300, 16}};
  const PeakList prepared = CPeakSelect(PEAK_SELECT_TOP_N, 2, 5, 100).Prepare(raw);
  ASSERT_EQ(prepared.size(), 2u);
  EXPECT_EQ(prepared[0].first, 100);
  EXPECT_NEAR(prepared[0].second, 1000.0 / 3, 1e-9);
  EXPECT_NEAR(prepared[1].second, 2000.0 / 3, 1e-9);
  EXPECT_EQ(raw.size(), 3u);
}

}  // namespace

// Long lists merged from similar spectra are sorted through bins; the order
// must be exactly that of sorting, clumps of equal m/z (ordered by
// intensity) and non-finite values included.
TEST(PeakOrder, LongListsSortAsSortingDoes) {
  std::mt19937 random(3);
  std::uniform_real_distribution<double> unit(0.0, 1.0);
  for (std::size_t n : {0, 5, 1023, 1024, 5000, 40000}) {
    for (int shape = 0; shape < 3; ++shape) {
      PeakList peaks;
      for (std::size_t i = 0; i < n; ++i) {
        // Shape 1: tight clumps with repeated values; shape 2: a NaN and an infinity.
        const double mz = shape == 1 ? 200.0 + std::floor(unit(random) * 30) + 0.001 * std::floor(unit(random) * 3)
                                     : 100.0 + 1900.0 * unit(random);
        peaks.emplace_back(mz, std::floor(unit(random) * 4));
      }
      if (shape == 2 && n > 2) {
        peaks[n / 2].first = std::nan("");
        peaks[n / 3].first = INFINITY;
      }
      PeakList expected = peaks;
      peakorder::SortByMz(expected);
      peakorder::SortLongByMz(peaks);
      ASSERT_EQ(peaks.size(), expected.size());
      // Bitwise, as NaN never compares equal.
      EXPECT_TRUE(n == 0 || std::memcmp(peaks.data(), expected.data(), n * sizeof(msdata::Peak)) == 0)
          << n << " " << shape;
    }
  }
}
