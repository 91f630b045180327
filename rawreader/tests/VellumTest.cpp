// Vellum end to end (the program on a small mzML, golden .qdx) and its
// conversion through a hand-made control: filter-text rules, skipped scans,
// failures that leave no output.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include "tests/support/ScratchDir.h"
#include "rawreader/Vellum.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;

const std::string kData = std::string(TESSERA_SOURCE_DIR) + "/rawreader/tests/data/";

class VellumProgram : public ScratchDirTest {
 protected:
  // Runs the program with `args` in the scratch directory; the exit status,
  // with standard output and error in `out` and `err`.
  int Run(const std::string& args, std::string& out, std::string& err) {
    const std::string command = "cd '" + dir_.string() + "' && '" + TESSERA_BIN_DIR +
                                "/Vellum' " + args + " > out.txt 2> err.txt";
    const int status = std::system(command.c_str());
    out = ReadFile(File("out.txt"));
    err = ReadFile(File("err.txt"));
    fs::remove(dir_ / "out.txt");
    fs::remove(dir_ / "err.txt");
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // Names in the scratch directory.
  std::vector<std::string> Listing() const {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir_)) names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

}  // namespace

TEST_F(VellumProgram, ConvertsAnMzMLOnceAndNeverReplacesTheOutput) {
  fs::copy_file(kData + "small_run.mzML", File("small_run.mzML"));
  std::string out, err;
  ASSERT_EQ(Run("small_run.mzML", out, err), 0) << err;
  // MS1 scans 1 and 4 give no block; the uncharged scan 3 takes the first of
  // its two charges.
  EXPECT_EQ(ReadFile(File("small_run.qdx")), ReadFile(kData + "small_run.qdx"));
  EXPECT_NE(out.find("3 MS2 scans written"), std::string::npos) << out;
  EXPECT_NE(out.find("2 other scans"), std::string::npos) << out;
  EXPECT_EQ(Listing(), (std::vector<std::string>{"small_run.mzML", "small_run.qdx"}));

  const auto written = fs::last_write_time(File("small_run.qdx"));
  ASSERT_EQ(Run("small_run.mzML", out, err), 0) << err;
  EXPECT_NE(out.find("already exists"), std::string::npos) << out;
  EXPECT_EQ(fs::last_write_time(File("small_run.qdx")), written);
  EXPECT_EQ(ReadFile(File("small_run.qdx")), ReadFile(kData + "small_run.qdx"));
}

// -o puts the peak list into a folder of its own (made when missing) and
// leaves the run's folder as it was; the rule against replacing holds there.
TEST_F(VellumProgram, WritesIntoTheOutputFolderWhenGivenOne) {
  fs::create_directory(File("runs"));
  fs::copy_file(kData + "small_run.mzML", File("runs/small_run.mzML"));
  std::string out, err;
  ASSERT_EQ(Run("runs/small_run.mzML -o lists/new", out, err), 0) << err;
  EXPECT_EQ(ReadFile(File("lists/new/small_run.qdx")), ReadFile(kData + "small_run.qdx"));
  EXPECT_FALSE(fs::exists(File("runs/small_run.qdx")));
  ASSERT_EQ(Run("-o lists/new runs/small_run.mzML", out, err), 0) << err;
  EXPECT_NE(out.find("already exists"), std::string::npos) << out;

  EXPECT_EQ(Run("runs/small_run.mzML -o ''", out, err), 2);
  EXPECT_EQ(Run("-o lists", out, err), 2);
  EXPECT_NE(err.find("usage: Vellum"), std::string::npos) << err;
}

