#pragma once
// Reader for the small INI-style files of this system ("aa.ini",
// "modify.ini", Tagram result files).
//
// Lookup rules, which other programs' files rely on:
// - the section is the first line that begins with "[" + section + "]";
// - after it, a line holds the key when the character at the key's length is
//   "=" and the text before it is the key; the value is the rest of the line;
// - the key search runs on to the end of the file, across later section
//   headers, so a key in a later section is still found;
// - section and key names match without regard to case, values keep theirs;
// - lines are read whole, and CRLF files read like LF files.

#include <cstddef>
#include <stdexcept>
#include <map>
#include <string>

// Raised when the file to read cannot be opened: the one case the option
// reader does not answer with the default alone.
class COptionToolException : public std::runtime_error {
 public:
  explicit COptionToolException(const std::string& path);
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

class COptionTool {
 public:
  COptionTool(std::string section, std::string path);

  // The value of `key` in this tool's section, `def` when the section or the
  // key is missing. Throws COptionToolException when the file cannot be read.
  std::string GetString(const std::string& key, const std::string& def) const;
  // The value converted like atoi; `def` when the key is missing.
  int GetInteger(const std::string& key, int def) const;

  const std::string& section() const { return section_; }
  const std::string& path() const { return path_; }

  // The lookup with a caller's buffer: the value (or the default) is copied
  // into `out`, cut to `size` - 1 characters and terminated; returns the
  // number of characters copied. Throws COptionToolException, after copying
  // the default, when the file cannot be opened.
  static std::size_t _GetPrivateProfileString(const char* section, const char* key,
                                              const char* def, char* out,
                                              std::size_t size, const char* path);

  // The same lookup without a length limit. `found` tells whether the key
  // was present.
  static std::string ReadValue(const std::string& section, const std::string& key,
                               const std::string& def, const std::string& path,
                               bool* found = nullptr);

  // Every "key=value" line that ReadValue would find after the section's
  // header, in one pass: keys (text before the first "=") lower-cased, the
  // first occurrence of a key winning, as ReadValue's search does for keys
  // without "=". For readers that look up many keys of one file. Throws
  // COptionToolException when the file cannot be read.
  static std::map<std::string, std::string> ReadKeys(const std::string& section, const std::string& path);

 private:
  std::string section_;
  std::string path_;
};
