#pragma once
// Small pieces shared by the sources of the propagation library.

#include <cstdio>
#include <memory>
#include <string>

namespace propagation_detail {

// An output file closed with its owner; Close() tells whether every write
// reached the file.
class File {
 public:
  explicit File(std::FILE* f) : f_(f) {}
  ~File() {
    if (f_) std::fclose(f_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  explicit operator bool() const { return f_ != nullptr; }
  std::FILE* get() const { return f_; }
  bool Close() {
    if (!f_) return false;
    const bool ok = std::ferror(f_) == 0;
    const bool closed = std::fclose(f_) == 0;
    f_ = nullptr;
    return ok && closed;
  }

 private:
  std::FILE* f_;
};

// An identification that names a peptide. Readers leave empty texts for
// records without one; carrying those would give spectra modification items
// without a sequence.
inline bool HasPeptide(const std::string& identification) {
  return !identification.empty() && identification[0] != ' ';
}

// Joins a directory and a name with "/" unless the directory already ends
// in "/" or "\".
inline std::string JoinPath(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  const char last = directory.back();
  if (last == '/' || last == '\\') return directory + name;
  return directory + "/" + name;
}

}  // namespace propagation_detail
