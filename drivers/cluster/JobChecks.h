#pragma once
// What a clustering job is refused for before any work: outputs that would
// overwrite its input, folders that cannot hold its spectra, and values that
// would exhaust memory or time or are not numbers. Each check answers an
// empty string when the job may run, otherwise the message to print.

#include <string>

class CPara;

namespace clusterjob {

// The widest pair-search window and the most peaks kept per window that a
// job may ask for.
inline constexpr int kMaxPeaksPerWindow = 10000;
inline constexpr int kMaxShiftWindow = 100000;

std::string CheckParameterLimits(const CPara& para);

// The cluster file must not be an input, an existing directory, or inside the
// data; the spectra's folder must be given (type 0), creatable, writable, and
// not the data folder or inside a DTA data folder. Creates the spectra's
// folder when missing.
std::string CheckJobPaths(const CPara& para);

}  // namespace clusterjob
