#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/wait.h>
#include <sstream>
#include <vector>

#include "common/Dta.h"
#include "drivers/dtaexport/DtaExport.h"
#include "tests/support/ScratchDir.h"

namespace fs = std::filesystem;

namespace {

int RunExport(std::vector<std::string> args, std::string& console) {
  args.insert(args.begin(), "dtaexport");
  std::vector<const char*> argv;
  for (const std::string& a : args) argv.push_back(a.c_str());
  std::ostringstream out;
  const int status = dtaexport::Run(static_cast<int>(argv.size()), argv.data(), out);
  console = out.str();
  return status;
}

const std::string kData = std::string(TESSERA_SOURCE_DIR) + "/spectra/tests/data/";

using testsupport::ReadFile;

// Each test runs in a scratch folder of its own, so that the outputs named
// on its command lines, relative spellings included, land there.
class DtaExport : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    inside_ = std::make_unique<testsupport::CCurrentDir>(dir_);
  }
  void TearDown() override {
    inside_.reset();
    ScratchDirTest::TearDown();
  }

 private:
  std::unique_ptr<testsupport::CCurrentDir> inside_;
};

}  // namespace

TEST_F(DtaExport, WritesOneReadableDtaPerSpectrum) {
  std::string console;
  ASSERT_EQ(RunExport({kData + "basic.mgf", "export_mgf"}, console), 0) << console;

  // The two-charge spectrum becomes two files; names are the spectra's own.
  ASSERT_TRUE(fs::exists("export_mgf/run1.100.100.2.dta"));
  EXPECT_TRUE(fs::exists("export_mgf/basic.200.202.2.dta"));
  EXPECT_TRUE(fs::exists("export_mgf/basic.200.202.3.dta"));
  msdata::CSpectrum s;
  std::string error;
  ASSERT_TRUE(msdata::ReadDta("export_mgf/run1.100.100.2.dta", s, error)) << error;
  EXPECT_EQ(s.charge, 2);
  ASSERT_EQ(s.peaks.size(), 3u);
  EXPECT_EQ(s.peaks[0], msdata::Peak(200.2, 20.5));

  // An export can be read back as a DTA directory with the same spectra.
  ASSERT_EQ(RunExport({"export_mgf", "export_again"}, console), 0) << console;
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator("export_again")) files += entry.is_regular_file();
  std::size_t first = 0;
  for (const auto& entry : fs::directory_iterator("export_mgf")) first += entry.is_regular_file();
  EXPECT_EQ(files, first);
}

TEST_F(DtaExport, BadInputFailsWithAMessage) {
  std::string console;
  EXPECT_EQ(RunExport({"only-one-argument"}, console), 2);
  EXPECT_NE(console.find("usage: dtaexport"), std::string::npos);

  EXPECT_EQ(RunExport({"missing.mgf", "out_missing"}, console), 1);
  EXPECT_NE(console.find("missing.mgf"), std::string::npos);

  EXPECT_EQ(RunExport({"run.raw", "out_raw"}, console), 1);
  EXPECT_NE(console.find("mzML"), std::string::npos);

  EXPECT_EQ(RunExport({"notes.xyz", "out_xyz"}, console), 1);
  EXPECT_NE(console.find("unknown spectrum file type"), std::string::npos);
}

TEST_F(DtaExport, WritesTheWholeRunAsOneMgf) {
  std::string console;
  ASSERT_EQ(RunExport({kData + "basic.mgf", "--mgf", "run.mgf"}, console), 0) << console;
  // The names survive the trip: an export of the MGF holds the same DTA files.
  ASSERT_EQ(RunExport({"run.mgf", "from_mgf"}, console), 0) << console;
  ASSERT_EQ(RunExport({kData + "basic.mgf", "from_source", "--mgf", "again.mgf"}, console), 0) << console;
  std::vector<std::string> a, b;
  for (const auto& e : fs::directory_iterator("from_mgf")) a.push_back(e.path().filename().string());
  for (const auto& e : fs::directory_iterator("from_source")) b.push_back(e.path().filename().string());
  std::sort(a.begin(), a.end());
  std::sort(b.begin(), b.end());
  EXPECT_FALSE(a.empty());
  EXPECT_EQ(a, b);
  EXPECT_TRUE(fs::exists("again.mgf"));

  EXPECT_EQ(RunExport({kData + "basic.mgf", "--mgf"}, console), 2);
  EXPECT_EQ(RunExport({kData + "basic.mgf"}, console), 2);
  EXPECT_EQ(RunExport({kData + "basic.mgf", "--mgf", "no/such/dir/x.mgf"}, console), 1);
  EXPECT_NE(console.find("no/such/dir/x.mgf"), std::string::npos);
}

// An output that is the input, however spelled, is refused before anything
// is written, and the input is left as it was.
TEST_F(DtaExport, RefusesToWriteOverItsInput) {
  std::string console;
  ASSERT_EQ(RunExport({kData + "basic.mgf", "self/d"}, console), 0) << console;
  const std::string dta = "self/d/run1.100.100.2.dta";
  const std::string before = ReadFile(dta);
  fs::copy_file(kData + "basic.mgf", "self/basic.mgf");
  const std::vector<std::vector<std::string>> refused = {
      {"./" + dta, "self/d"},             // a DTA file into its own directory
      {"self/d", "self/./d"},              // a DTA directory into itself
      {"self/basic.mgf", "--mgf", "self/../self/basic.mgf"},  // the MGF over its source
  };
  for (const auto& args : refused) {
    EXPECT_EQ(RunExport(args, console), 1) << args[0];
    EXPECT_NE(console.find("input"), std::string::npos) << console;
  }
  EXPECT_EQ(ReadFile(dta), before);
  EXPECT_EQ(fs::file_size("self/basic.mgf"), fs::file_size(kData + "basic.mgf"));
}

// A full disk (no byte may be written) fails the run and leaves no file
// under a final name, and no temporary one.
TEST_F(DtaExport, FullDiskIsAFailedRunWithoutPartialFiles) {
  fs::create_directories("full");
  const std::string command = "cd full && bash -c \"trap '' XFSZ; ulimit -f 0; '" + std::string(TESSERA_BIN_DIR) +
                              "/dtaexport' '" + kData + "basic.mgf' out --mgf run.mgf\" >/dev/null 2>&1";
  const int raw = std::system(command.c_str());
  EXPECT_TRUE(WIFEXITED(raw) && WEXITSTATUS(raw) == 1) << raw;
  EXPECT_FALSE(fs::exists("full/run.mgf"));
  for (const auto& entry : fs::recursive_directory_iterator("full"))
    EXPECT_TRUE(entry.is_directory()) << entry.path();
}
