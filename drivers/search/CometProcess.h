#pragma once
// Comet (Debian's comet-ms) as a child process: found on PATH or at a given
// path, started without a shell with its console in a log file, and watched
// for the percentages it prints while it searches.

#include <functional>
#include <string>
#include <vector>

namespace search {

// The Comet program: `given` when not empty (it must be an executable
// file), else "comet-ms" on `path_variable` (the PATH's value). Empty with
// `error` set when there is none.
std::string FindComet(const std::string& given, const std::string& path_variable, std::string& error);

// The last percentage Comet's console text shows ("Search progress:  42%"
// rewritten in place with backspaces), at most 100; -1 when none yet.
int LastPercent(const std::string& console);

// The spectra Comet says it loaded ("Load spectra: 1120", once per input
// file or batch of spectra), summed.
long LoadedSpectra(const std::string& console);

// Comet's own word on a failure: its first line that begins with "Error"
// (any case), trimmed; empty when it said none. Comet ends with status 0 on
// many failures, so its log is the only place that says why.
std::string CometError(const std::string& console);

struct CCometRun {
  std::string program;             // FindComet's answer
  std::vector<std::string> args;   // after the program's name
  std::string working_folder;      // where Comet runs (it writes "-p" output there)
  std::string log;                 // its standard output and error, replaced
  std::string label;               // "Comet search of BSA1": starts each progress line
  // Progress lines ("<label>: 42% searched", at most every `every_seconds`
  // and only when the share changed; "<label>: done in 35 s" at the end).
  std::function<void(const std::string& line)> progress;
  int every_seconds = 3;
};

// Runs Comet to its end. Answers true when it exited with status 0; else
// false with `error` saying how it ended and where its log is.
bool RunComet(const CCometRun& run, std::string& error);

}  // namespace search
