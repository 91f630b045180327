#pragma once
// Detection of modifications at one integer mass shift: candidate mass bins
// that hold clearly more pairs than a Gaussian background predicts, a
// two-dimensional Gaussian mixture over (delta mass, delta time) fitted by
// EM, and pruning of the states that do not look like a modification.

#include <cstdint>
#include <vector>

#include "moddetect/GaussianMixture.h"
#include "moddetect/Matrix.h"

class CPairCollector;

struct ModificationRecord {
  std::int32_t shift = 0;
  double delta_mass = 0.0;
  double delta_time = 0.0;
  double mass_sigma = 0.0;
  double time_sigma = 0.0;
  double d_score = 0.0;
  // 0 single modification, 1 combination of two others, 2 explained by
  // another modification.
  std::int32_t type = 0;
  std::int32_t first_partner = -1;
  std::int32_t second_partner = -1;
  double comb_score = 0.0;
  std::int32_t pair_count = 0;
};

struct MassCandidate {
  double center = 0.0;  // bin centre, Da
  double ratio = 0.0;   // relative excess over the background
};

class CModificationDetector {
 public:
  // One pass fits at most this many signal states. Beyond it only the
  // candidates with the largest excess are kept: the weaker ones would
  // rarely survive the pruning, and each state costs a pass over all pairs
  // per EM iteration.
  static constexpr std::size_t kMaxSignalStates = 100;

  CModificationDetector() = default;

  void SetPairs(const CPairCollector& pairs);
  void SetPairs(const std::vector<double>& delta_mass, const std::vector<double>& delta_time);
  // The thresholds of the configuration's [other] section and the integer
  // shift examined by the next Detect.
  void SetParameters(double min_d_score, double min_bin_excess, double mass_bin_width, std::int32_t shift);

  // Runs one pass for the current shift; true when at least one state was
  // accepted and its records appended to the results.
  bool Detect();

  // The steps of Detect, reachable on their own. They need Prepare first.
  void Prepare();
  std::vector<MassCandidate> FindCandidates() const;
  // Builds the initial mixture from the candidates (those whose time fit
  // fails are dropped from `candidates`); false when none is left.
  bool BuildInitialMixture(std::vector<MassCandidate>& candidates, CGaussianMixture& initial) const;
  // Delta times of the pairs with delta mass in [a, b], as an n x 1 matrix.
  math::matrixT TimesInMassRange(double a, double b) const;
  static double DScore(const CGaussianMixture& mixture, std::int32_t k);
  // Whether a fitted mean delta mass, rounded half up, is the shift w.
  static bool RoundsToShift(float mean, std::int32_t w);
  // Whether signal state a of a fitted mixture fails to look like a
  // modification: mass spread 3 sigma above 0.025 Da, weight below 0.01,
  // d-score below min_d_score, or time sigma above a third of the
  // background's.
  static bool FailsStateTests(const CGaussianMixture& mixture, std::int32_t a, double min_d_score);

  const std::vector<ModificationRecord>& Results() const { return results_; }
  std::vector<ModificationRecord>& MutableResults() { return results_; }
  const CGaussianMixture& WorkingMixture() const { return working_; }
  const math::matrixT& Data() const { return data_; }

 private:
  int MassBin(double delta_mass) const;

  CGaussianMixture working_;
  std::vector<ModificationRecord> results_;
  std::vector<double> raw_mass_, raw_time_;
  // Pairs in ascending delta-mass order: doubles for the statistics, and
  // the single-precision N x 2 matrix the mixture is fitted to.
  std::vector<double> delta_mass_, delta_time_;
  math::matrixT data_;
  // Running totals of pairs per 0.001 Da bin of (delta mass - w + 0.5).
  std::vector<std::size_t> bin_totals_;
  double min_d_score_ = 20.0;
  double min_bin_excess_ = 0.4;
  double mass_bin_width_ = 0.01;
  std::int32_t shift_ = 0;
};
