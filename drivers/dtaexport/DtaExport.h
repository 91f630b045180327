#pragma once
// Writes every MS2 spectrum of a spectrum file as a DTA file named by its
// DTA-style name, so that runs held in one file (mzML, MGF, ...) can serve
// where a directory of spectra is needed: as DTA input of the other
// programs and as the spectrum directory of identification propagation.
// With --mgf it also (or only) writes the whole run as one MGF file whose
// titles are the same names, the form search engines take a run in.
//
// Every file is written under a temporary name and renamed when complete;
// no output may be the input itself (or a file of an input DTA directory).

#include <ostream>
#include <string>

namespace dtaexport {

// Returns the exit status: 0 on success (and for --help, --version), 1 when
// the input cannot be read or an output cannot be written, 2 for a wrong
// command line. Results go to `out`; usage, errors and progress to `err`.
int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err);
// The same with one stream for both.
int Run(int argc, const char* const* argv, std::ostream& out);

}  // namespace dtaexport
