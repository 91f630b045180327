#pragma once
// Helpers shared by the clustering tests.

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "common/Spectrum.h"
#include "clustering/Progress.h"

namespace testsupport {

inline std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

inline void WriteText(const std::string& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary);
  out << text;
}

inline std::string DataFile(const std::string& name) {
  return std::string(TESSERA_SOURCE_DIR) + "/clustering/tests/data/" + name;
}

inline msdata::CSpectrum MakeSpectrum(const std::string& name, double mass, int charge,
                                      msdata::PeakList peaks) {
  msdata::CSpectrum s;
  s.name = name;
  s.precursor_mass = mass;
  s.charge = charge;
  s.peaks = std::move(peaks);
  return s;
}

// A fresh directory per test, made the working directory for the test's
// duration, since the engine writes some files there.
class ScratchDir : public ::testing::Test {
 protected:
  void SetUp() override {
    old_cwd_ = std::filesystem::current_path();
    dir_ = std::filesystem::temp_directory_path() /
           ("tessera_clu_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    std::filesystem::current_path(dir_);
    previous_notify_ = notify::SetHandler([this](const std::string& m) { messages_ += m + "\n"; });
    previous_progress_ = progress::SetSink([this](const std::string& m) { messages_ += m; });
  }
  void TearDown() override {
    notify::SetHandler(previous_notify_);
    progress::SetSink(previous_progress_);
    std::filesystem::current_path(old_cwd_);
    std::filesystem::remove_all(dir_);
  }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
  std::filesystem::path old_cwd_;
  std::string messages_;  // notifier lines and progress fragments, in order
  notify::Handler previous_notify_;
  progress::Sink previous_progress_;
};

}  // namespace testsupport
