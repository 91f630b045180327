// Shiftscan made from options: every option reaches the configuration, bad
// values are named, and the written file reads back to the same run.

#include <gtest/gtest.h>

#include <sstream>

#include "moddetect/ShiftscanOptions.h"
#include "TestSupport.h"

namespace {

class ShiftscanOptions : public shftest::ScratchDirTest {
 protected:
  bool Parse(std::vector<std::string> args, CDetectionConfig& config, std::string& error) {
    cli::CommandLine line = ShiftscanCommandLine();
    if (line.Parse(args) != cli::Outcome::kRun) {
      error = line.Error();
      return false;
    }
    std::string output;
    return ConfigFromOptions(line, config, output, error);
  }
};

TEST_F(ShiftscanOptions, EveryOptionReachesTheConfigurationAndRoundTrips) {
  shftest::WriteFile("run.mzML", "");
  CDetectionConfig config;
  std::string error;
  ASSERT_TRUE(Parse({"run.mzML", "-o", "out", "--mass-lower", "500", "--mass-upper", "5000", "--time-lower", "60",
                     "--time-upper", "7200", "--shift-lower", "-20", "--shift-upper", "60", "--find-pairs",
                     "--pp-threshold", "0.9", "--dta-name", "x", "--ids", "ids.spectra", "--t-d-score", "10",
                     "--t-delta-c", "0.3", "--mass-tol", "7", "--mass-res", "0.02", "--max-data", "900"},
                    config, error))
      << error;
  EXPECT_EQ(config.FileType(), DETECTION_FILE_RAW);
  EXPECT_EQ(config.ModMassLower(), -20);
  EXPECT_TRUE(config.FindPair());
  EXPECT_TRUE(config.PostSearch());
  EXPECT_EQ(config.MaxNData(), 900);

  std::ostringstream written;
  config.WriteConfig(written);
  std::istringstream in(written.str());
  CDetectionConfig back;
  back.ReadConfig(in);
  std::ostringstream again;
  back.WriteConfig(again);
  EXPECT_EQ(again.str(), written.str());
  EXPECT_NE(written.str().find("ppthres=0.9\n"), std::string::npos) << written.str();
}

TEST_F(ShiftscanOptions, BadValuesAndMissingArgumentsAreNamed) {
  shftest::WriteFile("run.mzML", "");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"run.mzML", "-o", "out", "--mass-lower", "abc"}, "--mass-lower"},
      {{"run.mzML", "-o", "out", "--shift-upper", "2.5"}, "--shift-upper"},
      {{"run.mzML", "-o", "out", "--shift-lower", "-2147483648"}, "modmasslower"},
      {{"run.mzML", "-o", "out", "--pp-threshold", "nan"}, "--pp-threshold"},
      {{"run.mzML"}, "--output"},
      {{"-o", "out"}, "no run file"},
      {{"missing.mzML", "-o", "out"}, "missing.mzML"},
      {{"run.mzML", "-o", "out", "--frobnicate"}, "--frobnicate"}};
  for (const auto& [args, named] : cases) {
    CDetectionConfig config;
    std::string error;
    EXPECT_FALSE(Parse(args, config, error)) << named;
    EXPECT_NE(error.find(named), std::string::npos) << error;
  }
}

}  // namespace
