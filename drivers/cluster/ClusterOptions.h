#pragma once
// The command line of `cluster`, parsed once, and its two forms besides the
// plan and the merge of partitioned runs:
//
//   cluster [--shift-search] [--threads N] [--mgf FILE] [--no-wait] [quality options] <parameter file>
//   cluster [options] <spectrum file or DTA folder>... -o <output folder>
//   cluster --write-para FILE [options] [<spectrum file or DTA folder>]
//
// Every key of the cluster parameter file has an option named after it. The
// options fill a parameter set from the reader's own defaults, which is
// written as every job's file is; the job then runs on the file it wrote
// (out/cluster.para), and `cluster out/cluster.para` repeats it.

#include <ostream>
#include <string>

#include "common/CommandLine.h"
#include "drivers/cluster/ClusterJob.h"

class CPara;

namespace clusterjob {

// Every option of the program, both forms and the parameter-file form's own
// (--shift-search, --threads, --mgf, --no-wait).
cli::CommandLine ClusterCommandLine();

// True when the parsed options ask for the options form.
bool WantsOptionsForm(const cli::CommandLine& line);

// The parameter-file form's own options of a job, from values the parser
// has checked (--threads 1 to 1024, --mgf a name); true.
bool ReadJobOptions(const cli::CommandLine& line, JobOptions& options);

// The quality options (--ids, --fdr, --decoy-prefix, --curve,
// --target-incorrect) checked, the target set in `options`: "" or why they
// make no job (a usage error).
std::string ReadQualityOptions(const cli::CommandLine& line, JobOptions& options);

// The parameter-file form: the one positional argument is the parameter
// file. Options of the other forms are usage errors (status 2, on `err`);
// anything else that makes no job answers as the job does (usage on `out`,
// the error marker, status 1).
int RunParameterFileForm(const cli::CommandLine& line, std::ostream& out, std::ostream& err);

// The parameter set the options describe (paths as given; with an output
// folder the output names inside it, else those of --out-directory and
// --cluster-result). The values were checked when the line was parsed, so
// this answers true; `error` stays for callers that chain checks.
bool ParaFromOptions(const cli::CommandLine& line, const std::string& data_path, int data_type,
                     const std::string& output_folder, CPara& para, std::string& error);

// Runs the options form: answers the exit status. Progress and the engine's
// console go to `err` (nowhere with --quiet); where the results went goes
// to `out`.
int RunOptionsForm(const cli::CommandLine& line, std::ostream& out, std::ostream& err);

// Runs the form a parsed command line asks for (the network of an earlier
// search, the options form, else the parameter-file form): the exit status.
int RunParsedCommandLine(const cli::CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace clusterjob
