#pragma once
// Gannet: turns one spectrum file into the precursor dump "raw.data.temp"
// that Shiftscan reads.
//
// Dump layout: the header line
//   ScanNo<TAB>Type<TAB>RetentionTime<TAB>InstrumentType<TAB>ActivationType<TAB>
//   PrecursorScan<TAB>PrecursorCharge<TAB>PrecursorMH+<TAB>PrecursorM/H
// then one tab-separated line per MS2 spectrum, readable with
// "%d %s %lf %s %s %d %d %lf %lf". The retention time is in seconds, the unit
// of mzML and of the loaded spectra (Shiftscan's default window, 0 to 100000,
// holds a run of a day). A spectrum without a precursor charge gives two lines,
// for charges 2 and 3. Words the file does not give are "unknown"; an unknown
// precursor scan is 0.

#include <cstdio>
#include <string>
#include <vector>

#include "common/Spectrum.h"
#include "spectra/MzImporter.h"

namespace gannet {

inline constexpr const char* kExchangeFile = "raw.file.temp";
inline constexpr const char* kDumpFile = "raw.data.temp";

// Writes the dump. `info` is parallel to `spectra`, or empty when the format
// has no scan details. Returns false when writing failed.
bool WriteDump(const std::vector<msdata::CSpectrum>& spectra, const std::vector<MzScanInfo>& info,
               std::FILE* out);

// The whole run: reads the data path from the first line of `exchange_file`,
// loads it, writes `dump_file` (under a fresh temporary name renamed when
// whole, so that a failed run leaves none and a link planted at the name is
// replaced, not followed). The closing report goes to `progress`, failures and
// warnings to `errors`, so that a caller can silence the one and keep the
// other. Returns the exit status.
int Run(const std::string& exchange_file, const std::string& dump_file, std::FILE* progress,
        std::FILE* errors);

}  // namespace gannet
