// Runs that cannot give their whole result fail visibly: the marker, a
// message naming the cause as the last line, and no partial file under a
// final name. Runs never write through links planted at their file names,
// never touch a folder another run holds, and leave no child behind.

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "common/ErrorMarker.h"
#include "common/SafeFile.h"
#include "moddetect/DetectionRun.h"
#include "TestSupport.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

const std::string kData = std::string(TESSERA_SOURCE_DIR) + "/moddetect/tests/data/";
const std::string kSmallMzML = std::string(TESSERA_SOURCE_DIR) + "/spectra/tests/data/bsa_small.mzML";

class ShiftscanFailures : public shftest::WorkingDirTest {
 protected:
  void SetUp() override {
    shftest::WorkingDirTest::SetUp();
    fs::copy_file(kData + "small.dump", "small.dump");
  }
  std::string Run(const std::string& extra_lines) {
    WriteFile("run.cfg", "[DATA]\nfilepath=small.dump\nfiletype=DUMP\n[MODIFICATION]\nmodmasslower=1\n"
                         "modmassupper=40\n" + extra_lines);
    std::ostringstream out;
    CDetectionRun run(out);
    status_ = run.Run("run.cfg");
    return out.str();
  }
  int status_ = 0;
};

TEST_F(ShiftscanFailures, RefusesValuesOutOfRangeWithTheKeyNamedLast) {
  const std::vector<std::pair<const char*, const char*>> cases = {
      {"[MODIFICATION]\nmodmasslower=-2147483648\n", "modmasslower"},
      {"[OTHER]\nmasstol=nan\n", "masstol"},
      {"[OTHER]\nmasstol=-5\n", "masstol"},
      {"[PAIR]\nppthres=1.5\n", "ppthres"},
      {"[OTHER]\nmassres=0\n", "massres"},
      {"[OTHER]\nmaxndata=0\n", "maxndata"},
      {"[OTHER]\nmaxndata=-4\n", "maxndata"},
      {"[DATA]\nmasslower=700\nmassupper=600\n", "masslower"},
      {"[DATA]\ntimelower=50\ntimeupper=50\n", "timelower"},
      {"[MODIFICATION]\nmodmasslower=5\nmodmassupper=3\n", "modmasslower"}};
  for (const auto& [lines, key] : cases) {
    const std::string console = Run(lines);
    EXPECT_EQ(status_, 1) << lines;
    EXPECT_EQ(shftest::LastLine(console).rfind(std::string("Error: ") + key, 0), 0u) << console;
    EXPECT_TRUE(marker::ErrorMarkerExists()) << lines;
    EXPECT_FALSE(fs::exists("temp.temp")) << lines;
    marker::RemoveErrorMarker();
  }
}

TEST_F(ShiftscanFailures, PairFolderThatCannotBeCreatedFailsTheRun) {
  WriteFile("blocker", "a file where the folder should go\n");
  const std::string console = Run("[PAIR]\nfindpair=1\npairpath=blocker/pairs\n");
  EXPECT_EQ(status_, 1);
  EXPECT_NE(console.find("cannot create the pair folder: blocker/pairs"), std::string::npos) << console;
  EXPECT_TRUE(marker::ErrorMarkerExists());
  EXPECT_FALSE(fs::exists("temp.temp"));
}

TEST_F(ShiftscanFailures, ItsOwnResultFileIsNeverItsInput) {
  fs::copy_file("small.dump", "temp.temp");
  const auto before = fs::file_size("temp.temp");
  WriteFile("run.cfg", "[DATA]\nfilepath=temp.temp\nfiletype=DUMP\n");
  std::ostringstream out;
  CDetectionRun run(out);
  EXPECT_EQ(run.Run("run.cfg"), 1);
  EXPECT_NE(out.str().find("would be overwritten"), std::string::npos) << out.str();
  EXPECT_EQ(fs::file_size("temp.temp"), before);
  EXPECT_TRUE(marker::ErrorMarkerExists());
}

TEST_F(ShiftscanFailures, FullDiskLeavesMarkerAndNoTable) {
  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  WriteFile("run.cfg", "[DATA]\nfilepath=small.dump\nfiletype=DUMP\n[MODIFICATION]\nmodmasslower=1\n"
                       "modmassupper=40\n[PAIR]\nfindpair=1\npairpath=pairs\n");
  // A file-size limit of one block stands in for a full disk.
  const std::string cmd = "bash -c \"trap '' XFSZ; ulimit -f 1; '" + exe + "' run.cfg < /dev/null > console.txt 2>&1\"";
  EXPECT_EQ(std::system(cmd.c_str()), 0);  // the status is 0 by contract
  EXPECT_TRUE(marker::ErrorMarkerExists()) << ReadFile("console.txt");
  EXPECT_FALSE(fs::exists("temp.temp"));
  for (const auto& entry : fs::directory_iterator("pairs"))
    EXPECT_NE(fs::file_size(entry.path()), 0u) << entry.path();
}

