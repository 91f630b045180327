#pragma once
// Peak preprocessing: reduce a peak list to its most informative peaks and
// flatten the intensities before two spectra are compared.

#include <cstdint>

#include "clustering/ClusterTypes.h"
#include "common/Spectrum.h"

class CPeakSelect {
 public:
  CPeakSelect() = default;
  CPeakSelect(Peak_Select_Method method, std::int32_t whole_top_peak_num,
              std::int32_t part_top_peak_num, std::int32_t part_top_peak_per_num)
      : peak_select_method(method),
        whole_top_peak_num(whole_top_peak_num),
        part_top_peak_num(part_top_peak_num),
        part_top_peak_per_num(part_top_peak_per_num) {}

  Peak_Select_Method peak_select_method = PEAK_SELECT_WINDOW_THEN_TOP_N;
  std::int32_t whole_top_peak_num = 50;     // N
  std::int32_t part_top_peak_num = 5;       // M
  std::int32_t part_top_peak_per_num = 100;  // W, daltons

  // Applies the method, then sorts the list by m/z ascending (whatever the
  // method, an unknown one included).
  void Select(msdata::PeakList& peaks) const;

  // Square root of every intensity, normalised to a total of 1000. A list
  // whose roots sum to 0 keeps its zeros.
  static void SqrtScale(msdata::PeakList& peaks);

  // The form in which spectra are compared: a copy, selected and scaled.
  msdata::PeakList Prepare(const msdata::PeakList& peaks) const;

  // The selection steps on their own; both expect what Select hands them.
  static void KeepTopOverall(msdata::PeakList& peaks, std::int32_t n);
  // `peaks` must be ascending in m/z.
  static void KeepTopPerWindow(msdata::PeakList& peaks, std::int32_t m, double width);
};
