#pragma once
// What a clustering job is refused for before any work: outputs that would
// overwrite its input or each other, folders that cannot hold its spectra,
// and values that would exhaust memory or time, are not numbers or make no
// sense. Each check answers an empty string when the job may run, otherwise
// the message to print.

#include <string>

class CPara;

namespace clusterjob {

// The widest pair-search window and the most peaks kept per window that a
// job may ask for.
inline constexpr int kMaxPeaksPerWindow = 10000;
inline constexpr int kMaxShiftWindow = 100000;
// The most threads a job may ask for: far beyond any machine's cores, short
// of what would exhaust the process's memory for thread stacks.
inline constexpr int kMaxThreads = 1024;

// More threads than kMaxThreads.
std::string CheckThreads(int threads);

// Also refuses a threshold outside [0, 1] and, for the pair search, a
// lower_mass above upper_mass (a window that holds no pair).
std::string CheckParameterLimits(const CPara& para);

// The cluster file must not be an input, an existing directory, or inside the
// data; the spectra's folder must be given (type 0, unless the
// representative type writes no spectra), creatable, writable, and not the
// data folder or inside a DTA data folder. With `create_spectra_folder` the
// spectra's folder is created when missing (a job about to run); without, a
// missing one is left to the run.
std::string CheckJobPaths(const CPara& para, bool create_spectra_folder = true);

// The MGF file of the output spectra (--mgf) must not replace a file of the
// job itself: its parameter file, cluster file or input, or a spectrum file
// in its output folder; and only a clustering (type 0) writes one.
std::string CheckMgfTarget(const std::string& mgf, const CPara& para, const std::string& parameter_file);

}  // namespace clusterjob