TEST_F(VellumProgram, BadStartsAndBadRunsLeaveNoOutput) {
  std::string out, err;
  EXPECT_NE(Run("", out, err), 0);
  EXPECT_NE(err.find("Don't run this program directly."), std::string::npos) << err;
  EXPECT_NE(err.find("usage"), std::string::npos) << err;

  EXPECT_NE(Run("missing.mzML", out, err), 0);
  EXPECT_NE(err.find("Can't find the file."), std::string::npos) << err;

  // A run without MS2 scans, an empty file, a damaged one, a vendor file.
  fs::copy_file(kData + "small_run_ms1.mzML", File("full_scans.mzML"));
  Write("empty.mzML", "");
  Write("damaged.mzML", ReadFile(kData + "small_run.mzML").substr(0, 9000));
  Write("run.RAW", "not readable here");
  for (const char* run : {"full_scans.mzML", "empty.mzML", "damaged.mzML", "run.RAW"}) {
    EXPECT_NE(Run(run, out, err), 0) << run;
    EXPECT_NE(err.find("Error openning current file."), std::string::npos) << run << ": " << err;
    EXPECT_NE(err.find(run), std::string::npos) << err;  // the reason names the file
  }
  EXPECT_NE(err.find("msconvert"), std::string::npos) << err;
  EXPECT_EQ(Listing(), (std::vector<std::string>{"damaged.mzML", "empty.mzML", "full_scans.mzML",
                                                 "run.RAW"}));

  // A second run is not ignored: one run per call.
  fs::copy_file(kData + "small_run.mzML", File("small_run.mzML"));
  EXPECT_EQ(Run("small_run.mzML damaged.mzML", out, err), 2);
  EXPECT_NE(err.find("usage"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(File("small_run.qdx")));
}

// An m/z array that is not base64 gives no peaks at m/z 0 or -1e36: the run
// is refused with the scan named.
TEST_F(VellumProgram, DamagedPeakArraysAreRefused) {
  std::string run = ReadFile(kData + "small_run.mzML");
  const std::size_t ms2 = run.find("name=\"ms level\" value=\"2\"");
  const std::size_t begin = run.find("<binary>", ms2) + 8;
  run.replace(begin, run.find("</binary>", begin) - begin, "%%% not base64 %%%");
  Write("bad_array.mzML", run);
  std::string out, err;
  EXPECT_EQ(Run("bad_array.mzML", out, err), 1);
  EXPECT_NE(err.find("Error openning current file."), std::string::npos) << err;
  EXPECT_NE(err.find("bad_array.mzML: scan "), std::string::npos) << err;
  EXPECT_NE(err.find("not base64"), std::string::npos) << err;
  EXPECT_FALSE(fs::exists(File("bad_array.qdx")));
}

TEST(VellumFilterText, GivesActivationInstrumentAndPrecursor) {
  struct Case {
    const char* filter;
    const char* activation;
    const char* instrument;
    double mz;
  };
  const Case cases[] = {
      {"ITMS + c NSI d Full ms2 445.12@cid35.00 [110.00-2000.00]", "CID", "ITMS", 445.12},
      {"+ c NSI d Full ms2 445.12@cid35.00 [110.00-2000.00]", "CID", "ITMS", 445.12},
      {"FTMS + p NSI d Full ms2 800.43@hcd28.00 [100.00-1650.00]", "HCD", "FTMS", 800.43},
      {"FTMS + c NSI d Full ms2 618.72@etd [160.00-1250.00]", "ETD", "FTMS", 618.72},
      {"ITMS + c NSI d Full ms3 600.30@cid35.00 400.20@cid35.00 [100.00-1215.00]", "CID", "ITMS",
       600.30},
      {"FTMS + p NSI Full ms [300.00-2000.00]", "unknown", "FTMS", 0.0},
      {"", "unknown", "unknown", 0.0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.filter);
    EXPECT_EQ(vellum::ActivationText(c.filter), c.activation);
    EXPECT_EQ(vellum::InstrumentText(c.filter), c.instrument);
    EXPECT_DOUBLE_EQ(vellum::PrecursorMzFromFilter(c.filter), c.mz);
  }
}

namespace {

// A control over scans given by hand; `fail_filter` makes the filter call fail.
class HandRawfile : public CDXRawfile {
 public:
  struct Scan {
    bool ms2 = true;
    double minutes = 0.0;
    std::string filter;
    msdata::PeakList peaks;
    std::vector<DXPrecursorInfo> precursors;
  };
  std::map<std::int32_t, Scan> scans;
  bool fail_filter = false;

  std::int32_t Open(const std::string&) override { return 1; }
  std::int32_t SetCurrentController(std::int32_t type, std::int32_t number) override {
    return type == 0 && number == 1;
  }
  std::int32_t GetFirstSpectrumNumber(std::int32_t& scan) override {
    scan = scans.begin()->first;
    return 1;
  }
  std::int32_t GetLastSpectrumNumber(std::int32_t& scan) override {
    scan = scans.rbegin()->first;
    return 1;
  }
  std::int32_t GetMassListFromScanNum(std::int32_t& scan, const std::string& filter, std::int32_t,
                                      std::int32_t, std::int32_t, std::int32_t centroid,
                                      msdata::PeakList& list, std::vector<std::int32_t>&,
                                      std::int32_t& count) override {
    if (filter != "ms2" || centroid != 1) return 0;
    if (!scans.at(scan).ms2) {
      ++scan;
      return 1;
    }
    list = scans.at(scan).peaks;
    count = static_cast<std::int32_t>(list.size());
    return 1;
  }
  std::int32_t RTFromScanNum(std::int32_t scan, double& minutes) override {
    minutes = scans.at(scan).minutes;
    return 1;
  }
  std::int32_t GetFilterForScanNum(std::int32_t scan, std::string& filter) override {
    if (fail_filter) {
      last_error_ = "no filter";
      return 0;
    }
    filter = scans.at(scan).filter;
    return 1;
  }
  std::int32_t GetPrecursorInfoFromScanNum(std::int32_t scan, std::vector<DXPrecursorInfo>& records,
                                           std::int32_t& count) override {
    records = scans.at(scan).precursors;
    count = static_cast<std::int32_t>(records.size());
    return 1;
  }
};

}  // namespace

class VellumConversion : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    HandRawfile::Scan full;
    full.ms2 = false;
    raw_.scans[7] = full;
    HandRawfile::Scan bare;  // no precursor records: taken from the filter
    bare.minutes = 12.5;
    bare.filter = "+ c NSI d Full ms2 445.12@cid35.00 [110.00-2000.00]";
    bare.peaks = {{110.123456, 2.25}, {300.5, 1000.04}};
    raw_.scans[8] = bare;
    HandRawfile::Scan known;
    known.minutes = 12.75;
    known.filter = "FTMS + p NSI d Full ms2 600.30@hcd30.00 [100.00-1215.00]";
    known.precursors = {DXPrecursorInfo{600.3021, 600.3, 3, 7}, DXPrecursorInfo{1.0, 1.0, 9, 9}};
    raw_.scans[9] = known;
  }
  HandRawfile raw_;
};

