#pragma once
// Runs the reading program (mzreader, built beside every program of ours)
// on one file and collects the scans it reports. MSToolkit thus never runs
// in the caller's process, which may have threads (the desktop): the program
// is started with posix_spawn, not a bare fork.
//
// Internal to the spectra library.

#include <string>
#include <vector>

#include "spectra/MzRecordStream.h"

namespace spectra {

enum class MzFileKind { kMzML, kMzXML, kMS2, kUnknown };

// The reading program: beside the running executable, else beside the
// object that holds this library, else where the build put it. The first
// place is named when none holds it.
std::string DefaultMzReaderProgram();

enum class MzReadResult {
  kRead,        // `records` filled
  kFailed,      // the program ran and failed or died; `error` says why
  kNotStarted,  // the program could not be started; `error` says why
  kDamaged,     // a scan's peak arrays are damaged; `error` names the scan
};

// Reads `path` (a `kind` file) with `program`. `error` carries MSToolkit's
// first line of complaint where it gave one.
MzReadResult ReadWithMzReader(const std::string& program, const std::string& path, MzFileKind kind,
                              std::vector<mzstream::ScanRecord>& records, std::string& error);

}  // namespace spectra
