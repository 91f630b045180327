#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "propagation/Propagation.h"
#include "TestUtil.h"

namespace {

using proptest::ReadFile;
namespace fs = std::filesystem;

class PropagationRun : public proptest::JobDirTest {
 protected:
  // A directory of two pair files: a.csv reaches B from A, b.csv reaches C from B.
  void WritePairDirectory() {
    fs::create_directories(File("pairs"));
    Write("pairs/a.csv", "A.1.1.2.dta,0,B.2.2.2.dta,0,16.0,0,1\n");
    Write("pairs/b.csv", "B.2.2.2.dta,0,C.3.3.2.dta,0,16.0,0,1\n");
    Write("r.spectra", "1,\t1\tA.1.1.2.dta\t1\n*\tK.PEPTIDE.A\n");
  }
};

TEST_F(PropagationRun, ClusterJobMatchesGoldenReports) {
  proptest::CopyGoldenInputs(dir_, /*with_para=*/true);
  CPropagation job;
  ASSERT_TRUE(job.Run(File("job.para"), false));
  EXPECT_EQ(ReadFile(File("job_InnerPropagate.txt")),
            ReadFile(proptest::SourceData("golden/expected_InnerPropagate.txt")));
  EXPECT_EQ(ReadFile(File("job_InterPropagate.txt")),
            ReadFile(proptest::SourceData("golden/expected_InterPropagate.txt")));
  EXPECT_EQ(ReadFile(File("pair_with_result.txt")),
            ReadFile(proptest::SourceData("golden/expected_pair_with_result.txt")));
  EXPECT_EQ(job.summary().identified_before, 6);
  EXPECT_EQ(job.summary().inner_conflicts, 1);
  EXPECT_EQ(job.summary().inter_new_nodes, 2);
}

TEST_F(PropagationRun, RunnerProgramRunsTheJobAndReportsFailures) {
  proptest::CopyGoldenInputs(dir_, /*with_para=*/true);
  const std::string program = std::string(TESSERA_BIN_DIR) + "/propagate";
  auto status = [](const std::string& command) {
    const int raw = std::system((command + " > out.txt 2>&1").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  EXPECT_EQ(status(program + " job.para"), 0);
  EXPECT_NE(ReadFile("out.txt").find("Identified before propagation: 6"), std::string::npos);
  EXPECT_EQ(ReadFile(File("job_InterPropagate.txt")),
            ReadFile(proptest::SourceData("golden/expected_InterPropagate.txt")));
  EXPECT_EQ(status(program), 2);
  EXPECT_NE(ReadFile("out.txt").find("usage: propagate <job.para> [--ids FILE]... [--sites]"), std::string::npos);
  EXPECT_EQ(status(program + " a.para b.para"), 2);
  EXPECT_EQ(status(program + " missing.para"), 1);
  EXPECT_NE(ReadFile("out.txt").find("Can not open file:missing.para"), std::string::npos);
  // Identical lines for the desktop's summary.
  CPropagation job;
  ASSERT_TRUE(job.Run("job.para", false));
  EXPECT_EQ(status(program + " job.para"), 0);
  EXPECT_NE(ReadFile("out.txt").find(FormatSummary(job)), std::string::npos);
}

TEST_F(PropagationRun, PairDirectoryListsCsvAndTxtFilesInNameOrder) {
  fs::create_directories(File("pairs/d.csv"));
  for (const char* name : {"b.TXT", "a.csv", "c.dat", "xx", "pair_with_result.txt", "job_InterPropagate.txt"})
    Write(std::string("pairs/") + name, "");
  const std::vector<std::string> files = CPropagation::ListPairFiles(File("pairs"));
  ASSERT_EQ(files.size(), 2u);
  EXPECT_EQ(files[0], File("pairs/a.csv"));
  EXPECT_EQ(files[1], File("pairs/b.TXT"));
  EXPECT_TRUE(CPropagation::ListPairFiles(File("pairs/a.csv")).empty());
  EXPECT_TRUE(CPropagation::ListPairFiles(File("none")).empty());
}

TEST_F(PropagationRun, WithoutClusterFileEveryPairFileStartsFromTheResultFile) {
  WritePairDirectory();
  Write("job.para", proptest::ParaText(File("pairs"), "r.spectra"));
  CPropagation job;
  ASSERT_TRUE(job.Run(File("job.para"), false));
  // The last report is b.csv's: B is unknown to it.
  EXPECT_NE(ReadFile(File("job_InterPropagate.txt")).find("Propagation result:\n0 A.1.1.2.DTA PEPTIDE\nSum=0\n"),
            std::string::npos);
  EXPECT_EQ(job.results().size(), 1u);
  EXPECT_EQ(job.summary().pair_files, 2);
}

TEST_F(PropagationRun, WithClusterFileLaterPairFilesSeeEarlierFindings) {
  WritePairDirectory();
  Write("clusters.csv", "0,A.1.1.2.dta,1,0\n1,B.2.2.2.dta,2,0\n2,C.3.3.2.dta,3,0\n");
  Write("job.para", proptest::ParaText(File("pairs"), "r.spectra", "clusters.csv"));
  CPropagation job;
  ASSERT_TRUE(job.Run(File("job.para"), false));
  EXPECT_NE(ReadFile(File("job_InterPropagate.txt"))
                .find("0 B.2.2.2.DTA PEPTIDE -1,-16.000000,1\n"
                      "1 C.3.3.2.DTA PEPTIDE -1,-16.000000,1 -1,-16.000000,1\nSum=1\n"
                      "Interpropagation new spectral num:1\n"),
            std::string::npos);
}

TEST_F(PropagationRun, UnwritableInnerReportStillWorksThroughThePairs) {
  proptest::MessageLog log;
  WritePairDirectory();
  Write("clusters.csv", "0,A.1.1.2.dta,1,0\n1,B.2.2.2.dta,2,0\n");
  Write("job.para", proptest::ParaText("pairs/a.csv", "r.spectra", "clusters.csv"));
  fs::create_directories(File("job_InnerPropagate.txt"));  // cannot be opened as a file
  CPropagation job;
  EXPECT_FALSE(job.Run(File("job.para"), false));
  EXPECT_TRUE(log.Contains("Can not save file:" + File("job_InnerPropagate.txt")));
  // The identifications as read are carried through the pair file.
  EXPECT_EQ(job.results().at("B.2.2.2.DTA"), "PEPTIDE -1,-16.000000,1");
  EXPECT_NE(ReadFile(File("job_InterPropagate.txt")).find("1 B.2.2.2.DTA PEPTIDE -1,-16.000000,1\n"),
            std::string::npos);
  EXPECT_EQ(ReadFile(File("pair_with_result.txt")), "A.1.1.2.dta,0,B.2.2.2.dta,0,-16.000000,0,1\n");
}

TEST_F(PropagationRun, DirectoryFlagWithAFilePathProcessesThatFile) {
  WritePairDirectory();
  Write("job.para", "PairFile=pairs/a.csv\nResultFile=r.spectra\nIsDirectory=1\n");
  CPropagation job;
  ASSERT_TRUE(job.Run(File("job.para"), false));
  EXPECT_EQ(job.results().at("B.2.2.2.DTA"), "PEPTIDE -1,-16.000000,1");
}

TEST_F(PropagationRun, ResultFileWithoutReaderStopsTheJob) {
  proptest::MessageLog log;
  WritePairDirectory();
  Write("results.txt", "");
  Write("job.para", proptest::ParaText("pairs/a.csv", "results.txt"));
  CPropagation job;
  EXPECT_FALSE(job.Run(File("job.para"), false));
  EXPECT_TRUE(log.Contains("Unknown result file type:results.txt"));
  EXPECT_FALSE(fs::exists(File("job_InterPropagate.txt")));
  EXPECT_FALSE(fs::exists(File("pair_with_result.txt")));

  Write("job.para", proptest::ParaText("pairs/a.csv", "results", "clusters.csv"));
  EXPECT_FALSE(job.Run(File("job.para"), false));
  EXPECT_FALSE(fs::exists(File("job_InnerPropagate.txt")));
}

// Comet's pepXML of the BSA1 run, read as it is.
TEST_F(PropagationRun, SearchEngineResultsAreFilteredAndCheckedAgainstTheJob) {
  const std::string pepxml = std::string(TESSERA_SOURCE_DIR) + "/data/BSA/BSA1_Comet.pep.xml";
  // Two of the identified spectra, one unidentified, in one cluster.
  Write("clusters.csv",
            "1,BSA1.670.670.2.dta,1,1444.6\n2,BSA1.747.747.2.dta,1,1444.6\n"
            "3,BSA1.999999.999999.2.dta,1,1444.6\n");
  Write("pairs.csv", "");
  Write("job.para", proptest::ParaText(File("pairs.csv"), pepxml, File("clusters.csv")));
  proptest::MessageLog log;
  CPropagation job;
  ASSERT_TRUE(job.Run(File("job.para"), false));
  EXPECT_EQ(job.summary().identified_before, 40);  // at 1% FDR
  EXPECT_EQ(job.summary().identified_in_job, 2);
  ASSERT_FALSE(job.summary().result_report.empty());
  EXPECT_NE(job.summary().result_report[0].find("971 spectra with a rank-1 hit; 40 kept"),
            std::string::npos);
  EXPECT_EQ(job.summary().added_spectra, 1);
  EXPECT_EQ(job.added().at("BSA1.999999.999999.2.DTA").identification, "YICDNQDTISSK 2,1");
  EXPECT_TRUE(log.messages.empty());

  // Identifications of another run: said, and the job still runs.
  Write("clusters.csv", "1,OTHER.1.1.2.dta,1,1000\n");
  ASSERT_TRUE(job.Run(File("job.para"), false));
  EXPECT_EQ(job.summary().identified_in_job, 0);
  EXPECT_TRUE(log.Contains("none of the 40 identifications of " + pepxml));

  // A level outside (0, 1] stops the job before anything is written.
  job.OverrideFilter("150%", "", "");
  fs::remove(File("job_InnerPropagate.txt"));
  EXPECT_FALSE(job.Run(File("job.para"), false));
  EXPECT_TRUE(log.Contains("FDR level 150%"));
  EXPECT_FALSE(fs::exists(File("job_InnerPropagate.txt")));
  // Without decoys the rate cannot be estimated: the job stops; a threshold
  // lets it run.
  job.OverrideFilter("", "", "NO_SUCH_PREFIX");
  EXPECT_FALSE(job.Run(File("job.para"), false));
  EXPECT_TRUE(log.Contains("no decoy hits"));
  job.OverrideFilter("", "1e-3", "NO_SUCH_PREFIX");
  ASSERT_TRUE(job.Run(File("job.para"), false));
  EXPECT_GT(job.summary().identified_before, 0);
}

TEST_F(PropagationRun, BadInputsGiveMessagesAndNoCrash) {
  proptest::MessageLog log;
  CPropagation job;
  EXPECT_FALSE(job.Run(File("missing.para"), false));
  EXPECT_TRUE(log.Contains("Can not open file:" + File("missing.para")));

  // An empty pair file: the report holds empty sections.
  Write("r.spectra", "");
  Write("nopairs.csv", "");
  Write("job.para", proptest::ParaText("nopairs.csv", "r.spectra"));
  EXPECT_TRUE(job.Run(File("job.para"), false));
  EXPECT_EQ(ReadFile(File("job_InterPropagate.txt")),
            "Conflict edges:\nSum=0\n\nConflict nodes:\nSum=0\n\nPropagation result:\nSum=0\n"
            "Interpropagation new spectral num:0\nSame result edges: 0\nConflict num: 0\n"
            "normal edges with result: 0\n#\tAA\n");

  // Missing result file and garbage everywhere else.
  std::string garbage(3000, '\0');
  for (std::size_t i = 0; i < garbage.size(); ++i) garbage[i] = static_cast<char>((i * 131 + 7) % 256);
  Write("g.csv", garbage + "\n" + std::string(70000, 'x') + ",1,2\n");
  Write("g.spectra", garbage + "\n1,\n*\n#.\n*.)\n");
  Write("job.para", proptest::ParaText("g.csv", "none.spectra", "g.csv"));
  EXPECT_FALSE(job.Run(File("job.para"), true));
  EXPECT_TRUE(log.Contains("Result file: File: none.spectra does not exist!"));
  Write("job.para", proptest::ParaText("g.csv", "g.spectra", "g.csv", "", 3));
  EXPECT_TRUE(job.Run(File("job.para"), true));
  Write("job.para", proptest::ParaText("g.csv", "g.spectra", "", "", 3));
  EXPECT_TRUE(job.Run(File("job.para"), true));
  Write("job.para", garbage);
  EXPECT_FALSE(job.Run(File("job.para"), false));  // no result file named
}

// Without a cluster file, identifications that name no spectrum of the pair
// files are said, as they are with one.
TEST_F(PropagationRun, WithoutClusterFileIdentificationsOfAnotherRunAreSaid) {
  Write("pairs.csv", "X.1.1.2.dta,0,Y.2.2.2.dta,0,16.0,0,1\n");
  Write("r.spectra", "1,\t1\tA.1.1.2.dta\t1\n*\tK.PEPTIDE.A\n");
  Write("job.para", proptest::ParaText("pairs.csv", "r.spectra"));
  proptest::MessageLog log;
  CPropagation job;
  ASSERT_TRUE(job.Run(File("job.para"), false));
  EXPECT_TRUE(log.Contains("Warning: none of the 1 identifications of r.spectra names a spectrum of the pair files"))
      << (log.messages.empty() ? "" : log.messages[0]);
}

// Tagram files name spectra as this system writes them, in lower case, and
// the reader keeps them so; the pair and cluster files they meet are read
// upper-cased, and the job matches names without regard to case: with or
// without a cluster file, with LF or CRLF line ends.
TEST_F(PropagationRun, TagramNamesInAnyCaseMeetThePairsAndClusters) {
  const std::string tagram = "[Total]\ntotal=1\n[Spectrum1]\nName=Run.1.1.2.dta\n1=PEPTIDE 1.0\n";
  std::string crlf;
  for (const char c : tagram) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Write("pairs.csv", "run.1.1.2.dta,0,run.2.2.2.dta,0,16.0,0,1\n");
  Write("clusters.csv", "0,RUN.1.1.2.dta,1,0\n1,run.2.2.2.DTA,2,0\n");
  for (const std::string& text : {tagram, crlf}) {
    for (const char* clusters : {"", "clusters.csv"}) {
      Write("r.tagram", text);
      Write("job.para", proptest::ParaText("pairs.csv", "r.tagram", clusters));
      proptest::MessageLog log;
      CPropagation job;
      ASSERT_TRUE(job.Run(File("job.para"), false)) << clusters;
      EXPECT_EQ(job.summary().identified_in_job, 1) << clusters;
      EXPECT_EQ(job.results().at("RUN.2.2.2.DTA"), "PEPTIDE -1,-16.000000,1") << clusters;
      EXPECT_TRUE(log.messages.empty()) << log.messages[0];
    }
  }
}

}  // namespace
