#include "moddetect/GaussianMixture.h"

#include <cmath>

CGaussianMixture::CGaussianMixture(std::int32_t states, std::int32_t dim) { Reset(states, dim); }

void CGaussianMixture::Reset(std::int32_t states, std::int32_t dim) {
  state_count_ = states < 0 ? 0 : states;
  dimension_ = dim < 0 ? 0 : dim;
  const auto states_size = static_cast<std::uint32_t>(state_count_);
  const auto dimension_size = static_cast<std::uint32_t>(dimension_);
  means_.Resize(states_size, dimension_size);
  covariances_.assign(static_cast<std::size_t>(state_count_), math::matrixT(dimension_size, dimension_size));
  // Each state needs a body of its own: the assign above shares one.
  for (auto& c : covariances_) c.Resize(dimension_size, dimension_size);
  weights_.assign(static_cast<std::size_t>(state_count_),
                  state_count_ > 0 ? 1.0f / static_cast<float>(state_count_) : 0.0f);
}

void CGaussianMixture::RemoveState(std::int32_t k) {
  if (k < 0 || k >= state_count_) return;
  math::matrixT means(static_cast<std::uint32_t>(state_count_ - 1), static_cast<std::uint32_t>(dimension_));
  for (std::int32_t i = 0, o = 0; i < state_count_; ++i) {
    if (i == k) continue;
    float* dst = means.MutableRow(static_cast<std::uint32_t>(o++));
    const float* src = means_.Row(static_cast<std::uint32_t>(i));
    for (std::int32_t d = 0; d < dimension_; ++d) dst[d] = src[d];
  }
  means_ = means;
  covariances_.erase(covariances_.begin() + k);
  weights_.erase(weights_.begin() + k);
  --state_count_;
}

bool CGaussianMixture::Prepare(std::vector<StateCache>& cache) const {
  cache.resize(static_cast<std::size_t>(state_count_));
  bool all_valid = true;
  for (std::int32_t k = 0; k < state_count_; ++k) {
    StateCache& c = cache[static_cast<std::size_t>(k)];
    c.valid = false;
    c.inv.assign(static_cast<std::size_t>(dimension_) * dimension_, 0.0);
    c.mean.assign(static_cast<std::size_t>(dimension_), 0.0);
    for (std::int32_t d = 0; d < dimension_; ++d) c.mean[d] = means_.Row(static_cast<std::uint32_t>(k))[d];
    const math::matrixT& cov = covariances_[static_cast<std::size_t>(k)];
    if (dimension_ == 1) {
      const float v = cov.Row(0)[0];
      // A negative variance cannot come from data; it has no density either.
      if (!(v > 0.0f)) { all_valid = false; continue; }
      c.inv[0] = 1.0 / v;
      c.norm = 1.0 / std::sqrt(static_cast<double>(kTwoPi) * v);
    } else {
      const double det = cov.Det();
      if (det == 0.0) { all_valid = false; continue; }
      const math::matrixT inv = !cov;
      // A covariance that single precision cannot invert is a fit failure
      // like a singular one; the detector drops the state and goes on, so
      // there is nothing the user needs to hear about.
      if (!inv.InversionSucceeded()) { all_valid = false; continue; }
      // Rounding can leave a nearly singular covariance with a negative
      // determinant; its "density" would be NaN.
      if (!(det > 0.0)) { all_valid = false; continue; }
      for (std::int32_t i = 0; i < dimension_; ++i)
        for (std::int32_t j = 0; j < dimension_; ++j)
          c.inv[static_cast<std::size_t>(i) * dimension_ + j] = inv.Row(i)[j];
      c.norm = 1.0 / std::sqrt(static_cast<double>(math::IntPower(kTwoPi, dimension_)) * det);
    }
    c.valid = true;
  }
  return all_valid;
}

double CGaussianMixture::Density(const StateCache& c, const float* x, std::int32_t dim) {
  if (dim == 1) {
    const double d = x[0] - c.mean[0];
    return c.norm * std::exp(-0.5 * d * d * c.inv[0]);
  }
  if (dim == 2) {
    const double d0 = x[0] - c.mean[0], d1 = x[1] - c.mean[1];
    const double q = d0 * (c.inv[0] * d0 + c.inv[1] * d1) + d1 * (c.inv[2] * d0 + c.inv[3] * d1);
    return c.norm * std::exp(-0.5 * q);
  }
  double q = 0.0;
  for (std::int32_t i = 0; i < dim; ++i) {
    double row = 0.0;
    for (std::int32_t j = 0; j < dim; ++j) row += c.inv[static_cast<std::size_t>(i) * dim + j] * (x[j] - c.mean[j]);
    q += (x[i] - c.mean[i]) * row;
  }
  return c.norm * std::exp(-0.5 * q);
}

double CGaussianMixture::StateDensity(std::int32_t k, const float* x) const {
  CMixtureEvaluator eval(*this);
  return eval.Density(k, x);
}

double CGaussianMixture::Posterior(std::int32_t k, const float* x) const {
  CMixtureEvaluator eval(*this);
  return eval.Posterior(k, x);
}

