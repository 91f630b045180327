// Runs that cannot give their whole result fail visibly: the marker, a
// message naming the cause, and no partial file under a final name.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "common/ErrorMarker.h"
#include "common/SafeFile.h"
#include "moddetect/DetectionRun.h"
#include "TestSupport.h"

namespace {

class ShiftscanFailures : public shftest::WorkingDirTest {
 protected:
  void SetUp() override {
    shftest::WorkingDirTest::SetUp();
    std::filesystem::copy_file(std::string(TESSERA_SOURCE_DIR) + "/moddetect/tests/data/small.dump", "small.dump");
  }
  std::string Run(const std::string& extra_lines) {
    testsupport::WriteFile("run.cfg", "[DATA]\nfilepath=small.dump\nfiletype=DUMP\n[MODIFICATION]\nmodmasslower=1\n"
                                  "modmassupper=40\n" + extra_lines);
    std::ostringstream out;
    CDetectionRun run(out);
    status_ = run.Run("run.cfg");
    return out.str();
  }
  int status_ = 0;
};

TEST_F(ShiftscanFailures, RefusesValuesThatWouldExhaustTimeOrAreNotNumbers) {
  for (const char* line :
       {"[MODIFICATION]\nmodmasslower=-2147483648\n", "[OTHER]\nmasstol=nan\n", "[OTHER]\nmasstol=-5\n",
        "[PAIR]\nppthres=1.5\n"}) {
    const std::string console = Run(line);
    EXPECT_EQ(status_, 1) << line;
    EXPECT_NE(console.find("Error: "), std::string::npos) << console;
    EXPECT_TRUE(marker::ErrorMarkerExists()) << line;
    marker::RemoveErrorMarker();
  }
}

TEST_F(ShiftscanFailures, PairFolderThatCannotBeCreatedFailsTheRun) {
  testsupport::WriteFile("blocker", "a file where the folder should go\n");
  const std::string console = Run("[PAIR]\nfindpair=1\npairpath=blocker/pairs\n");
  EXPECT_EQ(status_, 1);
  EXPECT_NE(console.find("cannot create the pair folder: blocker/pairs"), std::string::npos) << console;
  EXPECT_TRUE(marker::ErrorMarkerExists());
  EXPECT_FALSE(std::filesystem::exists("temp.temp"));
}

TEST_F(ShiftscanFailures, ItsOwnResultFileIsNeverItsInput) {
  std::filesystem::copy_file("small.dump", "temp.temp");
  const auto before = std::filesystem::file_size("temp.temp");
  testsupport::WriteFile("run.cfg", "[DATA]\nfilepath=temp.temp\nfiletype=DUMP\n");
  std::ostringstream out;
  CDetectionRun run(out);
  EXPECT_EQ(run.Run("run.cfg"), 1);
  EXPECT_NE(out.str().find("would be overwritten"), std::string::npos) << out.str();
  EXPECT_EQ(std::filesystem::file_size("temp.temp"), before);
  EXPECT_TRUE(marker::ErrorMarkerExists());
}

TEST_F(ShiftscanFailures, FullDiskLeavesMarkerAndNoTable) {
  const char* exe = std::getenv("SHIFTSCAN_EXE");
  if (!exe) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  testsupport::WriteFile("run.cfg", "[DATA]\nfilepath=small.dump\nfiletype=DUMP\n[MODIFICATION]\nmodmasslower=1\n"
                                "modmassupper=40\n[PAIR]\nfindpair=1\npairpath=pairs\n");
  // A file-size limit of one block stands in for a full disk.
  const std::string cmd = std::string("bash -c \"trap '' XFSZ; ulimit -f 1; '") + exe +
                          "' run.cfg < /dev/null > console.txt 2>&1\"";
  EXPECT_EQ(std::system(cmd.c_str()), 0);  // the status is 0 by contract
  EXPECT_TRUE(marker::ErrorMarkerExists()) << testsupport::ReadFile("console.txt");
  EXPECT_FALSE(std::filesystem::exists("temp.temp"));
  for (const auto& entry : std::filesystem::directory_iterator("pairs"))
    EXPECT_NE(std::filesystem::file_size(entry.path()), 0u) << entry.path();
}

TEST_F(ShiftscanFailures, SecondRunInOneFolderWaitsOrFailsWithNoWait) {
  const char* exe = std::getenv("SHIFTSCAN_EXE");
  if (!exe) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  safefile::CFolderLock held;
  ASSERT_TRUE(held.Acquire(".", safefile::CFolderLock::Mode::kNoWait));
  testsupport::WriteFile("run.cfg", "[DATA]\nfilepath=small.dump\nfiletype=DUMP\n");
  const std::string cmd = std::string("'") + exe + "' --no-wait run.cfg < /dev/null > console.txt";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  EXPECT_TRUE(marker::ErrorMarkerExists());
  EXPECT_NE(testsupport::ReadFile("console.txt").find("another run is using this working folder"), std::string::npos);
}

}  // namespace
