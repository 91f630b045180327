#pragma once
// Places the modification site of a carried identification with the KSDP
// scorer: every residue position is scored against the spectrum, the best
// wins, and every tied position counts in the site statistics.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "propagation/PropagationState.h"
#include "scoring/ResidueTable.h"

class CSiteDeterminer {
 public:
  // Scores a peptide at every residue position (as the KSDP scorer does):
  // spectrum path, sequence, fixed (position, mass) modifications, mass of
  // the modification to place, scores appended one per residue.
  using ScoreFunction = std::function<void(
      const std::string& spectrum_path, const std::string& peptide,
      const std::vector<std::pair<int, double>>& fixed_mods, double mod_mass,
      std::vector<double>& scores)>;

  // `program_directory` holds "aa.ini", which the KSDP scorer reads.
  explicit CSiteDeterminer(std::string program_directory);

  void SetProgramDirectory(const std::string& directory) { program_directory_ = directory; }
  // Replaces the KSDP scorer (tests).
  void SetScorer(ScoreFunction scorer) { scorer_ = std::move(scorer); }

  // The site of a modification of `shift` daltons carried to spectrum
  // `name` (in `state.data_path`) with `identification`; -1 when the
  // spectrum file is missing, the sequence has 3 residues or fewer, or no
  // residue can carry the shift (a residue whose mass with its
  // modifications and the shift would be 0 or less cannot). Adds the tied
  // positions to the site statistics of `mark`.
  int DetermineSite(CPropagationState& state, const std::string& identification,
                    const std::string& name, double shift, std::int32_t mark);

  // Fills in the undetermined sites ("-1,") of up to `mod_count` items of an
  // identification, scoring their positions together, never leaving a
  // residue a mass of 0 or less; returns the text unchanged when there are
  // more, when the spectrum file is missing, or when no placement is possible.
  std::string DetermineSites(CPropagationState& state, std::int16_t mod_count,
                             const std::string& name, const std::string& identification);

 private:
  using FixedMods = std::vector<std::pair<int, double>>;

  // The spectrum file of a name in the data directory; the name is matched
  // without regard to case when no file has it exactly.
  std::string ResolveSpectrumPath(const std::string& data_path, const std::string& name);
  // Scores through the scorer; false (with a message) when "aa.ini" is missing.
  bool ScoreSafely(const std::string& spectrum_path, const std::string& sequence,
                   const FixedMods& fixed, double mass, std::vector<double>& scores);
  void Score(const std::string& spectrum_path, const std::string& sequence, const FixedMods& fixed,
             double mass, std::vector<double>& scores);
  // Scores every placement of the open items (their masses, in item order):
  // the positions of all but the last are enumerated and the scorer scores
  // the last one's, so `scores_` holds length^open scores, first item major.
  // False when scoring failed.
  bool ScorePlacements(const std::string& spectrum_path, const std::string& sequence,
                       const FixedMods& fixed, const std::vector<double>& open_masses);

  // Residue masses (with "aa.ini" of the program directory) for telling
  // which residues can carry a shift; read on first use.
  const CResidueTable& Residues();
  // Sets the score of every placement that leaves a residue 0 Da or less to
  // the lowest value; false when no placement is left.
  bool RuleOutImpossible(const std::string& sequence, const FixedMods& fixed,
                         const std::vector<double>& open_masses);

  std::string program_directory_;
  ScoreFunction scorer_;
  std::optional<CResidueTable> residues_;
  std::vector<double> scores_;
  // Upper-cased file name -> file name, for the data directory last listed.
  std::map<std::string, std::string> directory_listing_;
  std::string listed_directory_;
  bool directory_listed_ = false;
};
