#pragma once
// Helpers shared by the clustering tests: the test data folder, spectra
// made by hand, and the scratch folder the engine's jobs run in.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "clustering/Progress.h"
#include "common/Notifier.h"
#include "common/Spectrum.h"
#include "tests/support/Files.h"
#include "tests/support/ScratchDir.h"

namespace testsupport {

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

// A scratch folder of its own per test, made the current folder while the
// test runs, since the pair search writes "score.txt" and "temp.temp"
// there. Notifier lines and progress fragments are kept in messages_.
class ScratchDir : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    inside_ = std::make_unique<CCurrentDir>(dir_);
    previous_notify_ = notify::SetHandler([this](const std::string& m) { messages_ += m + "\n"; });
    previous_progress_ = progress::SetSink([this](const std::string& m) { messages_ += m; });
  }
  void TearDown() override {
    notify::SetHandler(previous_notify_);
    progress::SetSink(previous_progress_);
    inside_.reset();
    ScratchDirTest::TearDown();
  }

  std::string messages_;  // notifier lines and progress fragments, in order

 private:
  std::unique_ptr<CCurrentDir> inside_;
  notify::Handler previous_notify_;
  progress::Sink previous_progress_;
};

}  // namespace testsupport
