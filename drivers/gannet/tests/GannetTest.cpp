// Gannet end to end (the program itself, golden dump) and its dump writer.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <sys/wait.h>

#include "drivers/gannet/GannetRun.h"

namespace fs = std::filesystem;

namespace {

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteText(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// Runs the Gannet program in a fresh directory whose raw.file.temp names
// `data_path`; returns its exit status and leaves its console text in
// `console`.
int RunGannet(const std::string& dir, const std::string& data_path, std::string& console) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  WriteText(fs::path(dir) / "raw.file.temp", data_path + "\r\n");
  const std::string command = "cd '" + dir + "' && '" + std::string(TESSERA_BIN_DIR) +
                              "/Gannet' raw.file.temp > console.txt 2>&1";
  const int status = std::system(command.c_str());
  console = ReadText(fs::path(dir) / "console.txt");
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

const std::string kData = std::string(TESSERA_SOURCE_DIR) + "/spectra/tests/data/";

TEST(Gannet, DumpOfAnMzMLMatchesTheGoldenFile) {
  std::string console;
  ASSERT_EQ(RunGannet("golden", kData + "bsa_small.mzML", console), 0) << console;
  const std::string dump = ReadText("golden/raw.data.temp");
  EXPECT_EQ(dump, ReadText(std::string(TESSERA_SOURCE_DIR) +
                           "/drivers/gannet/tests/data/bsa_small.raw.data.temp"));
  EXPECT_FALSE(fs::exists("golden/raw.data.temp.partial"));

  // Every record line reads back with the reader's format.
  std::istringstream lines(dump);
  std::string line;
  std::getline(lines, line);
  int records = 0;
  while (std::getline(lines, line)) {
    int scan = 0, pscan = 0, z = 0;
    char type[32], inst[32], act[32];
    double rt = 0, mh = 0, mz = 0;
    ASSERT_EQ(std::sscanf(line.c_str(), "%d %31s %lf %31s %31s %d %d %lf %lf", &scan, type, &rt,
                          inst, act, &pscan, &z, &mh, &mz),
              9)
        << line;
    EXPECT_STREQ(type, "MS2");
    ++records;
  }
  EXPECT_EQ(records, 6);  // five MS2 scans, one without charge written twice
}

TEST(Gannet, FailuresLeaveNoDumpAndExitNonZero) {
  std::string console;
  // A stale dump from an earlier run must not survive a failed run.
  fs::create_directories("rawfile");
  WriteText("rawfile/raw.data.temp", "old\n");
  EXPECT_NE(RunGannet("rawfile", "/data/run.raw", console), 0);
  EXPECT_NE(console.find("mzML"), std::string::npos) << console;
  EXPECT_NE(console.find("msconvert"), std::string::npos) << console;
  EXPECT_FALSE(fs::exists("rawfile/raw.data.temp"));

  std::string broken = ReadText(kData + "bsa_small_noindex.mzML");
  broken.replace(broken.find("<binary>", broken.find("spectrum=2443")), 8, "<<<");
  fs::create_directories("inputs");
  WriteText("inputs/broken.mzML", broken);
  EXPECT_NE(RunGannet("broken", fs::absolute("inputs/broken.mzML").string(), console), 0);
  EXPECT_NE(console.find("broken.mzML"), std::string::npos) << console;
  EXPECT_FALSE(fs::exists("broken/raw.data.temp"));
  EXPECT_FALSE(fs::exists("broken/raw.data.temp.partial"));

  EXPECT_NE(RunGannet("unknown", "/data/run.xyz", console), 0);
  EXPECT_NE(console.find("unknown spectrum file type"), std::string::npos) << console;

  // No exchange file at all.
  fs::remove_all("noexchange");
  fs::create_directories("noexchange");
  const std::string command = "cd noexchange && '" + std::string(TESSERA_BIN_DIR) +
                              "/Gannet' > console.txt 2>&1";
  const int status = std::system(command.c_str());
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_NE(ReadText("noexchange/console.txt").find("Cannot open file: raw.file.temp"),
            std::string::npos);
}

TEST(Gannet, MgfInputHasNoScanDetails) {
  std::string console;
  ASSERT_EQ(RunGannet("mgf", kData + "basic.mgf", console), 0) << console;
  const std::string dump = ReadText("mgf/raw.data.temp");
  // The first spectrum: scan 100, 60.5 s, charge 2, m/z 500.5.
  EXPECT_NE(dump.find("\n100\tMS2\t60.500000\tunknown\tunknown\t0\t2\t999.992724\t500.500000\n"),
            std::string::npos)
      << dump;
}

}  // namespace
