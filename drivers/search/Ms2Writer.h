#pragma once
// Spectra as MS2 text, the form Comet reads a handful of spectra in and
// names them by: "<file base>.<scan>.<scan>.<charge>", so a file named like
// the run gives its spectra the run's own names.

#include <ostream>

#include "common/Spectrum.h"

namespace search {

// One record: "S\t<first scan>\t<last scan>\t<precursor m/z>", "Z\t<charge>\t<MH+>"
// (the m/z from the MH+ and charge), then "<m/z>\t<intensity>" per peak,
// six decimals each. False (nothing written) for a spectrum without a
// charge, which Comet cannot search.
bool WriteMs2Record(const msdata::CSpectrum& spectrum, int first_scan, int last_scan, std::ostream& out);

}  // namespace search
