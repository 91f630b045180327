#pragma once
// Shared fixtures of the Shiftscan tests: a scratch working folder and a
// deterministic synthetic precursor set.

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include <sys/wait.h>

#include "common/Notifier.h"
#include "moddetect/PrecursorList.h"
#include "tests/support/Files.h"
#include "tests/support/ScratchDir.h"

namespace shftest {

// Runs each test in a scratch folder of its own as the working folder
// (Shiftscan writes its files there) and collects notifier messages.
class WorkingDirTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    current_ = std::make_unique<testsupport::CCurrentDir>(dir_);
    handler_ = std::make_unique<notify::ScopedHandler>([this](const std::string& m) { messages_.push_back(m); });
  }
  void TearDown() override {
    handler_.reset();
    current_.reset();
    ScratchDirTest::TearDown();
  }
  bool HasMessage(const std::string& text) const {
    for (const auto& m : messages_)
      if (m.find(text) != std::string::npos) return true;
    return false;
  }

  std::vector<std::string> messages_;

 private:
  std::unique_ptr<testsupport::CCurrentDir> current_;
  std::unique_ptr<notify::ScopedHandler> handler_;
};

// The Shiftscan program under test; empty when the build did not say.
inline std::string ShiftscanExe() {
  const char* exe = std::getenv("SHIFTSCAN_EXE");
  return exe ? exe : "";
}

// Runs `args` (the program first) in the current folder with no input,
// standard output to `out` and standard error to `err`; answers the exit
// status, -1 when the program did not exit normally.
inline int RunProgram(const std::vector<std::string>& args, const std::string& out = "/dev/null",
                      const std::string& err = "/dev/null") {
  std::string command;
  for (const std::string& a : args) command += "'" + a + "' ";
  command += "< /dev/null > '" + out + "' 2> '" + err + "'";
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// The last line of a console text; empty when there is none.
inline std::string LastLine(std::string text) {
  while (!text.empty() && text.back() == '\n') text.pop_back();
  const std::size_t line_start = text.rfind('\n');
  return line_start == std::string::npos ? text : text.substr(line_start + 1);
}

// Deterministic random numbers (the standard distributions differ between
// library versions, the raw engine does not).
class Random {
 public:
  explicit Random(std::uint32_t seed) : engine_(seed) {}
  double Uniform(double a, double b) { return a + (b - a) * (engine_() / 4294967296.0); }
  double Gauss(double mean, double sigma) {
    const double u1 = (engine_() + 1.0) / 4294967297.0;
    const double u2 = engine_() / 4294967296.0;
    return mean + sigma * std::sqrt(-2.0 * std::log(u1)) * std::cos(6.283185307179586 * u2);
  }
  std::uint32_t Next() { return engine_(); }

 private:
  std::mt19937 engine_;
};

// `background` random precursors plus `pairs` unmodified/modified pairs
// with the given mass shift and retention-time shift, in random order.
inline std::vector<PrecursorRecord> SyntheticPrecursors(std::uint32_t seed, int background, int pairs,
                                                        double shift, double time_shift,
                                                        double mass_lo = 800.0, double mass_hi = 3000.0) {
  Random rnd(seed);
  std::vector<PrecursorRecord> out;
  auto add = [&](double mh, double rt, int z) {
    PrecursorRecord r;
    r.mh = mh;
    r.retention_time = rt;
    r.charge = z;
    out.push_back(r);
  };
  for (int i = 0; i < background; ++i)
    add(rnd.Uniform(mass_lo, mass_hi), rnd.Uniform(10, 120), 2 + static_cast<int>(rnd.Next() % 2));
  for (int i = 0; i < pairs; ++i) {
    const double mh = rnd.Uniform(mass_lo, mass_hi), rt = rnd.Uniform(10, 110);
    add(mh, rt, 2);
    add(mh + shift + rnd.Gauss(0, 0.002), rt + time_shift + rnd.Gauss(0, 0.3), 2);
  }
  for (std::size_t i = out.size(); i > 1; --i) std::swap(out[i - 1], out[rnd.Next() % i]);
  for (std::size_t i = 0; i < out.size(); ++i) {
    out[i].scan = static_cast<std::int32_t>(i + 1);
    out[i].title = "syn." + std::to_string(i + 1) + "." + std::to_string(i + 1) + "." +
                   std::to_string(out[i].charge) + ".dta";
  }
  return out;
}

// The same records as a precursor dump text.
inline std::string DumpText(const std::vector<PrecursorRecord>& records) {
  std::string text = kDumpHeader;
  char line[256];
  for (const auto& r : records) {
    std::snprintf(line, sizeof line, "%d MS2 %f ITMS CID %d %d %f %f\n", r.scan, r.retention_time, r.scan - 1,
                  r.charge, r.mh, r.mh / r.charge);
    text += line;
  }
  return text;
}

}  // namespace shftest
