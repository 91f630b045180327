#include "drivers/cluster/QualityReport.h"

#include <cmath>
#include <cstdio>
#include <unordered_map>

#include "common/PathUtil.h"
#include "common/PlotProgram.h"
#include "common/TextUtil.h"

namespace clusterjob {

namespace {

// The sequence of an identification text ("PEPTIDE 3,1" gives "PEPTLDE"):
// I and L weigh the same and no spectrum tells them apart.
std::string PeptideKey(const std::string& identification) {
  std::string sequence = text::ToUpper(identification.substr(0, identification.find(' ')));
  for (char& c : sequence) c = c == 'I' ? 'L' : c;
  return sequence;
}

// The step of a row, when it is one (1.00, 0.99, ...).
bool OnStep(double threshold) {
  const double hundredths = threshold * 100.0;
  return std::fabs(hundredths - std::round(hundredths)) < 1e-9;
}

}  // namespace

std::string PeptidesOfSpectra(const std::string& path, const CFilterChoice& choice,
                              const std::vector<msdata::CSpectrum>& spectra, std::vector<int>& peptide_of,
                              std::ostream& out) {
  CIdentificationFilter filter;
  std::string error;
  if (!FilterFromChoice(choice, filter, error)) return error;
  filter.modify_ini_directory = path::ProgramDirectory();
  CIdentifications loaded;
  const bool read = LoadIdentifications(path, filter, loaded, error);
  for (const std::string& line : loaded.report) out << line << "\n";
  if (!read) return error;
  std::unordered_map<std::string, int> numbers;
  std::size_t identified = 0;
  peptide_of.assign(spectra.size(), -1);
  for (std::size_t s = 0; s < spectra.size(); ++s) {
    const auto found = loaded.results.find(ResultSpectrumKey(spectra[s].name));
    if (found == loaded.results.end() || !HasPeptide(found->second)) continue;
    const auto number = numbers.emplace(PeptideKey(found->second), static_cast<int>(numbers.size()));
    peptide_of[s] = number.first->second;
    ++identified;
  }
  std::size_t with_peptide = 0;
  for (const auto& [name, identification] : loaded.results) with_peptide += HasPeptide(identification);
  out << "Identified spectra: " << identified << " of the job's " << spectra.size() << " (" << numbers.size()
      << " peptides), from " << with_peptide << " identifications in " << path << "\n";
  if (identified == 0 && with_peptide > 0) {
    out << "None of the " << with_peptide << " identifications of " << path
        << " names a spectrum of the job: were they made on another run?\n";
  }
  return {};
}

ThresholdChoice ChooseThreshold(const std::vector<quality::Figures>& rows, double target) {
  ThresholdChoice choice;
  // Rows come highest threshold first; a step counts when enough
  // identified spectra are clustered there to estimate its ratio.
  for (const quality::Figures& row : rows) {
    if (!OnStep(row.threshold)) continue;
    choice.most_identified = std::max(choice.most_identified, row.identified_clustered);
    if (row.identified_clustered < quality::kLeastIdentifiedClustered) continue;
    if (row.IncorrectRatio() > target) break;
    choice.chosen = true;
    choice.at = row;
  }
  return choice;
}

std::string DescribeChoice(const ThresholdChoice& choice, double target, double kept_threshold) {
  char text[400];
  if (!choice.chosen) {
    if (choice.most_identified < quality::kLeastIdentifiedClustered) {
      std::snprintf(text, sizeof text,
                    "Too few identified spectra are clustered to estimate the incorrect ratio: %zu at most "
                    "(at least %zu needed); the threshold stays %.2f",
                    choice.most_identified, quality::kLeastIdentifiedClustered, kept_threshold);
    } else {
      std::snprintf(text, sizeof text,
                    "No threshold keeps the incorrect ratio at or below %g, not even 1.00; the threshold stays "
                    "%.2f",
                    target, kept_threshold);
    }
    return text;
  }
  double low = 0.0, high = 0.0;
  quality::WilsonInterval(choice.at.incorrect, choice.at.identified_clustered, low, high);
  std::snprintf(text, sizeof text,
                "Threshold for at most %g incorrect: %.2f (incorrect ratio %.4f, 95%% interval %.4f to %.4f, "
                "%zu of %zu identified clustered spectra; clustered ratio %.4f)",
                target, choice.at.threshold, choice.at.IncorrectRatio(), low, high, choice.at.incorrect,
                choice.at.identified_clustered, choice.at.ClusteredRatio());
  return text;
}

std::string DrawCurvePicture(const std::string& table, const std::string& picture) {
  if (plotprogram::Path().empty()) return plotprogram::Missing("cluster");
  return plotprogram::Draw({"curve", table, picture}, "Cannot draw the curve picture: " + picture);
}

}  // namespace clusterjob
