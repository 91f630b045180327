#pragma once
// Single linkage of one block from the scores of as few pairs as it needs,
// for blocks whose pairs CPairJoin bounds ("Dot Product" in daltons).
//
// Merging only ever looks at the best entry between two clusters. When a
// pair's bound does not exceed some value and its spectra are already
// joined by a path of scores all above that value, the pair's own score is
// never the best entry between two clusters while they are apart (a higher
// one on the path always is), so it cannot change what is merged or when.
// Pairs are therefore taken by bound, highest first, in levels of a fixed
// width: those whose spectra the scores above the level already join are
// skipped, the others scored. What is merged comes from the scored pairs
// above the floor alone (linkage::MergeEdges), and equals what
// linkage::MergeScores gives for the matrix of every pair.

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <vector>

#include "clustering/RepresentativeSpectra.h"
#include "clustering/SingleLinkage.h"
#include "common/Spectrum.h"

class CDotProductBlock;
class CPairJoin;

// Figures of one block, added to by every thread that scores its pairs.
struct PairCounts {
  std::atomic<std::size_t> scored{0};
  std::atomic<std::size_t> above{0};
  // The most bytes of pair entries (candidates, scored pairs, score
  // matrices) the block held at once.
  std::size_t held_bytes = 0;
  void Held(std::size_t bytes) { held_bytes = std::max(held_bytes, bytes); }
  // Seconds spent merging the scored pairs (the rest is comparing).
  double linking_seconds = 0.0;
};

// The links of block members[0, k), prepared in `prepared` and indexed in
// `join` at tolerance `tol` daltons: only packed scores above `floor`
// (>= 0) merge. Pairs of unequal charge are never scored. Scores on
// `threads` threads; the links do not depend on it. False, with no links,
// when the bounds leave more than `most_candidates` pairs: where nearly
// every pair may merge, the scored pairs would outweigh a matrix of every
// score many times over.
bool JoinedLinks(const msdata::CSpectrum* members, std::size_t k, const CDotProductBlock& prepared,
                 const CPairJoin& join, double tol, int floor, int threads, std::size_t most_candidates,
                 PairCounts& counts, std::vector<ClusterLink>& links,
                 std::vector<linkage::Merge>* merges = nullptr);
