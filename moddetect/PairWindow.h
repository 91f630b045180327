#pragma once
// The walk over precursors in ascending MH+ that visits every pair whose
// mass difference lies in a window around a shift. Pair collection, the
// pair files and the combination marking each walk the list this way, with
// windows of their own.

#include <cstddef>
#include <vector>

#include "moddetect/PrecursorList.h"

// Calls visit(light, heavy) with the positions of every pair (light before
// heavy) for which in_window(MH+(heavy) - MH+(light) - shift) holds. The
// window must hold around 0 and nowhere else, so that a lighter record that
// reaches no heavier one moves the walk on: the light position and the first
// heavy position only ever advance.
template <typename InWindow, typename Visit>
void ForEachPairNearShift(const std::vector<PrecursorRecord>& sorted, double shift, InWindow in_window,
                          Visit visit) {
  const std::size_t n = sorted.size();
  std::size_t light = 0, heavy = 1;
  while (heavy < n && light < n) {
    // A pair is two distinct records, the heavier one later in the list;
    // this only matters for shifts near 0 or below.
    if (heavy <= light) heavy = light + 1;
    if (heavy >= n) break;
    const double offset = sorted[heavy].mh - sorted[light].mh - shift;
    if (in_window(offset)) {
      for (std::size_t h = heavy; h < n && in_window(sorted[h].mh - sorted[light].mh - shift); ++h)
        visit(light, h);
      ++light;
    } else if (offset <= 0) {
      ++heavy;
    } else {
      ++light;
    }
  }
}
