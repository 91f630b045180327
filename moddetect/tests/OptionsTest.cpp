// Shiftscan made from options: every option reaches the configuration, bad
// values are named, and the written file reads back to the same run.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "moddetect/ShiftscanOptions.h"
#include "TestSupport.h"

namespace {

class ShiftscanOptions : public shftest::WorkingDirTest {
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
  testsupport::WriteFile("run.mzML", "");
  testsupport::WriteFile("ids.spectra", "");
  CDetectionConfig config;
  std::string error;
  ASSERT_TRUE(Parse({"run.mzML", "-o", "out", "--mass-lower", "500", "--mass-upper", "5000", "--time-lower", "60",
                     "--time-upper", "7200", "--shift-lower", "-20", "--shift-upper", "60", "--find-pairs",
                     "--pp-threshold", "0.9", "--dta-name", "x", "--ids", "ids.spectra", "--t-d-score", "10",
                     "--t-delta-c", "0.3", "--mass-tol", "7", "--mass-res", "0.02", "--max-data", "900", "--fdr",
                     "5%", "--decoy-prefix", "REV_,DECOY_"},
                    config, error))
      << error;
  EXPECT_EQ(config.FileType(), DETECTION_FILE_RAW);
  EXPECT_EQ(config.FirstShift(), -20);
  EXPECT_TRUE(config.WritePairFiles());
  EXPECT_TRUE(config.IdentifiedOnly());
  EXPECT_EQ(config.MaxPrecursors(), 900);

  std::ostringstream written;
  config.WriteConfig(written);
  std::istringstream in(written.str());
  CDetectionConfig back;
  back.ReadConfig(in);
  std::ostringstream again;
  back.WriteConfig(again);
  EXPECT_EQ(again.str(), written.str());
  EXPECT_NE(written.str().find("ppthres=0.9\n"), std::string::npos) << written.str();
  EXPECT_NE(written.str().find("fdrlevel=5%\ndecoyprefix=REV_,DECOY_\n"), std::string::npos) << written.str();
}

TEST_F(ShiftscanOptions, BadValuesAndMissingArgumentsAreNamed) {
  testsupport::WriteFile("run.mzML", "");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"run.mzML", "-o", "out", "--mass-lower", "abc"}, "--mass-lower"},
      {{"run.mzML", "-o", "out", "--shift-upper", "2.5"}, "--shift-upper"},
      {{"run.mzML", "-o", "out", "--shift-lower", "-2147483648"}, "--shift-lower"},
      {{"run.mzML", "-o", "out", "--pp-threshold", "nan"}, "--pp-threshold"},
      {{"run.mzML"}, "--output"},
      {{"-o", "out"}, "no run file"},
      {{"missing.mzML", "-o", "out"}, "missing.mzML"},
      {{"run.mzML", "-o", "out", "--frobnicate"}, "--frobnicate"},
      {{"run.mzML", "-o", "out", "--file-type", "wiff"}, "--file-type"},
      {{"run.mzML", "-o", "out", "--mass-res", "0"}, "--mass-res"},
      {{"run.mzML", "-o", "out", "--max-data", "0"}, "--max-data"},
      {{"run.mzML", "-o", "out", "--max-data", "-3"}, "--max-data"},
      {{"run.mzML", "-o", "out", "--pp-threshold", "1.5"}, "--pp-threshold"},
      {{"run.mzML", "-o", "out", "--plot", "x.jpg"}, "--plot"},
      {{"run.mzML", "-o", "out", "--mass-lower", "700", "--mass-upper", "600"}, "masslower"},
      {{"run.mzML", "-o", "out", "--time-lower", "90", "--time-upper", "10"}, "timelower"},
      {{"run.mzML", "-o", "out", "--shift-lower", "5", "--shift-upper", "3"}, "modmasslower"},
      {{"run.mzML", "-o", "out", "--ids", "missing.pep.xml"}, "missing.pep.xml"},
      {{"run.mzML", "-o", "out", "--ids", "run.mzML", "--fdr", "101%"}, "FDR level 101%"},
      {{"run.mzML", "-o", "out", "--ids", "run.mzML", "--threshold", "abc"}, "--id-threshold: \"abc\" is not a number"}};
  for (const auto& [args, named] : cases) {
    CDetectionConfig config;
    std::string error;
    EXPECT_FALSE(Parse(args, config, error)) << named;
    EXPECT_NE(error.find(named), std::string::npos) << error;
  }

  // The program refuses them with the usage status before it writes anything.
  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  for (const auto& [args, named] : cases) {
    if (std::find(args.begin(), args.end(), "out") == args.end()) continue;
    std::vector<std::string> command = {exe};
    command.insert(command.end(), args.begin(), args.end());
    EXPECT_EQ(shftest::RunProgram(command), 2) << named;
    EXPECT_FALSE(std::filesystem::exists("out")) << named;
  }
}

