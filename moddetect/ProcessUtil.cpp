#include "moddetect/ProcessUtil.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <iterator>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace proc {

namespace {

// The child being waited for, read by the signal handler; 0 when none.
std::atomic<pid_t> waited_child{0};
static_assert(std::atomic<pid_t>::is_always_lock_free, "read from a signal handler");

constexpr int kEndingSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGQUIT};

// Only async-signal-safe calls: end the child's group, reap the child, then
// die of the signal as if no handler had been installed.
void EndChildThenSelf(int signal_number) {
  const pid_t child = waited_child.load();
  if (child > 0) {
    ::kill(-child, SIGKILL);
    while (::waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
  }
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Installs EndChildThenSelf for the ending signals while it lives (those
// that the process ignores stay ignored) and restores the handlers after.
class CChildGuard {
 public:
  explicit CChildGuard(pid_t child) {
    waited_child.store(child);
    struct sigaction action {};
    action.sa_handler = EndChildThenSelf;
    sigemptyset(&action.sa_mask);
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) {
      ::sigaction(kEndingSignals[i], nullptr, &previous_[i]);
      if (previous_[i].sa_handler != SIG_IGN) ::sigaction(kEndingSignals[i], &action, nullptr);
    }
  }
  ~CChildGuard() {
    for (std::size_t i = 0; i < std::size(kEndingSignals); ++i) ::sigaction(kEndingSignals[i], &previous_[i], nullptr);
    waited_child.store(0);
  }
  CChildGuard(const CChildGuard&) = delete;
  CChildGuard& operator=(const CChildGuard&) = delete;

 private:
  struct sigaction previous_[std::size(kEndingSignals)] {};
};

}  // namespace

pid_t StartTied(const std::string& program, const std::string& argument) {
  if (::access(program.c_str(), X_OK) != 0) return -1;
  // Everything the child needs is made before fork: between fork and exec
  // only async-signal-safe calls are allowed.
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()), nullptr};
  const pid_t parent = ::getpid();
  const pid_t pid = ::fork();
  if (pid < 0) return -1;
  if (pid == 0) {
    ::setsid();
    // A parent that died before the tie was made is no longer our parent:
    // the tie would never fire, so the child gives up at once.
    if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  return pid;
}

int WaitForChild(pid_t child, int* signal) {
  if (signal) *signal = 0;
  if (child <= 0) return -1;
  const CChildGuard guard(child);
  for (;;) {
    int st = 0;
    const pid_t r = ::waitpid(child, &st, WNOHANG);
    if (r == child) {
      if (WIFEXITED(st)) return WEXITSTATUS(st);
      if (WIFSIGNALED(st) && signal) *signal = WTERMSIG(st);
      return -1;
    }
    if (r < 0 && errno != EINTR) return -1;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

}  // namespace proc
