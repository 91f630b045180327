// cluster from options: every option reaches the parameter set, bad values
// are named, and a run from options writes what the equivalent parameter
// file writes.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "clustering/Para.h"
#include "drivers/cluster/ClusterOptions.h"
#include "tests/support/Files.h"

namespace {

namespace fs = std::filesystem;

using testsupport::ReadFile;

const std::string kData = std::string(TESSERA_SOURCE_DIR) + "/clustering/tests/data/cluster_in";
const std::string kProgram = std::string(TESSERA_BIN_DIR) + "/cluster";

bool ParaOf(const std::vector<std::string>& args, CPara& para, std::string& error) {
  cli::CommandLine line = clusterjob::ClusterCommandLine();
  if (line.Parse(args) != cli::Outcome::kRun) {
    error = line.Error();
    return false;
  }
  return clusterjob::ParaFromOptions(line, "in.mgf", 2, "out", para, error);
}

int Shell(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(ClusterOptions, EveryOptionReachesItsKey) {
  CPara para;
  std::string error;
  ASSERT_TRUE(ParaOf({"--type", "pairs", "--small-peaks-count-filter", "4", "--peak-select-method", "top-n",
                      "--whole-top-peak-num", "40", "--part-top-peak-num", "6", "--part-top-peak-per-num", "50",
                      "--similar-method", "dot product mod", "--fragment-tol", "20ppm", "--precursor-tol",
                      "2.5Da", "--consensus-type", "both", "--consensus-tol", "0.3", "--threshold", "0.7",
                      "--lower-mass", "-10", "--upper-mass", "300", "--cluster-masses-tol", "0.02"},
                     para, error))
      << error;
  const CSpectraProcess& data = *para.spectra_process;
  EXPECT_EQ(data.data_type, MS2_FORMAT_MGF);
  EXPECT_EQ(data.data_directory, "in.mgf");
  EXPECT_EQ(data.cluster_result, "out/pairs.csv");
  EXPECT_EQ(data.out_directory, "out/spectra");
  EXPECT_EQ(data.small_peaks_count_filter, 4);
  EXPECT_EQ(para.cluster->cluster_type, CLUSTER_SPECTRAL_PAIR);
  EXPECT_EQ(para.peak_select->peak_select_method, PEAK_SELECT_TOP_N);
  EXPECT_EQ(para.peak_select->whole_top_peak_num, 40);
  EXPECT_EQ(para.peak_select->part_top_peak_num, 6);
  EXPECT_EQ(para.peak_select->part_top_peak_per_num, 50);
  EXPECT_EQ(para.similarity->similar_method, SIMILAR_DOT_PRODUCT_MOD);
  EXPECT_EQ(para.similarity->fragment_ion_tol, 20);
  EXPECT_EQ(para.similarity->fragment_ion_tol_type, TOLERANCE_PPM);
  EXPECT_EQ(para.cluster->precursor_ion_tol, 2.5);
  EXPECT_EQ(para.cluster->precursor_ion_tol_type, TOLERANCE_DA);
  EXPECT_EQ(para.representative_spectra->consensus_type, REPRESENTATIVE_BOTH);
  EXPECT_EQ(para.representative_spectra->consensus_fragment_tol, 0.3);
  EXPECT_EQ(para.representative_spectra->consensus_fragment_tol_type, TOLERANCE_DA);
  EXPECT_EQ(para.cluster->threshold, 0.7);
  EXPECT_EQ(para.cluster->lower_mass, -10);
  EXPECT_EQ(para.cluster->upper_mass, 300);
  EXPECT_EQ(para.cluster->cluster_masses_tol, 0.02);

  // Without options: the reader's defaults, masses 0 as in a file without them.
  ASSERT_TRUE(ParaOf({}, para, error)) << error;
  EXPECT_EQ(para.cluster->cluster_type, CLUSTER_SIMILARITY);
  EXPECT_EQ(para.cluster->lower_mass, 0);
  EXPECT_EQ(para.cluster->upper_mass, 0);
  EXPECT_EQ(para.cluster->threshold, 0.6);
  EXPECT_EQ(para.spectra_process->cluster_result, "out/clusters.csv");
}

TEST(ClusterOptions, PairSearchWritesNoScoreLogUnlessAsked) {
  for (const auto& [args, log] :
       {std::pair{std::vector<std::string>{"--type", "pairs"}, false},
        std::pair{std::vector<std::string>{"--type", "pairs", "--score-log"}, true},
        std::pair{std::vector<std::string>{}, true}}) {
    CPara para;
    std::string error;
    ASSERT_TRUE(ParaOf(args, para, error)) << error;
    EXPECT_EQ(para.cluster->score_log, log) << args.size();
  }
}

TEST(ClusterOptions, BadValuesNameTheirOption) {
  for (const std::string option : {"type", "peak-select-method", "similar-method", "fragment-tol", "precursor-tol",
                                   "consensus-type", "threshold", "whole-top-peak-num", "lower-mass"}) {
    CPara para;
    std::string error;
    EXPECT_FALSE(ParaOf({"--" + option, "nonsense"}, para, error)) << option;
    EXPECT_NE(error.find("--" + option), std::string::npos) << error;
  }
  CPara para;
  std::string error;
  EXPECT_FALSE(ParaOf({"--similar-method", "8"}, para, error));
  EXPECT_FALSE(ParaOf({"--fragment-tol", "-1Da"}, para, error));
}

// The main job writes its parameter files through the program: the options
// give the stored layout line for line.
TEST(ClusterOptions, WriteParaGivesTheStoredLayout) {
  testsupport::CTempDir dir("cluster_write_para");
  const std::string para = dir.File("job#1%.para");
  const std::string out = dir.File("cons#1"), result = dir.File("clusters%d.csv");
  ASSERT_EQ(Shell("cd '" + dir.Path().string() + "' && '" + kProgram + "' --write-para '" + para + "' --type pairs '" +
                  kData + "' --out-directory '" + out + "' --cluster-result '" + result +
                  "' --similar-method 2 --threshold 0.60 --lower-mass 6 --upper-mass 200 --score-log > said.txt 2>&1"),
            0)
      << ReadFile(dir.File("said.txt"));
  EXPECT_EQ(ReadFile(para),
            "[clustername]\ncluster_name=\n[file]\ndata_type=0\ndata_directory=" + kData + "\nout_directory=" +
                out + "\ncluster_result=" + result +
                "\n[preprocessing]\nsmall_peaks_count_filter=10\npeak_select_method=2\nwhole_top_peak_num=50\n"
                "part_top_peak_num=5\npart_top_peak_per_num=100\nscale=sqrt\n[similarity]\nsimilar_method=2\n"
                "fragment_ion_tol=0.50\nfragment_ion_tol_type=Da\n[cluster]\ncluster_type=1\ncluster_method=0\n"
                "precursor_ion_tol=20.00\nprecursor_ion_tol_type=ppm\nconsensus_type=0\n"
                "consensus_fragment_tol=0.400000\nconsensus_fragment_tol_type=Da\nthreshold=0.60\n"
                "[modification]\nlower_mass=6\nupper_mass=200\ncluster_masses_tol=0.010000\n");
  EXPECT_EQ(ReadFile(dir.File("said.txt")), "Parameter file: " + para + "\n");

  // A threshold of more decimals is said to be rounded.
  ASSERT_EQ(Shell("'" + kProgram + "' --write-para '" + para + "' --threshold 0.655 > '" + dir.File("said.txt") +
                  "' 2>&1"),
            0);
  EXPECT_NE(ReadFile(dir.File("said.txt")).find("keeps two decimals: threshold 0.66"), std::string::npos)
      << ReadFile(dir.File("said.txt"));
  // With -o the outputs lie in its folder.
  EXPECT_EQ(Shell("'" + kProgram + "' '" + kData + "' -o '" + dir.File("o") + "' --cluster-result x.csv > '" +
                  dir.File("said.txt") + "' 2>&1"),
            2);
  EXPECT_NE(ReadFile(dir.File("said.txt")).find("option --cluster-result goes with --write-para alone"),
            std::string::npos);
  EXPECT_FALSE(fs::exists(dir.File("o")));
}

TEST(ClusterOptions, RunFromOptionsWritesWhatItsParameterFileWrites) {
  testsupport::CTempDir scratch("cluster_options");
  const fs::path dir = scratch.Path();
  const std::string exe = kProgram;
  const std::string options = " --threshold 0.5 --precursor-tol 2.5Da --small-peaks-count-filter 1 --mgf out.mgf";
  ASSERT_EQ(std::system(("cd '" + dir.string() + "' && '" + exe + "' '" + kData + "' -o first" + options +
                         " -q > first.txt 2>&1").c_str()),
            0)
      << ReadFile(dir / "first.txt");
  // The same job from the written parameter file, into a second folder.
  std::string para = ReadFile(dir / "first/cluster.para");
  for (const std::string name : {"spectra", "clusters.csv"}) {
    const std::string from = (dir / "first" / name).string(), to = (dir / "second" / name).string();
    para.replace(para.find(from), from.size(), to);
  }
  fs::create_directories(dir / "second");
  std::ofstream(dir / "second.para") << para;
  ASSERT_EQ(std::system(("cd '" + dir.string() + "' && '" + exe + "' second.para > second.txt 2>&1").c_str()), 0)
      << ReadFile(dir / "second.txt");
  EXPECT_EQ(ReadFile(dir / "first/clusters.csv"), ReadFile(dir / "second/clusters.csv"));
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir / "first/spectra")) {
    EXPECT_EQ(ReadFile(entry.path().string()), ReadFile(dir / "second/spectra" / entry.path().filename()));
    ++files;
  }
  EXPECT_GT(files, 0u);
  // The MGF holds the same spectra, one block each, with their clusters.
  const std::string mgf = ReadFile(dir / "out.mgf");
  std::size_t blocks = 0;
  for (std::size_t at = mgf.find("BEGIN IONS"); at != std::string::npos; at = mgf.find("BEGIN IONS", at + 1)) ++blocks;
  EXPECT_EQ(blocks, files);
  EXPECT_NE(mgf.find("CLUSTER=1\nCLUSTER_SIZE="), std::string::npos);
  EXPECT_NE(ReadFile(dir / "first.txt").find("Cluster file: "), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "first/error_happened.error"));
}

TEST(ClusterOptions, FullDiskFailsTheRunAndLeavesNoPartialFile) {
  testsupport::CTempDir scratch("cluster_full");
  const fs::path dir = scratch.Path();
  const std::string exe = kProgram;
  std::ofstream(dir / "job.para") << "[file]\ndata_type=0\ndata_directory=" << kData << "\nout_directory="
                                  << (dir / "out").string() << "\ncluster_result=" << (dir / "out.csv").string()
                                  << "\n[preprocessing]\nsmall_peaks_count_filter=1\n";
  // A file-size limit of zero stands in for a full disk.
  const std::string command = "cd '" + dir.string() + "' && bash -c \"trap '' XFSZ; ulimit -f 0; '" + exe +
                              "' job.para\" > said.txt 2>&1";
  EXPECT_NE(std::system(command.c_str()), 0);
  EXPECT_FALSE(fs::exists(dir / "out.csv")) << ReadFile(dir / "said.txt");
  EXPECT_TRUE(fs::exists(dir / "error_happened.error"));
  if (fs::exists(dir / "out")) {
    for (const auto& entry : fs::directory_iterator(dir / "out")) {
      EXPECT_GT(fs::file_size(entry.path()), 0u) << entry.path();
    }
  }
}

}  // namespace