// A failed run started by another program ends with its reason: the last
// line is what a caller shows, so no key prompt follows it.
TEST_F(ShiftscanFailures, FailureReasonIsTheLastLineOfTheConsole) {
  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"", "Error: parameter file: "},
      {"[DATA]\nfilepath=small.dump\nfiletype=DUMP\n[OTHER]\nmassres=0\n", "Error: massres"},
      {"[DATA]\nfilepath=nowhere.dump\nfiletype=DUMP\n", "Error: no precursors could be read from nowhere.dump"},
      {"[DATA]\nfilepath=small.dump\nfiletype=DUMP\n[MODE]\npostsearch=1\nidentspectfile=none.pep.xml\n",
       "Error: cannot read the identification file: none.pep.xml"}};
  for (const auto& [config, reason] : cases) {
    if (!config.empty()) WriteFile("case.cfg", config);
    else fs::remove("case.cfg");
    EXPECT_EQ(shftest::RunProgram({exe, "case.cfg"}, "console.txt", "console.txt"), 0);
    const std::string console = ReadFile("console.txt");
    EXPECT_EQ(shftest::LastLine(console).rfind(reason, 0), 0u) << console;
    EXPECT_TRUE(marker::ErrorMarkerExists()) << reason;
    marker::RemoveErrorMarker();
  }
}

// Both run forms: a refused run leaves the folder of the run that holds it
// as it was (the marker of the configuration form aside, its failure signal).
TEST_F(ShiftscanFailures, SecondRunInOneFolderWaitsOrFailsWithNoWaitWritingNothing) {
  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  safefile::CFolderLock held;
  ASSERT_TRUE(held.Acquire(".", safefile::CFolderLock::Mode::kNoWait));
  WriteFile("run.cfg", "[DATA]\nfilepath=small.dump\nfiletype=DUMP\n");
  EXPECT_EQ(shftest::RunProgram({exe, "--no-wait", "run.cfg"}, "console.txt"), 0);
  EXPECT_TRUE(marker::ErrorMarkerExists());
  EXPECT_EQ(shftest::LastLine(ReadFile("console.txt")), "Error: another run is using this working folder");

  fs::create_directory("out");
  safefile::CFolderLock held_out;
  ASSERT_TRUE(held_out.Acquire("out", safefile::CFolderLock::Mode::kNoWait));
  WriteFile("out/Shiftscan.cfg", "the running job's\n");
  const std::vector<std::string> options_run = {exe, "small.dump", "--file-type", "dump", "-o", "out", "--no-wait",
                                                "--write-config", "copy.cfg", "-q"};
  EXPECT_EQ(shftest::RunProgram(options_run, "stdout.txt", "stderr.txt"), 1);
  EXPECT_NE(ReadFile("stderr.txt").find("another run is using this working folder"), std::string::npos);
  EXPECT_EQ(ReadFile("out/Shiftscan.cfg"), "the running job's\n");
  EXPECT_FALSE(fs::exists("copy.cfg"));
  EXPECT_FALSE(fs::exists("out/copy.cfg"));
  EXPECT_FALSE(fs::exists("out/temp.temp"));
  // Once the folder is free the same run writes both files.
  held_out.Release();
  EXPECT_EQ(shftest::RunProgram(options_run), 0);
  EXPECT_EQ(ReadFile("copy.cfg"), ReadFile("out/Shiftscan.cfg"));
  EXPECT_TRUE(fs::exists("out/temp.temp"));
}

// Links planted at the fixed names of the run and of the dumper are
// replaced, never written through: the files they point to stay as they are.
TEST_F(ShiftscanFailures, LinksPlantedAtItsFileNamesAreNeverFollowed) {
  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  const std::vector<std::string> names = {"raw.file.temp", "raw.data.temp", "raw.data.temp.partial", "temp.temp",
                                          "pairs/pair_m15.995044_p0.98.csv"};
  fs::create_directory("outside");
  fs::create_directory("pairs");
  for (std::size_t i = 0; i < names.size(); ++i) {
    const std::string target = "outside/" + std::to_string(i);
    WriteFile(target, "keep\n");
    fs::create_symlink(fs::absolute(target), names[i]);
  }
  WriteFile("run.cfg", "[DATA]\nfilepath=" + kSmallMzML + "\nfiletype=RAW\n[MODIFICATION]\nmodmasslower=1\n"
                       "modmassupper=3\n[PAIR]\nfindpair=1\npairpath=pairs\n");
  EXPECT_EQ(shftest::RunProgram({exe, "run.cfg"}, "console.txt", "console.txt"), 0);
  EXPECT_FALSE(marker::ErrorMarkerExists()) << ReadFile("console.txt");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status("temp.temp")));
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status("raw.file.temp")));
  for (std::size_t i = 0; i < names.size(); ++i) EXPECT_EQ(ReadFile("outside/" + std::to_string(i)), "keep\n") << names[i];
}

