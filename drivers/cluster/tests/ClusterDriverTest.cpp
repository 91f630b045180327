#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "clustering/Para.h"
#include "clustering/Progress.h"
#include "common/ErrorMarker.h"
#include "common/Notifier.h"
#include "drivers/cluster/ClusterJob.h"

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

const std::string kData = std::string(TESSERA_SOURCE_DIR) + "/clustering/tests/data/";

class ClusterDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    old_ = fs::current_path();
    dir_ = fs::temp_directory_path() /
           ("tessera_cluster_" + std::to_string(::getpid()) + "_" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
    fs::current_path(dir_);
    notify_ = notify::SetHandler([this](const std::string& m) { engine_ += m + "\n"; });
    progress_ = progress::SetSink([this](const std::string& m) { engine_ += m; });
  }
  void TearDown() override {
    notify::SetHandler(notify_);
    progress::SetSink(progress_);
    fs::current_path(old_);
    fs::remove_all(dir_);
  }
  std::string File(const std::string& name) const { return (dir_ / name).string(); }

  // A parameter file as the desktop program writes it.
  std::string WritePara(int type, const std::string& data, int data_type = 0,
                        int consensus = 0, int upper = 200) {
    CPara para;
    para.SetDataClass(static_cast<MS2FormatType>(data_type), data, File("out"),
                      File(type == 1 ? "pairs.csv" : "cluster.csv"), 1);
    para.SetRepresentativeClass(static_cast<Representative_Spectra>(consensus), 0.4,
                                TOLERANCE_DA);
    para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(),
                    static_cast<Cluster_Type>(type), 2.5, TOLERANCE_DA, 0.6);
    para.SetSimilarMethod(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
    para.SetPeakSelect(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
    if (para.cluster) para.cluster->upper_mass = upper;
    const std::string path = File("job.para");
    EXPECT_TRUE(para.WriteParaFile(path));
    return path;
  }

  int Run(std::vector<std::string> args) {
    std::ostringstream out;
    const int status = clusterjob::Run(args, out);
    output_ = out.str();
    return status;
  }

  fs::path dir_;
  fs::path old_;
  std::string output_;
  std::string engine_;
  notify::Handler notify_;
  progress::Sink progress_;
};

TEST_F(ClusterDriver, ClustersADtaDirectory) {
  const std::string para = WritePara(0, kData + "cluster_in");
  ASSERT_EQ(Run({para}), 0) << output_;
  EXPECT_EQ(ReadAll(File("cluster.csv")), ReadAll(kData + "cluster_expected/cluster.csv"));
  EXPECT_EQ(ReadAll(File("out/1.2-2.2-3.2.dta")),
            ReadAll(kData + "cluster_expected/1.2-2.2-3.2.dta"));
  EXPECT_NE(output_.find("Loaded 6 spectra"), std::string::npos) << output_;
  EXPECT_NE(output_.find("Cluster file: " + File("cluster.csv")), std::string::npos);
  EXPECT_FALSE(marker::ErrorMarkerExists());
  EXPECT_FALSE(fs::exists(File("temp.temp")));
}

TEST_F(ClusterDriver, DropsSpectraWithTooFewPeaks) {
  std::string para = WritePara(0, kData + "cluster_in");
  std::string text = ReadAll(para);
  text.replace(text.find("small_peaks_count_filter=1"), 26, "small_peaks_count_filter=3");
  std::ofstream(para, std::ios::binary) << text;
  ASSERT_EQ(Run({para}), 0) << output_;
  // s.4, s.5 (two peaks) and s.6 (one peak) are gone.
  EXPECT_NE(output_.find("3 with fewer than 3 peaks dropped, 3 used"), std::string::npos)
      << output_;
  EXPECT_EQ(ReadAll(File("cluster.csv")),
            "1,s.1.1.2.dta,1,1000.000000\n2,s.2.2.2.dta,1,1000.500000\n"
            "3,s.3.3.2.dta,1,1001.000000\n");
}

