#pragma once
// Starting the raw-file dumper and waiting for it.

#include <string>
#include <sys/types.h>

namespace proc {

// Starts `program` with the single argument `argument` as a child in a
// session and process group of its own (no controlling terminal shared with
// us), tied to this process: the kernel kills it (SIGKILL) when this process
// dies, even when that happens before the child has started the program.
// Answers the child's pid, or -1 when the program cannot be started.
//
// The tie belongs to the calling thread: the thread that starts the child
// must outlive it, as the one thread of Shiftscan does.
pid_t StartTied(const std::string& program, const std::string& argument);

// Waits for the child we started, polling every 100 ms. Only that process
// counts: another process of the same name elsewhere on the machine must
// never hold a run up. Answers its exit status, -1 when it did not end
// normally (a signal) or was not our child; `signal` (when given) receives
// the signal number that ended it, 0 otherwise.
//
// While it waits, a SIGTERM, SIGINT, SIGHUP or SIGQUIT that would end this
// process first kills the child's process group and reaps the child, then
// ends this process by the same signal: nothing we started goes on writing
// into the working folder once its lock is released.
int WaitForChild(pid_t child, int* signal = nullptr);

}  // namespace proc
