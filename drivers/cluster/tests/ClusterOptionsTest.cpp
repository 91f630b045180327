// cluster from options: every option reaches the parameter file, bad values
// are named, and a run from options writes what the equivalent parameter
// file writes.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "drivers/cluster/ClusterOptions.h"

namespace {

namespace fs = std::filesystem;

const std::string kData = std::string(TESSERA_SOURCE_DIR) + "/clustering/tests/data/cluster_in";

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

bool ParaText(const std::vector<std::string>& args, std::string& text, std::string& error) {
  cli::CommandLine line = clusterjob::ClusterCommandLine();
  if (line.Parse(args) != cli::Outcome::kRun) {
    error = line.Error();
    return false;
  }
  return clusterjob::ParaTextFromOptions(line, "in.mgf", 2, "out", text, error);
}

TEST(ClusterOptions, EveryOptionReachesItsKey) {
  std::string text, error;
  ASSERT_TRUE(ParaText({"--type", "pairs", "--small-peaks-count-filter", "4", "--peak-select-method", "top-n",
                        "--whole-top-peak-num", "40", "--part-top-peak-num", "6", "--part-top-peak-per-num", "50",
                        "--similar-method", "dot product mod", "--fragment-tol", "20ppm", "--precursor-tol",
                        "2.5Da", "--consensus-type", "both", "--consensus-tol", "0.3", "--threshold", "0.7",
                        "--lower-mass", "-10", "--upper-mass", "300", "--cluster-masses-tol", "0.02"},
                       text, error))
      << error;
  for (const char* expected :
       {"data_type=2\n", "cluster_result=out/pairs.csv\n", "cluster_type=1\n", "small_peaks_count_filter=4\n",
        "peak_select_method=0\n", "whole_top_peak_num=40\n", "part_top_peak_num=6\n", "part_top_peak_per_num=50\n",
        "similar_method=2\n", "fragment_ion_tol=20\nfragment_ion_tol_type=ppm\n",
        "precursor_ion_tol=2.5\nprecursor_ion_tol_type=Da\n", "consensus_type=2\n",
        "consensus_fragment_tol=0.29999999999999999\nconsensus_fragment_tol_type=Da\n", "threshold=0.69999999999999996\n",
        "lower_mass=-10\n", "upper_mass=300\n", "cluster_masses_tol=0.02"})
    EXPECT_NE(text.find(expected), std::string::npos) << expected << "\n" << text;
}

TEST(ClusterOptions, BadValuesNameTheirOption) {
  for (const std::string option : {"type", "peak-select-method", "similar-method", "fragment-tol", "precursor-tol",
                                   "consensus-type", "threshold", "whole-top-peak-num", "lower-mass"}) {
    std::string text, error;
    EXPECT_FALSE(ParaText({"--" + option, "nonsense"}, text, error)) << option;
    EXPECT_NE(error.find("--" + option), std::string::npos) << error;
  }
  std::string text, error;
  EXPECT_FALSE(ParaText({"--similar-method", "8"}, text, error));
  EXPECT_FALSE(ParaText({"--fragment-tol", "-1Da"}, text, error));
}

TEST(ClusterOptions, RunFromOptionsWritesWhatItsParameterFileWrites) {
  const fs::path dir = fs::temp_directory_path() / ("tessera_cluster_options_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string exe = std::string(TESSERA_BIN_DIR) + "/cluster";
  const std::string options = " --threshold 0.5 --precursor-tol 2.5Da --small-peaks-count-filter 1 --mgf out.mgf";
  ASSERT_EQ(std::system(("cd '" + dir.string() + "' && '" + exe + "' '" + kData + "' -o first" + options +
                         " -q > first.txt 2>&1").c_str()),
            0)
      << ReadAll(dir / "first.txt");
  // The same job from the written parameter file, into a second folder.
  std::string para = ReadAll(dir / "first/cluster.para");
  for (const std::string name : {"spectra", "clusters.csv"}) {
    const std::string from = (dir / "first" / name).string(), to = (dir / "second" / name).string();
    para.replace(para.find(from), from.size(), to);
  }
  fs::create_directories(dir / "second");
  std::ofstream(dir / "second.para") << para;
  ASSERT_EQ(std::system(("cd '" + dir.string() + "' && '" + exe + "' second.para > second.txt 2>&1").c_str()), 0)
      << ReadAll(dir / "second.txt");
  EXPECT_EQ(ReadAll(dir / "first/clusters.csv"), ReadAll(dir / "second/clusters.csv"));
  std::size_t files = 0;
  for (const auto& entry : fs::directory_iterator(dir / "first/spectra")) {
    EXPECT_EQ(ReadAll(entry.path()), ReadAll(dir / "second/spectra" / entry.path().filename()));
    ++files;
  }
  EXPECT_GT(files, 0u);
  // The MGF holds the same spectra, one block each, with their clusters.
  const std::string mgf = ReadAll(dir / "out.mgf");
  std::size_t blocks = 0;
  for (std::size_t at = mgf.find("BEGIN IONS"); at != std::string::npos; at = mgf.find("BEGIN IONS", at + 1)) ++blocks;
  EXPECT_EQ(blocks, files);
  EXPECT_NE(mgf.find("CLUSTER=1\nCLUSTER_SIZE="), std::string::npos);
  EXPECT_NE(ReadAll(dir / "first.txt").find("Cluster file: "), std::string::npos);
  EXPECT_FALSE(fs::exists(dir / "first/error_happened.error"));
  fs::remove_all(dir);
}

TEST(ClusterOptions, FullDiskFailsTheRunAndLeavesNoPartialFile) {
  const fs::path dir = fs::temp_directory_path() / ("tessera_cluster_full_" + std::to_string(::getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string exe = std::string(TESSERA_BIN_DIR) + "/cluster";
  std::ofstream(dir / "job.para") << "[file]\ndata_type=0\ndata_directory=" << kData << "\nout_directory="
                                  << (dir / "out").string() << "\ncluster_result=" << (dir / "out.csv").string()
                                  << "\n[preprocessing]\nsmall_peaks_count_filter=1\n";
  // A file-size limit of zero stands in for a full disk.
  const std::string command = "cd '" + dir.string() + "' && bash -c \"trap '' XFSZ; ulimit -f 0; '" + exe +
                              "' job.para\" > said.txt 2>&1";
  EXPECT_NE(std::system(command.c_str()), 0);
  EXPECT_FALSE(fs::exists(dir / "out.csv")) << ReadAll(dir / "said.txt");
  EXPECT_TRUE(fs::exists(dir / "error_happened.error"));
  if (fs::exists(dir / "out")) {
    for (const auto& entry : fs::directory_iterator(dir / "out")) {
      EXPECT_GT(fs::file_size(entry.path()), 0u) << entry.path();
    }
  }
  fs::remove_all(dir);
}

}  // namespace