TEST_F(ClusterDriver, PairSearchAndShiftSearch) {
  // A stale table from an earlier job must not survive a new one.
  std::ofstream(File("temp.temp")) << "99.0,1, 0, 0, 0, 0, 0\n";
  const std::string para = WritePara(1, kData + "cluster_in", 0, 0, 600);
  ASSERT_EQ(Run({para}), 0) << output_;
  // No pair of these spectra is alike: an empty pair file, an empty table.
  EXPECT_TRUE(fs::exists(File("pairs.csv")));
  EXPECT_EQ(ReadAll(File("pairs.csv")), "");
  EXPECT_TRUE(fs::exists(File("temp.temp")));
  EXPECT_EQ(ReadAll(File("temp.temp")), "");
  EXPECT_NE(output_.find("Mass-shift table: temp.temp"), std::string::npos);
  EXPECT_TRUE(fs::exists(File("score.txt")));

  fs::remove(File("temp.temp"));
  ASSERT_EQ(Run({"--shift-search", "--threads", "2", para}), 0) << output_;
  EXPECT_TRUE(fs::exists(File("pairs.csv")));
  EXPECT_FALSE(fs::exists(File("temp.temp")));
}

TEST_F(ClusterDriver, FailuresLeaveTheMarker) {
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::string good = WritePara(0, kData + "cluster_in");
  std::ofstream(File("bad_type.para")) << "[cluster]\ncluster_type=7\n";
  std::ofstream(File("no_result.para")) << "[file]\ndata_directory=" << kData << "cluster_in\n";
  const std::string out_dir = "\nout_directory=" + File("out") + "\n";
  std::ofstream(File("unknown_format.para"))
      << "[file]\ndata_type=9\ncluster_result=" << File("c.csv") << "\ndata_directory=" << kData
      << "cluster_in" << out_dir;
  std::ofstream(File("missing_data.para"))
      << "[file]\ndata_type=0\ncluster_result=" << File("c.csv")
      << "\ndata_directory=" << File("nowhere") << out_dir;
  std::ofstream(File("unwritable.para"))
      << "[file]\ndata_type=0\ncluster_result=" << File("no/dir/c.csv")
      << "\ndata_directory=" << kData << "cluster_in" << out_dir;
  // Refused before any work: outputs over inputs, unusable folders, values
  // that would exhaust memory or are not numbers.
  fs::create_directories(File("data"));
  fs::copy_file(kData + "cluster_in/s.1.1.2.dta", File("data/s.1.1.2.dta"));
  fs::create_directories(File("empty_dir"));
  std::ofstream(File("blocker")) << "a file\n";
  auto refused = [&](const std::string& name, const std::string& file_lines, const std::string& more = "") {
    std::ofstream(File(name)) << "[file]\ndata_type=0\ndata_directory=" << File("data") << "\n" << file_lines
                              << more;
  };
  refused("result_is_input.para", "cluster_result=" + File("data/s.1.1.2.dta") + out_dir);
  refused("result_is_dir.para", "cluster_result=" + File("empty_dir") + out_dir);
  refused("no_out.para", "cluster_result=" + File("c.csv") + "\n");
  refused("out_is_data.para", "cluster_result=" + File("c.csv") + "\nout_directory=" + File("data") + "\n");
  refused("out_blocked.para", "cluster_result=" + File("c.csv") + "\nout_directory=" + File("blocker/x") + "\n");
  refused("consensus9.para", "cluster_result=" + File("c.csv") + out_dir, "[cluster]\nconsensus_type=9\n");
  refused("huge_window.para", "cluster_result=" + File("c.csv") + out_dir,
          "[preprocessing]\npart_top_peak_num=2147483647\n");
  refused("nan_tol.para", "cluster_result=" + File("c.csv") + out_dir, "[similarity]\nfragment_ion_tol=nan\n");
  const std::vector<Case> cases = {
      {{}, clusterjob::kUsage},
      {{good, good}, clusterjob::kUsage},
      {{"--threads", "0", good}, clusterjob::kUsage},
      {{File("missing.para")}, "Cannot read parameter file: " + File("missing.para")},
      {{File("bad_type.para")}, "Unknown cluster type"},
      {{"--shift-search", good}, "The shift search needs cluster_type=1"},
      {{File("no_result.para")}, "No result file"},
      {{File("unknown_format.para")}, "Unknown data type 9"},
      {{File("missing_data.para")}, "Cannot load spectra from " + File("nowhere")},
      {{File("unwritable.para")}, "Cannot write the cluster file"},
      {{File("result_is_input.para")}, "would overwrite the input"},
      {{File("result_is_dir.para")}, "The result file is a folder"},
      {{File("no_out.para")}, "(out_directory) is given"},
      {{File("out_is_data.para")}, "is the data folder or inside it"},
      {{File("out_blocked.para")}, "Cannot create the folder for the clustered spectra"},
      {{File("consensus9.para")}, "consensus_type must be"},
      {{File("huge_window.para")}, "part_top_peak_num must be"},
      {{File("nan_tol.para")}, "fragment_ion_tol must be"},
  };
  for (const Case& c : cases) {
    marker::RemoveErrorMarker();
    EXPECT_EQ(Run(c.args), 1) << c.message;
    EXPECT_NE(output_.find(c.message), std::string::npos) << output_;
    EXPECT_TRUE(marker::ErrorMarkerExists()) << c.message;
  }
  EXPECT_TRUE(fs::is_directory(File("empty_dir")));
  EXPECT_EQ(fs::file_size(File("data/s.1.1.2.dta")), fs::file_size(kData + "cluster_in/s.1.1.2.dta"));
}

