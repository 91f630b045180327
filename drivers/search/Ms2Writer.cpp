#include "drivers/search/Ms2Writer.h"

#include <cstdio>

namespace search {

bool WriteMs2Record(const msdata::CSpectrum& spectrum, int first_scan, int last_scan, std::ostream& out) {
  if (spectrum.charge < 1) return false;
  char line[160];
  std::snprintf(line, sizeof line, "S\t%d\t%d\t%.6f\nZ\t%d\t%.6f\n", first_scan, last_scan,
                msdata::MzFromMH(spectrum.precursor_mass, spectrum.charge), spectrum.charge,
                spectrum.precursor_mass);
  out << line;
  for (const msdata::Peak& peak : spectrum.peaks) {
    std::snprintf(line, sizeof line, "%.6f\t%.6f\n", peak.first, peak.second);
    out << line;
  }
  return true;
}

}  // namespace search
