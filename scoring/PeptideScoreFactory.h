#pragma once
// Entry point of the scoring library.

#include <cstddef>
#include <string>
#include <utility>
#include <vector>

#include "scoring/PeptideScore.h"

// Reads a spectrum file for scoring: a first line "%lf %d" (precursor MH+
// and charge), then one "%lf %lf" peak (m/z, intensity) per line. Peaks keep
// the square root of their intensity; only the `keep` most intense are kept,
// sorted by m/z, while max_intensity is taken over all peaks read. Lines that
// hold no peak are passed over. False, with `error` set, when the file
// cannot be opened.
bool ReadScoreSpectrum(const std::string& path, CScoreSpectrum& spectrum, std::string& error,
                       std::size_t keep = 200);

class CPeptideScoreFactory {
 public:
  // A new scorer, owned by the caller: the shared-peak scorer for 2, the
  // KSDP scorer for every other value.
  CPeptideScore* GetScorer(ScoreType type) const;

  // Scores `peptide` against the spectrum file once per residue position,
  // with a modification of `mod_mass` daltons on that residue in addition
  // to the fixed modifications ((0-based position, mass) pairs; positions
  // outside the peptide are ignored). Appends exactly one score per residue
  // to `scores`, in position order. Residue masses come from the built-in
  // table and "aa.ini" in `directory`.
  //
  // An unreadable spectrum file is reported through notify::Message and
  // scores 0 at every position. A missing "aa.ini" throws
  // COptionToolException (common/OptionTool.h) before anything is appended.
  void GetKSDPScore(const std::string& spectrum_path, const std::string& peptide,
                    const std::vector<std::pair<int, double>>& fixed_mods, double mod_mass,
                    std::vector<double>& scores, const std::string& directory) const;
};

// The same scoring on a spectrum already read (ReadScoreSpectrum) with
// settings already made (residues and series), for callers that score many
// peptides against one spectrum: one score per residue of `peptide`,
// appended in position order.
void ScoreEverySite(const CScoreSettings& settings, const CScoreSpectrum& spectrum,
                    const std::string& peptide,
                    const std::vector<std::pair<int, double>>& fixed_mods, double mod_mass,
                    std::vector<double>& scores);
