#pragma once
// File helpers of the tests and benchmarks: whole files in and out, and
// folders that exist only for one test, so that a test run leaves nothing
// behind in the folder it was started from.

#include <filesystem>
#include <string>

namespace testsupport {

// The whole file, byte for byte; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes `content` byte for byte, replacing the file.
void WriteFile(const std::string& path, const std::string& content);

// A fresh folder under the system's temporary folder, removed with its
// content when the object goes.
class CTempDir {
 public:
  explicit CTempDir(const std::string& label = "test");
  ~CTempDir();
  CTempDir(const CTempDir&) = delete;
  CTempDir& operator=(const CTempDir&) = delete;

  const std::filesystem::path& Path() const { return dir_; }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }
  // Writes `content` to a file of the folder; its path.
  std::string Write(const std::string& name, const std::string& content) const;

 private:
  std::filesystem::path dir_;
};

// Makes `dir` the current folder while it lives (programs under test write
// fixed names such as "error_happened.error" into the current folder).
class CCurrentDir {
 public:
  explicit CCurrentDir(const std::filesystem::path& dir);
  ~CCurrentDir();
  CCurrentDir(const CCurrentDir&) = delete;
  CCurrentDir& operator=(const CCurrentDir&) = delete;

 private:
  std::filesystem::path previous_;
};

}  // namespace testsupport
