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

const char* PrecursorMzProblem(double mz) {
  if (!(mz >= kProtonMass)) return "has a precursor m/z below a proton's mass, which no ion has";
  if (!(mz <= kMaxPrecursorMz)) return "has a precursor m/z beyond 100000, which no instrument measures";
  return nullptr;
}

const char* PrecursorMHProblem(double mh) {
  if (!(mh >= kProtonMass)) return "has a precursor MH+ below a proton's mass, which no ion has";
  if (!(mh <= kMaxPrecursorMH)) return "has a precursor MH+ beyond 10000000 Da, which no instrument measures";
  return nullptr;
}

}  // namespace msdata
