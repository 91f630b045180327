#pragma once
// The two orders in which peak lists are kept. Equal keys are broken by the
// other coordinate so that sorting is canonical: a list sorted once and
// sorted again (or prepared once and reused for many pairs) gives exactly
// the same sequence, which keeps fast and straightforward paths identical.

#include <algorithm>
#include <cmath>

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

inline void SortByIntensity(msdata::PeakList& peaks) {
  std::sort(peaks.begin(), peaks.end(), [](const msdata::Peak& a, const msdata::Peak& b) {
    return IntensityGreater(a, b);
  });
}

}  // namespace peakorder
