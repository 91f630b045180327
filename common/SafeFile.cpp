#include "common/SafeFile.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safefile {

CSafeFile::~CSafeFile() { Abandon(); }

namespace {

// The process's file-creation mask, read without changing it (umask() would
// change it for every thread for a moment).
mode_t CurrentUmask() {
  static const mode_t mask = [] {
    mode_t value = 022;
    if (std::FILE* status = std::fopen("/proc/self/status", "r")) {
      char line[256];
      while (std::fgets(line, sizeof line, status)) {
        unsigned int octal = 0;
        if (std::sscanf(line, "Umask: %o", &octal) == 1) {
          value = static_cast<mode_t>(octal);
          break;
        }
      }
      std::fclose(status);
    }
    return value;
  }();
  return mask;
}

std::string FolderOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

bool InSystemFolder(const std::string& path) {
  char resolved[PATH_MAX];
  if (!::realpath(FolderOf(path).c_str(), resolved)) return false;
  const std::string folder = resolved;
  return folder == "/dev" || folder == "/proc" || folder.rfind("/proc/", 0) == 0;
}

// True when `path`, or a link on the way from it to the file it names,
// lies in /dev or /proc: "/dev/stdout", "/dev/fd/1", "/proc/self/fd/1" name
// an open descriptor, whatever file it leads to. A temporary there would be
// renamed over the system's own link (as root, it can be).
bool NamesASystemLink(std::string path) {
  for (int hop = 0; hop < 40; ++hop) {
    if (InSystemFolder(path)) return true;
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return false;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return false;
    const std::string next(target, static_cast<std::size_t>(n));
    path = next[0] == '/' ? next : FolderOf(path) + "/" + next;
  }
  return false;
}

// The descriptor of this process that `path` names, through any links
// ("/dev/stdout" is "/proc/self/fd/1"), or -1.
int DescriptorNamed(std::string path) {
  const std::string prefixes[] = {"/dev/fd/", "/proc/self/fd/", "/proc/" + std::to_string(::getpid()) + "/fd/"};
  for (int hop = 0; hop < 40; ++hop) {
    for (const std::string& prefix : prefixes) {
      if (path.rfind(prefix, 0) != 0 || path.size() == prefix.size() || path.size() > prefix.size() + 9) continue;
      const std::string number = path.substr(prefix.size());
      if (number.find_first_not_of("0123456789") == std::string::npos) return std::stoi(number);
    }
    struct stat link {};
    if (::lstat(path.c_str(), &link) != 0 || !S_ISLNK(link.st_mode)) return -1;
    char target[PATH_MAX];
    const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
    if (n <= 0) return -1;
    const std::string next(target, static_cast<std::size_t>(n));
    path = next[0] == '/' ? next : FolderOf(path) + "/" + next;
  }
  return -1;
}

}  // namespace

bool CSafeFile::Open(const std::string& path, const char* mode) {
  Abandon();
  path_ = path;
  temp_path_.clear();
  error_.clear();
  // An open descriptor of ours ("/dev/stdout" sent to a file) is written
  // through a copy of it, at its place: opened again, the file would be
  // truncated under what the process wrote there before.
  if (const int named = DescriptorNamed(path); named >= 0) {
    const int fd = ::fcntl(named, F_DUPFD_CLOEXEC, 0);
    file_ = fd >= 0 ? ::fdopen(fd, mode) : nullptr;
    if (!file_) {
      error_ = std::strerror(errno);
      if (fd >= 0) ::close(fd);
    }
    return file_ != nullptr;
  }
  struct stat target {};
  // A folder is left to the rename, which fails on it with its own reason.
  const bool special = ::stat(path.c_str(), &target) == 0 && !S_ISREG(target.st_mode) && !S_ISDIR(target.st_mode);
  if (special || NamesASystemLink(path)) {
    file_ = std::fopen(path.c_str(), mode);
    if (!file_) error_ = std::strerror(errno);
    return file_ != nullptr;
  }
  std::string temp = path + ".part-XXXXXX";
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    error_ = std::strerror(errno);
    return false;
  }
  // mkostemp creates the file for its owner only; a result gets the
  // permissions any file the user creates gets.
  ::fchmod(fd, 0666 & ~CurrentUmask());
  temp_path_ = temp;
  file_ = ::fdopen(fd, mode);
  if (!file_) {
    error_ = std::strerror(errno);
    ::close(fd);
    std::remove(temp_path_.c_str());
    temp_path_.clear();
    return false;
  }
  return true;
}

