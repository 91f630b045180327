#include "scoring/SharedPeakScore.h"

double CSharedPeakScore::Score() {
  if (!has_peptide_) return 0.0;
  matcher_.Match(spectrum_);
  int count = 0;
  for (int s = 0; s < matcher_.SeriesCount(); ++s) {
    if (!matcher_.SeriesUsable(s)) continue;
    for (int k = 0; k < matcher_.PositionCount(); ++k) {
      if (matcher_.PositionMatched(s, k)) ++count;
    }
  }
  return count;
}
