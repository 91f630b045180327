#include "bench/simulator/Peptides.h"

#include <cctype>
#include <fstream>
#include <unordered_set>

#include "common/Spectrum.h"
#include "common/TextUtil.h"

namespace simulator {

namespace {

bool IsDecoyHeader(const std::string& header, const std::vector<std::string>& decoy_prefixes) {
  const std::string accession = text::ToUpper(header.substr(0, header.find_first_of(" \t")));
  for (const std::string& prefix : decoy_prefixes) {
    if (!prefix.empty() && text::StartsWith(accession, text::ToUpper(prefix))) return true;
  }
  return false;
}

// Sequence letters only: line ends, blanks and the stop mark "*" are not
// residues.
void AppendResidues(const std::string& line, std::string& sequence) {
  for (char c : line) {
    if (std::isalpha(static_cast<unsigned char>(c)))
      sequence += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  }
}

bool CleavesAfter(std::string_view protein, std::size_t i) {
  const char residue = protein[i];
  if (residue != 'K' && residue != 'R') return false;
  return i + 1 >= protein.size() || protein[i + 1] != 'P';
}

bool AllStandard(std::string_view sequence) {
  for (char c : sequence) {
    if (ResidueMass(c) == 0.0) return false;
  }
  return true;
}

}  // namespace

bool ReadFastaTargets(const std::string& path, const std::vector<std::string>& decoy_prefixes,
                      std::vector<std::string>& sequences, std::size_t& decoys_skipped,
                      std::string& error) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    error = "Can not open file:" + path;
    return false;
  }
  sequences.clear();
  decoys_skipped = 0;
  bool keep = false;
  std::string line;
  while (text::ReadLine(in, line)) {
    if (!line.empty() && line[0] == '>') {
      keep = !IsDecoyHeader(line.substr(1), decoy_prefixes);
      if (keep) {
        sequences.emplace_back();
      } else {
        ++decoys_skipped;
      }
    } else if (keep) {
      AppendResidues(line, sequences.back());
    }
  }
  if (sequences.empty()) {
    error = path + ": no target protein (" + std::to_string(decoys_skipped) + " decoy entries)";
    return false;
  }
  return true;
}

std::vector<CPeptide> DigestTryptic(std::string_view protein, const CDigestRules& rules) {
  // Piece boundaries: the start, every cleavage site, the end.
  std::vector<std::size_t> cuts{0};
  for (std::size_t i = 0; i + 1 < protein.size(); ++i) {
    if (CleavesAfter(protein, i)) cuts.push_back(i + 1);
  }
  cuts.push_back(protein.size());
  std::vector<CPeptide> peptides;
  const std::size_t pieces = cuts.size() - 1;
  for (std::size_t first = 0; first < pieces; ++first) {
    for (int missed = 0; missed <= rules.max_missed_cleavages; ++missed) {
      const std::size_t last = first + static_cast<std::size_t>(missed);
      if (last >= pieces) break;
      const std::size_t begin = cuts[first];
      const std::size_t end = cuts[last + 1];
      const std::size_t length = end - begin;
      if (length < static_cast<std::size_t>(rules.min_length) ||
          length > static_cast<std::size_t>(rules.max_length))
        continue;
      CPeptide peptide;
      peptide.sequence = std::string(protein.substr(begin, length));
      peptide.before = begin == 0 ? '-' : protein[begin - 1];
      peptide.after = end == protein.size() ? '-' : protein[end];
      peptide.missed_cleavages = missed;
      peptides.push_back(std::move(peptide));
    }
  }
  return peptides;
}

std::vector<CPeptide> UniquePeptides(const std::vector<std::string>& proteins,
                                     const CDigestRules& rules) {
  std::vector<CPeptide> unique;
  std::unordered_set<std::string> seen;
  for (const std::string& protein : proteins) {
    for (CPeptide& peptide : DigestTryptic(protein, rules)) {
      if (!AllStandard(peptide.sequence) || !seen.insert(peptide.sequence).second) continue;
      unique.push_back(std::move(peptide));
    }
  }
  return unique;
}

double ResidueMass(char residue) {
  switch (residue) {
    case 'G': return 57.021464;
    case 'A': return 71.037114;
    case 'S': return 87.032028;
    case 'P': return 97.052764;
    case 'V': return 99.068414;
    case 'T': return 101.047679;
    case 'C': return 103.009185;
    case 'L': case 'I': return 113.084064;
    case 'N': return 114.042927;
    case 'D': return 115.026943;
    case 'Q': return 128.058578;
    case 'K': return 128.094963;
    case 'E': return 129.042593;
    case 'M': return 131.040485;
    case 'H': return 137.058912;
    case 'F': return 147.068414;
    case 'R': return 156.101111;
    case 'Y': return 163.063329;
    case 'W': return 186.079313;
    default: return 0.0;
  }
}

std::vector<double> ModifiedResidueMasses(std::string_view sequence, int oxidised_position) {
  std::vector<double> masses(sequence.size());
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    masses[i] = ResidueMass(sequence[i]);
    if (sequence[i] == 'C') masses[i] += kCarbamidomethylMass;
    if (static_cast<int>(i) == oxidised_position) masses[i] += kOxidationMass;
  }
  return masses;
}

double NeutralPeptideMass(const std::vector<double>& residue_masses) {
  double mass = kWaterMass;
  for (double m : residue_masses) mass += m;
  return mass;
}

double IonMz(double neutral_mass, int charge) {
  return (neutral_mass + charge * msdata::kProtonMass) / charge;
}

}  // namespace simulator
