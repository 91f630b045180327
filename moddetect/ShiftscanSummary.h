#pragma once
// Shiftscan's run summary (common/RunSummary.h): the run, its settings,
// how many precursors it read and kept, and every modification it found as
// the table lists them. The configuration form writes it beside the
// configuration file, named after it; the options form as
// "shiftscan.summary.json" in its output folder.

#include <string>

#include "common/RunSummary.h"

class CDetectionRun;

inline constexpr const char* kShiftscanSummaryName = "shiftscan.summary.json";

// Fills `summary` from a run that has written its table `table` (the
// picture, drawn later, is added by the caller).
void FillShiftscanSummary(const CDetectionRun& run, const std::string& config_path, const std::string& table,
                          summary::CRunSummary& summary);
