#include "spectra/MzReaderProcess.h"

#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>

#include "common/TextUtil.h"
#include "spectra/MzRecordStream.h"

extern char** environ;

namespace spectra {

namespace {

constexpr const char* kProgramName = "mzreader";

// A file descriptor closed when it goes.
class CDescriptor {
 public:
  explicit CDescriptor(int fd = -1) : fd_(fd) {}
  ~CDescriptor() { Reset(); }
  CDescriptor(const CDescriptor&) = delete;
  CDescriptor& operator=(const CDescriptor&) = delete;
  int Get() const { return fd_; }
  void Reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

 private:
  int fd_;
};

// ---- where the program lies ----

std::string FolderOf(const std::string& file) {
  const std::size_t slash = file.rfind('/');
  return slash == std::string::npos ? std::string() : file.substr(0, slash);
}

std::string RunningExecutable() {
  char target[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

// The shared object (or executable) that holds this code; only an absolute
// path is of use, as the current folder may have changed since it loaded.
std::string ObjectHoldingThisCode() {
  Dl_info info;
  if (::dladdr(reinterpret_cast<void*>(&DefaultMzReaderProgram), &info) == 0 || !info.dli_fname ||
      info.dli_fname[0] != '/')
    return std::string();
  return info.dli_fname;
}

// ---- starting it ----

// Starts `argv[0]` with standard input from /dev/null, standard output to
// `records_fd` and standard error to `messages_fd`, and nothing else open.
// posix_spawn, unlike a bare fork, is safe in a process with threads.
int Spawn(const std::vector<std::string>& args, int records_fd, int messages_fd, pid_t& pid) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_adddup2(&actions, records_fd, STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, messages_fd, STDERR_FILENO);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
  posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
#endif
  // The caller may block or ignore signals (a window toolkit does); the
  // reader starts with the defaults, so that it ends when its reader goes.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  sigaddset(&defaults, SIGPIPE);
  sigaddset(&defaults, SIGTERM);
  sigaddset(&defaults, SIGINT);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  std::vector<char*> argv;
  for (const std::string& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const int error = ::posix_spawn(&pid, argv[0], &actions, &attributes, argv.data(), environ);
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  return error;
}

bool WaitFor(pid_t pid, int& status) {
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return false;
  }
  return true;
}

// What the program said, from the start of its message file.
std::string ReadMessages(int fd) {
  std::string text;
  if (::lseek(fd, 0, SEEK_SET) != 0) return text;
  char buffer[4096];
  while (text.size() < 100000) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    text.append(buffer, static_cast<std::size_t>(n));
  }
  return text;
}

// The first line of what MSToolkit said, for the error text.
std::string FirstLine(const std::string& text) {
  std::string t = text::Trim(text);
  const std::size_t nl = t.find('\n');
  if (nl != std::string::npos) t = t.substr(0, nl);
  return text::Trim(t);
}

// The error for a program that ended with `status` having said `message`;
// empty when it ended well.
std::string EndingError(int status, const std::string& message) {
  const int code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  // A crash caught by a sanitizer ends with an exit status and a report of
  // the sanitizer's own; either way the user needs to hear it in our words.
  const bool crashed = WIFSIGNALED(status) || message.find("Sanitizer") != std::string::npos;
  if (crashed) {
    return "the file could not be read: the reader crashed on it (" +
           (WIFSIGNALED(status) ? "signal " + std::to_string(WTERMSIG(status))
                                : "exit status " + std::to_string(code)) +
           ")";
  }
  if (code == mzstream::kExitDamaged) return message.empty() ? "a scan's peak arrays are damaged" : message;
  const std::string told = message.empty() ? std::string() : " (MSToolkit: " + message + ")";
  if (code == mzstream::kExitCannotOpen) return "MSToolkit cannot open it" + told;
  if (code != mzstream::kExitOk) return "MSToolkit stopped on this file" + told;
  return std::string();
}

}  // namespace

std::string DefaultMzReaderProgram() {
  std::vector<std::string> places;
  for (const std::string& holder : {RunningExecutable(), ObjectHoldingThisCode()}) {
    const std::string folder = FolderOf(holder);
    if (!folder.empty()) places.push_back(folder + "/" + kProgramName);
  }
#ifdef TESSERA_MZREADER_BUILD_PATH
  // Tests, benchmarks and fuzzers run from folders of their own.
  places.push_back(TESSERA_MZREADER_BUILD_PATH);
#endif
  if (places.empty()) return kProgramName;
  for (const std::string& place : places) {
    if (::access(place.c_str(), X_OK) == 0) return place;
  }
  return places.front();
}

MzReadResult ReadWithMzReader(const std::string& program, const std::string& path, MzFileKind kind,
                              std::vector<mzstream::ScanRecord>& records, std::string& error) {
  // Messages go to a file, records to a pipe that is read while the program
  // runs: neither can fill up and stall it.
  CDescriptor messages(::memfd_create("mzreader-messages", MFD_CLOEXEC));
  if (messages.Get() < 0) {
    error = "cannot create a temporary file";
    return MzReadResult::kNotStarted;
  }
  int ends[2];
  if (::pipe2(ends, O_CLOEXEC) != 0) {
    error = std::string("cannot start the reading process: ") + std::strerror(errno);
    return MzReadResult::kNotStarted;
  }
  CDescriptor read_end(ends[0]), write_end(ends[1]);
  pid_t pid = 0;
  const int spawn_error =
      Spawn({program, kind == MzFileKind::kMS2 ? "ms2" : "xml", path}, write_end.Get(),
            messages.Get(), pid);
  write_end.Reset();  // the program's end of the stream is then the only one
  if (spawn_error != 0) {
    error = "cannot start the reading process " + program + ": " + std::strerror(spawn_error);
    return MzReadResult::kNotStarted;
  }

  records.clear();
  mzstream::CRecordReader reader(read_end.Get());
  mzstream::ScanRecord record;
  mzstream::CRecordReader::Result got;
  while ((got = reader.Next(record)) == mzstream::CRecordReader::kRecord) {
    records.push_back(std::move(record));
  }
  reader.Drain();
  read_end.Reset();

  int status = 0;
  if (!WaitFor(pid, status)) {
    error = "lost the reading process";
    return MzReadResult::kFailed;
  }
  error = EndingError(status, FirstLine(ReadMessages(messages.Get())));
  if (!error.empty())
    return WIFEXITED(status) && WEXITSTATUS(status) == mzstream::kExitDamaged ? MzReadResult::kDamaged
                                                                                : MzReadResult::kFailed;
  if (got != mzstream::CRecordReader::kEnd) {
    error = "the reading process left incomplete data";
    return MzReadResult::kFailed;
  }
  return MzReadResult::kRead;
}

}  // namespace spectra