// Pair files of an earlier run in the pair folder are this run's to
// replace; anything else there is left alone.
TEST_F(ShiftscanFailures, EarlierPairFilesAreClearedOthersKept) {
  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  fs::create_directories("out/pairs");
  WriteFile("out/pairs/pair_m99.000000_p0.98.csv", "stale\n");
  WriteFile("out/pairs/pair_m-3.500000_p0.50.csv", "stale\n");
  WriteFile("out/pairs/pair_m1.0_p0.98.csv", "not a name this program writes\n");
  WriteFile("out/pairs/notes.txt", "mine\n");
  WriteFile("out/temp.temp", "stale\n");
  ASSERT_EQ(shftest::RunProgram({exe, "small.dump", "--file-type", "dump", "-o", "out", "--find-pairs",
                                 "--shift-upper", "40", "--dta-name", "golden", "-q"}),
            0);
  std::set<std::string> names;
  for (const auto& e : fs::directory_iterator("out/pairs")) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"notes.txt", "pair_m1.0_p0.98.csv", "pair_m15.995044_p0.98.csv",
                                          "pair_m28.031445_p0.98.csv"}));
  EXPECT_EQ(ReadFile("out/pairs/pair_m15.995044_p0.98.csv"), ReadFile(kData + "small.pair_m15.995044_p0.98.csv"));
  EXPECT_EQ(ReadFile("out/temp.temp"), ReadFile(kData + "small.temp.temp"));
}

// The dumper dies with Shiftscan, however Shiftscan ends: nothing writes
// into the folder once its lock is gone. A stand-in dumper that never ends
// takes Gannet's place beside a copy of the program.
class ShiftscanKilled : public shftest::WorkingDirTest, public ::testing::WithParamInterface<int> {
 protected:
  static bool Gone(pid_t pid) {
    if (::kill(pid, 0) != 0) return errno == ESRCH;
    // Orphans are reaped by whoever adopts them; a zombie no longer runs.
    const std::string stat = ReadFile("/proc/" + std::to_string(pid) + "/stat");
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
  }
  template <typename Condition>
  static bool WaitFor(Condition condition) {
    for (int i = 0; i < 400; ++i) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return false;
  }
};

TEST_P(ShiftscanKilled, DumperDiesWithIt) {
  const std::string exe = shftest::ShiftscanExe();
  if (exe.empty()) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  fs::create_directory("bin");
  // The copy finds its shared libraries beside itself, as the original does.
  for (const auto& e : fs::directory_iterator(fs::path(exe).parent_path()))
    if (e.path().extension() == ".so") fs::copy_file(e.path(), "bin" / e.path().filename());
  fs::copy_file(exe, "bin/Shiftscan");
  WriteFile("bin/Gannet", "#!/bin/sh\necho $$ > gannet.pid.part && mv gannet.pid.part gannet.pid\nexec sleep 600\n");
  fs::permissions("bin/Gannet", fs::perms::owner_all);
  WriteFile("run.cfg", "[DATA]\nfilepath=" + kSmallMzML + "\nfiletype=RAW\n");

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "console.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
  const std::string program = (dir_ / "bin" / "Shiftscan").string();
  std::vector<char*> argv = {const_cast<char*>(program.c_str()), const_cast<char*>("run.cfg"), nullptr};
  pid_t shiftscan = -1;
  ASSERT_EQ(posix_spawn(&shiftscan, program.c_str(), &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);

  const bool started = WaitFor([] { return fs::exists("gannet.pid"); });
  const pid_t dumper = started ? std::atoi(ReadFile("gannet.pid").c_str()) : -1;
  ::kill(shiftscan, GetParam());
  int status = 0;
  ::waitpid(shiftscan, &status, 0);
  ASSERT_TRUE(started) << ReadFile("console.txt");
  ASSERT_GT(dumper, 0);
  // Ended by a signal it can catch, Shiftscan ends the dumper and reaps it
  // before it goes; killed outright, the kernel ends the dumper.
  const bool gone = GetParam() == SIGKILL ? WaitFor([dumper] { return Gone(dumper); }) : ::kill(dumper, 0) != 0;
  if (!gone) ::kill(dumper, SIGKILL);
  EXPECT_TRUE(gone);
  EXPECT_TRUE(WIFSIGNALED(status));
}

INSTANTIATE_TEST_SUITE_P(Signals, ShiftscanKilled, ::testing::Values(SIGTERM, SIGINT, SIGKILL));

}  // namespace
