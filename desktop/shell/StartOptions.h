#pragma once
// The desktop program's command line, read before any window exists: --help,
// --version and a wrong option are answered without a display (a Qt
// application cannot even be made without one).
//
//   Tessera [--no-splash] [Qt's own options such as -platform NAME]
//   hidden from the usual use, for scripts: --run-cluster FILE,
//   --run-shiftscan FILE, --screenshot PNG, --quit

#include <ostream>

namespace desktop {

// Writes the usage or version when asked for (status 0) or the reason and
// the usage for a wrong option or argument (status 2); answers -1 when the
// program should go on and start its window. Qt's own options and their
// values are let through for the application to take.
int AnswerBeforeWindow(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace desktop
