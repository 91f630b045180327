#pragma once
// The command line of the propagate program: a job's parameter file, or the
// job's files given as options (the program then writes the parameter file
// it used beside its reports, so that the run can be repeated from it).

#include <string>

#include "common/CommandLine.h"
#include "propagation/PropagationPara.h"

cli::CommandLine PropagateCommandLine();

// True when the options name the job's files (--pairs, --ids, ...) rather
// than a parameter file.
bool JobFromOptions(const cli::CommandLine& line);

// Fills `para` from the options (input paths made absolute); `para_path` is
// where its parameter file goes: "<output folder>/<name>.para". False with `error`
// naming the option when a value is missing or out of range.
bool ParaFromOptions(const cli::CommandLine& line, CPropagationPara& para, std::string& para_path,
                     std::string& error);

// True when the filter values that `line` gives (--fdr, --threshold) are
// usable, as FilterFromPara judges them; false with `error` naming the
// option otherwise. Shared by propagate and idlist, which refuse
// such values as a wrong command line before anything is read or written.
bool FilterOptionsUsable(const cli::CommandLine& line, std::string& error);