bool CGaussianMixture::ExpectationStep(const math::matrixT& data, const std::vector<StateCache>& cache,
                                       std::vector<double>& responsibilities, std::vector<double>& state_totals,
                                       double& log_likelihood) const {
  const std::size_t n = data.RowCount();
  const std::size_t k_count = static_cast<std::size_t>(state_count_);
  std::vector<double> dens(k_count);
  log_likelihood = 0.0;
  std::fill(state_totals.begin(), state_totals.end(), 0.0);
  for (std::size_t j = 0; j < n; ++j) {
    const float* x = data.Row(static_cast<std::uint32_t>(j));
    double p = 0.0;
    for (std::size_t k = 0; k < k_count; ++k) {
      dens[k] = weights_[k] * Density(cache[k], x, dimension_);
      p += dens[k];
    }
    // A point that no state explains would make every responsibility 0/0.
    if (!(p > 0.0) || !std::isfinite(p)) return false;
    log_likelihood += std::log(p);
    for (std::size_t k = 0; k < k_count; ++k) {
      const double r = dens[k] / p;
      responsibilities[k * n + j] = r;
      state_totals[k] += r;
    }
  }
  log_likelihood /= static_cast<double>(n);
  return true;
}

void CGaussianMixture::UpdateState(std::int32_t k, const math::matrixT& data, const double* responsibility,
                                   double total) {
  const std::size_t n = data.RowCount();
  const std::size_t dim = static_cast<std::size_t>(dimension_);
  weights_[k] = static_cast<float>(total / static_cast<double>(n));
  std::vector<double> mean(dim, 0.0), cov(dim * dim, 0.0);
  for (std::size_t j = 0; j < n; ++j) {
    const float* x = data.Row(static_cast<std::uint32_t>(j));
    for (std::size_t d = 0; d < dim; ++d) mean[d] += responsibility[j] * x[d];
  }
  for (auto& m : mean) m /= total;
  for (std::size_t j = 0; j < n; ++j) {
    const float* x = data.Row(static_cast<std::uint32_t>(j));
    for (std::size_t a = 0; a < dim; ++a) {
      const double da = x[a] - mean[a];
      for (std::size_t b = 0; b < dim; ++b) cov[a * dim + b] += responsibility[j] * da * (x[b] - mean[b]);
    }
  }
  float* mean_row = means_.MutableRow(static_cast<std::uint32_t>(k));
  for (std::size_t d = 0; d < dim; ++d) mean_row[d] = static_cast<float>(mean[d]);
  math::matrixT& c = covariances_[static_cast<std::size_t>(k)];
  for (std::size_t a = 0; a < dim; ++a) {
    float* cov_row = c.MutableRow(static_cast<std::uint32_t>(a));
    for (std::size_t b = 0; b < dim; ++b) cov_row[b] = static_cast<float>(cov[a * dim + b] / total);
  }
}

int CGaussianMixture::FitEM(const math::matrixT& data) {
  const std::size_t n = data.RowCount();
  if (n == 0 || state_count_ <= 0 || static_cast<std::int32_t>(data.ColCount()) != dimension_) return -1;
  std::vector<StateCache> cache;
  std::vector<double> responsibilities(static_cast<std::size_t>(state_count_) * n);
  std::vector<double> state_totals(static_cast<std::size_t>(state_count_));
  double previous = -1e10;
  for (std::int32_t it = 1; it <= iteration_limit_; ++it) {
    double log_likelihood = 0.0;
    if (!Prepare(cache) || !ExpectationStep(data, cache, responsibilities, state_totals, log_likelihood))
      return -1;
    if (std::fabs(log_likelihood / previous - 1.0) < 0.00001) return it;
    previous = log_likelihood;
    for (std::int32_t k = 0; k < state_count_; ++k) {
      const double total = state_totals[static_cast<std::size_t>(k)];
      if (total == 0.0) return -1;
      UpdateState(k, data, &responsibilities[static_cast<std::size_t>(k) * n], total);
    }
  }
  return iteration_limit_ + 1;
}

CMixtureEvaluator::CMixtureEvaluator(const CGaussianMixture& mixture) : mixture_(mixture) {
  mixture.Prepare(cache_);
}

double CMixtureEvaluator::Density(std::int32_t k, const float* x) const {
  if (k < 0 || k >= mixture_.StateCount() || !cache_[static_cast<std::size_t>(k)].valid) return -1.0;
  return CGaussianMixture::Density(cache_[static_cast<std::size_t>(k)], x, mixture_.Dim());
}

double CMixtureEvaluator::Posterior(std::int32_t k, const float* x) const {
  if (k < 0 || k >= mixture_.StateCount()) return 0.0;
  double total = 0.0, mine = 0.0;
  for (std::int32_t j = 0; j < mixture_.StateCount(); ++j) {
    const double d = Density(j, x);
    if (d < 0.0) continue;
    const double v = mixture_.Weight(j) * d;
    total += v;
    if (j == k) mine = v;
  }
  return total > 0.0 ? mine / total : 0.0;
}
