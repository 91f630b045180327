#include "common/Spectrum.h"

namespace msdata {

double MHFromMz(double mz, int charge) {
  if (charge <= 0) return mz;
  return (mz - kProtonMass) * charge + kProtonMass;
}

bool ChargeFromNumber(double value, int& charge) {
  if (!(value >= -kMaxAbsCharge && value <= kMaxAbsCharge)) return false;
  const int whole = static_cast<int>(value);
  if (static_cast<double>(whole) != value) return false;
  charge = whole;
  return true;
}

double MzFromMH(double mh, int charge) {
  if (charge <= 0) return mh;
  return (mh - kProtonMass) / charge + kProtonMass;
}

}  // namespace msdata
