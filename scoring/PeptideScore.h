#pragma once
// The peptide scorer interface and the data it works on. Masses inside the
// scorers are integers in units of 0.0001 Da.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "scoring/ResidueTable.h"

enum ScoreType : std::int32_t {
  SCORE_TYPE_SHARED_PEAKS = 2,
  SCORE_TYPE_KSDP = 3,
};

namespace mass_units {
constexpr double kPerDalton = 10000.0;
constexpr std::int32_t kH = 10078;
constexpr std::int32_t kO = 159949;
// Start of the suffix series: water plus a proton, written as three H.
constexpr std::int32_t kSuffixStart = 3 * kH;
}  // namespace mass_units

struct CIonSeries {
  bool prefix = true;  // prefix (b-type) or suffix (y-type) series
  int charge = 1;
  std::int32_t offset = 0;
};

struct CScoreSettings {
  // Fragment tolerance and its unit: "Da", "mmu", "ppm" or "%" (any case).
  double fragment_tolerance = 0.5;
  std::string tolerance_unit = "Da";
  // 0 in any of these three means the default (5, 0.9, 0.5).
  int window_size = 5;
  float decay = 0.9f;
  float exponent = 0.5f;
  // Residue masses in internal units, index = letter - 'A'.
  std::array<std::int32_t, 26> residue_masses{};
  std::vector<CIonSeries> series;
  // Kept with the settings for completeness; no scoring path reads it.
  std::string enzyme = "Trypsin";

  // Residue masses from the monoisotopic masses of a residue table.
  void SetResidues(const CResidueTable& table);
  // Prefix 1+, prefix 2+, suffix 2+, suffix 1+.
  void SetDefaultSeries();
};

struct CScorePeak {
  std::int32_t mz = 0;     // internal units
  double intensity = 0.0;  // square root of the intensity read
};

struct CScoreSpectrum {
  double precursor_mh = 0.0;
  int charge = 0;
  std::vector<CScorePeak> peaks;  // ascending m/z
  // Largest intensity among all peaks read, also those not kept.
  double max_intensity = 0.0;
};

struct CPeptideMod {
  int position = 0;  // 0-based residue index
  char residue = 0;
  double mass = 0.0;
  std::vector<double> neutral_losses;  // daltons
};

struct CScorePeptide {
  std::string sequence;
  std::vector<CPeptideMod> modifications;
};

// A scorer: configure once with SetSettings, then per peptide SetSpectrum,
// SetPeptide, Score and Reset.
class CPeptideScore {
 public:
  virtual ~CPeptideScore();
  virtual int GetScoreType() const = 0;
  virtual void SetSettings(const CScoreSettings& settings) = 0;
  // Frees the per-peptide tables.
  virtual void Reset() = 0;
  virtual void SetSpectrum(const CScoreSpectrum& spectrum) = 0;
  virtual void SetPeptide(const CScorePeptide& peptide) = 0;
  virtual double Score() = 0;
};
