#pragma once
// Kernel spectral dot product: matched fragment intensity, weighted by how
// many neighbouring fragment positions of each series are matched too.

#include <vector>

#include "scoring/Fragments.h"
#include "scoring/PeptideScore.h"

class CKSDPScore : public CPeptideScore {
 public:
  static constexpr int kDefaultWindow = 5;
  static constexpr float kDefaultDecay = 0.9f;
  static constexpr float kDefaultExponent = 0.5f;

  int GetScoreType() const override { return SCORE_TYPE_KSDP; }
  void SetSettings(const CScoreSettings& settings) override;
  void Reset() override;
  void SetSpectrum(const CScoreSpectrum& spectrum) override;
  void SetPeptide(const CScorePeptide& peptide) override;
  double Score() override;

  // Kernel weight of a window with `unmatched` unmatched positions.
  double Kernel(int unmatched) const;

 private:
  int window_ = kDefaultWindow;
  double decay_ = kDefaultDecay;
  double exponent_ = kDefaultExponent;
  std::vector<double> kernel_;
  CFragmentMatcher matcher_;
  CScoreSpectrum spectrum_;
  bool has_peptide_ = false;
};