// Progress, the dumper's included, goes to standard error and --quiet
// silences it; standard output says where the results went.
TEST_F(ShiftscanOptions, QuietRunPrintsOnlyWhereTheResultsWent) {
  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  const std::string run = std::string(TESSERA_SOURCE_DIR) + "/spectra/tests/data/bsa_small.mzML";
  ASSERT_EQ(shftest::RunProgram({exe, run, "-o", "out", "--shift-upper", "3"}, "out.txt", "err.txt"), 0);
  EXPECT_NE(testsupport::ReadFile("err.txt").find("Gannet: "), std::string::npos);
  EXPECT_EQ(testsupport::ReadFile("out.txt").find("Reading data"), std::string::npos);
  ASSERT_EQ(shftest::RunProgram({exe, run, "-o", "out", "--shift-upper", "3", "--quiet"}, "out.txt", "err.txt"), 0);
  EXPECT_EQ(testsupport::ReadFile("err.txt"), "");
  EXPECT_EQ(testsupport::ReadFile("out.txt"), "Configuration: " + (dir_ / "out" / "Shiftscan.cfg").string() +
                                                   "\nMass-shift table: " + (dir_ / "out" / "temp.temp").string() +
                                                   "\n");
}

// The configuration file alone: no output folder needed, the pair folder
// beside the file, the file type as told, and nothing else written.
TEST_F(ShiftscanOptions, WriteConfigWritesOnlyTheFile) {
  testsupport::WriteFile("run.mzML", "");
  std::filesystem::create_directory("cfg");
  const std::vector<std::string> args = {"--write-config", "cfg/s.cfg", "run.mzML", "--shift-upper", "200",
                                         "--find-pairs", "--dta-name", "BSA1", "--file-type", "DUMP"};
  CDetectionConfig config;
  std::string error;
  ASSERT_TRUE(Parse(args, config, error)) << error;
  EXPECT_EQ(config.PairFolder(), (dir_ / "cfg" / "pairs").string());
  EXPECT_EQ(config.FileType(), DETECTION_FILE_DUMP);
  EXPECT_EQ(config.LastShift(), 200);
  EXPECT_EQ(config.TitlePrefix(), "BSA1");

  const char* exe = std::getenv("SHIFTSCAN_EXE");
  if (!exe) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  std::string cmd = std::string("'") + exe + "'";
  for (const std::string& a : args) cmd += " '" + a + "'";
  ASSERT_EQ(std::system((cmd + " > /dev/null").c_str()), 0);
  std::ostringstream expected;
  config.WriteConfig(expected);
  EXPECT_EQ(testsupport::ReadFile("cfg/s.cfg"), expected.str());
  std::vector<std::string> left;
  for (const auto& e : std::filesystem::recursive_directory_iterator(dir_))
    left.push_back(std::filesystem::relative(e.path(), dir_).string());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"cfg", "cfg/s.cfg", "run.mzML"}));
}

// The histogram's bars are pair counts, counted only while pair files are
// written: a picture asks for them, and a picture without them is said to be
// empty rather than drawn without a word.
TEST_F(ShiftscanOptions, APictureCountsPairsAndAnEmptyOneIsSaid) {
  testsupport::WriteFile("run.mzML", "");
  CDetectionConfig config;
  std::string error;
  ASSERT_TRUE(Parse({"run.mzML", "-o", "out", "--plot", "x.svg"}, config, error)) << error;
  EXPECT_TRUE(config.WritePairFiles());
  ASSERT_TRUE(Parse({"run.mzML", "-o", "out"}, config, error)) << error;
  EXPECT_FALSE(config.WritePairFiles());

  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  const std::string run = std::string(TESSERA_SOURCE_DIR) + "/spectra/tests/data/bsa_small.mzML";
  ASSERT_EQ(shftest::RunProgram({exe, "--write-config", "s.cfg", run, "--shift-upper", "3"}), 0);
  // Whether the picture can then be drawn depends on tessera-plot beside the program.
  shftest::RunProgram({exe, "--plot", "x.svg", "s.cfg"}, "out.txt", "err.txt");
  EXPECT_NE(testsupport::ReadFile("out.txt").find("Note: the mass-shift histogram is empty: pairs are counted only "
                                                  "while pair files are written"),
            std::string::npos)
      << testsupport::ReadFile("out.txt");
}

// A run where the configuration belongs is said to be one, with the usage
// status, before anything (marker, lock, dump request) is written.
TEST_F(ShiftscanOptions, RunGivenAsConfigurationIsRefusedUntouched) {
  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  testsupport::WriteFile("BSA1.mzML", "<?xml version=\"1.0\"?>\n<indexedmzML>\n");
  testsupport::WriteFile("peaks.txt", "BEGIN IONS\nPEPMASS=500\n100 1\nEND IONS\n");
  for (const std::string run : {"BSA1.mzML", "peaks.txt"}) {
    EXPECT_EQ(shftest::RunProgram({exe, run}, "out.txt", "err.txt"), 2) << run;
    EXPECT_NE(testsupport::ReadFile("err.txt").find(run + " is a spectrum file: give -o FOLDER"), std::string::npos);
    EXPECT_EQ(testsupport::ReadFile("out.txt"), "") << run;
    for (const char* left : {"error_happened.error", "raw.file.temp", "raw.data.temp"})
      EXPECT_FALSE(std::filesystem::exists(left)) << run << ": " << left;
  }
}

}  // namespace
