#pragma once
// The page a headless run leaves for people: one self-contained HTML file
// (pictures inlined, no outside style or script) with the steps that ran,
// their counts and settings, the pictures, the top mass shifts with their
// Unimod names and the propagated identifications.
//
// It is built from the run summaries alone: every "*.summary.json" in the
// results folder and a few levels below (common/RunSummary.h). Nothing is
// read from logs, and no file is looked for by a fixed name: what a step
// wrote is what its summary names. Pictures are those the summaries name
// (with their captions), those lying in the folder tree (captioned by
// file name) and those given by the caller. Summaries of one kind from
// several runs (below runs/<run>/, or naming different inputs) make a
// study: a table per step with one row per run, then the pooled results.

#include <string>
#include <utility>
#include <vector>

namespace report {

inline constexpr const char* kSummarySuffix = ".summary.json";
// How far below the results folder summaries and pictures are looked for
// (a study keeps runs/<run>/<step>/...).
inline constexpr int kSearchDepth = 4;

struct ReportInputs {
  std::string results_folder;
  std::string run;  // the run the job read, as the user named it
  // (caption, PNG or SVG file) shown first, in this order
  std::vector<std::pair<std::string, std::string>> pictures;
  std::string unimod_path;  // empty: shifts are listed without names
  double unimod_tolerance = 0.01;
  int top_shifts = 10;
};

// "" or why the page cannot be written at `output`: it would replace a file
// the report reads (a summary, a picture, a table a summary names, the
// Unimod table), would itself be read as a summary by the next report, or
// a folder stands there.
std::string CheckReportOutput(const ReportInputs& inputs, const std::string& output);

// The page; false with `error` set when the folder holds no summary (the
// message names the folder), or a picture given by the caller cannot be
// read or is neither PNG nor SVG. A summary that cannot be parsed is left
// out, said on the page and in `warnings` (file and JSON error).
bool BuildReport(const ReportInputs& inputs, std::string& html, std::string& error,
                 std::vector<std::string>* warnings = nullptr);

// The counts of the same summaries as plain text for a console: in a study
// one line per run and step, then the pooled steps; else one line per step.
bool BuildTextSummary(const ReportInputs& inputs, std::string& text, std::string& error,
                      std::vector<std::string>* warnings = nullptr);

}  // namespace report
