#pragma once
// Vellum: converts one run into the text peak-list file ".qdx" beside it,
// one block per MS2 scan, through the raw-file control:
//
//   H
//   <scan>\t<retention time, minutes, %f>
//   <activation>\t<instrument>
//   <precursor scan>\t<charge>\t<precursor m/z, %f>
//   M
//   <m/z %.5f>\t<intensity %.1f>        one line per peak
//
// Scans that are not MS2 scans give no block. Messages go to the error
// stream and every failure ends the program with a non-zero status, leaving
// no output file: the file is written under a temporary name beside its
// place and moved there only when complete. An existing output file is never
// replaced.

#include <cstdio>
#include <string>

#include "rawreader/DXRawfile.h"

namespace vellum {

inline constexpr const char* kMs2Filter = "ms2";

// From a vendor-style filter text such as
// "ITMS + c NSI d Full ms2 445.12@cid35.00 [110.00-2000.00]":
// the activation, the text after the first "@" up to the first digit (or
// blank), upper-cased ("CID"); "unknown" without one.
std::string ActivationText(const std::string& filter);
// The instrument, the text before the first blank; a filter that begins with
// "+" names no analyser, which on these instruments means the ion trap
// ("ITMS"); "unknown" for an empty filter.
std::string InstrumentText(const std::string& filter);
// The precursor m/z, the number between the last blank before the first "@"
// and that "@" (445.12); 0 without one.
double PrecursorMzFromFilter(const std::string& filter);

// The output path: the run's path with its extension replaced by ".qdx"
// (x.RAW and x.mzML both give x.qdx); in `folder` when one is given.
std::string OutputPath(const std::string& run_path, const std::string& folder = std::string());

// The whole conversion of `run_path` through `raw`, the output beside the run
// or in `output_folder` (created when missing). Progress and the summary go
// to `out`, messages to `err`. Returns the exit status.
int Convert(const std::string& run_path, CDXRawfile& raw, std::FILE* out, std::FILE* err,
            const std::string& output_folder = std::string());

// The program: Vellum [-o DIR] <run>. One run, and only one (status 2 and
// the usage otherwise); --help and --version answered with status 0.
int Main(int argc, char** argv, CDXRawfile& raw, std::FILE* out, std::FILE* err);

}  // namespace vellum
