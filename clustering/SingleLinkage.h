#pragma once
// Single linkage over packed scores: the merging that turns the scores of a
// block's pairs into clusters, from the full score matrix or from the
// entries above the floor alone, with the same result.

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "clustering/RepresentativeSpectra.h"

namespace linkage {

// A score 0..1 as stored in the score matrices: trunc(s * 10000), 0 for
// anything not above 0 (NaN included), at most 32767.
inline std::int16_t PackScore(double score) {
  const double scaled = std::trunc(score * 10000.0);
  if (!(scaled > 0.0)) return 0;
  if (scaled >= 32767.0) return 32767;
  return static_cast<std::int16_t>(scaled);
}

// The highest packed score a threshold does not merge at: only pairs above
// both it and 0 are ever merged.
inline int MergeFloor(double threshold) {
  const double floor = std::max(std::trunc(threshold * 10000.0), 0.0);
  return floor < 32767.0 ? static_cast<int>(floor) : 32767;
}

// Where the score of spectra x != y of a block of k lies in the packed
// matrix of k(k-1)/2 entries: by the lower position, then the higher.
inline std::size_t PairIndex(std::size_t x, std::size_t y, std::size_t k) {
  const std::size_t lo = x < y ? x : y;
  const std::size_t hi = x < y ? y : x;
  return lo * (2 * k - lo - 1) / 2 + (hi - lo - 1);
}

// One merge: the clusters of spectra a and b joined at a packed score. In
// the order single linkage makes them (scores never rise), merges say what
// clusters every higher floor gives: those of the merges above it.
struct Merge {
  std::uint32_t a;
  std::uint32_t b;
  std::int16_t score;
};

// Merges the pair with the highest entry (ties: the lowest lower position,
// then the lowest higher one) while it exceeds `floor`, and returns the
// links; with `merges`, also appends every merge in order. The entries are
// changed by the merging.
std::vector<ClusterLink> MergeScores(std::int16_t* scores, std::size_t k, int floor,
                                     std::vector<Merge>* merges = nullptr);

// One entry of a score matrix: the packed score of spectra lo < hi.
struct Edge {
  std::uint32_t lo;
  std::uint32_t hi;
  std::int16_t score;
};
// MergeScores over k spectra whose entries are `edges` (each pair at most
// once) and 0 elsewhere: the same links, from the edges alone.
std::vector<ClusterLink> MergeEdges(std::vector<Edge> edges, std::size_t k, int floor,
                                    std::vector<Merge>* merges = nullptr);

}  // namespace linkage
