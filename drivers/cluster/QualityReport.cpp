#include "drivers/cluster/QualityReport.h"

#include <gsl/gsl_cdf.h>
#include <gsl/gsl_errno.h>

#include <algorithm>
#include <cmath>
#include <cstdarg>
#include <cstdint>
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

__attribute__((format(printf, 1, 2))) std::string Formatted(const char* format, ...) {
  char text[400];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  return text;
}

// The step of a row, when it is one (1.00, 0.99, ...).
bool OnStep(double threshold) {
  const double hundredths = threshold * 100.0;
  return std::fabs(hundredths - std::round(hundredths)) < 1e-9;
}

}  // namespace

std::string PeptidesOfSpectra(const std::vector<std::string>& paths, const CFilterChoice& choice,
                              const std::vector<msdata::CSpectrum>& spectra, std::vector<int>& peptide_of,
                              std::ostream& out) {
  CIdentificationFilter filter;
  std::string error;
  if (!FilterFromChoice(choice, filter, error)) return error;
  filter.modify_ini_directory = path::ProgramDirectory();
  CIdentifications loaded;
  const bool read = LoadIdentificationsOf(paths, filter, loaded, error);
  for (const std::string& line : loaded.report) out << line << "\n";
  if (!read) return error;
  const std::string path = text::Join(paths, ", ");
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

namespace {

// The one-sided 95% upper bound of a Poisson mean seen as `count`: the mean
// at which `count` or fewer has a chance of 5%. Found by halving on the
// distribution function, which holds at any count (GSL's inverses of such
// functions fail to converge for counts in the hundreds of thousands). GSL's
// handler would abort the program on an error: it is off meanwhile, and a
// value that cannot be had counts as not yet reached, which only moves the
// bound up.
double PoissonUpper(std::uint64_t count) {
  const double seen = static_cast<double>(count);
  gsl_error_handler_t* const handler = gsl_set_error_handler_off();
  double low = seen;
  double high = seen + 10.0 * std::sqrt(seen) + 10.0;
  for (int step = 0; step < 200 && high - low > 1e-9 * (1.0 + seen); ++step) {
    const double middle = 0.5 * (low + high);
    if (gsl_cdf_poisson_P(static_cast<unsigned int>(std::min<std::uint64_t>(count, 4294967295u)), middle) <= 0.05) {
      high = middle;
    } else {
      low = middle;
    }
  }
  gsl_set_error_handler(handler);
  return high;
}

// With no identified pair differing, the bound counts its pairs as lying in
// clusters of two, where each stands for one wrong spectrum.
constexpr double kWeightOfAPairOfTwo = 1.0;

}  // namespace

double IncorrectUpperBound(const quality::Figures& f) {
  if (f.identified_clustered < quality::kLeastIdentifiedClustered) return 1.0;
  const double per_pair = f.differing_pairs > 0
                              ? f.differing_per_member / static_cast<double>(f.differing_pairs)
                              : kWeightOfAPairOfTwo;
  return quality::IncorrectRatioFor(f, PoissonUpper(f.differing_pairs) * per_pair);
}

std::size_t LeastIdentifiedFor(double target, std::size_t clustered) {
  // With none differing the bound is PoissonUpper(0) * clustered / k^2.
  if (target <= 0.0) return std::max(quality::kLeastIdentifiedClustered, clustered);
  const double k = std::ceil(std::sqrt(PoissonUpper(0) * kWeightOfAPairOfTwo * static_cast<double>(clustered) / target) - 1e-9);
  return std::max(quality::kLeastIdentifiedClustered, static_cast<std::size_t>(std::max(k, 1.0)));
}

ThresholdChoice ChooseThreshold(const std::vector<quality::Figures>& rows, double target) {
  ThresholdChoice choice;
  // Each step is judged on its own evidence: its bound says how high the
  // ratio of that clustering may be, however few or many spectra it rests on.
  for (const quality::Figures& row : rows) {
    if (!OnStep(row.threshold)) continue;
    if (row.identified_clustered >= choice.most_identified) {
      choice.most_identified = row.identified_clustered;
      choice.needed = LeastIdentifiedFor(target, row.clustered);
    }
    if (row.identified_clustered < quality::kLeastIdentifiedClustered) continue;
    const double upper = IncorrectUpperBound(row);
    if (upper <= target) {
      choice.chosen = true;
      choice.at = row;
      choice.upper = upper;
    } else if (!choice.chosen && upper <= choice.upper) {
      choice.at = row;  // the closest yet, lower thresholds winning ties
      choice.upper = upper;
    }
  }
  return choice;
}

std::string DescribeChoice(const ThresholdChoice& choice, double target, double kept_threshold) {
  const quality::Figures& at = choice.at;
  if (choice.chosen) {
    return Formatted("Threshold for at most %g incorrect: %.2f (estimated incorrect ratio %.4f, 95%% upper bound "
                     "%.4f, from %llu of %llu identified pairs within clusters differing, %zu of %zu clustered "
                     "spectra identified; clustered ratio %.4f)",
                     target, at.threshold, at.IncorrectRatio(), choice.upper,
                     static_cast<unsigned long long>(at.differing_pairs),
                     static_cast<unsigned long long>(at.identified_pairs), at.identified_clustered, at.clustered,
                     at.ClusteredRatio());
  }
  std::string text =
      choice.most_identified < choice.needed
          ? Formatted("Warning: identified clustered spectra too few to hold an incorrect ratio of at most %g with "
                      "95%% confidence: %zu at most, and at least %zu are needed even with none incorrect",
                      target, choice.most_identified, choice.needed)
          : Formatted("Warning: no threshold holds an incorrect ratio of at most %g with 95%% confidence: too many "
                      "identified pairs within clusters differ",
                      target);
  if (at.identified_clustered >= quality::kLeastIdentifiedClustered) {
    text += Formatted(" (closest: %.2f, %llu of %llu identified pairs differing, estimate %.4f, upper bound %.4f)",
                      at.threshold, static_cast<unsigned long long>(at.differing_pairs),
                      static_cast<unsigned long long>(at.identified_pairs), at.IncorrectRatio(), choice.upper);
  }
  return text + Formatted("; the threshold stays %.2f", kept_threshold);
}

std::string DrawCurvePicture(const std::string& table, const std::string& picture) {
  if (plotprogram::Path().empty()) return plotprogram::Missing("cluster");
  return plotprogram::Draw({"curve", table, picture}, "Cannot draw the curve picture: " + picture);
}

}  // namespace clusterjob
