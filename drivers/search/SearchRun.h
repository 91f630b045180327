#pragma once
// tessera-search: one run searched with Comet against a protein database at
// Tessera's settings (CometParams.h), its pepXML read back through the
// project's readers for the counts of its summary.

#include <ostream>
#include <string>

#include "drivers/search/CometParams.h"

namespace search {

// Comet's parameters for a search of `fasta` with `threads`: Comet's own
// defaults (printed in `folder`) with Tessera's settings. Shared by
// tessera-search and the shift-aware searches of tessera-confirm.
bool MakeSearchParams(const std::string& comet, const std::string& folder, const std::string& fasta, int threads,
                      CCometParams& params, std::string& error);

// The threads of a search when not told: every core.
int DefaultThreads();

// The program: 0 on success (and --help, --version), 1 when the search
// failed (the message names the file or Comet's log), 2 for a wrong command
// line. What was written goes to `out`; usage, errors and progress to `err`.
int RunSearchProgram(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace search
