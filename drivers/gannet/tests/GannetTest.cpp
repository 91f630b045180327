// Gannet end to end (the program itself, golden dump) and its dump writer.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>

#include <sys/wait.h>

#include "drivers/gannet/GannetRun.h"
#include "tests/support/ScratchDir.h"

namespace fs = std::filesystem;

namespace {

using testsupport::ReadFile;
using testsupport::WriteFile;

class Gannet : public ScratchDirTest {
 protected:
  // Runs the Gannet program in the folder `run` of the scratch folder, made
  // fresh unless told, with the exchange file `exchange` naming `data_path` (none when
  // `exchange` is empty); returns its exit status and leaves its console
  // text in `console`.
  int Run(const std::string& run, const std::string& data_path, std::string& console,
          const std::string& exchange = "raw.file.temp", bool fresh = true) {
    const fs::path folder = dir_ / run;
    if (fresh) fs::remove_all(folder);
    fs::create_directories(folder);
    if (!exchange.empty()) WriteFile((folder / exchange).string(), data_path + "\r\n");
    const std::string command = "cd '" + folder.string() + "' && '" + std::string(TESSERA_BIN_DIR) +
                                "/Gannet' " + exchange + " > console.txt 2>&1";
    const int status = std::system(command.c_str());
    console = ReadFile((folder / "console.txt").string());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

const std::string kData = std::string(TESSERA_SOURCE_DIR) + "/spectra/tests/data/";

TEST_F(Gannet, DumpOfAnMzMLMatchesTheGoldenFile) {
  std::string console;
  // Links planted at the dump's name, or at a name it could be written
  // under first, are replaced, never written through.
  const std::string outside = Write("outside.txt", "keep\n");
  fs::create_directories(File("golden"));
  for (const char* name : {"raw.data.temp", "raw.data.temp.partial"})
    fs::create_symlink(outside, File(std::string("golden/") + name));
  ASSERT_EQ(Run("golden", kData + "bsa_small.mzML", console, "raw.file.temp", /*fresh=*/false), 0) << console;
  EXPECT_EQ(ReadFile(outside), "keep\n");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(File("golden/raw.data.temp"))));
  const std::string dump = ReadFile(File("golden/raw.data.temp"));
  EXPECT_EQ(dump, ReadFile(std::string(TESSERA_SOURCE_DIR) +
                           "/drivers/gannet/tests/data/bsa_small.raw.data.temp"));
  std::set<std::string> names;  // no temporary left beside the dump
  for (const auto& e : fs::directory_iterator(File("golden"))) names.insert(e.path().filename().string());
  EXPECT_EQ(names, (std::set<std::string>{"console.txt", "raw.data.temp", "raw.data.temp.partial", "raw.file.temp"}));

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

TEST_F(Gannet, FailuresLeaveNoDumpAndExitNonZero) {
  std::string console;
  // A stale dump from an earlier run must not survive a failed run.
  fs::create_directories(File("rawfile"));
  WriteFile(File("rawfile/raw.data.temp"), "old\n");
  EXPECT_NE(Run("rawfile", "/data/run.raw", console), 0);
  EXPECT_NE(console.find("mzML"), std::string::npos) << console;
  EXPECT_NE(console.find("msconvert"), std::string::npos) << console;
  EXPECT_FALSE(fs::exists(File("rawfile/raw.data.temp")));

  std::string broken = ReadFile(kData + "bsa_small_noindex.mzML");
  broken.replace(broken.find("<binary>", broken.find("spectrum=2443")), 8, "<<<");
  EXPECT_NE(Run("broken", Write("broken.mzML", broken), console), 0);
  EXPECT_NE(console.find("broken.mzML"), std::string::npos) << console;
  EXPECT_FALSE(fs::exists(File("broken/raw.data.temp")));
  EXPECT_FALSE(fs::exists(File("broken/raw.data.temp.partial")));

  EXPECT_NE(Run("unknown", "/data/run.xyz", console), 0);
  EXPECT_NE(console.find("unknown spectrum file type"), std::string::npos) << console;

  // No exchange file at all.
  EXPECT_NE(Run("noexchange", "", console, ""), 0);
  EXPECT_NE(console.find("Cannot open file: raw.file.temp"), std::string::npos) << console;
}

TEST_F(Gannet, MgfInputHasNoScanDetails) {
  std::string console;
  ASSERT_EQ(Run("mgf", kData + "basic.mgf", console), 0) << console;
  const std::string dump = ReadFile(File("mgf/raw.data.temp"));
  // The first spectrum: scan 100, 60.5 s, charge 2, m/z 500.5.
  EXPECT_NE(dump.find("\n100\tMS2\t60.500000\tunknown\tunknown\t0\t2\t999.992724\t500.500000\n"),
            std::string::npos)
      << dump;
}

}  // namespace
