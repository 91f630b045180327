#pragma once
// A mixture of K Gaussian states in D dimensions and its fit by
// expectation-maximisation. State K-1 is the background; states 0..K-2 are
// signal states.

#include <cstdint>
#include <vector>

#include "moddetect/Matrix.h"

// 2*pi as the single-precision constant the densities are defined with.
inline constexpr float kTwoPi = 6.2831855f;

class CGaussianMixture {
 public:
  CGaussianMixture() = default;
  CGaussianMixture(std::int32_t states, std::int32_t dim);

  // Zero means and covariances, equal weights 1/K.
  void Reset(std::int32_t states, std::int32_t dim);

  std::int32_t StateCount() const { return state_count_; }
  std::int32_t Dim() const { return dimension_; }
  math::matrixT& Means() { return means_; }
  const math::matrixT& Means() const { return means_; }
  math::matrixT& Covariance(std::int32_t k) { return covariances_[k]; }
  const math::matrixT& Covariance(std::int32_t k) const { return covariances_[k]; }
  float& Weight(std::int32_t k) { return weights_[k]; }
  float Weight(std::int32_t k) const { return weights_[k]; }
  std::int32_t IterationLimit() const { return iteration_limit_; }
  void SetIterationLimit(std::int32_t n) { iteration_limit_ = n; }

  // Removes state k; the later states move down, the other weights stay.
  void RemoveState(std::int32_t k);

  // Density of state k at x (D values), or -1 when the state's covariance
  // is zero or singular.
  double StateDensity(std::int32_t k, const float* x) const;
  // Posterior probability of state k at x; 0 when no state has density there.
  double Posterior(std::int32_t k, const float* x) const;

  // Fits the mixture to the rows of `data` (N x D). Answers the iteration
  // at which the average log-likelihood settled, the iteration limit plus 1
  // when it never did, or -1 on numerical failure (a zero or singular
  // covariance, an empty state, a point that no state explains).
  int FitEM(const math::matrixT& data);

 private:
  // Per-state constants of one E-step: the inverse covariance and the
  // normalisation, so that no point needs its own inversion.
  struct StateCache {
    bool valid = false;
    double norm = 0.0;
    std::vector<double> inv;  // D x D, row major
    std::vector<double> mean;
  };
  // Fills `cache`; false when a state has no density (a zero, singular or
  // uninvertible covariance).
  bool Prepare(std::vector<StateCache>& cache) const;
  static double Density(const StateCache& c, const float* x, std::int32_t dim);
  // The E-step: every point's responsibility per state (state-major, N per
  // state), their totals per state and the average log-likelihood. False
  // when a point has no density under any state.
  bool ExpectationStep(const math::matrixT& data, const std::vector<StateCache>& cache,
                       std::vector<double>& responsibilities, std::vector<double>& state_totals,
                       double& log_likelihood) const;
  // The M-step for state k: weight, mean and covariance from its
  // responsibilities, whose total is `total` (not 0).
  void UpdateState(std::int32_t k, const math::matrixT& data, const double* responsibility, double total);

  std::int32_t state_count_ = 0;
  std::int32_t dimension_ = 0;
  math::matrixT means_;
  std::vector<math::matrixT> covariances_;
  std::vector<float> weights_;
  std::int32_t iteration_limit_ = 200;

  friend class CMixtureEvaluator;
};

// Densities and posteriors of a fixed mixture at many points: the inverse
// covariances are computed once, not once per point.
class CMixtureEvaluator {
 public:
  explicit CMixtureEvaluator(const CGaussianMixture& mixture);
  // -1 for a state without density (zero or singular covariance).
  double Density(std::int32_t k, const float* x) const;
  double Posterior(std::int32_t k, const float* x) const;

 private:
  const CGaussianMixture& mixture_;
  std::vector<CGaussianMixture::StateCache> cache_;
};
