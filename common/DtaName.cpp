#include "common/DtaName.h"

#include <cerrno>
#include <cstdlib>

namespace msdata {

std::string MakeDtaName(const std::string& prefix, int first_scan, int last_scan, int charge) {
  return prefix + "." + std::to_string(first_scan) + "." + std::to_string(last_scan) + "." +
         std::to_string(charge) + ".dta";
}

namespace {

bool ParseInt(const std::string& s, int& value) {
  if (s.empty()) return false;
  char* end = nullptr;
  errno = 0;
  long v = std::strtol(s.c_str(), &end, 10);
  if (*end != '\0' || errno == ERANGE || v < -2147483648L || v > 2147483647L) return false;
  value = static_cast<int>(v);
  return true;
}

bool IsControl(char c) {
  const unsigned char u = static_cast<unsigned char>(c);
  return u < 0x20 || u == 0x7f;
}

// The rule shared by whole names and prefixes; `blanks` turns blanks into "_"
// too (the other blanks, tab and line ends, are control characters).
std::string Reduced(std::string_view text, bool blanks) {
  const std::size_t slash = text.find_last_of("/\\");
  if (slash != std::string_view::npos) text.remove_prefix(slash + 1);
  std::string name(text);
  for (char& c : name) {
    if (IsControl(c) || (blanks && c == ' ')) c = '_';
  }
  return name;
}

}  // namespace

std::string SafeSpectrumName(std::string_view name) {
  std::string safe = Reduced(name, false);
  if (safe.empty() || safe == ".") return "_";
  if (safe == "..") return "__";
  return safe;
}

std::string SpectrumNamePrefix(std::string_view text) { return Reduced(text, true); }

bool HasUnsafeNameCharacters(std::string_view text) {
  for (char c : text) {
    if (c == '/' || c == '\\' || IsControl(c)) return true;
  }
  return false;
}

bool ParseDtaName(const std::string& name, DtaNameParts& parts) {
  // Walk the last four dots from the end: prefix . first . last . charge . ext
  std::size_t dots[4];
  std::size_t pos = name.size();
  for (int k = 0; k < 4; ++k) {
    if (pos == 0) return false;
    std::size_t found = name.rfind('.', pos - 1);
    if (found == std::string::npos) return false;
    dots[k] = found;
    pos = found;
  }
  // dots[0] before the extension, dots[3] after the prefix.
  DtaNameParts out;
  out.prefix = name.substr(0, dots[3]);
  if (!ParseInt(name.substr(dots[3] + 1, dots[2] - dots[3] - 1), out.first_scan) ||
      !ParseInt(name.substr(dots[2] + 1, dots[1] - dots[2] - 1), out.last_scan) ||
      !ParseInt(name.substr(dots[1] + 1, dots[0] - dots[1] - 1), out.charge))
    return false;
  parts = out;
  return true;
}

}  // namespace msdata
