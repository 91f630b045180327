#pragma once
// Small pieces shared by the sources of the propagation library.

#include <cstdarg>
#include <cstdio>
#include <string>

namespace propagation_detail {

// printf-style text appended to a report held in memory; reports are
// written whole once the job is done, so that a failed run leaves the
// previous ones as they were.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
inline void Appendf(std::string& out, const char* format, ...) {
  char buffer[512];
  std::va_list args;
  va_start(args, format);
  std::va_list again;
  va_copy(again, args);
  const int n = std::vsnprintf(buffer, sizeof buffer, format, args);
  va_end(args);
  if (n < 0) {
    va_end(again);
    return;
  }
  if (static_cast<std::size_t>(n) < sizeof buffer) {
    out.append(buffer, static_cast<std::size_t>(n));
  } else {
    const std::size_t old = out.size();
    out.resize(old + static_cast<std::size_t>(n) + 1);
    std::vsnprintf(&out[old], static_cast<std::size_t>(n) + 1, format, again);
    out.resize(old + static_cast<std::size_t>(n));
  }
  va_end(again);
}

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
