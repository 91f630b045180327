#include "drivers/search/CometProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>

#include "common/PathUtil.h"
#include "common/TextUtil.h"

namespace search {

namespace {

bool IsExecutableFile(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

std::string WholeFile(const std::string& path) {
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (!file) return std::string();
  std::string text;
  char buffer[65536];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, file)) > 0) text.append(buffer, n);
  std::fclose(file);
  return text;
}

std::string HowItEnded(int status) {
  if (WIFEXITED(status)) return "exit status " + std::to_string(WEXITSTATUS(status));
  if (WIFSIGNALED(status)) return std::string("killed by signal ") + std::to_string(WTERMSIG(status));
  return "ended abnormally";
}

}  // namespace

std::string FindComet(const std::string& given, const std::string& path_variable, std::string& error) {
  if (!given.empty()) {
    if (IsExecutableFile(given)) return given;
    error = "Comet (comet-ms) is not installed: " + given + " is not an executable file";
    return std::string();
  }
  for (const std::string& folder : text::Split(path_variable, ':')) {
    const std::string candidate = path::Join(folder.empty() ? "." : folder, "comet-ms");
    if (IsExecutableFile(candidate)) return candidate;
  }
  error = "Comet (comet-ms) is not installed: no comet-ms on PATH (Debian package comet-ms, or give --comet PATH)";
  return std::string();
}

int LastPercent(const std::string& console) {
  // Digits directly before the last "%".
  for (std::size_t at = console.rfind('%'); at != std::string::npos && at > 0; at = console.rfind('%', at - 1)) {
    std::size_t start = at;
    while (start > 0 && std::isdigit(static_cast<unsigned char>(console[start - 1]))) --start;
    if (start == at) continue;
    const long value = std::strtol(console.substr(start, at - start).c_str(), nullptr, 10);
    return value > 100 ? 100 : static_cast<int>(value);
  }
  return -1;
}

long LoadedSpectra(const std::string& console) {
  static const std::string kKey = "Load spectra:";
  long total = 0;
  for (std::size_t at = console.find(kKey); at != std::string::npos; at = console.find(kKey, at + 1))
    total += std::strtol(console.c_str() + at + kKey.size(), nullptr, 10);
  return total;
}

std::string CometError(const std::string& console) {
  std::string line;
  for (std::size_t start = 0; start < console.size();) {
    std::size_t end = console.find_first_of("\r\n", start);
    if (end == std::string::npos) end = console.size();
    line = text::Trim(std::string_view(console).substr(start, end - start));
    if (text::StartsWith(text::ToLower(line), "error")) return line;
    start = end + 1;
  }
  return std::string();
}

bool RunComet(const CCometRun& run, std::string& error) {
  const int log = ::open(run.log.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
  if (log < 0) {
    error = "Cannot write Comet's log " + run.log + ": " + std::strerror(errno);
    return false;
  }
  std::vector<std::string> words = {run.program};
  words.insert(words.end(), run.args.begin(), run.args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  const auto start = std::chrono::steady_clock::now();
  const pid_t child = ::fork();
  if (child < 0) {
    error = std::string("Cannot start Comet: ") + std::strerror(errno);
    ::close(log);
    return false;
  }
  if (child == 0) {
    // A search left running after we are gone would go on writing into the
    // output folder: the kernel ends it with us.
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (::getppid() != parent) ::_exit(127);
    const int nothing = ::open("/dev/null", O_RDONLY);
    if (nothing >= 0) ::dup2(nothing, STDIN_FILENO);
    ::dup2(log, STDOUT_FILENO);
    ::dup2(log, STDERR_FILENO);
    if (!run.working_folder.empty() && ::chdir(run.working_folder.c_str()) != 0) ::_exit(126);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::close(log);
  int shown = -1;
  auto last_look = start;
  int status = 0;
  for (;;) {
    const pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended == child) break;
    if (ended < 0 && errno != EINTR) {
      error = "Lost the Comet process";
      return false;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const auto now = std::chrono::steady_clock::now();
    if (run.progress && now - last_look >= std::chrono::seconds(run.every_seconds)) {
      last_look = now;
      const int percent = LastPercent(WholeFile(run.log));
      if (percent >= 0 && percent != shown) {
        run.progress(run.label + ": " + std::to_string(percent) + "% searched");
        shown = percent;
      }
    }
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    error = "Comet failed (" + HowItEnded(status) + "); see its log " + run.log;
    return false;
  }
  if (run.progress) {
    const auto seconds =
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now() - start).count();
    run.progress(run.label + ": done in " + std::to_string(seconds) + " s");
  }
  return true;
}

}  // namespace search
