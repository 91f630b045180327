#include "moddetect/ModificationDetector.h"

#include <algorithm>
#include <cmath>
#include <numeric>

#include "moddetect/PairCollector.h"

namespace {

constexpr int kIndexBins = 1001;
constexpr double kCandidateSpan = 0.15;
constexpr double kTimeWindow = 0.006;
constexpr float kCandidateMassVariance = 0.000004f;
constexpr float kBackgroundMassVariance = 0.01f;
constexpr std::int32_t kIterationLimit = 200;
// More histogram bins than this means a mass resolution no data set has.
constexpr double kMaxHistogramBins = 1e6;

void MeanAndVariance(const double* v, std::size_t n, double& mean, double& variance) {
  mean = 0.0;
  variance = 0.0;
  if (n == 0) return;
  for (std::size_t i = 0; i < n; ++i) mean += v[i];
  mean /= static_cast<double>(n);
  for (std::size_t i = 0; i < n; ++i) variance += (v[i] - mean) * (v[i] - mean);
  variance /= static_cast<double>(n);
}

}  // namespace

void CModificationDetector::SetPairs(const CPairCollector& pairs) {
  SetPairs(pairs.DeltaMasses(), pairs.DeltaTimes());
}

void CModificationDetector::SetPairs(const std::vector<double>& delta_mass,
                                     const std::vector<double>& delta_time) {
  raw_mass_ = delta_mass;
  raw_time_ = delta_time;
  raw_time_.resize(raw_mass_.size(), 0.0);
}

void CModificationDetector::SetParameters(double min_d_score, double min_bin_excess, double mass_bin_width,
                                          std::int32_t shift) {
  min_d_score_ = min_d_score;
  min_bin_excess_ = min_bin_excess;
  mass_bin_width_ = mass_bin_width;
  shift_ = shift;
}

int CModificationDetector::MassBin(double delta_mass) const {
  const double b = (delta_mass - shift_ + 0.5) * 1000.0;
  if (!(b >= 0.0)) return 0;
  if (b >= kIndexBins - 1) return kIndexBins - 1;
  return static_cast<int>(b);
}

void CModificationDetector::Prepare() {
  const std::size_t n = raw_mass_.size();
  std::vector<std::size_t> order(n);
  std::iota(order.begin(), order.end(), 0);
  std::stable_sort(order.begin(), order.end(),
                   [&](std::size_t a, std::size_t b) { return raw_mass_[a] < raw_mass_[b]; });
  delta_mass_.resize(n);
  delta_time_.resize(n);
  data_.Resize(static_cast<std::uint32_t>(n), 2);
  for (std::size_t i = 0; i < n; ++i) {
    delta_mass_[i] = raw_mass_[order[i]];
    delta_time_[i] = raw_time_[order[i]];
    float* row = data_.MutableRow(static_cast<std::uint32_t>(i));
    row[0] = static_cast<float>(delta_mass_[i]);
    row[1] = static_cast<float>(delta_time_[i]);
  }
  bin_totals_.assign(kIndexBins, 0);
  for (double m : delta_mass_) ++bin_totals_[static_cast<std::size_t>(MassBin(m))];
  for (int b = 1; b < kIndexBins; ++b) bin_totals_[b] += bin_totals_[b - 1];
}

math::matrixT CModificationDetector::TimesInMassRange(double a, double b) const {
  const std::size_t n = delta_mass_.size();
  const int first_bin = MassBin(a);
  // Every pair in a lower bin lies below a; walk the rest of the way.
  std::size_t i = first_bin > 0 ? bin_totals_[static_cast<std::size_t>(first_bin - 1)] : 0;
  while (i < n && delta_mass_[i] < a) ++i;
  std::size_t end = i;
  while (end < n && delta_mass_[end] <= b) ++end;
  math::matrixT times(static_cast<std::uint32_t>(end - i), 1);
  for (std::size_t j = i; j < end; ++j) times.MutableRow(static_cast<std::uint32_t>(j - i))[0] = static_cast<float>(delta_time_[j]);
  return times;
}

