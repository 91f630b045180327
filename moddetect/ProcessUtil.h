#pragma once
// Starting the raw-file dumper and waiting for it.

#include <string>
#include <sys/types.h>

namespace proc {

// Starts `program` with the single argument `argument` as a child in a
// session of its own (no controlling terminal shared with us). Answers the
// child's pid, or -1 when the program cannot be started.
pid_t StartDetached(const std::string& program, const std::string& argument);

// Waits for the child we started, polling every 100 ms. Only that process
// counts: another process of the same name elsewhere on the machine must
// never hold a run up. Answers its exit status, -1 when it did not end
// normally (a signal) or was not our child; `signal` (when given) receives
// the signal number that ended it, 0 otherwise.
int WaitForChild(pid_t child, int* signal = nullptr);

}  // namespace proc
