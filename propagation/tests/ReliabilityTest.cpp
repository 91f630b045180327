// A job never loses data and never reports a failure as success: outputs
// that are inputs are refused, missing inputs and unwritable folders stop
// the job before anything is written, reports are whole or absent, and a
// pair directory's reports hold every pair file's share.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/wait.h>

#include "propagation/PropagateOptions.h"
#include "propagation/Propagation.h"
#include "TestUtil.h"

namespace {

using proptest::ReadFile;
using proptest::ScratchDir;
using proptest::WriteFile;
namespace fs = std::filesystem;

const char kEarlier[] = "earlier report\n";

void CopyGoldenInputs(const ScratchDir& dir) {
  for (const char* name : {"results.spectra", "clusters.csv", "pairs.csv"})
    fs::copy_file(proptest::SourceData(std::string("golden/") + name), dir / name);
}

int Status(const std::string& command) {
  const int raw = std::system((command + " > out.txt 2> err.txt").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool LeftoverParts(const std::string& directory) {
  for (const auto& entry : fs::directory_iterator(directory))
    if (entry.path().filename().string().find(".part-") != std::string::npos) return true;
  return false;
}

// --- data loss ---

struct SelfOverwrite {
  const char* key;
  const char* value;  // an input named like one of the job's outputs
};

class OutputIsInput : public testing::TestWithParam<SelfOverwrite> {};

TEST_P(OutputIsInput, IsRefusedAndTheInputKept) {
  ScratchDir dir(std::string("self_") + GetParam().key);
  CopyGoldenInputs(dir);
  const std::string golden_pairs = ReadFile(dir / "pairs.csv");
  const std::string golden_clusters = ReadFile(dir / "clusters.csv");
  fs::copy_file(dir / "pairs.csv", dir / "pair_with_result.txt");
  fs::copy_file(dir / "clusters.csv", dir / "job_InnerPropagate.txt");
  std::string para = proptest::ParaText("pairs.csv", "results.spectra", "clusters.csv");
  // Spelled differently from the output, so that only a file comparison sees it.
  para += std::string(GetParam().key) + "=" + GetParam().value + "\n";
  WriteFile(dir / "job.para", para);
  proptest::MessageLog log;
  CPropagation job;
  EXPECT_FALSE(job.Run(dir / "job.para", false));
  EXPECT_TRUE(log.Contains("it would be overwritten")) << (log.messages.empty() ? "" : log.messages[0]);
  EXPECT_EQ(ReadFile(dir / "pair_with_result.txt"), golden_pairs);
  EXPECT_EQ(ReadFile(dir / "job_InnerPropagate.txt"), golden_clusters);
  EXPECT_FALSE(fs::exists(dir / "job_InterPropagate.txt"));
}

INSTANTIATE_TEST_SUITE_P(Reports, OutputIsInput,
                         testing::Values(SelfOverwrite{"PairFile", "./pair_with_result.txt"},
                                         SelfOverwrite{"ClusterFile", "./job_InnerPropagate.txt"}),
                         [](const testing::TestParamInfo<SelfOverwrite>& info) { return std::string(info.param.key); });

TEST(PairDirectory, EveryReportHoldsEveryPairFilesShare) {
  ScratchDir dir("dir_shares");
  fs::create_directories(dir / "pairs");
  WriteFile(dir / "pairs/a.csv", "A.1.1.2.dta,0,B.2.2.2.dta,0,16.0,0,1\n");
  WriteFile(dir / "pairs/b.csv", "A.1.1.2.dta,0,C.3.3.2.dta,0,14.0,0,2\n");
  WriteFile(dir / "r.spectra", "1,\t1\tA.1.1.2.dta\t1\n*\tK.PEPTIDE.A\n");
  WriteFile(dir / "job.para", proptest::ParaText(dir / "pairs", "r.spectra"));
  CPropagation job;
  ASSERT_TRUE(job.Run(dir / "job.para", false));
  EXPECT_EQ(ReadFile(dir / "pair_with_result.txt"),
            "A.1.1.2.dta,0,B.2.2.2.dta,0,-16.000000,0,1\nA.1.1.2.dta,0,C.3.3.2.dta,0,-14.000000,0,2\n");
  const std::string report = ReadFile(dir / "job_InterPropagate.txt");
  const std::size_t a = report.find("Pair file: " + (dir / "pairs/a.csv") + "\nConflict edges:\n");
  const std::size_t b = report.find("\nPair file: " + (dir / "pairs/b.csv") + "\nConflict edges:\n");
  ASSERT_NE(a, std::string::npos) << report;
  ASSERT_NE(b, std::string::npos) << report;
  EXPECT_NE(report.find("1 B.2.2.2.DTA PEPTIDE -1,-16.000000,1\n"), std::string::npos);
  EXPECT_GT(report.find("1 C.3.3.2.DTA PEPTIDE -1,-14.000000,2\n"), b);
  EXPECT_EQ(job.summary().inter_new_nodes, 2);
  // Each report once in the list of files written.
  EXPECT_EQ(job.summary().outputs.size(), 2u);
}

// --- failure reported as success ---

struct MissingInput {
  const char* key;
  const char* value;
  const char* said;
};

class MissingInputs : public testing::TestWithParam<MissingInput> {};

TEST_P(MissingInputs, StopTheJobAndKeepEarlierReports) {
  // ctest runs each case in its own process, side by side: one folder each.
  ScratchDir dir(std::string("missing_") + GetParam().key + "_" + GetParam().value);
  CopyGoldenInputs(dir);
  fs::create_directories(dir / "folder");
  WriteFile(dir / "job.para", proptest::ParaText("pairs.csv", "results.spectra", "clusters.csv") +
                                  GetParam().key + "=" + GetParam().value + "\n");
  for (const char* report : {"job_InnerPropagate.txt", "job_InterPropagate.txt", "pair_with_result.txt"})
    WriteFile(dir / report, kEarlier);
  proptest::MessageLog log;
  CPropagation job;
  EXPECT_FALSE(job.Run(dir / "job.para", false));
  EXPECT_TRUE(log.Contains(GetParam().said)) << (log.messages.empty() ? "" : log.messages[0]);
  for (const char* report : {"job_InnerPropagate.txt", "job_InterPropagate.txt", "pair_with_result.txt"})
    EXPECT_EQ(ReadFile(dir / report), kEarlier) << report;
  EXPECT_FALSE(LeftoverParts(dir.path()));
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, MissingInputs,
    testing::Values(MissingInput{"ResultFile", "gone.spectra", "Result file: File: gone.spectra does not exist!"},
                    MissingInput{"ResultFile", "folder", "Result file: Can not open file:folder"},
                    MissingInput{"PairFile", "gone.csv", "Pair file: File: gone.csv does not exist!"},
                    MissingInput{"PairFile", "folder", "Pair files: no .csv or .txt file in the directory folder"},
                    MissingInput{"ClusterFile", "gone.csv", "Cluster file: File: gone.csv does not exist!"},
                    MissingInput{"DTAPath", "gone", "Data path: File: gone does not exist!"}),
    [](const testing::TestParamInfo<MissingInput>& info) {
      return std::string(info.param.key) + std::to_string(info.index);
    });

TEST(UnwritableFolders, WorkingDirectoryThatCannotTakeFilesStopsTheJob) {
  ScratchDir dir("unwritable_cwd");
  CopyGoldenInputs(dir);
  WriteFile(dir / "job.para", proptest::ParaText(dir / "pairs.csv", dir / "results.spectra",
                                                 dir / "clusters.csv"));
  WriteFile(dir / "job_InterPropagate.txt", kEarlier);
  // A working directory that no longer exists takes no file, whoever runs.
  fs::create_directories(dir / "gone");
  fs::current_path(dir / "gone");
  fs::remove(dir / "gone");
  proptest::MessageLog log;
  CPropagation job;
  EXPECT_FALSE(job.Run(dir / "job.para", false));
  fs::current_path(dir.path());
  EXPECT_TRUE(log.Contains("Can not save file:pair_with_result.txt"));
  EXPECT_EQ(ReadFile(dir / "job_InterPropagate.txt"), kEarlier);
  EXPECT_FALSE(fs::exists(dir / "job_InnerPropagate.txt"));
  EXPECT_FALSE(LeftoverParts(dir.path()));
}

// A full disk (no byte may be written): a failed run, no file under a final
// name, the earlier report kept.
TEST(UnwritableFolders, FullDiskFailsTheRunWithoutPartialReports) {
  ScratchDir dir("full_disk");
  CopyGoldenInputs(dir);
  WriteFile(dir / "job.para", proptest::ParaText("pairs.csv", "results.spectra", "clusters.csv"));
  WriteFile(dir / "job_InterPropagate.txt", kEarlier);
  const std::string program = std::string(TESSERA_BIN_DIR) + "/propagate";
  // The limit holds for the program alone; its messages pass a pipe.
  EXPECT_EQ(Status("bash -c \"trap '' XFSZ; (ulimit -f 0; exec '" + program +
                   "' job.para) 2>&1 | cat; exit \\${PIPESTATUS[0]}\""), 1);
  const std::string said = ReadFile("out.txt");
  EXPECT_NE(said.find("Can not save file:job_InnerPropagate.txt"), std::string::npos) << said;
  EXPECT_NE(said.find("Propagation failed: job.para"), std::string::npos) << said;
  EXPECT_EQ(ReadFile(dir / "job_InterPropagate.txt"), kEarlier);
  EXPECT_FALSE(fs::exists(dir / "job_InnerPropagate.txt"));
  EXPECT_FALSE(fs::exists(dir / "pair_with_result.txt"));
  EXPECT_FALSE(LeftoverParts(dir.path()));
}

// --- the job from options ---

TEST(PropagateOptions, ValuesAndTheirMistakes) {
  struct Case {
    std::vector<std::string> args;
    const char* error;  // "" when the options are good
  };
  const Case cases[] = {
      {{"--pairs", "p.csv", "--ids", "r.spectra"}, ""},
      {{"--pairs", "p.csv", "--ids", "r.spectra", "--mod-count", "3", "--sites", "-o", "out", "--name", "j"}, ""},
      {{"--ids", "r.spectra"}, "option --pairs: required"},
      {{"--pairs", "p.csv"}, "option --ids: required"},
      {{"--pairs", "p.csv", "--ids", "r.spectra", "--mod-count", "4"}, "option --mod-count: \"4\" is not 1, 2 or 3"},
      {{"--pairs", "p.csv", "--ids", "r.spectra", "--mod-count", "x"}, "option --mod-count"},
      {{"--pairs", "p.csv", "--ids", "r.spectra", "--name", "a/b"}, "option --name"},
      {{"--pairs", "p.csv", "--ids", "r.spectra", "--clusters", ""}, "option --clusters: empty value"},
      {{"job.para", "--pairs", "p.csv", "--ids", "r.spectra"}, "not both"},
  };
  for (const Case& c : cases) {
    cli::CommandLine line = PropagateCommandLine();
    ASSERT_EQ(line.Parse(c.args), cli::Outcome::kRun) << line.Error();
    EXPECT_TRUE(JobFromOptions(line));
    CPropagationPara para;
    std::string para_path, error;
    EXPECT_EQ(ParaFromOptions(line, para, para_path, error), std::string(c.error).empty()) << c.args[1];
    EXPECT_NE(error.find(c.error), std::string::npos) << error;
  }
  cli::CommandLine line = PropagateCommandLine();
  ASSERT_EQ(line.Parse({"--pairs", "p.csv", "--ids", "r.spectra", "--mod-count", "2", "--sites", "-o", "/tmp/x"}),
            cli::Outcome::kRun);
  CPropagationPara para;
  std::string para_path, error;
  ASSERT_TRUE(ParaFromOptions(line, para, para_path, error));
  EXPECT_EQ(para_path, "/tmp/x/propagation.para");
  EXPECT_EQ(para.pair_file, (fs::current_path() / "p.csv").string());
  EXPECT_EQ(para.mod_count, 2);
  EXPECT_EQ(para.is_mod_site_determined, 1);
  EXPECT_TRUE(para.cluster_file.empty());
}

TEST(PropagateOptions, RunGivesTheReportsOfTheParameterFileAndWritesIt) {
  ScratchDir dir("from_options");
  CopyGoldenInputs(dir);
  const std::string program = std::string(TESSERA_BIN_DIR) + "/propagate";
  ASSERT_EQ(Status(program + " --pairs pairs.csv --ids results.spectra --clusters clusters.csv -o out --name job"), 0)
      << ReadFile("err.txt");
  for (const char* name : {"InnerPropagate", "InterPropagate"})
    EXPECT_EQ(ReadFile(dir / (std::string("out/job_") + name + ".txt")),
              ReadFile(proptest::SourceData(std::string("golden/expected_") + name + ".txt")));
  EXPECT_EQ(ReadFile(dir / "out/pair_with_result.txt"),
            ReadFile(proptest::SourceData("golden/expected_pair_with_result.txt")));
  const std::string out = ReadFile("out.txt");
  EXPECT_EQ(out.rfind("Parameter file: " + (dir / "out/job.para") + "\n", 0), 0u) << out;
  EXPECT_NE(out.find("  " + (dir / "out/pair_with_result.txt") + "\n"), std::string::npos) << out;
  EXPECT_NE(ReadFile("err.txt").find("propagate: inner propagation"), std::string::npos);
  // Standard output holds only the summary; the run can be repeated from
  // the parameter file it left.
  EXPECT_EQ(out.find("propagate:"), std::string::npos);
  EXPECT_NE(ReadFile(dir / "out/job.para").find("ClusterFile=" + (dir / "clusters.csv") + "\n"), std::string::npos);
  fs::remove(dir / "out/job_InterPropagate.txt");
  EXPECT_EQ(Status(program + " --quiet out/job.para"), 0);
  EXPECT_EQ(ReadFile("err.txt"), "");
  EXPECT_EQ(ReadFile(dir / "out/job_InterPropagate.txt"),
            ReadFile(proptest::SourceData("golden/expected_InterPropagate.txt")));
  // Missing inputs: nothing is created.
  EXPECT_EQ(Status(program + " --pairs none.csv --ids results.spectra -o out2"), 1);
  EXPECT_FALSE(fs::exists(dir / "out2"));
}

}  // namespace
