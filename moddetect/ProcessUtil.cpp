#include "moddetect/ProcessUtil.h"

#include <cerrno>
#include <chrono>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace proc {

pid_t StartDetached(const std::string& program, const std::string& argument) {
  if (::access(program.c_str(), X_OK) != 0) return -1;
  posix_spawnattr_t attr;
  if (posix_spawnattr_init(&attr) != 0) return -1;
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID);
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>(argument.c_str()),
                             nullptr};
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, program.c_str(), nullptr, &attr, argv.data(), environ);
  posix_spawnattr_destroy(&attr);
  return rc == 0 ? pid : -1;
}

int WaitForChild(pid_t child, int* signal) {
  if (signal) *signal = 0;
  if (child <= 0) return -1;
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
