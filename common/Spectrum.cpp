#include "common/Spectrum.h"

namespace msdata {

double MHFromMz(double mz, int charge) {
  if (charge <= 0) return mz;
  return (mz - kProtonMass) * charge + kProtonMass;
}

double MzFromMH(double mh, int charge) {
  if (charge <= 0) return mh;
  return (mh - kProtonMass) / charge + kProtonMass;
}

}  // namespace msdata
