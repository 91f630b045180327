#include "common/SafeFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace safefile {

CSafeFile::~CSafeFile() { Abandon(); }

bool CSafeFile::Open(const std::string& path, const char* mode) {
  Abandon();
  path_ = path;
  temp_path_ = path + ".part-" + std::to_string(::getpid());
  error_.clear();
  file_ = std::fopen(temp_path_.c_str(), mode);
  if (!file_) {
    error_ = std::strerror(errno);
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

CFolderLock::~CFolderLock() { Release(); }

bool CFolderLock::Acquire(const std::string& folder, Mode mode, void (*waiting)(const std::string&)) {
  Release();
  const std::string lock_path = (folder.empty() ? std::string(".") : folder) + "/.tessera.lock";
  fd_ = ::open(lock_path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
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

bool LockWorkingFolder(CFolderLock& lock, bool no_wait) {
  return lock.Acquire(".", no_wait ? CFolderLock::Mode::kNoWait : CFolderLock::Mode::kWait, [](const std::string&) {
    std::fprintf(stderr, "Another run is using this working folder; waiting for it to end...\n");
  });
}

}  // namespace safefile
