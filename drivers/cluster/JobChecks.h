#pragma once
// What a clustering job is refused for before any work: outputs that would
// overwrite its inputs or each other, files it could not read or write,
// folders that cannot hold its spectra, and values that would exhaust
// memory or time, are not numbers or make no sense. Each check answers an empty string when the job may run, otherwise
// the message to print.

#include <string>
#include <vector>

class CPara;

namespace clusterjob {

struct JobOptions;

// The widest pair-search window and the most peaks kept per window that a
// job may ask for.
inline constexpr int kMaxPeaksPerWindow = 10000;
inline constexpr int kMaxShiftWindow = 100000;
// The most threads a job may ask for: far beyond any machine's cores, short
// of what would exhaust the process's memory for thread stacks.
inline constexpr int kMaxThreads = 1024;

// More threads than kMaxThreads.
std::string CheckThreads(int threads);

// Also refuses a threshold outside [0, 1] and, for the pair search, a
// lower_mass above upper_mass (a window that holds no pair).
std::string CheckParameterLimits(const CPara& para);

// Whether the job's representative type writes spectrum files: consensus
// spectra, copies of the most similar members, or both.
bool WritesRepresentatives(const CPara& para);

// The spectra's folder must be given (type 0, unless the representative
// type writes no spectra), creatable, writable, and not the data folder or
// inside a DTA data folder. With `create_spectra_folder` the spectra's
// folder is created when missing (a job about to run); without, a missing
// one is left to the run.
std::string CheckJobPaths(const CPara& para, bool create_spectra_folder = true);

// A file or folder a job reads or writes, as its messages name it, and who
// named it.
struct JobFile {
  enum class Source {
    kParameterFile,  // the parameter file (or the file itself)
    kOption,         // an option of the command line
    kWorkingFolder,  // a table of fixed name in the folder the job works in
  };
  std::string what;  // "cluster file", "MGF file", "input", ...
  std::string path;  // absolute
  Source source = Source::kParameterFile;
};

// What the run summaries are called among a job's outputs (the summary
// lists every output but these).
inline constexpr const char* kRunSummary = "run summary";
inline constexpr const char* kNetworkSummary = "run summary of the network";

// Everything a job reads and writes: the parameter file's and the
// options' inputs, and its outputs in the order it writes them.
struct JobFiles {
  std::vector<JobFile> inputs;
  std::vector<JobFile> outputs;
  std::string spectra_folder;  // where the clustering writes spectrum files; "" for none
};
JobFiles FilesOfJob(const CPara& para, const JobOptions& options);

// What no job may do, checked without touching a file: an output that is
// an input, another output of the job, a file inside a DTA data
// folder (but for the tables of the working folder, which may be that
// folder), or (an output an option names) a file among the clustered
// spectra. "" or the message.
std::string CheckFileClashes(const JobFiles& files);

// What the work would fail on later: inputs named by options that cannot be
// read, outputs that are folders or cannot be written. "" or the message.
std::string CheckFileAccess(const JobFiles& files);

}  // namespace clusterjob
