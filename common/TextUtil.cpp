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

std::string Join(const std::vector<std::string>& parts, std::string_view separator) {
  std::string joined;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i > 0) joined += separator;
    joined += parts[i];
  }
  return joined;
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

namespace {

// One character, UTF-8 encoded.
void AppendUtf8(char32_t c, std::string& out) {
  if (c < 0x80) {
    out += static_cast<char>(c);
  } else if (c < 0x800) {
    out += static_cast<char>(0xC0 | (c >> 6));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else if (c < 0x10000) {
    out += static_cast<char>(0xE0 | (c >> 12));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (c >> 18));
    out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (c & 0x3F));
  }
}

// The character of a well-formed UTF-8 sequence at `at` (shortest form, no
// surrogate, at most U+10FFFF) and its length; length 0 where none starts.
char32_t DecodeUtf8(std::string_view text, std::size_t at, std::size_t& length) {
  length = 0;
  const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[at + k]); };
  const unsigned char lead = byte(0);
  std::size_t n = 0;
  char32_t c = 0, least = 0;
  if (lead < 0x80) {
    length = 1;
    return lead;
  } else if ((lead & 0xE0) == 0xC0) {
    n = 2, c = lead & 0x1F, least = 0x80;
  } else if ((lead & 0xF0) == 0xE0) {
    n = 3, c = lead & 0x0F, least = 0x800;
  } else if ((lead & 0xF8) == 0xF0) {
    n = 4, c = lead & 0x07, least = 0x10000;
  } else {
    return 0;
  }
  if (at + n > text.size()) return 0;
  for (std::size_t k = 1; k < n; ++k) {
    if ((byte(k) & 0xC0) != 0x80) return 0;
    c = (c << 6) | (byte(k) & 0x3F);
  }
  if (c < least || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  length = n;
  return c;
}

// Characters no attribute carries: the C0 and C1 controls and DEL (XML 1.0
// forbids most of them outright, and in a name or a peptide any of them is
// damage, not content), and the two that XML 1.0 excludes from its range.
bool Unwritten(char32_t c) {
  return c < 0x20 || (c >= 0x7F && c <= 0x9F) || c == 0xFFFE || c == 0xFFFF;
}

// Valid UTF-8 that every XML and JSON reader takes. Spectrum names and titles come from files of any age and
// origin; a byte that begins no UTF-8 sequence is read as Latin-1, the
// encoding such files were most often written in (a title "caf\xe9" becomes
// "café"), except where Latin-1 has a control character there; that byte,
// like every control character, becomes U+FFFD, the replacement character.
}  // namespace

std::string ValidUtf8(std::string_view text) {
  constexpr char32_t kReplacement = 0xFFFD;
  std::string out;
  out.reserve(text.size());
  for (std::size_t at = 0; at < text.size();) {
    std::size_t length = 0;
    char32_t c = DecodeUtf8(text, at, length);
    if (length == 0) {
      c = static_cast<unsigned char>(text[at]);
      length = 1;
    }
    AppendUtf8(Unwritten(c) ? kReplacement : c, out);
    at += length;
  }
  return out;
}


std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (const char c : ValidUtf8(text)) {
    if (c == '"' || c == '\\') out += '\\';
    out += c;
  }
  return out + "\"";
}

}  // namespace text
