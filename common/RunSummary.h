#pragma once
// The machine-readable summary every program writes beside its outputs: what
// ran (program, version), on what (inputs), how (parameters), what came of
// it (counts, outputs) and how long it took. The report and the study
// pipeline read these files, never the programs' logs, so a log line can be
// reworded without breaking them.
//
// Layout (JSON, keys in this order):
//   {"program": "cluster", "version": "1.0", "kind": "clustering",
//    "started": "2026-12-08T18:40:00Z", "wall_time_s": 1.234,
//    "inputs": [{"role": "spectra", "path": "/abs/BSA1.mzML"}, ...],
//    "parameters": {"threshold": 0.6, ...},
//    "counts": {"spectra": 1120, ...},
//    "outputs": [{"role": "clusters", "path": "/abs/out/clusters.csv"},
//                {"role": "picture", "path": "/abs/out/shifts.png",
//                 "caption": "Mass-shift histogram"}, ...],
//    "details": {...}}            (only when a program adds any)
// Paths are absolute, so a summary still names its files when read from
// another folder. Every picture (PNG or SVG) a run draws is an output of
// role "picture" whose "caption" says what it shows: the report shows it
// under that caption, and the role alone finds every picture of a run.

#include <chrono>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace summary {

// A JSON value: null, true/false, a number, text, an array or an object
// whose keys keep the order they were set in.
class CJson {
 public:
  CJson() = default;  // null
  CJson(bool value);
  CJson(int value);
  CJson(long value);
  CJson(long long value);
  CJson(unsigned value);
  CJson(unsigned long value);
  CJson(unsigned long long value);
  CJson(double value);  // not finite: null
  CJson(const char* value);
  CJson(std::string value);

  static CJson Array();
  static CJson Object();

  // Objects: sets `key` (replacing an earlier value of it) and answers the
  // stored value, so nested objects are built in place. A null value turns
  // into an object first.
  CJson& Set(const std::string& key, CJson value);
  // Arrays: appends and answers the stored value. A null value turns into an
  // array first.
  CJson& Append(CJson value);
  // Objects: the value of `key`, made an empty object when absent.
  CJson& operator[](const std::string& key);

  bool IsNull() const { return kind_ == Kind::kNull; }
  // Two-space indented text, ending without a line feed.
  std::string Text(int indent = 0) const;

 private:
  enum class Kind { kNull, kBool, kInteger, kReal, kText, kArray, kObject };
  Kind kind_ = Kind::kNull;
  bool bool_ = false;
  long long integer_ = 0;
  double real_ = 0.0;
  std::string text_;
  std::vector<CJson> items_;
  std::vector<std::pair<std::string, CJson>> members_;
};

// "<folder of main_output>/<stem of main_output>.summary.json": the summary
// of a run sits beside its main output and is named after it, so two runs
// writing into one folder (a clustering and a pair search) keep their own.
std::string SummaryPathFor(const std::string& main_output);

class CRunSummary {
 public:
  // Starts the clock. `kind` names what the run was: "clustering", "pairs",
  // "shiftscan", "propagation", "export", "search", "confirmation", ...
  CRunSummary(std::string program, std::string kind);

  void AddInput(const std::string& role, const std::string& path);
  void AddOutput(const std::string& role, const std::string& path);
  // A picture the run drew: an output of role "picture" with its caption.
  void AddPicture(const std::string& path, const std::string& caption);
  CJson& Parameters() { return parameters_; }
  CJson& Counts() { return counts_; }
  // Program-specific tables (per-run counts, bands, ...).
  CJson& Details() { return details_; }

  // The whole summary as it stands, wall time up to now.
  CJson ToJson() const;
  // Writes it whole or not at all; false with `error` set when it cannot.
  bool Write(const std::string& path, std::string* error = nullptr) const;

 private:
  std::string program_;
  std::string kind_;
  std::string started_;
  std::chrono::steady_clock::time_point start_;
  CJson inputs_ = CJson::Array();
  CJson outputs_ = CJson::Array();
  CJson parameters_ = CJson::Object();
  CJson counts_ = CJson::Object();
  CJson details_;
};

}  // namespace summary
