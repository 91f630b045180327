#include "moddetect/ProcessUtil.h"

#include <cctype>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fstream>
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

namespace {

// State letter from /proc/<pid>/stat; the command field may hold blanks
// and parentheses, so the state follows the last ")".
char ProcessState(const std::string& pid) {
  std::ifstream in("/proc/" + pid + "/stat");
  std::string stat;
  std::getline(in, stat);
  const std::size_t close = stat.rfind(')');
  if (close == std::string::npos || close + 2 >= stat.size()) return '?';
  return stat[close + 2];
}

}  // namespace

bool IsProgramRunning(const std::string& name) {
  DIR* dir = ::opendir("/proc");
  if (!dir) return false;
  const std::string self = std::to_string(::getpid());
  bool found = false;
  while (dirent* entry = ::readdir(dir)) {
    const std::string pid = entry->d_name;
    if (pid.empty() || !std::isdigit(static_cast<unsigned char>(pid[0])) || pid == self) continue;
    std::ifstream comm("/proc/" + pid + "/comm");
    std::string exe;
    if (!std::getline(comm, exe) || exe != name) continue;
    const char state = ProcessState(pid);
    if (state == 'Z' || state == 'X' || state == '?') continue;
    found = true;
    break;
  }
  ::closedir(dir);
  return found;
}

int WaitForProgram(const std::string& name, pid_t child) {
  int status = -1;
  bool reaped = child < 0;
  for (;;) {
    if (!reaped) {
      int st = 0;
      const pid_t r = ::waitpid(child, &st, WNOHANG);
      if (r == child) {
        reaped = true;
        status = WIFEXITED(st) ? WEXITSTATUS(st) : -1;
      } else if (r < 0 && errno != EINTR) {
        reaped = true;
      }
    }
    if (reaped && !IsProgramRunning(name)) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return status;
}

}  // namespace proc