TEST_F(ClusterDriver, OneInputFileGivesSpectraWrittenFromMemory) {
  std::ofstream(File("run.mgf"))
      << "BEGIN IONS\nTITLE=run.10.10.2.dta\nPEPMASS=500.5\nCHARGE=2+\n"
         "100 10\n200 20\n300 30\nEND IONS\n"
         "BEGIN IONS\nTITLE=run.11.11.2.dta\nPEPMASS=500.6\nCHARGE=2+\n"
         "100 10\n200 20\n300 30\nEND IONS\n"
         "BEGIN IONS\nTITLE=run.30.30.2.dta\nPEPMASS=800.25\nCHARGE=2+\n"
         "150 5\n450 6\nEND IONS\n";
  const std::string para = WritePara(0, File("run.mgf"), 2, 2);
  ASSERT_EQ(Run({para}), 0) << output_;
  EXPECT_EQ(ReadAll(File("cluster.csv")),
            "1,run.10.10.2.dta,1,999.992724\n2,run.11.11.2.dta,1,1000.192724\n"
            "3,run.30.30.2.dta,2,1599.492724\n");
  // Consensus, representative and lone spectrum: the last two cannot be
  // copied from a directory and are written from the loaded spectra.
  EXPECT_EQ(ReadAll(File("out/10.2-11.2-11.2.dta")),
            "1000.192724 2\n100.000000 20.000000\n200.000000 40.000000\n300.000000 60.000000\n");
  EXPECT_EQ(ReadAll(File("out/run.10.10.2.dta")),
            "999.992724 2\n100.000000 10.000000\n200.000000 20.000000\n300.000000 30.000000\n");
  EXPECT_EQ(ReadAll(File("out/run.30.30.2.dta")),
            "1599.492724 2\n150.000000 5.000000\n450.000000 6.000000\n");
}

TEST_F(ClusterDriver, TheProgramItself) {
  const std::string program = std::string(TESSERA_BIN_DIR) + "/cluster";
  const std::string para = WritePara(0, kData + "cluster_in");
  int status = std::system((program + " " + para + " > log.txt").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(File("cluster.csv")), ReadAll(kData + "cluster_expected/cluster.csv"));
  const std::string log = ReadAll(File("log.txt"));
  EXPECT_NE(log.find("Clustering done!\nGenerating consensus spectra...\n"), std::string::npos)
      << log;

  status = std::system((program + " > usage.txt").c_str());
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_NE(WEXITSTATUS(status), 0);
  EXPECT_EQ(ReadAll(File("usage.txt")), std::string(clusterjob::kUsage) + "\n");
  EXPECT_TRUE(marker::ErrorMarkerExists());
}

}  // namespace