bool CSafeFile::Commit() {
  if (!file_) return false;
  bool ok = std::fflush(file_) == 0 && std::ferror(file_) == 0;
  if (!ok) error_ = std::strerror(errno);
  if (std::fclose(file_) != 0 && ok) {
    ok = false;
    error_ = std::strerror(errno);
  }
  file_ = nullptr;
  if (temp_path_.empty()) return ok;  // written in place
  if (ok && std::rename(temp_path_.c_str(), path_.c_str()) != 0) {
    ok = false;
    error_ = std::strerror(errno);
  }
  if (!ok) {
    std::remove(temp_path_.c_str());
    if (error_.empty()) error_ = "write failed";
  }
  temp_path_.clear();
  return ok;
}

void CSafeFile::Abandon() {
  if (file_) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (!temp_path_.empty()) {
    std::remove(temp_path_.c_str());
    temp_path_.clear();
  }
}

bool WriteWholeFile(const std::string& path, const std::string& content, std::string* error) {
  CSafeFile file;
  bool ok = file.Open(path, "wb") && std::fwrite(content.data(), 1, content.size(), file.Get()) == content.size();
  ok = ok && file.Commit();
  if (!ok && error) *error = file.Error().empty() ? std::string("write failed") : file.Error();
  return ok;
}

bool SameFile(const std::string& a, const std::string& b) {
  struct stat sa {}, sb {};
  if (::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0) return false;
  return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

bool CanWrite(const std::string& path) {
  if (DescriptorNamed(path) >= 0) return true;
  struct stat target {};
  const bool exists = ::stat(path.c_str(), &target) == 0;
  if (exists && S_ISDIR(target.st_mode)) return false;
  if ((exists && !S_ISREG(target.st_mode)) || NamesASystemLink(path)) return ::access(path.c_str(), W_OK) == 0;
  std::string probe = path + ".part-XXXXXX";
  const int fd = ::mkostemp(probe.data(), O_CLOEXEC);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

CFolderLock::~CFolderLock() { Release(); }

bool CFolderLock::Acquire(const std::string& folder, Mode mode, void (*waiting)(const std::string&)) {
  Release();
  const std::string lock_path = (folder.empty() ? std::string(".") : folder) + "/" + kLockFileName;
  fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0644);
  // A link planted at the lock's name is neither followed nor allowed to
  // stop the locking: it goes, and the lock file is made in its place.
  if (fd_ < 0 && errno == ELOOP && ::unlink(lock_path.c_str()) == 0)
    fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644);
  if (fd_ < 0) return true;
  if (::flock(fd_, LOCK_EX | LOCK_NB) == 0) return true;
  if (mode == Mode::kNoWait) {
    Release();
    return false;
  }
  if (waiting) waiting(folder);
  while (::flock(fd_, LOCK_EX) != 0) {
    if (errno != EINTR) {
      Release();
      return false;
    }
  }
  return true;
}

void CFolderLock::Release() {
  if (fd_ >= 0) {
    ::close(fd_);  // closing drops the flock
    fd_ = -1;
  }
}

std::FILE* OpenForAppend(const std::string& path) {
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
  if (fd < 0) return nullptr;
  std::FILE* file = ::fdopen(fd, "a");
  if (!file) ::close(fd);
  return file;
}

bool TouchWithoutFollowing(const std::string& path) {
  for (int attempt = 0; attempt < 2; ++attempt) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) return ::close(fd) == 0;
    if (errno != ELOOP || ::unlink(path.c_str()) != 0) return false;
  }
  return false;
}

bool LockWorkingFolder(CFolderLock& lock, bool no_wait) {
  return lock.Acquire(".", no_wait ? CFolderLock::Mode::kNoWait : CFolderLock::Mode::kWait, [](const std::string&) {
    std::fprintf(stderr, "Another run is using this working folder; waiting for it to end...\n");
  });
}

}  // namespace safefile
