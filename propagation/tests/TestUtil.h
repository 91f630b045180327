#pragma once
// Scratch directories, file helpers and a message log for the propagation tests.

#include <atomic>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/Notifier.h"

namespace proptest {

// A fresh directory that is also the working directory while the object
// lives (the job writes "pair_with_result.txt" into the working directory).
class ScratchDir {
 public:
  explicit ScratchDir(const std::string& name) : previous_(std::filesystem::current_path()) {
    static std::atomic<int> counter{0};
    dir_ = previous_ / ("scratch_" + name + "_" + std::to_string(counter++));
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
  }
  ~ScratchDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
  }
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  std::string path() const { return dir_.string(); }
  std::string operator/(const std::string& name) const { return (dir_ / name).string(); }

 private:
  std::filesystem::path previous_;
  std::filesystem::path dir_;
};

inline void WriteFile(const std::string& path, const std::string& content) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << content;
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

inline std::string SourceData(const std::string& name) {
  return std::string(TESSERA_SOURCE_DIR) + "/propagation/tests/data/" + name;
}

// Collects the notifier's messages while it lives.
class MessageLog {
 public:
  MessageLog() : scoped_([this](const std::string& m) { messages.push_back(m); }) {}
  bool Contains(const std::string& part) const {
    for (const auto& m : messages)
      if (m.find(part) != std::string::npos) return true;
    return false;
  }
  std::vector<std::string> messages;

 private:
  notify::ScopedHandler scoped_;
};

// The parameter file of a job, in the layout the desktop writes.
inline std::string ParaText(const std::string& pair, const std::string& result,
                            const std::string& cluster = "", const std::string& dta = "",
                            int mod_count = 1) {
  return "PairFile=" + pair + "\nResultFile=" + result + "\nClusterFile=" + cluster +
         "\nDTAPath=" + dta + "\nModCounT=" + std::to_string(mod_count) +
         "\nIsModSiteDetermined=0\nIsDirectory=0\n";
}

}  // namespace proptest
