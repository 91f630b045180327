#pragma once
// Peptides for the simulator: target proteins of a FASTA file, their tryptic
// peptides, and monoisotopic masses with the modifications the simulator
// puts on them (carbamidomethyl C always, oxidised M on some spectra).

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace simulator {

// Unimod monoisotopic masses, daltons.
inline constexpr double kWaterMass = 18.0105646863;
inline constexpr double kAmmoniaMass = 17.0265491015;
inline constexpr double kCarbamidomethylMass = 57.021464;
inline constexpr double kOxidationMass = 15.994915;

// Reads the sequences of the target entries of a FASTA file. An entry whose
// accession (the first word of its header) begins with one of
// `decoy_prefixes`, compared without regard to case, is a decoy and skipped.
// False with `error` set when the file cannot be read or holds no target.
bool ReadFastaTargets(const std::string& path, const std::vector<std::string>& decoy_prefixes,
                      std::vector<std::string>& sequences, std::size_t& decoys_skipped,
                      std::string& error);

struct CDigestRules {
  int min_length = 7;
  int max_length = 30;
  int max_missed_cleavages = 1;
};

struct CPeptide {
  std::string sequence;
  char before = '-';  // the residue before it in the protein, '-' at the N-terminus
  char after = '-';   // the residue after it, '-' at the C-terminus
  int missed_cleavages = 0;
};

// Trypsin's peptides of one protein: cleaved after K or R unless P follows,
// with up to `max_missed_cleavages` sites left uncut, within the lengths.
std::vector<CPeptide> DigestTryptic(std::string_view protein, const CDigestRules& rules);

// The peptides of all proteins, each sequence once (where it first occurs),
// leaving out those with a letter other than the twenty residues.
std::vector<CPeptide> UniquePeptides(const std::vector<std::string>& proteins,
                                     const CDigestRules& rules);

// Monoisotopic residue mass of one of the twenty residues; 0 for any other
// letter.
double ResidueMass(char residue);

// Residue masses of a peptide as the simulator modifies it: carbamidomethyl
// on every C, oxidation on the M at `oxidised_position` (0-based; -1 none).
std::vector<double> ModifiedResidueMasses(std::string_view sequence, int oxidised_position);

// Neutral monoisotopic mass: residues plus water.
double NeutralPeptideMass(const std::vector<double>& residue_masses);

// (mass + z protons) / z
double IonMz(double neutral_mass, int charge);

}  // namespace simulator
