#pragma once
// DTA spectrum files: a first line "MH+ charge", then one "m/z intensity"
// line per peak.

#include <iosfwd>
#include <string>

#include "common/Spectrum.h"

namespace msdata {

// Writes the spectrum as a DTA file ("%lf %d" header, "%lf %lf" peaks),
// replacing `path`. Returns false (and writes nothing) when the file cannot be
// opened or fully written.
bool WriteDta(const CSpectrum& spectrum, const std::string& path);

// Writes the same text to a stream.
void WriteDta(const CSpectrum& spectrum, std::ostream& out);

// Reads one DTA spectrum. Fills charge, precursor MH+, precursor m/z and
// peaks; the name is left to the caller. Blank lines are skipped. On a
// malformed line returns false with `error` naming the line number and text.
bool ReadDta(std::istream& in, CSpectrum& spectrum, std::string& error);
// Reads a DTA file; the name becomes the file's own name (without directory).
bool ReadDta(const std::string& path, CSpectrum& spectrum, std::string& error);

}  // namespace msdata
