#include "moddetect/GaussianMixture.h"

#include <cmath>
#include <sstream>

#include "common/Notifier.h"

CGaussianMixture::CGaussianMixture(std::int32_t states, std::int32_t dim) { Reset(states, dim); }

void CGaussianMixture::Reset(std::int32_t states, std::int32_t dim) {
  K_ = states < 0 ? 0 : states;
  D_ = dim < 0 ? 0 : dim;
  means_.Resize(static_cast<std::uint32_t>(K_), static_cast<std::uint32_t>(D_));
  covs_.assign(static_cast<std::size_t>(K_), math::matrixT(static_cast<std::uint32_t>(D_), static_cast<std::uint32_t>(D_)));
  // Each state needs a body of its own: the assign above shares one.
  for (auto& c : covs_) c.Resize(static_cast<std::uint32_t>(D_), static_cast<std::uint32_t>(D_));
  weights_.assign(static_cast<std::size_t>(K_), K_ > 0 ? 1.0f / static_cast<float>(K_) : 0.0f);
}

void CGaussianMixture::RemoveState(std::int32_t k) {
  if (k < 0 || k >= K_) return;
  math::matrixT means(static_cast<std::uint32_t>(K_ - 1), static_cast<std::uint32_t>(D_));
  for (std::int32_t i = 0, o = 0; i < K_; ++i) {
    if (i == k) continue;
    float* dst = means.MutableRow(static_cast<std::uint32_t>(o++));
    const float* src = means_.Row(static_cast<std::uint32_t>(i));
    for (std::int32_t d = 0; d < D_; ++d) dst[d] = src[d];
  }
  means_ = means;
  covs_.erase(covs_.begin() + k);
  weights_.erase(weights_.begin() + k);
  --K_;
}

bool CGaussianMixture::Prepare(std::vector<StateCache>& cache) const {
  cache.resize(static_cast<std::size_t>(K_));
  bool all_valid = true;
  for (std::int32_t k = 0; k < K_; ++k) {
    StateCache& c = cache[static_cast<std::size_t>(k)];
    c.valid = false;
    c.inv.assign(static_cast<std::size_t>(D_) * D_, 0.0);
    c.mean.assign(static_cast<std::size_t>(D_), 0.0);
    for (std::int32_t d = 0; d < D_; ++d) c.mean[d] = means_.Row(static_cast<std::uint32_t>(k))[d];
    const math::matrixT& cov = covs_[static_cast<std::size_t>(k)];
    if (D_ == 1) {
      const float v = cov.Row(0)[0];
      // A negative variance cannot come from data; it has no density either.
      if (!(v > 0.0f)) { all_valid = false; continue; }
      c.inv[0] = 1.0 / v;
      c.norm = 1.0 / std::sqrt(static_cast<double>(kTwoPi) * v);
    } else {
      const double det = cov.Det();
      if (det == 0.0) { all_valid = false; continue; }
      const math::matrixT inv = !cov;
      if (!inv.InverseOK()) {
        std::ostringstream a, b;
        a << "sigma[state].Det()=" << det;
        b << "inv_sigma.bInverseOK=" << 0;
        notify::Message(a.str());
        notify::Message(b.str());
        all_valid = false;
        continue;
      }
      // Rounding can leave a nearly singular covariance with a negative
      // determinant; its "density" would be NaN.
      if (!(det > 0.0)) { all_valid = false; continue; }
      for (std::int32_t i = 0; i < D_; ++i)
        for (std::int32_t j = 0; j < D_; ++j) c.inv[static_cast<std::size_t>(i) * D_ + j] = inv.Row(i)[j];
      c.norm = 1.0 / std::sqrt(static_cast<double>(math::IntPower(kTwoPi, D_)) * det);
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

int CGaussianMixture::FitEM(const math::matrixT& data) {
  const std::size_t n = data.RowCount();
  if (n == 0 || K_ <= 0 || static_cast<std::int32_t>(data.ColCount()) != D_) return -1;
  const std::size_t k_count = static_cast<std::size_t>(K_);
  std::vector<StateCache> cache;
  std::vector<double> resp(k_count * n);
  std::vector<double> nk(k_count), dens(k_count);
  std::vector<double> mean(static_cast<std::size_t>(D_)), cov(static_cast<std::size_t>(D_) * D_);
  double prev = -1e10;
  for (std::int32_t it = 1; it <= iteration_limit_; ++it) {
    if (!Prepare(cache)) return -1;
    double log_likelihood = 0.0;
    std::fill(nk.begin(), nk.end(), 0.0);
    for (std::size_t j = 0; j < n; ++j) {
      const float* x = data.Row(static_cast<std::uint32_t>(j));
      double p = 0.0;
      for (std::size_t k = 0; k < k_count; ++k) {
        dens[k] = weights_[k] * Density(cache[k], x, D_);
        p += dens[k];
      }
      // A point that no state explains would make every responsibility 0/0.
      if (!(p > 0.0) || !std::isfinite(p)) return -1;
      log_likelihood += std::log(p);
      for (std::size_t k = 0; k < k_count; ++k) {
        const double r = dens[k] / p;
        resp[k * n + j] = r;
        nk[k] += r;
      }
    }
    log_likelihood /= static_cast<double>(n);
    if (std::fabs(log_likelihood / prev - 1.0) < 0.00001) return it;
    prev = log_likelihood;

    for (std::size_t k = 0; k < k_count; ++k) {
      if (nk[k] == 0.0) return -1;
      weights_[k] = static_cast<float>(nk[k] / static_cast<double>(n));
      const double* r = &resp[k * n];
      std::fill(mean.begin(), mean.end(), 0.0);
      for (std::size_t j = 0; j < n; ++j) {
        const float* x = data.Row(static_cast<std::uint32_t>(j));
        for (std::int32_t d = 0; d < D_; ++d) mean[d] += r[j] * x[d];
      }
      for (auto& m : mean) m /= nk[k];
      std::fill(cov.begin(), cov.end(), 0.0);
      for (std::size_t j = 0; j < n; ++j) {
        const float* x = data.Row(static_cast<std::uint32_t>(j));
        for (std::int32_t a = 0; a < D_; ++a) {
          const double da = x[a] - mean[a];
          for (std::int32_t b = 0; b < D_; ++b) cov[static_cast<std::size_t>(a) * D_ + b] += r[j] * da * (x[b] - mean[b]);
        }
      }
      float* mrow = means_.MutableRow(static_cast<std::uint32_t>(k));
      for (std::int32_t d = 0; d < D_; ++d) mrow[d] = static_cast<float>(mean[d]);
      math::matrixT& c = covs_[k];
      for (std::int32_t a = 0; a < D_; ++a) {
        float* crow = c.MutableRow(static_cast<std::uint32_t>(a));
        for (std::int32_t b = 0; b < D_; ++b) crow[b] = static_cast<float>(cov[static_cast<std::size_t>(a) * D_ + b] / nk[k]);
      }
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
