// A job never loses data and never reports a failure as success: outputs
// that are inputs are refused, missing inputs and unwritable folders stop
// the job before anything is written, reports are whole or absent, and a
// pair directory's reports hold every pair file's share.

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

#include "propagation/PropagateOptions.h"
#include "propagation/Propagation.h"
#include "TestUtil.h"

namespace {

using proptest::ReadFile;
namespace fs = std::filesystem;

const char kEarlier[] = "earlier report\n";

int Status(const std::string& command) {
  const int raw = std::system((command + " > out.txt 2> err.txt").c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

bool LeftoverParts(const fs::path& directory) {
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
  // Parameterised names hold "/": a folder of the case's own instead of the fixture's.
  const testsupport::CTempDir dir(std::string("self_") + GetParam().key);
  const testsupport::CCurrentDir working(dir.Path());
  proptest::CopyGoldenInputs(dir.Path());
  const std::string golden_pairs = ReadFile(dir.File("pairs.csv"));
  const std::string golden_clusters = ReadFile(dir.File("clusters.csv"));
  fs::copy_file(dir.File("pairs.csv"), dir.File("pair_with_result.txt"));
  fs::copy_file(dir.File("clusters.csv"), dir.File("job_InnerPropagate.txt"));
  std::string para = proptest::ParaText("pairs.csv", "results.spectra", "clusters.csv");
  // Spelled differently from the output, so that only a file comparison sees it.
  para += std::string(GetParam().key) + "=" + GetParam().value + "\n";
  dir.Write("job.para", para);
  proptest::MessageLog log;
  CPropagation job;
  EXPECT_FALSE(job.Run(dir.File("job.para"), false));
  EXPECT_TRUE(log.Contains("it would be overwritten")) << (log.messages.empty() ? "" : log.messages[0]);
  EXPECT_EQ(ReadFile(dir.File("pair_with_result.txt")), golden_pairs);
  EXPECT_EQ(ReadFile(dir.File("job_InnerPropagate.txt")), golden_clusters);
  EXPECT_FALSE(fs::exists(dir.File("job_InterPropagate.txt")));
}

INSTANTIATE_TEST_SUITE_P(Reports, OutputIsInput,
                         testing::Values(SelfOverwrite{"PairFile", "./pair_with_result.txt"},
                                         SelfOverwrite{"ClusterFile", "./job_InnerPropagate.txt"}),
                         [](const testing::TestParamInfo<SelfOverwrite>& info) { return std::string(info.param.key); });

class PairDirectory : public proptest::JobDirTest {};

TEST_F(PairDirectory, EveryReportHoldsEveryPairFilesShare) {
  fs::create_directories(File("pairs"));
  Write("pairs/a.csv", "A.1.1.2.dta,0,B.2.2.2.dta,0,16.0,0,1\n");
  Write("pairs/b.csv", "A.1.1.2.dta,0,C.3.3.2.dta,0,14.0,0,2\n");
  Write("r.spectra", "1,\t1\tA.1.1.2.dta\t1\n*\tK.PEPTIDE.A\n");
  Write("job.para", proptest::ParaText(File("pairs"), "r.spectra"));
  CPropagation job;
  ASSERT_TRUE(job.Run(File("job.para"), false));
  EXPECT_EQ(ReadFile(File("pair_with_result.txt")),
            "A.1.1.2.dta,0,B.2.2.2.dta,0,-16.000000,0,1\nA.1.1.2.dta,0,C.3.3.2.dta,0,-14.000000,0,2\n");
  const std::string report = ReadFile(File("job_InterPropagate.txt"));
  const std::size_t a = report.find("Pair file: " + File("pairs/a.csv") + "\nConflict edges:\n");
  const std::size_t b = report.find("\nPair file: " + File("pairs/b.csv") + "\nConflict edges:\n");
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
  const testsupport::CTempDir dir(std::string("missing_") + GetParam().key + "_" + GetParam().value);
  const testsupport::CCurrentDir working(dir.Path());
  proptest::CopyGoldenInputs(dir.Path());
  fs::create_directories(dir.File("folder"));
  dir.Write("job.para", proptest::ParaText("pairs.csv", "results.spectra", "clusters.csv") +
                            GetParam().key + "=" + GetParam().value + "\n");
  for (const char* report : {"job_InnerPropagate.txt", "job_InterPropagate.txt", "pair_with_result.txt"})
    dir.Write(report, kEarlier);
  proptest::MessageLog log;
  CPropagation job;
  EXPECT_FALSE(job.Run(dir.File("job.para"), false));
  EXPECT_TRUE(log.Contains(GetParam().said)) << (log.messages.empty() ? "" : log.messages[0]);
  for (const char* report : {"job_InnerPropagate.txt", "job_InterPropagate.txt", "pair_with_result.txt"})
    EXPECT_EQ(ReadFile(dir.File(report)), kEarlier) << report;
  EXPECT_FALSE(LeftoverParts(dir.Path()));
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

class UnwritableFolders : public proptest::JobDirTest {};

TEST_F(UnwritableFolders, WorkingDirectoryThatCannotTakeFilesStopsTheJob) {
  proptest::CopyGoldenInputs(dir_);
  Write("job.para", proptest::ParaText(File("pairs.csv"), File("results.spectra"), File("clusters.csv")));
  Write("job_InterPropagate.txt", kEarlier);
  // A working directory that no longer exists takes no file, whoever runs.
  fs::create_directories(File("gone"));
  fs::current_path(File("gone"));
  fs::remove(File("gone"));
  proptest::MessageLog log;
  CPropagation job;
  EXPECT_FALSE(job.Run(File("job.para"), false));
  fs::current_path(dir_);
  EXPECT_TRUE(log.Contains("Can not save file:pair_with_result.txt"));
  EXPECT_EQ(ReadFile(File("job_InterPropagate.txt")), kEarlier);
  EXPECT_FALSE(fs::exists(File("job_InnerPropagate.txt")));
  EXPECT_FALSE(LeftoverParts(dir_));
}

// A full disk (no byte may be written): a failed run, no file under a final
// name, the earlier report kept.
TEST_F(UnwritableFolders, FullDiskFailsTheRunWithoutPartialReports) {
  proptest::CopyGoldenInputs(dir_);
  Write("job.para", proptest::ParaText("pairs.csv", "results.spectra", "clusters.csv"));
  Write("job_InterPropagate.txt", kEarlier);
  const std::string program = std::string(TESSERA_BIN_DIR) + "/propagate";
  // The limit holds for the program alone; its messages pass a pipe.
  EXPECT_EQ(Status("bash -c \"trap '' XFSZ; (ulimit -f 0; exec '" + program +
                   "' job.para) 2>&1 | cat; exit \\${PIPESTATUS[0]}\""), 1);
  const std::string said = ReadFile("out.txt");
  EXPECT_NE(said.find("Can not save file:job_InnerPropagate.txt"), std::string::npos) << said;
  EXPECT_NE(said.find("Propagation failed: job.para"), std::string::npos) << said;
  EXPECT_EQ(ReadFile(File("job_InterPropagate.txt")), kEarlier);
  EXPECT_FALSE(fs::exists(File("job_InnerPropagate.txt")));
  EXPECT_FALSE(fs::exists(File("pair_with_result.txt")));
  EXPECT_FALSE(LeftoverParts(dir_));
}

// --- the job from options ---

class PropagateOptions : public proptest::JobDirTest {};

TEST_F(PropagateOptions, ValuesAndTheirMistakes) {
  struct Case {
    std::vector<std::string> args;
    const char* error;  // "" when the options are good
  };
  const Case cases[] = {
      {{"--pairs", "p.csv", "--ids", "r.spectra"}, ""},
      {{"--pairs", "p.csv", "--ids", "r.spectra", "--mod-count", "3", "--sites", "-o", "out", "--name", "j"}, ""},
      {{"--ids", "r.spectra"}, "option --pairs: required"},
      {{"--pairs", "p.csv"}, "option --ids: required"},
      {{"--pairs", "p.csv", "--ids", "r.spectra", "--name", "a/b"}, "option --name"},
      {{"--pairs", "p.csv", "--ids", "r.spectra", "--name", ""}, "option --name"},
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
  // Values of the wrong kind never reach the job.
  for (const char* count : {"4", "0", "x", "1.5"}) {
    EXPECT_EQ(line.Parse({"--pairs", "p.csv", "--ids", "r.spectra", "--mod-count", count}), cli::Outcome::kError);
    EXPECT_NE(line.Error().find("option --mod-count: \"" + std::string(count) + "\""), std::string::npos);
  }
  EXPECT_EQ(line.Parse({"--pairs", "p.csv", "--ids", "r.spectra", "--clusters", ""}), cli::Outcome::kError);
  ASSERT_EQ(line.Parse({"--pairs", "p.csv", "--ids", "r.spectra", "--mod-count", "2", "--sites", "-o", "/tmp/x"}),
            cli::Outcome::kRun);
  CPropagationPara para;
  std::string para_path, error;
  ASSERT_TRUE(ParaFromOptions(line, para, para_path, error));
  EXPECT_EQ(para_path, "/tmp/x/propagation.para");
  // The output folder by each of its names; the older --out-dir stays.
  for (const char* name : {"--output", "--out-dir"}) {
    ASSERT_EQ(line.Parse({"--pairs", "p.csv", "--ids", "r.spectra", name, "/tmp/y"}), cli::Outcome::kRun) << name;
    ASSERT_TRUE(ParaFromOptions(line, para, para_path, error)) << error;
    EXPECT_EQ(para_path, "/tmp/y/propagation.para") << name;
  }
  ASSERT_EQ(line.Parse({"--pairs", "p.csv", "--ids", "r.spectra", "--mod-count", "2", "--sites", "-o", "/tmp/x"}),
            cli::Outcome::kRun);
  ASSERT_TRUE(ParaFromOptions(line, para, para_path, error));
  EXPECT_EQ(para.pair_file, (fs::current_path() / "p.csv").string());
  EXPECT_EQ(para.mod_count, 2);
  EXPECT_EQ(para.is_mod_site_determined, 1);
  EXPECT_TRUE(para.cluster_file.empty());
}

TEST_F(PropagateOptions, RunGivesTheReportsOfTheParameterFileAndWritesIt) {
  proptest::CopyGoldenInputs(dir_);
  const std::string program = std::string(TESSERA_BIN_DIR) + "/propagate";
  ASSERT_EQ(Status(program + " --pairs pairs.csv --ids results.spectra --clusters clusters.csv -o out --name job"), 0)
      << ReadFile("err.txt");
  for (const char* name : {"InnerPropagate", "InterPropagate"})
    EXPECT_EQ(ReadFile(File(std::string("out/job_") + name + ".txt")),
              ReadFile(proptest::SourceData(std::string("golden/expected_") + name + ".txt")));
  EXPECT_EQ(ReadFile(File("out/pair_with_result.txt")),
            ReadFile(proptest::SourceData("golden/expected_pair_with_result.txt")));
  const std::string out = ReadFile("out.txt");
  EXPECT_EQ(out.rfind("Parameter file: " + File("out/job.para") + "\n", 0), 0u) << out;
  EXPECT_NE(out.find("  " + File("out/pair_with_result.txt") + "\n"), std::string::npos) << out;
  EXPECT_NE(ReadFile("err.txt").find("propagate: inner propagation"), std::string::npos);
  // Standard output holds only the summary; the run can be repeated from
  // the parameter file it left.
  EXPECT_EQ(out.find("propagate:"), std::string::npos);
  EXPECT_NE(ReadFile(File("out/job.para")).find("ClusterFile=" + File("clusters.csv") + "\n"), std::string::npos);
  fs::remove(File("out/job_InterPropagate.txt"));
  EXPECT_EQ(Status(program + " --quiet out/job.para"), 0);
  EXPECT_EQ(ReadFile("err.txt"), "");
  EXPECT_EQ(ReadFile(File("out/job_InterPropagate.txt")),
            ReadFile(proptest::SourceData("golden/expected_InterPropagate.txt")));
  // Missing inputs: nothing is created.
  EXPECT_EQ(Status(program + " --pairs none.csv --ids results.spectra -o out2"), 1);
  EXPECT_FALSE(fs::exists(File("out2")));
}

// Filter values out of range are a wrong command line (status 2), refused
// before anything is written: the parameter file of a job given as options
// is not written, an existing one not replaced.
TEST_F(PropagateOptions, FilterValuesOutOfRangeAreRefusedBeforeAnyWrite) {
  proptest::CopyGoldenInputs(dir_, /*with_para=*/true);
  const std::string program = std::string(TESSERA_BIN_DIR) + "/propagate";
  const std::string para = ReadFile(File("job.para"));
  for (const char* wrong : {"--fdr 0", "--fdr 101%", "--fdr nan", "--fdr 1e999", "--threshold abc",
                            "--threshold inf"}) {
    EXPECT_EQ(Status(program + " job.para " + wrong), 2) << wrong;
    EXPECT_NE(ReadFile("err.txt").find("usage: propagate"), std::string::npos) << ReadFile("err.txt");
    EXPECT_EQ(Status(program + " --pairs pairs.csv --ids results.spectra -o out --name job " + wrong), 2)
        << wrong;
    EXPECT_EQ(Status("'" + std::string(TESSERA_BIN_DIR) + "/idlist' results.spectra " + wrong), 2) << wrong;
  }
  EXPECT_EQ(ReadFile(File("job.para")), para);
  EXPECT_FALSE(fs::exists(File("out")));
  EXPECT_FALSE(fs::exists(File("job_InterPropagate.txt")));
}

// idlist keeps standard output for the list: its errors go to standard error.
TEST_F(PropagateOptions, IdlistSaysItsErrorsOnStandardError) {
  const std::string program = "'" + std::string(TESSERA_BIN_DIR) + "/idlist'";
  Write("notes.txt", "");
  Write("broken.pep.xml", "<msms_pipeline_analysis><msms_run_summary");
  for (const char* file : {"notes.txt", "broken.pep.xml", "missing.pep.xml"}) {
    EXPECT_EQ(Status(program + " " + file), 1) << file;
    EXPECT_EQ(ReadFile("out.txt"), "") << file;
    EXPECT_NE(ReadFile("err.txt").find(file), std::string::npos) << file << ": " << ReadFile("err.txt");
  }
}

// --added to a device, a link to one, a FIFO or an open descriptor is
// written in place.
TEST_F(PropagateOptions, AddedListToDevicesAndFifosIsWrittenInPlace) {
  proptest::CopyGoldenInputs(dir_, /*with_para=*/true);
  const std::string program = std::string(TESSERA_BIN_DIR) + "/propagate";
  fs::create_symlink("/dev/null", File("null.tsv"));
  EXPECT_EQ(Status(program + " job.para --added null.tsv"), 0) << ReadFile("err.txt");
  EXPECT_TRUE(fs::is_symlink(File("null.tsv")));
  ASSERT_EQ(mkfifo(File("added.fifo").c_str(), 0600), 0);
  EXPECT_EQ(Status("(cat added.fifo > added.txt & " + program + " job.para --added added.fifo; s=$?; wait; exit $s)"), 0);
  EXPECT_TRUE(fs::is_fifo(File("added.fifo")));
  EXPECT_NE(ReadFile(File("added.txt")).find("\tcluster\n"), std::string::npos) << ReadFile(File("added.txt"));
  // Standard output sent to a file: the list goes to that file, through the
  // descriptor, and the link that names it stays a link.
  EXPECT_EQ(Status(program + " job.para --added /dev/fd/1"), 0) << ReadFile("err.txt");
  const std::string out = ReadFile("out.txt");
  EXPECT_NE(out.find("Identified before propagation: 6\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\tcluster\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\n  /dev/fd/1\n"), std::string::npos) << out;
  EXPECT_EQ(out.find('\0'), std::string::npos) << out;
}

}  // namespace
