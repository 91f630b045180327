// Several inputs of one run are pooled into one MGF file first. What the
// readers say goes to the error stream, never to standard output (the
// run's summary); with quiet their progress is not said at all.

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "drivers/cluster/loading/JobLoading.h"
#include "spectra/MS2Input.h"
#include "tests/support/Files.h"
#include "tests/support/ScratchDir.h"

namespace {

using PooledInputs = ScratchDirTest;

// An MGF file long enough for the reader to report progress (it looks at
// every 65,536th line): spectra of 1,000 peaks, 50 Da apart so that the
// clustering has little to do.
std::string LongMgf(const std::string& run, int spectra) {
  std::string text;
  for (int s = 1; s <= spectra; ++s) {
    text += "BEGIN IONS\nTITLE=" + run + "." + std::to_string(s) + "." + std::to_string(s) +
            ".2.dta\nPEPMASS=" + std::to_string(400 + 50 * s) + ".5\nCHARGE=2+\n";
    for (int p = 0; p < 1000; ++p) text += std::to_string(100 + p) + ".25 " + std::to_string(1 + p % 7) + "\n";
    text += "END IONS\n";
  }
  return text;
}

TEST_F(PooledInputs, ProgressGoesToTheErrorStreamAndQuietSaysNone) {
  const std::vector<std::string> inputs = {Write("a.mgf", LongMgf("a", 70)), Write("b.mgf", LongMgf("b", 3))};
  for (const bool quiet : {false, true}) {
    std::vector<std::string> leaked;  // what reached the notifier outside the pooling
    notify::ScopedHandler outside([&leaked](const std::string& m) { leaked.push_back(m); });
    std::ostringstream err;
    ASSERT_EQ(clusterjob::PoolInputs(inputs, File("pool.mgf"), quiet, err), "") << err.str();
    EXPECT_TRUE(leaked.empty()) << leaked[0];
    if (quiet) {
      EXPECT_EQ(err.str(), "");
    } else {
      EXPECT_NE(err.str().find(inputs[0] + ": 90%\n"), std::string::npos) << err.str();
      EXPECT_NE(err.str().find("Read " + inputs[1] + "\n"), std::string::npos) << err.str();
    }
    std::unique_ptr<CMS2Input> reader(CMS2InputFactory().GetImporter(MS2_FORMAT_MGF, false));
    std::vector<msdata::CSpectrum> pooled;
    ASSERT_TRUE(reader->Load(File("pool.mgf"), pooled, true));
    EXPECT_EQ(pooled.size(), 73u);
  }

  // Bad records are said even when quiet, beside the run's own messages.
  Write("c.mgf", LongMgf("c", 2) + "BEGIN IONS\nPEPMASS=abc\nEND IONS\n");
  std::ostringstream err;
  EXPECT_EQ(clusterjob::PoolInputs({inputs[1], File("c.mgf")}, File("pool.mgf"), true, err), "");
  EXPECT_NE(err.str().find("c.mgf: skipped 1 record"), std::string::npos) << err.str();
  EXPECT_NE(clusterjob::PoolInputs({inputs[1], File("c.txt")}, File("pool.mgf"), true, err).find("c.txt"),
            std::string::npos);
}

// The program itself: quiet, its standard output holds the summary alone.
TEST_F(PooledInputs, QuietProgramSaysNoProgress) {
  Write("a.mgf", LongMgf("a", 70));
  Write("b.mgf", LongMgf("b", 3));
  const std::string command = "cd '" + dir_.string() + "' && '" + TESSERA_BIN_DIR +
                              "/cluster' -q a.mgf b.mgf -o out > said.txt 2> err.txt";
  ASSERT_EQ(std::system(command.c_str()), 0) << testsupport::ReadFile(File("err.txt"));
  EXPECT_EQ(testsupport::ReadFile(File("said.txt")),
            "Parameter file: " + File("out/cluster.para") + "\nCluster file: " + File("out/clusters.csv") +
                "\nMGF file: " + File("out/spectra.mgf") + "\n");
  EXPECT_EQ(testsupport::ReadFile(File("err.txt")), "");
}

}  // namespace
