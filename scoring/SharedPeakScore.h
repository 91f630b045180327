#pragma once
// Shared peak count: the number of fragment positions of the usable series
// that match a peak. A plain alternative to the kernel score.

#include "scoring/Fragments.h"
#include "scoring/PeptideScore.h"

class CSharedPeakScore : public CPeptideScore {
 public:
  int GetScoreType() const override { return SCORE_TYPE_SHARED_PEAKS; }
  void SetSettings(const CScoreSettings& settings) override { matcher_.Configure(settings); }
  void Reset() override {
    matcher_.Clear();
    has_peptide_ = false;
  }
  void SetSpectrum(const CScoreSpectrum& spectrum) override { spectrum_ = spectrum; }
  void SetPeptide(const CScorePeptide& peptide) override {
    matcher_.SetPeptide(peptide);
    has_peptide_ = true;
  }
  double Score() override;

 private:
  CFragmentMatcher matcher_;
  CScoreSpectrum spectrum_;
  bool has_peptide_ = false;
};
