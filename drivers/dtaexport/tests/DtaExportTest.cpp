#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>
#include <vector>

#include "common/Dta.h"
#include "drivers/dtaexport/DtaExport.h"

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

}  // namespace

TEST(DtaExport, WritesOneReadableDtaPerSpectrum) {
  fs::remove_all("export_mgf");
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
  fs::remove_all("export_again");
  ASSERT_EQ(RunExport({"export_mgf", "export_again"}, console), 0) << console;
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator("export_again")) files += entry.is_regular_file();
  std::size_t first = 0;
  for (const auto& entry : fs::directory_iterator("export_mgf")) first += entry.is_regular_file();
  EXPECT_EQ(files, first);
}

TEST(DtaExport, BadInputFailsWithAMessage) {
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

TEST(DtaExport, WritesTheWholeRunAsOneMgf) {
  std::string console;
  ASSERT_EQ(RunExport({kData + "basic.mgf", "--mgf", "run.mgf"}, console), 0) << console;
  // The names survive the trip: an export of the MGF holds the same DTA files.
  fs::remove_all("from_mgf");
  fs::remove_all("from_source");
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
