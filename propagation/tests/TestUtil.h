#pragma once
// What the propagation tests share: a scratch folder that is also the
// working folder, the notifier's messages, the golden job's data and the
// parameter-file layout.

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "tests/support/Files.h"
#include "tests/support/ScratchDir.h"

namespace proptest {

using testsupport::ReadFile;

// A scratch folder of the test's own that is also the working folder while
// the test runs: the job writes "pair_with_result.txt" into the working
// folder, and the programs under test their "out.txt" and "err.txt".
class JobDirTest : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    working_ = std::make_unique<testsupport::CCurrentDir>(dir_);
  }
  void TearDown() override {
    working_.reset();
    ScratchDirTest::TearDown();
  }
  std::string Path() const { return dir_.string(); }

 private:
  std::unique_ptr<testsupport::CCurrentDir> working_;
};

inline std::string SourceData(const std::string& name) {
  return std::string(TESSERA_SOURCE_DIR) + "/propagation/tests/data/" + name;
}

// Copies the golden job's inputs into `dir`, its parameter file when asked.
inline void CopyGoldenInputs(const std::filesystem::path& dir, bool with_para = false) {
  std::vector<std::string> names = {"results.spectra", "clusters.csv", "pairs.csv"};
  if (with_para) names.push_back("job.para");
  for (const std::string& name : names) std::filesystem::copy_file(SourceData("golden/" + name), dir / name);
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
