#include "scoring/KSDPScore.h"

#include <algorithm>
#include <cmath>

void CKSDPScore::SetSettings(const CScoreSettings& settings) {
  window_ = settings.window_size != 0 ? settings.window_size : kDefaultWindow;
  if (window_ < 1) window_ = kDefaultWindow;
  decay_ = settings.decay != 0.0f ? settings.decay : kDefaultDecay;
  exponent_ = settings.exponent != 0.0f ? settings.exponent : kDefaultExponent;

  // A window never holds more unmatched positions than its size.
  const int size = std::max(200, window_ + 1);
  kernel_.resize(size);
  for (int i = 0; i < size; ++i) kernel_[i] = std::exp(-decay_ * i);
  matcher_.Configure(settings);
  has_peptide_ = false;
}

double CKSDPScore::Kernel(int unmatched) const {
  if (kernel_.empty()) return std::exp(-decay_ * unmatched);
  return kernel_[std::clamp<int>(unmatched, 0, static_cast<int>(kernel_.size()) - 1)];
}

void CKSDPScore::Reset() {
  matcher_.Clear();
  has_peptide_ = false;
}

void CKSDPScore::SetSpectrum(const CScoreSpectrum& spectrum) { spectrum_ = spectrum; }

void CKSDPScore::SetPeptide(const CScorePeptide& peptide) {
  matcher_.SetPeptide(peptide);
  has_peptide_ = true;
}

double CKSDPScore::Score() {
  if (!has_peptide_) return 0.0;
  matcher_.Match(spectrum_);
  const int positions = matcher_.PositionCount();
  const int left = (window_ - 1) / 2;
  const int right = window_ / 2;  // ceil((w - 1) / 2)

  double b = 0.0;
  int usable = 0;
  for (int s = 0; s < matcher_.SeriesCount(); ++s) {
    if (!matcher_.SeriesUsable(s)) continue;
    ++usable;
    for (int j = 0; j < positions; ++j) {
      const int from = std::max(0, j - left);
      const int to = std::min(positions - 1, j + right);
      int unmatched = 0;
      for (int k = from; k <= to; ++k) {
        if (!matcher_.PositionMatched(s, k)) ++unmatched;
      }
      b += Kernel(unmatched);
    }
  }
  // No fragments, no usable series or no intensity: nothing to score.
  if (positions == 0 || usable == 0 || !(spectrum_.max_intensity > 0.0)) return 0.0;
  const double share = matcher_.MatchedIntensity() / spectrum_.max_intensity * 100.0;
  return std::pow(b, exponent_) * share / (static_cast<double>(positions) * usable);
}
