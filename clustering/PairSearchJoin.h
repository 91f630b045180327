#pragma once
// Which pairs of the spectral pair search can score above the threshold,
// found without scoring the others.
//
// The cosine methods ("Dot Product", "Dot Product Mod", "Dot Product Half",
// "Dot Product X", daltons, at most half a dalton of tolerance) add a_f * b_s
// over a matching in which every peak is used at most once and only peaks
// that meet are paired, then divide by the norms of both lists. A first-list
// peak f meets a second-list peak s directly (|f - s| < tol) or shifted by
// the pair's difference (|f - (s + delta)| < tol); "Dot Product X" also tries
// 2f in both tests. With w = intensity / norm, the sum of w_f * w_s over ALL
// pairs of peaks that meet in any of these ways is never below the score:
// every term is non-negative and the matching takes a subset of them.
//
// The direct sum for every second spectrum at once comes from an index of
// all peaks by eighth-dalton cell. The shifted one needs no index per
// difference: with delta = scale * (M1 - M2), f - (s + delta) equals
// (f - scale * M1) - (s - scale * M2), so a second index holds every peak at
// s - scale * M2 and is probed at f - scale * M1. Both coordinates differ
// from what the scoring computes only by rounding far below the margin that
// the probe adds to the tolerance; a partner admitted by that margin only
// loosens the bound. Each charge has its own index, since only pairs of one
// charge (or 3 with 2 for "Dot Product X") are scored.
//
// Spectra whose lists would spoil the argument (an m/z or intensity that is
// not finite, a negative intensity, a weight lost in single precision, a
// norm near the limits of the number range) are candidates with every
// partner of their window.

#include <cstddef>
#include <cstdint>
#include <map>
#include <vector>

#include "common/Spectrum.h"
#include "common/Types.h"

class CPairSearchJoin {
 public:
  // Whether the join serves this scoring (method as Similar_Method).
  static bool Serves(int method, double fragment_ion_tol, Tolerance_Type type);

  // Indexes the prepared lists (as they are scored) of `spectra`, which are
  // in the pair search's order: spectrum s has list prepared[first_list + s]
  // (the decoys lie after the spectra's own lists). False when the peaks
  // spread over too many cells; the caller then scores every pair.
  bool Build(const std::vector<msdata::CSpectrum>& spectra,
             const std::vector<msdata::PeakList>& prepared, int method, double fragment_ion_tol,
             std::size_t first_list = 0);

  // Whether second spectrum j is scored with first spectrum i at all, by
  // their charges.
  bool Compatible(std::size_t i, std::size_t j) const;
  // How many j in [begin, end) are Compatible with i.
  std::size_t CompatibleIn(std::size_t i, std::size_t begin, std::size_t end) const;

  // Finds candidates; holds scratch space, one per thread.
  class Probe {
   public:
    explicit Probe(const CPairSearchJoin& join);
    // Appends, ascending, every j in [begin, end) compatible with i whose
    // score with i may exceed `threshold` (>= 0). The first spectrum's list
    // is that of `first` (built over the same spectra) when given, so that
    // spectra can be probed against the decoys this join holds.
    void Candidates(std::size_t i, std::size_t begin, std::size_t end, double threshold,
                    std::vector<std::uint32_t>& out, const CPairSearchJoin* first = nullptr);

   private:
    const CPairSearchJoin& join_;
    std::vector<double> sums_;
    // A bit per spectrum whose sum was touched, so that a probe visits
    // those instead of its whole window.
    std::vector<std::uint64_t> touched_;
  };

 private:
  // Peaks by eighth-dalton cell of one coordinate (m/z, or m/z less the
  // scaled precursor mass), for the spectra of one charge.
  struct CellIndex {
    struct Entry {
      std::uint32_t spectrum;
      float weight;
    };
    std::int64_t low = 0;
    // Entries of cell low + c: entries[first[c] .. first[c + 1]), by
    // spectrum, ascending; offset[k] is where entry k lies in its cell
    // (in cells, [0, 1)).
    std::vector<std::uint32_t> first;
    std::vector<Entry> entries;
    std::vector<float> offset;
    // Adds w * weight to sums[spectrum] for every entry within `tol` of q
    // whose spectrum lies in [begin, end).
    void Gather(double q, double w, double tol, std::size_t begin, std::size_t end, double* sums,
                std::uint64_t* touched) const;
  };
  bool Fill(CellIndex& index, int charge, bool shifted) const;
  double Coordinate(std::size_t spectrum, double mz, bool shifted) const {
    return shifted ? mz - scale_ * (*spectra_)[spectrum].precursor_mass : mz;
  }
  // The charge whose spectra i is scored with, or false when none.
  bool PartnerCharge(std::size_t i, int& charge) const;

  const std::vector<msdata::CSpectrum>* spectra_ = nullptr;
  const msdata::PeakList* lists_ = nullptr;  // spectrum s has lists_[s]
  int method_ = 0;
  double tol_ = 0.0;
  double scale_ = 1.0;  // of the precursor difference in the shifted test
  bool shifts_ = true;
  bool doubles_ = false;  // "Dot Product X": 2f meets as well
  std::vector<unsigned char> wild_;
  std::vector<std::uint32_t> peak_offset_;
  std::vector<float> weight_;  // every peak's intensity / norm
  struct ChargeIndexes {
    CellIndex direct;
    CellIndex shifted;
  };
  std::map<int, ChargeIndexes> by_charge_;
  // For every charge, how many spectra of it lie before each position,
  // and the positions of its wild spectra.
  std::map<int, std::vector<std::uint32_t>> before_;
  std::map<int, std::vector<std::uint32_t>> wild_of_charge_;
};
