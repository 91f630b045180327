#pragma once
// Result files that are either whole or absent. A result is written under a
// temporary name beside its final path and renamed over it only when every
// byte reached the disk, so a full disk or a crash never leaves a truncated
// file under a name that a later step would trust. The temporary name is
// unique and created exclusively, so a link planted beside the result is
// never followed. An output that is not a regular file (a device, a FIFO, a
// link to one) is written in place: renaming over it would replace the
// device with a file. A name of an open descriptor ("/dev/stdout",
// "/dev/fd/1", "/proc/self/fd/1") is written through that descriptor, at
// its place, whatever file it leads to: a link in /dev or /proc is the
// system's, never ours to replace, and a file the shell opened for our
// standard output keeps what was written to it before.
//
// The working-folder lock, held for a whole run by programs whose fixed
// intermediate file names ("temp.temp", "raw.data.temp") two runs in one
// folder would otherwise share.

#include <cstdio>
#include <string>

namespace safefile {

class CSafeFile {
 public:
  CSafeFile() = default;
  // Removes the temporary file unless Commit succeeded.
  ~CSafeFile();
  CSafeFile(const CSafeFile&) = delete;
  CSafeFile& operator=(const CSafeFile&) = delete;

  // Opens a fresh "<path>.part-XXXXXX" for writing ("w" or "wb"), or the
  // path itself when it names a device, a FIFO or an open descriptor. False when it cannot be
  // created; Error() then says why.
  bool Open(const std::string& path, const char* mode = "w");
  std::FILE* Get() const { return file_; }
  // Flushes, closes and renames over the final path. False on any write
  // error (the temporary file is removed, the final path untouched).
  bool Commit();
  // Drops what was written.
  void Abandon();

  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }

 private:
  std::FILE* file_ = nullptr;
  std::string path_;
  std::string temp_path_;  // empty when writing in place
  std::string error_;
};

// Opens `path` for appending (logs that grow run after run), creating it;
// a link at that name is not followed and gives nullptr, as does any other
// failure (errno says why).
std::FILE* OpenForAppend(const std::string& path);

// Creates `path` if absent and leaves it as it is if present, never through
// a link planted at that name (the link is removed first). For marker files
// whose presence is the message.
bool TouchWithoutFollowing(const std::string& path);

// Writes `content` whole or not at all.
bool WriteWholeFile(const std::string& path, const std::string& content, std::string* error = nullptr);

// True when the two paths name one file (same device and inode), whatever
// their spelling; false when either does not exist.
bool SameFile(const std::string& a, const std::string& b);

// True when CSafeFile can write a result at `path`: a device, FIFO or
// descriptor name that opens for writing, or a name whose temporary file
// can be made beside it (made and removed at once: access() does not see a
// read-only mount, or a folder such as /proc that even root cannot fill).
// False for a folder. For checks before the work that would write it.
bool CanWrite(const std::string& path);

// The lock file's name in a locked folder.
inline constexpr const char* kLockFileName = ".tessera.lock";

class CFolderLock {
 public:
  enum class Mode { kWait, kNoWait };
  CFolderLock() = default;
  ~CFolderLock();
  CFolderLock(const CFolderLock&) = delete;
  CFolderLock& operator=(const CFolderLock&) = delete;

  // Takes an exclusive lock on ".tessera.lock" in `folder`. kWait blocks
  // until another run lets go (calling `waiting` once first, to say so);
  // kNoWait answers false at once when the folder is busy. A folder where no
  // lock file can be created is not locked and answers true: read-only
  // folders fail later, at the first write, with their own message.
  bool Acquire(const std::string& folder, Mode mode, void (*waiting)(const std::string& folder) = nullptr);
  void Release();

 private:
  int fd_ = -1;
};

// The lock of the working folder, held for a whole run by programs with
// fixed intermediate names there: waits for another run (saying so once on
// standard error) unless `no_wait`. False when another run holds it.
bool LockWorkingFolder(CFolderLock& lock, bool no_wait);

}  // namespace safefile
