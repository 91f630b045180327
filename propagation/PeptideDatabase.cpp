#include "propagation/PeptideDatabase.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <fstream>
#include <numeric>
#include <set>

#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "propagation/PeptideText.h"
#include "scoring/ResidueTable.h"

namespace {

constexpr int kMinLength = 6;
constexpr int kMaxLength = 40;
constexpr int kMissedCleavages = 2;
constexpr double kWater = 18.0105646863;

bool IsDecoy(const std::string& header, const std::vector<std::string>& prefixes) {
  const std::string accession = text::Split(text::Trim(header.substr(1)), ' ').front();
  for (const std::string& prefix : prefixes) {
    if (!prefix.empty() && accession.size() >= prefix.size() &&
        text::EqualsNoCase(accession.substr(0, prefix.size()), prefix))
      return true;
  }
  return false;
}

// Trypsin's peptides of one protein into `out`.
void Digest(const std::string& protein, std::set<std::string>& out) {
  std::vector<std::size_t> ends;  // one past each cleavage site, and the end
  for (std::size_t i = 0; i < protein.size(); ++i) {
    const bool site = (protein[i] == 'K' || protein[i] == 'R') &&
                      (i + 1 == protein.size() || protein[i + 1] != 'P');
    if (site || i + 1 == protein.size()) ends.push_back(i + 1);
  }
  std::size_t start = 0;
  for (std::size_t e = 0; e < ends.size(); ++e) {
    for (std::size_t k = e; k < ends.size() && k <= e + kMissedCleavages; ++k) {
      const std::size_t length = ends[k] - start;
      if (length >= static_cast<std::size_t>(kMinLength) && length <= static_cast<std::size_t>(kMaxLength))
        out.insert(protein.substr(start, length));
    }
    start = ends[e];
  }
}

}  // namespace

bool CPeptideDatabase::Read(const std::vector<std::string>& fasta_files,
                            const std::vector<std::string>& decoy_prefixes, std::string& error) {
  std::set<std::string> peptides;
  files_.clear();
  proteins_ = 0;
  for (const std::string& path : fasta_files) {
    const bool again = std::any_of(files_.begin(), files_.end(),
                                   [&path](const std::string& read) { return safefile::SameFile(read, path); });
    if (again) continue;
    std::ifstream in;
    if (!text::OpenInput(in, path)) {
      error = "Can not open file:" + path;
      return false;
    }
    files_.push_back(path);
    std::size_t proteins = 0;
    std::string line, protein;
    bool decoy = true;
    const auto finish = [&] {
      if (!decoy && !protein.empty()) {
        Digest(protein, peptides);
        ++proteins;
      }
      protein.clear();
    };
    for (int number = 1; text::ReadLine(in, line); ++number) {
      if (!line.empty() && line[0] == '>') {
        finish();
        decoy = IsDecoy(line, decoy_prefixes);
        continue;
      }
      if (number == 1) {
        error = "File " + path + ", line 1: not a FASTA header: '" + line.substr(0, 60) + "'";
        return false;
      }
      for (const char c : line)
        if (c > ' ') protein += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    finish();
    if (proteins == 0) {
      error = "File " + path + ": no target protein";
      return false;
    }
    proteins_ += proteins;
  }
  peptides_.assign(peptides.begin(), peptides.end());
  order_.clear();
  masses_.clear();
  return true;
}

void CPeptideDatabase::Index(const CResidueTable& residues, const std::map<char, double>& fixed) {
  std::array<double, 26> mass{};
  for (char c = 'A'; c <= 'Z'; ++c) {
    const auto f = fixed.find(c);
    mass[static_cast<std::size_t>(c - 'A')] = residues.Get(c).mono_mass + (f == fixed.end() ? 0.0 : f->second);
  }
  std::vector<double> by_peptide(peptides_.size(), 0.0);
  std::vector<bool> usable(peptides_.size(), true);
  for (std::size_t i = 0; i < peptides_.size(); ++i) {
    double total = kWater;
    for (const char c : peptides_[i]) {
      const double m = c >= 'A' && c <= 'Z' ? residues.Get(c).mono_mass : 0.0;
      if (!(m > 0.0)) usable[i] = false;
      total += c >= 'A' && c <= 'Z' ? mass[static_cast<std::size_t>(c - 'A')] : 0.0;
    }
    by_peptide[i] = total;
  }
  order_.clear();
  for (std::size_t i = 0; i < peptides_.size(); ++i)
    if (usable[i]) order_.push_back(i);
  std::sort(order_.begin(), order_.end(), [&by_peptide](std::size_t a, std::size_t b) {
    return by_peptide[a] != by_peptide[b] ? by_peptide[a] < by_peptide[b] : a < b;
  });
  masses_.resize(order_.size());
  for (std::size_t i = 0; i < order_.size(); ++i) masses_[i] = by_peptide[order_[i]];
}

std::pair<std::size_t, std::size_t> CPeptideDatabase::Within(double low, double high) const {
  const auto first = std::lower_bound(masses_.begin(), masses_.end(), low);
  const auto last = std::upper_bound(first, masses_.end(), high);
  return {static_cast<std::size_t>(first - masses_.begin()), static_cast<std::size_t>(last - masses_.begin())};
}

std::map<char, double> FixedModificationsOf(const ResultMap& results, const ModificationList& modifications,
                                            int least) {
  struct CSeen {
    int occurrences = 0;
    std::map<long, std::pair<int, double>> masses;  // mass in 0.001 Da -> times carried, mass
  };
  std::map<char, CSeen> seen;
  for (const auto& entry : results) {
    const std::string& identification = entry.second;
    const std::string sequence = peptide_text::Sequence(identification);
    std::vector<double> at(sequence.size(), 0.0);
    std::vector<bool> carried(sequence.size(), false);
    for (const peptide_text::CItem& item : peptide_text::ParseItems(identification, modifications)) {
      // Shifts that propagation added have a third field.
      if (item.mark != -1 || std::count(item.text.begin(), item.text.end(), ',') >= 2) continue;
      if (!item.has_mass || item.position < 0 || static_cast<std::size_t>(item.position) >= sequence.size())
        continue;
      at[static_cast<std::size_t>(item.position)] = item.mass;
      carried[static_cast<std::size_t>(item.position)] = true;
    }
    for (std::size_t i = 0; i < sequence.size(); ++i) {
      CSeen& s = seen[sequence[i]];
      ++s.occurrences;
      if (!carried[i]) continue;
      auto& [times, mass] = s.masses[std::lround(at[i] * 1000.0)];
      ++times;
      mass = at[i];
    }
  }
  std::map<char, double> fixed;
  for (const auto& [residue, s] : seen) {
    if (s.masses.size() != 1 || s.occurrences < least) continue;
    const auto& [times, mass] = s.masses.begin()->second;
    if (times == s.occurrences) fixed[residue] = mass;
  }
  return fixed;
}
