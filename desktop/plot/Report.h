#pragma once
// The page a headless run leaves for people: one self-contained HTML file
// (pictures inlined, no outside style or script) with the run, its counts,
// the histograms, the top mass shifts with their Unimod names, the
// propagated identifications and the settings the programs were given.
// It is built from the files of a results folder under the names the main
// job gives them; a file that is absent leaves its section saying so.

#include <string>
#include <utility>
#include <vector>

namespace report {

// Files of a results folder that the report reads.
inline constexpr const char* kClusterFile = "clusters.csv";
inline constexpr const char* kPairFile = "spectral_pairs.csv";
inline constexpr const char* kPairShiftTable = "spectral_pair_shifts.csv";
inline constexpr const char* kShiftscanTable = "shiftscan_modifications.csv";
inline constexpr const char* kPropagatedTable = "propagated.tsv";
inline constexpr const char* kPropagationLog = "propagation.log";
// Settings shown as written, in this order.
inline constexpr const char* kSettingFiles[] = {"clustering.para", "pairsearch.para", "shiftscan.cfg",
                                                "propagation.para"};

struct ReportInputs {
  std::string results_folder;
  std::string run;  // the run the job read, as the user named it
  // (caption, PNG or SVG file) in the order shown
  std::vector<std::pair<std::string, std::string>> pictures;
  std::string unimod_path;  // empty: shifts are listed without names
  double unimod_tolerance = 0.01;
  int top_shifts = 10;
};

// "" or why the page cannot be written at `output`: it would replace a file
// the report reads (a results file or setting of the folder, a picture, the
// Unimod table), or a folder stands there.
std::string CheckReportOutput(const ReportInputs& inputs, const std::string& output);

// The page; false with `error` set when a results file that is there cannot
// be read (a folder at its name) or a picture cannot be read or is neither
// PNG nor SVG (a report without a part it was asked to show would look
// complete and is not).
bool BuildReport(const ReportInputs& inputs, std::string& html, std::string& error);

}  // namespace report