std::vector<MassCandidate> CModificationDetector::FindCandidates() const {
  std::vector<MassCandidate> candidates;
  const std::size_t n = delta_mass_.size();
  if (n == 0 || !(mass_bin_width_ > 0.0) || 1.0 / mass_bin_width_ > kMaxHistogramBins) return candidates;
  double m = 0.0, variance = 0.0;
  MeanAndVariance(delta_mass_.data(), n, m, variance);
  const double s = std::sqrt(variance);
  // All pairs at one mass: there is no background to stand out from.
  if (!(s > 0.0)) return candidates;

  const int nbins = static_cast<int>(std::ceil(1.0 / mass_bin_width_));
  std::vector<std::size_t> counts(static_cast<std::size_t>(nbins), 0);
  for (double dm : delta_mass_) {
    const double b = (dm - shift_ + 0.5) / mass_bin_width_;
    if (!(b >= 0.0) || b >= nbins) continue;
    ++counts[static_cast<std::size_t>(b)];
  }
  const double root_two_pi = std::sqrt(static_cast<double>(kTwoPi));
  for (int b = 0; b < nbins; ++b) {
    const double x = (b + 0.5) * mass_bin_width_ + shift_ - 0.5;
    const double expected =
        static_cast<double>(n) * mass_bin_width_ * std::exp(-(x - m) * (x - m) / (2.0 * s * s)) /
        (root_two_pi * s);
    if (!(expected > 0.0)) continue;  // no background to compare with
    const double ratio = (static_cast<double>(counts[static_cast<std::size_t>(b)]) - expected) / expected;
    if (ratio > min_bin_excess_ && std::fabs(x - m) < kCandidateSpan) candidates.push_back({x, ratio});
  }

  // Keep the local maxima of the candidate sequence.
  std::vector<bool> marked(candidates.size(), false);
  for (std::size_t i = 0; i + 1 < candidates.size(); ++i) {
    if (candidates[i].ratio <= candidates[i + 1].ratio) marked[i] = true;
    else marked[i + 1] = true;
  }
  std::vector<MassCandidate> kept;
  for (std::size_t i = 0; i < candidates.size(); ++i)
    if (!marked[i]) kept.push_back(candidates[i]);
  std::stable_sort(kept.begin(), kept.end(),
                   [](const MassCandidate& a, const MassCandidate& b) { return a.ratio > b.ratio; });
  if (kept.size() > kMaxSignalStates) kept.resize(kMaxSignalStates);
  return kept;
}

bool CModificationDetector::BuildInitialMixture(std::vector<MassCandidate>& candidates,
                                                CGaussianMixture& initial) const {
  struct TimeState {
    float mean;
    float variance;
  };
  std::vector<MassCandidate> kept;
  std::vector<TimeState> times;
  for (const MassCandidate& c : candidates) {
    const math::matrixT t = TimesInMassRange(c.center - kTimeWindow, c.center + kTimeWindow);
    const std::uint32_t n = t.RowCount();
    if (n == 0) continue;
    double mean = 0.0, variance = 0.0;
    std::vector<double> values(n);
    for (std::uint32_t i = 0; i < n; ++i) values[i] = t.Row(i)[0];
    MeanAndVariance(values.data(), n, mean, variance);
    CGaussianMixture fit(2, 1);
    fit.Weight(0) = 0.5f;
    fit.Weight(1) = 0.5f;
    fit.Means()(0, 0) = 0.0f;
    fit.Means()(1, 0) = static_cast<float>(mean);
    fit.Covariance(0)(0, 0) = static_cast<float>(variance);
    fit.Covariance(1)(0, 0) = static_cast<float>(variance * 0.5);
    fit.SetIterationLimit(kIterationLimit);
    if (fit.FitEM(t) < 1) continue;
    const int narrow = fit.Covariance(1)(0, 0) < fit.Covariance(0)(0, 0) ? 1 : 0;
    kept.push_back(c);
    times.push_back({fit.Means()(static_cast<std::uint32_t>(narrow), 0), fit.Covariance(narrow)(0, 0)});
  }
  candidates = kept;
  if (kept.empty()) return false;

  const std::int32_t k_count = static_cast<std::int32_t>(kept.size()) + 1;
  initial.Reset(k_count, 2);
  initial.SetIterationLimit(kIterationLimit);
  for (std::int32_t i = 0; i + 1 < k_count; ++i) {
    initial.Means()(static_cast<std::uint32_t>(i), 0) = static_cast<float>(kept[static_cast<std::size_t>(i)].center);
    initial.Means()(static_cast<std::uint32_t>(i), 1) = times[static_cast<std::size_t>(i)].mean;
    initial.Covariance(i)(0, 0) = kCandidateMassVariance;
    initial.Covariance(i)(1, 1) = times[static_cast<std::size_t>(i)].variance;
  }
  double mass_mean = 0.0, mass_var = 0.0, time_mean = 0.0, time_var = 0.0;
  MeanAndVariance(delta_mass_.data(), delta_mass_.size(), mass_mean, mass_var);
  MeanAndVariance(delta_time_.data(), delta_time_.size(), time_mean, time_var);
  const std::uint32_t bg = static_cast<std::uint32_t>(k_count - 1);
  initial.Means()(bg, 0) = static_cast<float>(mass_mean);
  initial.Means()(bg, 1) = static_cast<float>(time_mean);
  initial.Covariance(k_count - 1)(0, 0) = kBackgroundMassVariance;
  initial.Covariance(k_count - 1)(1, 1) = static_cast<float>(time_var);
  return true;
}