TEST_F(VellumConversion, WritesOneBlockPerMs2Scan) {
  const std::string run = Write("x.RAW", "run");
  std::FILE* sink = std::tmpfile();
  ASSERT_EQ(vellum::Convert(run, raw_, sink, sink), 0);
  std::fclose(sink);
  EXPECT_EQ(ReadFile(File("x.qdx")),
            "H\n8\t12.500000\nCID\tITMS\n0\t2\t445.120000\nM\n"
            "110.12346\t2.2\n300.50000\t1000.0\n"
            "H\n9\t12.750000\nHCD\tFTMS\n7\t3\t600.302100\nM\n");
}

TEST_F(VellumConversion, FailureHalfWayLeavesNoFileBehind) {
  const std::string run = Write("x.mzML", "run");
  raw_.fail_filter = true;
  std::FILE* sink = std::tmpfile();
  EXPECT_NE(vellum::Convert(run, raw_, sink, sink), 0);
  std::rewind(sink);
  char said[256] = {};
  std::fread(said, 1, sizeof said - 1, sink);
  std::fclose(sink);
  EXPECT_NE(std::string(said).find("Error getting filter text\nscan 8: no filter"), std::string::npos)
      << said;
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_), fs::directory_iterator()), 1);

  // With the filter back, the next run is not held up by any earlier leftover.
  raw_.fail_filter = false;
  sink = std::tmpfile();
  EXPECT_EQ(vellum::Convert(run, raw_, sink, sink), 0);
  std::fclose(sink);
  EXPECT_TRUE(fs::exists(File("x.qdx")));
}

TEST(VellumOutputPath, ReplacesTheExtension) {
  EXPECT_EQ(vellum::OutputPath("x.RAW"), "x.qdx");
  EXPECT_EQ(vellum::OutputPath("data/x.mzML"), "data/x.qdx");
  EXPECT_EQ(vellum::OutputPath("runs.v2/x"), "runs.v2/x.qdx");
}
