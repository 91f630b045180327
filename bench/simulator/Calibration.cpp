#include "bench/simulator/Calibration.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "bench/simulator/SimRandom.h"
#include "clustering/PeakSelect.h"
#include "clustering/Similarity.h"

namespace simulator {

namespace {

// The clustering's defaults: peak selection method 2 with 50 / 5 / 100,
// "Dot Product" at 0.5 Da.
const CPeakSelect kSelection(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
const CSimilarity kDotProduct(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);

double Median(std::vector<double> values) {
  if (values.empty()) return 0.0;
  const std::size_t middle = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(middle), values.end());
  return values[middle];
}

// Values at the levels asked for, each the first value (ascending) at which
// the cumulative weight reaches that share of the total; no weights: all 1.
std::string Quantiles(const std::vector<double>& values, const std::vector<double>& weights,
                      const std::vector<double>& levels, const char* format) {
  if (values.empty()) return "-";
  std::vector<std::pair<double, double>> weighted;
  for (std::size_t i = 0; i < values.size(); ++i)
    weighted.emplace_back(values[i], weights.empty() ? 1.0 : weights[i]);
  std::sort(weighted.begin(), weighted.end());
  double total = 0.0;
  for (const auto& w : weighted) total += w.second;
  std::string text;
  for (double level : levels) {
    double cumulative = 0.0;
    std::size_t k = 0;
    while (k + 1 < weighted.size() && (cumulative += weighted[k].second) < level * total) ++k;
    char item[32];
    std::snprintf(item, sizeof item, format, weighted[k].first);
    text += (text.empty() ? "" : " / ") + std::string(item);
  }
  return text;
}

std::string Pairs(std::size_t present, std::size_t scored) {
  return std::to_string(present) + ", " + std::to_string(scored);
}

std::string ChargeShares(const CSetFigures& f) {
  const double total = static_cast<double>(std::max<std::size_t>(1, f.spectra));
  char text[64];
  std::snprintf(text, sizeof text, "%.2f / %.2f / %.2f", f.charges[0] / total,
                f.charges[1] / total, f.charges[2] / total);
  return text;
}

}  // namespace

msdata::PeakList PrepareForCosine(const msdata::PeakList& peaks) {
  msdata::PeakList prepared = kSelection.Prepare(peaks);
  CSimilarity::ArrangeFor(SIMILAR_DOT_PRODUCT, prepared);
  return prepared;
}

double CosineOfPrepared(const msdata::PeakList& first, const msdata::PeakList& second) {
  return kDotProduct.ComputeArranged(first, second, 0.0);
}

CFigureCollector::CFigureCollector(std::size_t max_pairs, std::uint64_t seed)
    : max_pairs_(max_pairs), seed_(seed) {}

void CFigureCollector::Add(const msdata::CSpectrum& spectrum, const CPairLabel& label) {
  ++figures_.spectra;
  ++figures_.charges[static_cast<std::size_t>(std::clamp(spectrum.charge, 2, 4) - 2)];
  const msdata::PeakList& peaks = spectrum.peaks;
  figures_.peaks.push_back(static_cast<double>(peaks.size()));
  msdata::PeakList prepared = PrepareForCosine(peaks);
  figures_.compared_peaks.push_back(static_cast<double>(prepared.size()));
  if (!peaks.empty()) {
    std::vector<double> intensities;
    intensities.reserve(peaks.size());
    for (const msdata::Peak& p : peaks) intensities.push_back(p.second);
    const double base = *std::max_element(intensities.begin(), intensities.end());
    figures_.base_peak.push_back(base);
    figures_.lowest_peak.push_back(*std::min_element(intensities.begin(), intensities.end()));
    if (base > 0.0) figures_.median_to_base.push_back(Median(intensities) / base);
  }
  if (label.group.empty()) return;
  prepared_.push_back(std::move(prepared));
  labels_.push_back(label);
}

CSetFigures CFigureCollector::Finish() {
  SameGroupPairs();
  DifferentPeptidePairs();
  return figures_;
}

// Every spectrum of a group counts alike, whatever the group's size (the
// clustering asks of each spectrum whether it meets a partner): a pair of a
// group of n weighs 1 / (n - 1), and drawn pairs fall on a group with
// chance in proportion to n.
void CFigureCollector::SameGroupPairs() {
  std::map<std::string, std::vector<std::size_t>> groups;
  for (std::size_t i = 0; i < labels_.size(); ++i) groups[labels_[i].group].push_back(i);
  std::vector<const std::vector<std::size_t>*> members;
  std::vector<std::uint64_t> cumulative;  // spectra in the groups up to this one
  std::uint64_t spectra = 0;
  for (const auto& [group, list] : groups) {
    if (list.size() < 2) continue;
    members.push_back(&list);
    cumulative.push_back(spectra += list.size());
    figures_.same_pairs += list.size() * (list.size() - 1) / 2;
  }
  auto score = [&](std::size_t a, std::size_t b, double weight) {
    figures_.same_cosines.push_back(CosineOfPrepared(prepared_[a], prepared_[b]));
    figures_.same_weights.push_back(weight);
  };
  if (figures_.same_pairs <= max_pairs_) {
    for (const auto* list : members)
      for (std::size_t a = 0; a < list->size(); ++a)
        for (std::size_t b = a + 1; b < list->size(); ++b)
          score((*list)[a], (*list)[b], 1.0 / static_cast<double>(list->size() - 1));
    return;
  }
  CRandom random(StreamSeed(seed_, 1, 0));
  for (std::size_t k = 0; k < max_pairs_; ++k) {
    const std::uint64_t spectrum = random.Below(spectra);
    const std::size_t g = static_cast<std::size_t>(
        std::upper_bound(cumulative.begin(), cumulative.end(), spectrum) - cumulative.begin());
    const std::vector<std::size_t>& list = *members[g];
    const std::size_t a = random.Below(list.size());
    std::size_t b = random.Below(list.size() - 1);
    if (b >= a) ++b;
    score(list[a], list[b], 1.0);
  }
}

void CFigureCollector::DifferentPeptidePairs() {
  const std::size_t n = labels_.size();
  if (n < 2) return;
  auto consider = [&](std::size_t a, std::size_t b) {
    if (labels_[a].peptide == labels_[b].peptide) return false;
    figures_.different_cosines.push_back(CosineOfPrepared(prepared_[a], prepared_[b]));
    return true;
  };
  if (n * (n - 1) / 2 <= max_pairs_) {
    for (std::size_t a = 0; a < n; ++a)
      for (std::size_t b = a + 1; b < n; ++b) consider(a, b);
    return;
  }
  CRandom random(StreamSeed(seed_, 2, 0));
  for (std::size_t k = 0; k < max_pairs_;) {
    const std::size_t a = random.Below(n);
    const std::size_t b = random.Below(n);
    if (a != b && consider(a, b)) ++k;
  }
}

std::string FigureTable(const CSetFigures& first, const std::string& first_title,
                        const CSetFigures& second, const std::string& second_title) {
  const std::vector<double> kNone;
  const std::vector<double> three = {0.1, 0.5, 0.9};
  const std::vector<double> five = {0.1, 0.25, 0.5, 0.75, 0.9};
  struct Row {
    std::string figure;
    std::string a, b;
  };
  const auto both = [&](const char* figure, std::vector<double> CSetFigures::*values,
                        const std::vector<double>& levels, const char* format) {
    const bool same = values == &CSetFigures::same_cosines;
    return Row{figure, Quantiles(first.*values, same ? first.same_weights : kNone, levels, format),
               Quantiles(second.*values, same ? second.same_weights : kNone, levels, format)};
  };
  const std::vector<Row> rows = {
      {"spectra", std::to_string(first.spectra), std::to_string(second.spectra)},
      {"charge 2+ / 3+ / 4+ and above", ChargeShares(first), ChargeShares(second)},
      both("peaks per spectrum, p10 / p50 / p90", &CSetFigures::peaks, three, "%.0f"),
      both("peaks compared (after selection), p10 / p50 / p90", &CSetFigures::compared_peaks,
           three, "%.0f"),
      both("largest intensity, p10 / p50 / p90", &CSetFigures::base_peak, three, "%.3g"),
      both("smallest intensity, p10 / p50 / p90", &CSetFigures::lowest_peak, three, "%.3g"),
      both("median / largest intensity, p10 / p50 / p90", &CSetFigures::median_to_base, three,
           "%.3f"),
      {"same-peptide pairs (same charge and modifications): in the set, scored",
       Pairs(first.same_pairs, first.same_cosines.size()),
       Pairs(second.same_pairs, second.same_cosines.size())},
      both("cosine, same peptide, p10 / p25 / p50 / p75 / p90", &CSetFigures::same_cosines, five,
           "%.2f"),
      {"different-peptide pairs", std::to_string(first.different_cosines.size()),
       std::to_string(second.different_cosines.size())},
      both("cosine, different peptides, p10 / p25 / p50 / p75 / p90",
           &CSetFigures::different_cosines, five, "%.2f"),
  };
  std::string table = "| figure | " + first_title + " | " + second_title + " |\n|---|---|---|\n";
  for (const Row& row : rows) table += "| " + row.figure + " | " + row.a + " | " + row.b + " |\n";
  return table;
}

}  // namespace simulator
