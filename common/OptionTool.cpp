#include "common/OptionTool.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <utility>

#include "common/TextUtil.h"

namespace {

// Case-insensitive comparison of the first prefix.size() characters.
bool BeginsWithNoCase(const std::string& line, const std::string& prefix) {
  return line.size() >= prefix.size() &&
         text::EqualsNoCase(std::string_view(line).substr(0, prefix.size()), prefix);
}

// Opens the file and reads past the section's header line; false when the
// file has no such section. Throws when the file cannot be read.
bool OpenAtSection(const std::string& section, const std::string& path, std::ifstream& in) {
  in.open(path, std::ios::binary);
  if (!in) throw COptionToolException(path);
  const std::string header = "[" + section + "]";
  std::string line;
  while (text::ReadLine(in, line)) {
    if (BeginsWithNoCase(line, header)) return true;
  }
  return false;
}

}  // namespace

COptionToolException::COptionToolException(const std::string& path)
    : std::runtime_error("COptionTool::_GetPrivateProfileString: cannot find the file. " + path),
      path_(path) {}

COptionTool::COptionTool(std::string section, std::string path)
    : section_(std::move(section)), path_(std::move(path)) {}

std::string COptionTool::GetString(const std::string& key, const std::string& def) const {
  return ReadValue(section_, key, def, path_);
}

int COptionTool::GetInteger(const std::string& key, int def) const {
  bool found = false;
  std::string value = ReadValue(section_, key, std::string(), path_, &found);
  return found ? text::AtoI(value) : def;
}

std::string COptionTool::ReadValue(const std::string& section, const std::string& key,
                                   const std::string& def, const std::string& path,
                                   bool* found) {
  if (found) *found = false;
  std::ifstream in;
  if (!OpenAtSection(section, path, in)) return def;
  std::string line;
  while (text::ReadLine(in, line)) {
    if (line.size() > key.size() && line[key.size()] == '=' && BeginsWithNoCase(line, key)) {
      std::string value = line.substr(key.size() + 1);
      while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
      if (found) *found = true;
      return value;
    }
  }
  return def;
}

std::map<std::string, std::string> COptionTool::ReadKeys(const std::string& section, const std::string& path) {
  std::map<std::string, std::string> keys;
  std::ifstream in;
  if (!OpenAtSection(section, path, in)) return keys;
  std::string line;
  while (text::ReadLine(in, line)) {
    const std::size_t eq = line.find('=');
    if (eq == std::string::npos || eq == 0) continue;
    std::string value = line.substr(eq + 1);
    while (!value.empty() && (value.back() == '\r' || value.back() == '\n')) value.pop_back();
    keys.emplace(text::ToLower(line.substr(0, eq)), std::move(value));
  }
  return keys;
}

std::size_t COptionTool::_GetPrivateProfileString(const char* section, const char* key,
                                                  const char* def, char* out, std::size_t size,
                                                  const char* path) {
  const std::string fallback = def ? def : "";
  auto copy_out = [out, size](const std::string& value) -> std::size_t {
    if (!out || size == 0) return 0;
    std::size_t n = std::min(value.size(), size - 1);
    std::memcpy(out, value.data(), n);
    out[n] = '\0';
    return n;
  };
  std::string value;
  try {
    value = ReadValue(section ? section : "", key ? key : "", fallback, path ? path : "");
  } catch (const COptionToolException&) {
    copy_out(fallback);
    throw;
  }
  return copy_out(value);
}
