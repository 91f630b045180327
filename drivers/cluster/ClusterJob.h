#pragma once
// The `cluster` console program's job as a function, so that tests reach
// it: read the parameter file, load and order the spectra, run the job's
// strategy, and map every failure to a non-zero status and the error marker.

#include <memory>
#include <ostream>
#include <string>
#include <vector>

// The orders the strategies expect, for the benchmarks that run the engine
// on spectra as the job loads them.
#include "drivers/cluster/loading/JobLoading.h"
#include "drivers/cluster/network/NetworkCommand.h"
#include "resultfiles/Identifications.h"

namespace clusterjob {

// What the command line asks of one job.
struct JobOptions {
  std::string parameter_file;
  bool shift_search = false;  // with a pair search: the shift search instead
  int threads = 0;            // 0: every hardware thread
  std::string mgf;            // also write the output spectra into this MGF file
  // False: the output spectra go into `mgf` alone, no DTA file is written
  // into out_directory (the options form's default; a parameter file
  // always gets its DTA files).
  bool spectrum_files = true;
  std::string px;             // a ProteomeXchange accession: the table and the MGF file give USIs
  bool no_wait = false;       // fail at once when another run uses the working folder
  bool folder_locked = false;  // the caller holds the working folder's lock already
  bool decoy_pairs = false;     // a pair search also counts its expected false pairs
  // Clustering quality (type 0): identifications and how they are filtered,
  // the threshold curve file, and a target incorrect ratio for which the
  // threshold is chosen among the steps down to `search_floor` (the chosen
  // threshold is then written into the parameter file).
  std::vector<std::string> ids;  // result files, their identifications joined
  CFilterChoice id_filter;
  std::string curve;
  std::string curve_plot;          // the curve as a .png or .svg picture
  double target_incorrect = -1.0;  // below 0: none
  double search_floor = 0.3;
  // Pair search: the spectral network, with the identifications of `ids`.
  network::NetworkRequest network;
  std::string plot;  // pair search: its mass-shift histogram as a .png or .svg picture
  // The options form: the spectrum files pooled into the job's one input,
  // and the folder the job works in ("" for the current one), where a pair
  // search writes its tables of fixed name.
  std::vector<std::string> pooled_inputs;
  // Their spectra's rows as their own runs give them (PoolInputs), which
  // the cluster table and the MGF file's members take in place of the
  // pooled file's.
  std::shared_ptr<COriginTable> pooled_origins;
  std::string working_folder;
};

// What a job whose parameters were read is refused for before any work:
// values, options that do not fit its type, and every input and output
// (JobChecks.h). "" or the message. It may create the folder of the
// clustered spectra; it writes nothing else.
std::string CheckJob(const CPara& para, const JobOptions& options);

// Runs one job. Messages go to `out`; the engine's own progress goes to
// standard output (or wherever its sinks point). Returns the exit status.
int Run(const JobOptions& options, std::ostream& out);

// Options that make no job: the usage on `out`, the error marker (the
// desktop program reads nothing else) and status 1.
int FailWithUsage(std::ostream& out);

inline constexpr const char* kUsage =
    "usage: cluster [--shift-search] [--threads N] [--mgf FILE] [--no-wait] <parameter file>";

}  // namespace clusterjob
