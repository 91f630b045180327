#include "tests/support/Files.h"

#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <system_error>

namespace testsupport {

namespace fs = std::filesystem;

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << content;
}

CTempDir::CTempDir(const std::string& label) {
  // mkdtemp gives a name no other run has, whatever runs beside this one.
  std::string pattern = (fs::temp_directory_path() / ("tessera_" + label + "_XXXXXX")).string();
  if (::mkdtemp(pattern.data()) == nullptr) std::abort();
  dir_ = pattern;
}

CTempDir::~CTempDir() {
  std::error_code ec;
  fs::remove_all(dir_, ec);
}

std::string CTempDir::Write(const std::string& name, const std::string& content) const {
  const std::string path = File(name);
  WriteFile(path, content);
  return path;
}

CCurrentDir::CCurrentDir(const fs::path& dir) : previous_(fs::current_path()) { fs::current_path(dir); }

CCurrentDir::~CCurrentDir() {
  std::error_code ec;
  fs::current_path(previous_, ec);
}

}  // namespace testsupport
