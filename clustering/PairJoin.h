#pragma once
// Which pairs of a prepared block can have a "Dot Product" (daltons, at most
// half a dalton of tolerance) of at least a given value, found without
// scoring the others.
//
// The score of (a, b) adds a_i * b_j over a matching in which every peak
// is used at most once and only peaks within tolerance meet, then divides
// by the norms of both lists. With w = intensity / norm, the sum of
// w_i * w_j over ALL pairs of peaks within tolerance is therefore never
// below the score: every term is non-negative and the matching takes a
// subset of them. That sum is gathered for every later spectrum at once
// from an index of all peaks by eighth-dalton cell, testing each peak pair
// near the edge of the tolerance window with exactly the comparison the
// scoring uses. Pairs whose sum falls short of
// the value, less a margin far wider than the rounding of the weights (single
// precision) and of the score itself, cannot reach it.
//
// Spectra whose lists would spoil that argument (an m/z without a cell, a
// negative or infinite intensity, a norm near the limits of the number
// range, or an enormous list) are candidates with every later spectrum.
// Spectra whose sum of squares is not positive score 0 with everything and
// are candidates with none.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "clustering/DotProductBlock.h"

class CPairJoin {
 public:
  // Indexes `block` for tolerance `tol` daltons. False when the join cannot
  // serve it (tolerance not indexed, or peaks spread over too many cells);
  // the caller then scores every pair.
  bool Build(const CDotProductBlock& block, double tol);

  // The most a pair with this sum can have as packed score
  // (linkage::PackScore), 32767 at most. The packed score is
  // trunc(score * 10000) of a score that exceeds the exact sum of its
  // matched products only by rounding (relative 1e-9 at most for lists of up
  // to kMostPeaks peaks), while the sum here may fall short of the exact one
  // by the rounding of the single-precision weights (relative 2^-23); the
  // factor covers both many times over.
  static int Bound(double sum) {
    const double most = sum * 10000.0 * (1.0 + 1e-5);
    if (!(most < 32767.0)) return 32767;
    return static_cast<int>(most);
  }

  struct Candidate {
    std::uint32_t spectrum;
    std::int32_t bound;  // as Bound
  };

  // Finds candidates; holds scratch space, one per thread.
  class Probe {
   public:
    explicit Probe(const CPairJoin& join);
    // Appends every b > a whose packed
    // score with first spectrum a may exceed `floor` (>= 0), with the most
    // it may be.
    void Candidates(std::size_t a, int floor, std::vector<Candidate>& out);

   private:
    // Adds up, for every later spectrum, the weight products of all peak
    // pairs within tolerance of tame spectrum a.
    void GatherSums(std::size_t a);
    // Appends the spectra whose sums allow a packed score above `floor`, and
    // the wild ones, and clears the sums again.
    void Collect(std::size_t a, int floor, std::vector<Candidate>& out);

    const CPairJoin& join_;
    std::vector<double> sums_;
    std::unique_ptr<Candidate[]> found_;  // one row's, at most one per spectrum
  };

 private:
  enum Kind : unsigned char { kTame, kWild, kSilent };
  struct Entry {
    std::uint32_t spectrum;
    float weight;
  };

  // Sorts the spectra into kinds and weighs the peaks of the tame ones;
  // whether any peak has weight, and the lowest and highest cell of those
  // that have.
  bool Weigh(const CDotProductBlock& block, std::int64_t& low, std::int64_t& high);
  static Kind KindOf(const CDotProductBlock& block, std::size_t s);
  // Lists every weighed peak in its cell, over `cells` cells from low_.
  void Index(const CDotProductBlock& block, std::size_t cells);

  const CDotProductBlock* block_ = nullptr;
  double tol_ = 0.0;
  std::int64_t low_ = 0;  // eighth-dalton cell of first_[0]
  // Entries of cell low_ + c: entries_[first_[c] .. first_[c + 1]), by
  // spectrum, descending.
  std::vector<std::uint32_t> first_;
  std::vector<Entry> entries_;
  std::vector<double> entry_mz_;  // beside entries_, read near window edges only
  std::vector<Kind> kind_;
  std::vector<std::uint32_t> wild_;  // ascending
  std::vector<std::uint32_t> peak_offset_;
  std::vector<float> weight_;  // of every peak of a tame spectrum, else 0
};
