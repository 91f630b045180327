#include "common/TextUtil.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <filesystem>

namespace text {

bool ReadLine(std::istream& in, std::string& line) {
  line.clear();
  if (!std::getline(in, line)) {
    return !line.empty();
  }
  if (!line.empty() && line.back() == '\r') line.pop_back();
  return true;
}

bool OpenInput(std::ifstream& in, const std::string& path) {
  std::error_code ec;
  if (path.empty() || std::filesystem::is_directory(path, ec)) return false;
  in.open(path, std::ios::binary);
  return static_cast<bool>(in);
}

std::string ToLower(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return out;
}

std::string ToUpper(std::string_view s) {
  std::string out(s);
  std::transform(out.begin(), out.end(), out.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return out;
}

static bool IsTrailingSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string TrimRight(std::string_view s) {
  std::size_t end = s.size();
  while (end > 0 && IsTrailingSpace(s[end - 1])) --end;
  return std::string(s.substr(0, end));
}

std::string Trim(std::string_view s) {
  std::size_t begin = 0;
  while (begin < s.size() && IsTrailingSpace(s[begin])) ++begin;
  return TrimRight(s.substr(begin));
}

bool StartsWith(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

bool EndsWith(std::string_view s, std::string_view suffix) {
  return s.size() >= suffix.size() &&
         s.compare(s.size() - suffix.size(), suffix.size(), suffix) == 0;
}

bool EqualsNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  }
  return true;
}

int AtoI(std::string_view s) {
  // strtol saturates where atoi overflows; the saturated value is the sound one.
  std::string copy(s);
  long v = std::strtol(copy.c_str(), nullptr, 10);
  if (v > 2147483647L) return 2147483647;
  if (v < -2147483647L - 1) return -2147483647 - 1;
  return static_cast<int>(v);
}

double AtoF(std::string_view s) {
  std::string copy(s);
  return std::strtod(copy.c_str(), nullptr);
}

std::string XmlEscaped(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      case '\'': out += "&apos;"; break;
      case '\t': out += "&#9;"; break;
      case '\n': out += "&#10;"; break;
      case '\r': out += "&#13;"; break;
      default: out += static_cast<unsigned char>(c) < 0x20 ? '?' : c;
    }
  }
  return out;
}

std::vector<std::string> Split(std::string_view s, char separator) {
  std::vector<std::string> fields;
  for (;;) {
    const std::size_t at = s.find(separator);
    fields.emplace_back(s.substr(0, at));
    if (at == std::string_view::npos) return fields;
    s.remove_prefix(at + 1);
  }
}

}  // namespace text
