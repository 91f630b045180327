#pragma once
// Shiftscan from options instead of a configuration file:
//   Shiftscan [options] <run file or DTA folder> -o <output folder>
//   Shiftscan --write-config FILE [options] <run file or DTA folder>
// The options are the configuration file's keys; the configuration a run
// used is written into the output folder so that it can be repeated, and
// --write-config writes only that file, for a run from it later.

#include <string>

#include "common/CommandLine.h"
#include "moddetect/DetectionConfig.h"

inline constexpr const char* kShiftscanConfigName = "Shiftscan.cfg";

cli::CommandLine ShiftscanCommandLine();

// Fills `config` from parsed options (paths made absolute; the pair folder
// inside the output folder, or beside the --write-config file when there is
// no output folder, unless given). `output_folder` is empty without -o.
// False with `error` naming the option or key for a missing input, output or
// --ids file, a value that is not a number or not a file type, a filter
// value (--fdr, --threshold) propagation would refuse, or a value that
// CDetectionConfig::Validate refuses.
bool ConfigFromOptions(const cli::CommandLine& line, CDetectionConfig& config, std::string& output_folder,
                       std::string& error);
