#pragma once
// Writes every MS2 spectrum of a spectrum file as a DTA file named by its
// DTA-style name, so that runs held in one file (mzML, MGF, ...) can serve
// where a directory of spectra is needed: as DTA input of the other
// programs and as the spectrum directory of identification propagation.
// With --mgf it also (or only) writes the whole run as one MGF file whose
// titles are the same names, the form search engines take a run in.

#include <ostream>
#include <string>

namespace dtaexport {

inline constexpr const char* kUsage =
    "usage: dtaexport <spectrum file> [<output directory>] [--mgf <MGF file>]";

// Returns the exit status: 0 on success, 1 when the input cannot be read or
// a spectrum cannot be written, 2 for a wrong command line.
int Run(int argc, const char* const* argv, std::ostream& out);

}  // namespace dtaexport
