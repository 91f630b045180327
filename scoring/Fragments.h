#pragma once
// Theoretical fragments of a peptide and their matching against a
// spectrum's peaks; shared by the scorers.

#include <array>
#include <cstdint>
#include <vector>

#include "scoring/PeptideScore.h"

struct CFragment {
  std::int32_t mz = 0;
  int series = 0;    // index into the settings' series
  int position = 0;  // index of the fragment within its series
  bool loss = false; // neutral-loss fragments mark peaks, not positions
};

class CFragmentMatcher {
 public:
  // Converts tolerance and series from the settings.
  void Configure(const CScoreSettings& settings);

  // Builds the sorted fragment list of a peptide.
  void SetPeptide(const CScorePeptide& peptide);
  // Marks peaks and fragment positions of the series usable at the
  // spectrum's precursor charge.
  void Match(const CScoreSpectrum& spectrum);
  void Clear();

  // Number of fragment positions per series (peptide length - 1, or 0).
  int PositionCount() const { return positions_; }
  int SeriesCount() const { return static_cast<int>(series_.size()); }
  bool SeriesUsable(int series) const { return usable_[series] != 0; }
  bool PositionMatched(int series, int position) const {
    return matched_positions_[static_cast<std::size_t>(series) * positions_ + position] != 0;
  }
  // Sum of the intensities of the matched peaks, each peak counted once.
  double MatchedIntensity() const { return matched_intensity_; }
  const std::vector<CFragment>& fragments() const { return fragments_; }

  // Whether a series of `series_charge` is used at `precursor_charge`.
  static bool SeriesAllowed(int series_charge, int precursor_charge);

 private:
  std::int64_t ToleranceAt(std::int32_t mz) const;

  std::vector<CIonSeries> series_;
  std::array<std::int32_t, 26> residue_masses_{};
  bool relative_tolerance_ = false;
  double tolerance_ = 0.0;  // internal units, or a fraction when relative

  int positions_ = 0;
  std::vector<CFragment> fragments_;
  std::vector<char> usable_;
  std::vector<char> matched_positions_;
  std::vector<char> matched_peaks_;
  double matched_intensity_ = 0.0;
};
