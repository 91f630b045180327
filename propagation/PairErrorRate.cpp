#include "propagation/PairErrorRate.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>

#include "common/TextUtil.h"
#include "propagation/PeptideText.h"
#include "propagation/Propagation.h"
#include "propagation/PropagationInternal.h"

namespace {

using propagation_detail::Appendf;

constexpr int kLeastJudged = 10;

// The peptide a pair end stands for: the search's identification of the
// spectrum, or the one peptide its cluster's identified members agree on.
std::map<std::string, std::string> PeptidesOfEnds(const CPropagation& job) {
  std::map<std::string, std::string> peptide_of;
  for (const auto& [name, identification] : job.search_identifications())
    peptide_of[name] = peptide_text::PeptideKey(identification);
  for (const auto& [label, members] : job.cluster_members()) {
    std::string agreed;
    bool one = true;
    for (const std::string& member : members) {
      const auto found = peptide_of.find(member);
      if (found == peptide_of.end()) continue;
      if (!agreed.empty() && agreed != found->second) one = false;
      agreed = found->second;
    }
    if (one && !agreed.empty()) peptide_of[label] = agreed;
  }
  return peptide_of;
}

}  // namespace

double CLogisticFit::operator()(double similarity) const { return 1.0 / (1.0 + std::exp(-(a + b * similarity))); }

CLogisticFit FitLogistic(const std::vector<std::pair<double, bool>>& judged) {
  // Newton's method on the log-likelihood with a weak ridge (0.001 on both
  // terms): without it a set of false pairs only would run off to infinity.
  CLogisticFit fit;
  constexpr double kRidge = 0.001;
  for (int round = 0; round < 50; ++round) {
    double ga = -kRidge * fit.a, gb = -kRidge * fit.b;
    double haa = kRidge, hab = 0.0, hbb = kRidge;
    for (const auto& [s, wrong] : judged) {
      const double p = fit(s);
      const double w = p * (1.0 - p);
      ga += (wrong ? 1.0 : 0.0) - p;
      gb += ((wrong ? 1.0 : 0.0) - p) * s;
      haa += w;
      hab += w * s;
      hbb += w * s * s;
    }
    const double det = haa * hbb - hab * hab;
    if (!(std::fabs(det) > 1e-12)) break;
    const double da = (hbb * ga - hab * gb) / det;
    const double db = (haa * gb - hab * ga) / det;
    fit.a += da;
    fit.b += db;
    if (std::fabs(da) + std::fabs(db) < 1e-9) break;
  }
  return fit;
}

std::vector<CPairErrorRate> PairErrorRates(
    const std::vector<std::pair<std::pair<std::string, std::string>, double>>& pairs,
    const std::vector<double>& thresholds, const std::map<std::string, std::string>& peptide_of) {
  std::vector<std::pair<double, bool>> judged;
  for (const auto& [ends, similarity] : pairs) {
    const auto a = peptide_of.find(ends.first);
    const auto b = peptide_of.find(ends.second);
    if (a == peptide_of.end() || b == peptide_of.end() || a->second.empty() || b->second.empty()) continue;
    judged.emplace_back(similarity, a->second != b->second);
  }
  // The expected false share above each threshold under one fit.
  const auto shares = [&pairs, &thresholds](const CLogisticFit& fit) {
    std::vector<double> out;
    for (const double threshold : thresholds) {
      double sum = 0.0;
      int count = 0;
      for (const auto& entry : pairs) {
        if (entry.second < threshold) continue;
        sum += fit(entry.second);
        ++count;
      }
      out.push_back(count > 0 ? sum / count : 0.0);
    }
    return out;
  };
  const std::vector<double> estimate = shares(FitLogistic(judged));
  // Refits to judged pairs drawn again (with a fixed seed, so that a job
  // always says the same).
  constexpr int kResamples = 200;
  std::vector<std::vector<double>> resampled(thresholds.size());
  std::mt19937 generator(20261208u);
  for (int r = 0; r < kResamples && !judged.empty(); ++r) {
    std::vector<std::pair<double, bool>> drawn;
    drawn.reserve(judged.size());
    for (std::size_t k = 0; k < judged.size(); ++k) drawn.push_back(judged[generator() % judged.size()]);
    const std::vector<double> again = shares(FitLogistic(drawn));
    for (std::size_t t = 0; t < thresholds.size(); ++t) resampled[t].push_back(again[t]);
  }
  std::vector<CPairErrorRate> rates;
  for (std::size_t t = 0; t < thresholds.size(); ++t) {
    CPairErrorRate rate;
    rate.threshold = thresholds[t];
    for (const auto& entry : pairs) rate.pairs += entry.second >= thresholds[t];
    for (const auto& [similarity, wrong] : judged) {
      if (similarity < thresholds[t]) continue;
      ++rate.judged;
      rate.wrong += wrong;
    }
    rate.share = estimate[t];
    std::vector<double>& values = resampled[t];
    std::sort(values.begin(), values.end());
    if (!values.empty()) {
      rate.low = values[static_cast<std::size_t>(0.025 * (values.size() - 1))];
      rate.high = values[static_cast<std::size_t>(0.975 * (values.size() - 1))];
    }
    rates.push_back(rate);
  }
  return rates;
}

std::vector<CPairErrorRate> JobPairErrorRates(const CPropagation& job) {
  std::vector<std::string> files = CPropagation::ListPairFiles(job.para().pair_file);
  if (files.empty() && !job.para().pair_file.empty()) files.push_back(job.para().pair_file);
  std::vector<std::pair<std::pair<std::string, std::string>, double>> pairs;
  for (const std::string& file : files) {
    std::ifstream in;
    if (!text::OpenInput(in, file)) continue;
    std::string line;
    while (text::ReadLine(in, line)) {
      const std::vector<std::string> fields = text::Split(line, ',');
      if (fields.size() < 6) continue;
      pairs.push_back({{text::ToUpper(text::Trim(fields[0])), text::ToUpper(text::Trim(fields[2]))},
                       text::AtoF(fields[5])});
    }
  }
  std::vector<double> thresholds;
  for (int tenth = 3; tenth <= 9; ++tenth) thresholds.push_back(tenth / 10.0);
  std::vector<CPairErrorRate> rates = PairErrorRates(pairs, thresholds, PeptidesOfEnds(job));
  // Too few judged pairs fit no curve worth printing.
  if (rates.empty() || rates.front().judged < kLeastJudged) return {};
  // A threshold below every pair's similarity says what the next one says.
  std::vector<CPairErrorRate> kept;
  for (std::size_t t = 0; t < rates.size(); ++t) {
    if (rates[t].pairs == 0 || (t + 1 < rates.size() && rates[t + 1].pairs == rates[t].pairs)) continue;
    kept.push_back(rates[t]);
  }
  rates = kept;
  return rates;
}

std::string PairErrorText(const std::vector<CPairErrorRate>& rates) {
  if (rates.empty()) return std::string();
  std::string text =
      "Pair error rate (fitted to the pairs whose two spectra the search identified; a pair of two peptides is "
      "false):\n";
  for (const CPairErrorRate& r : rates) {
    Appendf(text,
            "  similarity >= %.2f: %d pairs, %.1f%% false (95%% interval %.1f%% to %.1f%%); judged %d, %d of "
            "them false\n",
            r.threshold, r.pairs, 100.0 * r.share, 100.0 * r.low, 100.0 * r.high, r.judged, r.wrong);
  }
  return text;
}
