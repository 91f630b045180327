#include "common/PathUtil.h"

#include <cstdio>
#include <filesystem>
#include <system_error>
#include <unistd.h>

#include "common/SafeFile.h"
#include "common/TextUtil.h"

namespace fs = std::filesystem;

namespace path {

std::string Join(const std::string& directory, const std::string& name) {
  if (directory.empty()) return name;
  return (fs::path(directory) / name).string();
}

bool Exists(const std::string& p) {
  std::error_code ec;
  return !p.empty() && fs::exists(p, ec);
}

bool IsDirectory(const std::string& p) {
  std::error_code ec;
  return !p.empty() && fs::is_directory(p, ec);
}

bool IsRegularFile(const std::string& p) {
  std::error_code ec;
  return !p.empty() && fs::is_regular_file(p, ec);
}

bool CreateDirectory(const std::string& p) {
  if (p.empty()) return false;
  std::error_code ec;
  fs::create_directories(p, ec);
  return fs::is_directory(p, ec);
}

bool CopyFile(const std::string& from, const std::string& to) {
  // Written whole or not at all, and never through a link planted at a
  // temporary name: a copy cut short (a full disk) must not stand under the
  // target's name.
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (!in) return false;
  safefile::CSafeFile out;
  bool ok = out.Open(to, "wb");
  char buffer[1 << 16];
  while (ok) {
    const std::size_t n = std::fread(buffer, 1, sizeof buffer, in);
    if (n > 0 && std::fwrite(buffer, 1, n, out.Get()) != n) ok = false;
    if (n < sizeof buffer) {
      ok = ok && std::ferror(in) == 0;
      break;
    }
  }
  std::fclose(in);
  return ok && out.Commit();
}

bool RemoveFile(const std::string& p) {
  std::error_code ec;
  return fs::remove(p, ec);
}

static std::size_t LastSeparator(const std::string& p) { return p.find_last_of("/\\"); }

std::string FileName(const std::string& p) {
  std::size_t sep = LastSeparator(p);
  return sep == std::string::npos ? p : p.substr(sep + 1);
}

std::string DirectoryOf(const std::string& p) {
  std::size_t sep = LastSeparator(p);
  return sep == std::string::npos ? std::string() : p.substr(0, sep);
}

std::string BaseName(const std::string& p) {
  std::string name = FileName(p);
  std::size_t dot = name.rfind('.');
  return (dot == std::string::npos || dot == 0) ? name : name.substr(0, dot);
}

std::string Extension(const std::string& p) {
  std::string name = FileName(p);
  std::size_t dot = name.rfind('.');
  return (dot == std::string::npos || dot == 0) ? std::string() : text::ToLower(name.substr(dot + 1));
}

std::string ProgramDirectory() {
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec) return ".";
  return exe.parent_path().string();
}

}  // namespace path

namespace path {

std::string Absolute(const std::string& p) {
  std::error_code ec;
  const std::filesystem::path a = std::filesystem::absolute(p, ec);
  return ec ? p : a.lexically_normal().string();
}

}  // namespace path
