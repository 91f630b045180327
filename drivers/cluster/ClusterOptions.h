#pragma once
// `cluster` from options instead of a hand-written parameter file:
//
//   cluster [options] <spectrum file or DTA folder>... -o <output folder>
//   cluster --write-para FILE [options] [<spectrum file or DTA folder>...]
//
// Every key of the cluster parameter file has an option named after it. The
// options are turned into a parameter file that the reader parses, so that
// defaults and meanings are the reader's own; the job then runs on the file
// it wrote (out/cluster.para), and `cluster out/cluster.para` repeats it.

#include <ostream>
#include <string>
#include <vector>

#include "common/CommandLine.h"

namespace clusterjob {

// Every option of the program, both forms and the parameter-file form's own
// (--shift-search, --threads).
cli::CommandLine ClusterCommandLine();

// True when the parsed options ask for the options form.
bool WantsOptionsForm(const cli::CommandLine& line);

// The parameter-file text the options describe (paths as given, the output
// names inside `output_folder`). False with `error` naming the option for a
// value that is not a number, a name or a tolerance ("20ppm", "0.5Da").
bool ParaTextFromOptions(const cli::CommandLine& line, const std::string& data_path, int data_type,
                         const std::string& output_folder, std::string& para_text, std::string& error);

// Runs the options form: answers the exit status. Progress and the engine's
// console go to `progress` (standard error, or nowhere with --quiet); where
// the results went goes to `out`.
int RunOptionsForm(const cli::CommandLine& line, std::ostream& out, std::ostream& err);

}  // namespace clusterjob
