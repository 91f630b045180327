#pragma once
// Shiftscan from options instead of a configuration file:
//   Shiftscan [options] <run file or DTA folder> -o <output folder>
// The options are the configuration file's keys; the configuration a run
// used is written into the output folder so that it can be repeated.

#include <string>

#include "common/CommandLine.h"
#include "moddetect/DetectionConfig.h"

inline constexpr const char* kShiftscanConfigName = "Shiftscan.cfg";

cli::CommandLine ShiftscanCommandLine();

// Fills `config` from parsed options (paths made absolute, the pair folder
// inside the output folder unless given). False with `error` naming the
// option for a missing input or output, or a value that is not a number.
bool ConfigFromOptions(const cli::CommandLine& line, CDetectionConfig& config, std::string& output_folder,
                       std::string& error);
