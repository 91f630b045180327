#pragma once
// The two orders in which peak lists are kept. Equal keys are broken by the
// other coordinate so that sorting is canonical: a list sorted once and
// sorted again (or prepared once and reused for many pairs) gives exactly
// the same sequence, which keeps fast and straightforward paths identical.

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/Spectrum.h"

namespace peakorder {

// NaN (from a damaged input file) sorts after every number, so that the
// orders stay strict weak orders and sorting stays safe.
inline bool Before(double a, double b) { return !std::isnan(a) && (std::isnan(b) || a < b); }
inline bool BeforeDescending(double a, double b) {
  return !std::isnan(a) && (std::isnan(b) || a > b);
}

inline bool MzLess(const msdata::Peak& a, const msdata::Peak& b) {
  if (Before(a.first, b.first)) return true;
  if (Before(b.first, a.first)) return false;
  return BeforeDescending(a.second, b.second);
}

inline bool IntensityGreater(const msdata::Peak& a, const msdata::Peak& b) {
  if (BeforeDescending(a.second, b.second)) return true;
  if (BeforeDescending(b.second, a.second)) return false;
  return Before(a.first, b.first);
}

// Through lambdas rather than function pointers, which sorting would call
// without inlining them.
inline void SortByMz(msdata::PeakList& peaks) {
  std::sort(peaks.begin(), peaks.end(),
            [](const msdata::Peak& a, const msdata::Peak& b) { return MzLess(a, b); });
}

inline bool SortedByMz(const msdata::PeakList& peaks) {
  return std::is_sorted(peaks.begin(), peaks.end(),
                        [](const msdata::Peak& a, const msdata::Peak& b) { return MzLess(a, b); });
}

// The order of SortByMz, for long lists in about linear time: the peaks are
// spread over as many m/z bins as there are peaks and each bin is sorted
// on its own. A peak's bin never decreases with its m/z, so the bins hold
// consecutive stretches of the sorted list; equal peaks in this order are
// equal values, so the result is the one sorting gives.
inline void SortLongByMz(msdata::PeakList& peaks) {
  constexpr std::size_t kShort = 1024;
  constexpr std::size_t kBinsPerPeak = 2;
  const std::size_t n = peaks.size();
  if (n < kShort || n > 0x1fffffffu) {
    SortByMz(peaks);
    return;
  }
  double low = peaks[0].first;
  double high = low;
  for (const msdata::Peak& p : peaks) {
    if (!std::isfinite(p.first)) {  // NaN and infinities take the general road
      SortByMz(peaks);
      return;
    }
    low = std::min(low, p.first);
    high = std::max(high, p.first);
  }
  // Several bins per peak: lists merged from similar spectra hold tight
  // clumps of nearly equal m/z, which fewer bins would leave to sorting.
  const std::size_t bins = n * kBinsPerPeak;
  const double scale = static_cast<double>(bins) / (high - low);
  if (!(high > low) || !std::isfinite(scale)) {
    SortByMz(peaks);
    return;
  }
  auto bin = [low, scale, bins](double mz) {
    const auto b = static_cast<std::size_t>((mz - low) * scale);
    return b < bins ? b : bins - 1;
  };
  std::vector<std::uint32_t> start(bins + 1, 0);
  for (const msdata::Peak& p : peaks) ++start[bin(p.first) + 1];
  for (std::size_t b = 0; b < bins; ++b) start[b + 1] += start[b];
  start.pop_back();
  // Placing a peak moves its bin's start on, so that afterwards start[b]
  // is where bin b ends and bin b + 1 begins.
  msdata::PeakList spread(n);
  for (const msdata::Peak& p : peaks) spread[start[bin(p.first)]++] = p;
  auto less = [](const msdata::Peak& a, const msdata::Peak& b) { return MzLess(a, b); };
  std::uint32_t begin = 0;
  for (std::size_t b = 0; b < bins; ++b) {
    if (start[b] - begin > 1) std::sort(spread.begin() + begin, spread.begin() + start[b], less);
    begin = start[b];
  }
  peaks.swap(spread);
}

inline void SortByIntensity(msdata::PeakList& peaks) {
  std::sort(peaks.begin(), peaks.end(), [](const msdata::Peak& a, const msdata::Peak& b) {
    return IntensityGreater(a, b);
  });
}

}  // namespace peakorder
