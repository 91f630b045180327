#pragma once
// The "Dot Product" of many pairs from one group of spectra, as block
// clustering scores them: every spectrum is prepared once into flat arrays,
// and each first spectrum gets an index of its peaks by half-dalton cell,
// so that a second-list peak finds its partner by looking at three cells
// instead of walking the whole first list. Scores are bit for bit those of
// CSimilarity::DotProduct on the same prepared lists: the same peaks match,
// the products are added in the same order, and the cosine is formed by the
// same expression.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

#include "clustering/PeakSelect.h"
#include "common/Spectrum.h"

// floor(v) as an integer for |v| < 2^62, inline: std::floor is a library
// call on the baseline instruction set, and cell numbers take one per peak.
inline std::int64_t FloorToInt(double v) {
  const auto t = static_cast<std::int64_t>(v);  // toward zero
  return t - (static_cast<double>(t) > v ? 1 : 0);
}

class CDotProductBlock {
 public:
  // Whether the cell index serves this tolerance (daltons): a match needs a
  // difference below one cell width. Other tolerances are scored by the
  // plain walk.
  static bool Indexes(double fragment_ion_tol) {
    return fragment_ion_tol > 0.0 && fragment_ion_tol <= 0.5;
  }

  // Prepares members[0..count) with `peak_select` (copy, selection, square
  // root scaling) and puts each list in descending intensity order.
  void Prepare(const msdata::CSpectrum* members, std::size_t count,
               const CPeakSelect& peak_select);
  // The same from selections made beforehand: select(s, list) gives the
  // peaks the selection keeps of spectrum s, ascending in m/z.
  void PrepareSelected(std::size_t count,
                       const std::function<void(std::size_t, msdata::PeakList&)>& select);
  // Takes lists that already are in descending intensity order.
  void Assign(const std::vector<msdata::PeakList>& lists);

  std::size_t Size() const { return squares_.size(); }
  std::size_t PeakCount(std::size_t s) const { return offset_[s + 1] - offset_[s]; }
  // The prepared list of spectrum s, in the order it is scored in.
  msdata::PeakList List(std::size_t s) const;
  // The same list as arrays, with the half-dalton cell of every peak (0
  // for a spectrum that is not Celled), and the sum of squared intensities
  // the cosine divides by.
  const double* Mz(std::size_t s) const { return mz_.data() + offset_[s]; }
  const double* Intensity(std::size_t s) const { return intensity_.data() + offset_[s]; }
  const std::int32_t* Cell(std::size_t s) const { return cell_.data() + offset_[s]; }
  double Squares(std::size_t s) const { return squares_[s]; }
  // Every m/z finite with a cell number, no intensity infinite.
  bool Celled(std::size_t s) const { return celled_[s] != 0; }

  // Scores one first spectrum against many second spectra. Holds scratch
  // space; one per thread.
  class Row {
   public:
    // Makes spectrum `first` of `block` the first list of the following
    // Score calls, at tolerance `tol` daltons.
    void Load(const CDotProductBlock& block, std::size_t first, double tol);
    // The score of (first, second), second a spectrum of the same block.
    double Score(std::size_t second) const;
    // Scores of (first, s) for s in seconds[0..count), into scores.
    void Score(const std::size_t* seconds, std::size_t count, double* scores) const;
    // "Dot Product Mod" of (first, second) with precursor difference delta,
    // bit for bit as CSimilarity::DotProductMod in daltons. False when the
    // pair needs the plain operation (lists too long or not indexed).
    bool ScoreShifted(std::size_t second, double delta, double& score) const;

    // Up to this many first-list peaks are indexed; rank kRanks is a
    // sentinel that never matches.
    static constexpr int kRanks = 63;

   private:
    double Plain(std::size_t second) const;
    void Clear();

    const CDotProductBlock* block_ = nullptr;
    std::size_t first_ = 0;
    double tol_ = 0.0;
    bool indexed_ = false;
    std::int64_t base_ = 0;    // cell number of near_[0]
    std::uint64_t cells_ = 0;  // cells of the first list's range
    // near_[c]: ranks of first-list peaks in cells base_ + c - 1 .. + 1.
    std::vector<std::uint64_t> near_;
    std::vector<std::uint32_t> touched_;  // entries of near_ to reset
    // The first list by rank, NaN m/z from its end to the sentinel.
    double first_mz_[kRanks + 1];
    double first_intensity_[kRanks + 1];
    mutable std::vector<unsigned char> used_;
  };

 private:
  void Finish(std::size_t s);

  // Peak arrays of all spectra one after the other; offset_[s] .. offset_[s+1].
  std::vector<std::uint32_t> offset_;
  std::vector<double> mz_;
  std::vector<double> intensity_;
  std::vector<std::int32_t> cell_;  // floor(2 m/z): half-dalton cells
  // Sum of squared intensities in list order, as the cosine forms it.
  std::vector<double> squares_;
  // All m/z finite and small enough for a cell number, no intensity infinite.
  std::vector<unsigned char> celled_;
};