double CModificationDetector::DScore(const CGaussianMixture& mixture, std::int32_t k) {
  const std::int32_t bg = mixture.StateCount() - 1;
  const double sm = std::sqrt(static_cast<double>(mixture.Covariance(k)(0, 0)));
  const double st = std::sqrt(static_cast<double>(mixture.Covariance(k)(1, 1)));
  const double sm_bg = std::sqrt(static_cast<double>(mixture.Covariance(bg)(0, 0)));
  const double st_bg = std::sqrt(static_cast<double>(mixture.Covariance(bg)(1, 1)));
  const double denominator = sm * st;
  const double score = mixture.Weight(k) * sm_bg * st_bg / denominator;
  return denominator > 0.0 && std::isfinite(score) ? score : 0.0;
}

bool CModificationDetector::RoundsToShift(float mean, std::int32_t w) {
  const double x = static_cast<double>(mean) + 0.5;
  if (!std::isfinite(x)) return false;
  return std::trunc(x) == static_cast<double>(w);
}

bool CModificationDetector::FailsStateTests(const CGaussianMixture& mixture, std::int32_t a, double min_d_score) {
  const std::int32_t bg = mixture.StateCount() - 1;
  const double st_bg = std::sqrt(static_cast<double>(mixture.Covariance(bg)(1, 1)));
  const double sm = std::sqrt(static_cast<double>(mixture.Covariance(a)(0, 0)));
  const double st = std::sqrt(static_cast<double>(mixture.Covariance(a)(1, 1)));
  // NaN sigmas (a broken fit) must fail the tests, not slip through them.
  if (!std::isfinite(sm) || !std::isfinite(st) || !std::isfinite(st_bg)) return true;
  return 3.0 * sm > 0.025 || mixture.Weight(a) < 0.01f || DScore(mixture, a) < min_d_score || st_bg / 3.0 < st;
}

bool CModificationDetector::Detect() {
  Prepare();
  std::vector<MassCandidate> candidates = FindCandidates();
  if (candidates.empty()) return false;
  CGaussianMixture initial;
  if (!BuildInitialMixture(candidates, initial)) return false;
  if (initial.StateCount() <= 1) return false;

  while (initial.StateCount() > 1) {
    const std::int32_t k_count = initial.StateCount();
    working_ = initial;
    working_.SetIterationLimit(kIterationLimit);
    if (working_.FitEM(data_) < 1) {
      initial.RemoveState(k_count - 2);
      continue;
    }
    bool off_shift = false;
    for (std::int32_t k = 0; k < k_count; ++k)
      if (!RoundsToShift(working_.Means()(static_cast<std::uint32_t>(k), 0), shift_)) off_shift = true;
    if (off_shift) {
      initial.RemoveState(k_count - 2);
      continue;
    }
    std::int32_t rejected = -1;
    for (std::int32_t a = k_count - 2; a >= 0; --a) {
      if (FailsStateTests(working_, a, min_d_score_)) {
        rejected = a;
        break;
      }
    }
    if (rejected >= 0) {
      initial.RemoveState(rejected);
      continue;
    }
    for (std::int32_t a = 0; a + 1 < k_count; ++a) {
      ModificationRecord r;
      r.shift = shift_;
      r.delta_mass = working_.Means()(static_cast<std::uint32_t>(a), 0);
      r.delta_time = working_.Means()(static_cast<std::uint32_t>(a), 1);
      r.mass_sigma = std::sqrt(static_cast<double>(working_.Covariance(a)(0, 0)));
      r.time_sigma = std::sqrt(static_cast<double>(working_.Covariance(a)(1, 1)));
      r.d_score = DScore(working_, a);
      results_.push_back(r);
    }
    return true;
  }
  return false;
}
