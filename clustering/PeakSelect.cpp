#include "clustering/PeakSelect.h"

#include <algorithm>
#include <cmath>
#include <vector>

#include "clustering/PeakOrder.h"

namespace {

// Windows follow the peaks in m/z order. Loaded spectra already are in that
// order; a caller's list that is not gets sorted rather than cut into
// meaningless windows.
void EnsureMzOrder(msdata::PeakList& peaks) {
  if (!peakorder::SortedByMz(peaks)) peakorder::SortByMz(peaks);
}

}  // namespace

void CPeakSelect::KeepTopOverall(msdata::PeakList& peaks, std::int32_t n) {
  if (n < 0) n = 0;
  if (peaks.size() < static_cast<std::size_t>(n)) return;
  peakorder::SortByIntensity(peaks);
  peaks.resize(static_cast<std::size_t>(n));
}

void CPeakSelect::KeepTopPerWindow(msdata::PeakList& peaks, std::int32_t m, double width) {
  if (peaks.empty()) return;
  const std::size_t slot_count = m > 0 ? static_cast<std::size_t>(m) : 0;
  std::vector<msdata::Peak> slots(slot_count, msdata::Peak(0.0, 0.0));
  msdata::PeakList result;
  result.reserve(peaks.size());

  auto close_window = [&]() {
    for (msdata::Peak& slot : slots) {
      if (slot.first != 0.0) result.push_back(slot);
      slot = msdata::Peak(0.0, 0.0);
    }
  };
  auto offer = [&](const msdata::Peak& p) {
    if (slots.empty()) return;
    std::size_t weakest = 0;
    for (std::size_t k = 1; k < slots.size(); ++k) {
      if (slots[k].second < slots[weakest].second) weakest = k;
    }
    if (p.second > slots[weakest].second) slots[weakest] = p;
  };

  double start = peaks.front().first;
  for (const msdata::Peak& p : peaks) {
    if (!(p.first - start <= width)) {
      close_window();
      start = p.first;
    }
    offer(p);
  }
  close_window();
  peaks.swap(result);
}

void CPeakSelect::Select(msdata::PeakList& peaks) const {
  switch (peak_select_method) {
    case PEAK_SELECT_TOP_N:
      KeepTopOverall(peaks, whole_top_peak_num);
      break;
    case PEAK_SELECT_TOP_M_PER_WINDOW:
      EnsureMzOrder(peaks);
      KeepTopPerWindow(peaks, part_top_peak_num, part_top_peak_per_num);
      break;
    case PEAK_SELECT_WINDOW_THEN_TOP_N:
      EnsureMzOrder(peaks);
      KeepTopPerWindow(peaks, part_top_peak_num, part_top_peak_per_num);
      KeepTopOverall(peaks, whole_top_peak_num);
      break;
    default:
      break;
  }
  peakorder::SortByMz(peaks);
}

void CPeakSelect::SqrtScale(msdata::PeakList& peaks) {
  double sum = 0.0;
  for (msdata::Peak& p : peaks) {
    // A negative intensity has no root; it counts as nothing.
    p.second = p.second > 0.0 ? std::sqrt(p.second) : 0.0;
    sum += p.second;
  }
  if (!(sum > 0.0)) return;
  for (msdata::Peak& p : peaks) p.second = p.second / sum * 1000.0;
}

msdata::PeakList CPeakSelect::Prepare(const msdata::PeakList& peaks) const {
  msdata::PeakList copy(peaks);
  Select(copy);
  SqrtScale(copy);
  return copy;
}
