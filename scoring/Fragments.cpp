#include "scoring/Fragments.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>

#include "common/TextUtil.h"

namespace {

std::int32_t Clamp32(std::int64_t v) {
  if (v > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
  if (v < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

// m/z of a fragment of neutral-plus-proton mass `mass` in a series.
std::int64_t FragmentNumerator(const CIonSeries& s, std::int64_t mass) {
  return static_cast<std::int64_t>(s.charge - 1) * mass_units::kH + mass - s.offset;
}

}  // namespace

bool CFragmentMatcher::SeriesAllowed(int series_charge, int precursor_charge) {
  if (precursor_charge <= 0) return true;
  if (precursor_charge == 1) return series_charge == 1;
  return series_charge < precursor_charge;
}

void CFragmentMatcher::Configure(const CScoreSettings& settings) {
  series_.clear();
  for (const CIonSeries& s : settings.series) {
    // A series without a positive charge has no m/z; it is left out.
    if (s.charge >= 1) series_.push_back(s);
  }
  residue_masses_ = settings.residue_masses;

  const std::string unit = text::ToLower(settings.tolerance_unit);
  relative_tolerance_ = false;
  if (unit == "mmu") {
    tolerance_ = settings.fragment_tolerance * 10.0;
  } else if (unit == "ppm") {
    relative_tolerance_ = true;
    tolerance_ = settings.fragment_tolerance * 1e-6;
  } else if (unit == "%") {
    relative_tolerance_ = true;
    tolerance_ = settings.fragment_tolerance * 0.01;
  } else {
    tolerance_ = settings.fragment_tolerance * mass_units::kPerDalton;
  }
  if (!relative_tolerance_) tolerance_ = std::trunc(tolerance_);
  if (!std::isfinite(tolerance_)) tolerance_ = 0.0;
  Clear();
}

std::int64_t CFragmentMatcher::ToleranceAt(std::int32_t mz) const {
  double t = relative_tolerance_ ? std::trunc(static_cast<double>(mz) * tolerance_) : tolerance_;
  constexpr double kLimit = 4.0e9;  // wider than any int32 m/z difference
  return static_cast<std::int64_t>(std::clamp(t, -kLimit, kLimit));
}

void CFragmentMatcher::Clear() {
  positions_ = 0;
  fragments_.clear();
  usable_.clear();
  matched_positions_.clear();
  matched_peaks_.clear();
  matched_intensity_ = 0.0;
}

void CFragmentMatcher::SetPeptide(const CScorePeptide& peptide) {
  Clear();
  const int length = static_cast<int>(peptide.sequence.size());
  if (length < 2) return;
  positions_ = length - 1;

  std::vector<std::int64_t> mass(length, 0);
  for (int i = 0; i < length; ++i) {
    int c = std::toupper(static_cast<unsigned char>(peptide.sequence[i]));
    if (c >= 'A' && c <= 'Z') mass[i] = residue_masses_[c - 'A'];
  }
  for (const CPeptideMod& mod : peptide.modifications) {
    if (mod.position < 0 || mod.position >= length) continue;
    mass[mod.position] += TruncatedUnits(mod.mass, mass_units::kPerDalton);
  }

  // prefix[k]: fragment k holds residues 0..k; suffix[k]: residues L-1-k..L-1.
  std::vector<std::int64_t> prefix(positions_), suffix(positions_);
  std::int64_t p = mass_units::kH;
  std::int64_t s = static_cast<std::int64_t>(mass_units::kO) + mass_units::kSuffixStart;
  for (int k = 0; k < positions_; ++k) {
    p += mass[k];
    s += mass[length - 1 - k];
    prefix[k] = p;
    suffix[k] = s;
  }

  for (int si = 0; si < static_cast<int>(series_.size()); ++si) {
    const CIonSeries& series = series_[si];
    const std::vector<std::int64_t>& masses = series.prefix ? prefix : suffix;
    for (int k = 0; k < positions_; ++k) {
      fragments_.push_back(
          {Clamp32(FragmentNumerator(series, masses[k]) / series.charge), si, k, false});
    }
    for (const CPeptideMod& mod : peptide.modifications) {
      if (mod.position < 0 || mod.position >= length) continue;
      // The fragments that carry the modified residue.
      const int first = series.prefix ? mod.position : length - 1 - mod.position;
      for (double loss_mass : mod.neutral_losses) {
        const std::int64_t loss = TruncatedUnits(loss_mass, mass_units::kPerDalton);
        for (int k = std::max(first, 0); k < positions_; ++k) {
          const std::int64_t numerator = FragmentNumerator(series, masses[k] - loss);
          if (numerator < 0) continue;
          fragments_.push_back({Clamp32(numerator / series.charge), si, k, true});
        }
      }
    }
  }
  std::stable_sort(fragments_.begin(), fragments_.end(),
                   [](const CFragment& a, const CFragment& b) { return a.mz < b.mz; });
}

void CFragmentMatcher::Match(const CScoreSpectrum& spectrum) {
  const std::size_t series_count = series_.size();
  usable_.assign(series_count, 0);
  for (std::size_t s = 0; s < series_count; ++s) {
    usable_[s] = SeriesAllowed(series_[s].charge, spectrum.charge) ? 1 : 0;
  }
  matched_positions_.assign(series_count * static_cast<std::size_t>(positions_), 0);
  const std::vector<CScorePeak>& peaks = spectrum.peaks;
  matched_peaks_.assign(peaks.size(), 0);
  matched_intensity_ = 0.0;

  std::size_t first = 0;
  for (const CFragment& f : fragments_) {
    if (!usable_[f.series]) continue;
    const std::int64_t tol = ToleranceAt(f.mz);
    const std::int64_t low = static_cast<std::int64_t>(f.mz) - tol;
    const std::int64_t high = static_cast<std::int64_t>(f.mz) + tol;
    while (first < peaks.size() && peaks[first].mz < low) ++first;
    bool hit = false;
    for (std::size_t q = first; q < peaks.size() && peaks[q].mz <= high; ++q) {
      hit = true;
      matched_peaks_[q] = 1;
    }
    if (hit && !f.loss) {
      matched_positions_[static_cast<std::size_t>(f.series) * positions_ + f.position] = 1;
    }
  }
  for (std::size_t q = 0; q < peaks.size(); ++q) {
    if (matched_peaks_[q]) matched_intensity_ += peaks[q].intensity;
  }
}
