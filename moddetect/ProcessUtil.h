#pragma once
// Starting the raw-file dumper and waiting for it, the way the desktop
// program waits for its back ends: by the executable name in the process
// table.

#include <string>
#include <sys/types.h>

namespace proc {

// Starts `program` with the single argument `argument` as a child in a
// session of its own (no controlling terminal shared with us). Answers the
// child's pid, or -1 when the program cannot be started.
pid_t StartDetached(const std::string& program, const std::string& argument);

// True when a live process other than this one runs an executable whose
// name is exactly `name`. Zombies do not count: a finished child that nobody
// has reaped yet must not keep a waiter waiting.
bool IsProgramRunning(const std::string& name);

// Polls every 100 ms until no process named `name` is left. `child` (when
// not -1) is reaped on the way; its exit status is answered, -1 when it did
// not end normally or there was no child to reap.
int WaitForProgram(const std::string& name, pid_t child);

}  // namespace proc
