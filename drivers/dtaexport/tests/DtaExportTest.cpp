#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
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

  // An export can be read back as a DTA directory with the same spectra;
  // the output folder as -o, like the other programs take it.
  ASSERT_EQ(RunExport({"export_mgf", "-o", "export_again"}, console), 0) << console;
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

// Titles that name other folders, absolute paths or control characters never
// take a file outside the output folder, and never make two spectra share
// one file.
TEST_F(DtaExport, NamesFromTheInputStayInsideTheOutputFolder) {
  fs::create_directories("other");
  testsupport::WriteFile("other/keep.1.1.2.dta", "precious\n");
  const std::string titles[] = {"../other/keep.1.1.2.dta", (fs::current_path() / "other/abs.2.2.2.dta").string(),
                                std::string("s\0one.3.3.2.dta", 15), std::string("s\0two.3.3.2.dta", 15),
                                std::string("s\x1b[2J.3.3.2.dta")};
  std::string mgf;
  for (const std::string& title : titles)
    mgf += "BEGIN IONS\nTITLE=" + title + "\nPEPMASS=500.0\nCHARGE=2+\n100 5\nEND IONS\n";
  testsupport::WriteFile("hostile.mgf", mgf);
  std::string console;
  ASSERT_EQ(RunExport({"hostile.mgf", "out"}, console), 0) << console;
  EXPECT_EQ(ReadFile("other/keep.1.1.2.dta"), "precious\n");
  EXPECT_FALSE(fs::exists("other/abs.2.2.2.dta"));
  std::vector<std::string> written;
  for (const auto& e : fs::directory_iterator("out")) written.push_back(e.path().filename().string());
  std::sort(written.begin(), written.end());
  EXPECT_EQ(written, (std::vector<std::string>{"abs.2.2.2.dta", "keep.1.1.2.dta", "s_[2J.3.3.2.dta",
                                               "s_one.3.3.2.dta", "s_two.3.3.2.dta"}));
}

TEST_F(DtaExport, AnEmptyOutputDirectoryIsAWrongCommandLine) {
  std::string console;
  EXPECT_EQ(RunExport({kData + "basic.mgf", ""}, console), 2);
  EXPECT_NE(console.find("usage: dtaexport"), std::string::npos) << console;
  EXPECT_EQ(RunExport({kData + "basic.mgf", "", "--mgf", "x.mgf"}, console), 2);
  EXPECT_EQ(RunExport({kData + "basic.mgf", "-o", "", "--mgf", "x.mgf"}, console), 2);
  // The folder given both ways, or -o without a spectrum file.
  EXPECT_EQ(RunExport({kData + "basic.mgf", "a", "-o", "b"}, console), 2);
  EXPECT_EQ(RunExport({"-o", "b"}, console), 2);
  EXPECT_FALSE(fs::exists("x.mgf") || fs::exists("a") || fs::exists("b"));
}

// Reading progress goes with the other progress to standard error, and
// --quiet silences it; standard output holds the closing lines only.
TEST_F(DtaExport, ProgressGoesToStandardErrorAndQuietSilencesIt) {
  std::string mgf;
  for (int i = 0; i < 12000; ++i) mgf += "BEGIN IONS\nPEPMASS=500.0\nCHARGE=2+\n100 5\n200 6\nEND IONS\n\n";
  testsupport::WriteFile("big.mgf", mgf);
  for (const bool quiet : {false, true}) {
    std::vector<const char*> argv = {"dtaexport", "big.mgf", "--mgf", "copy.mgf"};
    if (quiet) argv.push_back("--quiet");
    std::ostringstream out, err;
    testing::internal::CaptureStdout();
    EXPECT_EQ(dtaexport::Run(static_cast<int>(argv.size()), argv.data(), out, err), 0) << err.str();
    const std::string leaked = testing::internal::GetCapturedStdout();
    EXPECT_EQ(leaked, "");
    EXPECT_EQ(out.str(), "12000 spectra of big.mgf written to copy.mgf\n");
    EXPECT_EQ(err.str().find("big.mgf: ") != std::string::npos, !quiet) << err.str();
    if (quiet) {
      EXPECT_EQ(err.str(), "");
    }
  }
}

// An output that is a device, a FIFO or a link to one is written in place.
TEST_F(DtaExport, DeviceAndFifoOutputsAreWrittenInPlace) {
  fs::create_symlink("/dev/null", "null.mgf");
  std::string console;
  ASSERT_EQ(RunExport({kData + "basic.mgf", "--mgf", "null.mgf"}, console), 0) << console;
  EXPECT_TRUE(fs::is_symlink("null.mgf"));
  ASSERT_EQ(mkfifo("fifo.mgf", 0600), 0);
  std::string received;
  std::thread reader([&received] { received = ReadFile("fifo.mgf"); });
  EXPECT_EQ(RunExport({kData + "basic.mgf", "--mgf", "fifo.mgf"}, console), 0) << console;
  reader.join();
  EXPECT_TRUE(fs::is_fifo("fifo.mgf"));
  EXPECT_NE(received.find("TITLE=run1.100.100.2.dta\n"), std::string::npos) << received;
}
