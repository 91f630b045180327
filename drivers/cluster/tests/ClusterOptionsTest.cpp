// cluster from options: every option reaches the parameter set, bad values
// are named, and a run from options writes what the equivalent parameter
// file writes.

#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>

#include "clustering/Para.h"
#include "common/SafeFile.h"
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

// The program on `args` (each quoted), run in `dir`; standard output and
// error go to `log`. Answers the exit status.
int Cluster(const fs::path& dir, const std::vector<std::string>& args, const std::string& log = "said.txt") {
  std::string command = "cd '" + dir.string() + "' && '" + kProgram + "'";
  for (const std::string& a : args) command += " '" + a + "'";
  return Shell(command + " > '" + log + "' 2>&1");
}

std::vector<std::string> Listing(const fs::path& dir) {
  std::vector<std::string> names;
  if (fs::is_directory(dir)) {
    for (const auto& e : fs::directory_iterator(dir)) names.push_back(e.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

TEST(ClusterOptions, EveryOptionReachesItsKey) {
  CPara para;
  std::string error;
  ASSERT_TRUE(ParaOf({"--type", "pairs", "--small-peaks-count-filter", "4", "--peak-select-method", "top-n",
                      "--whole-top-peak-num", "40", "--part-top-peak-num", "6", "--part-top-peak-per-num", "50",
                      "--similar-method", "dot product mod", "--fragment-tol", "20ppm", "--precursor-tol",
                      "2.5Da", "--consensus-type", "both", "--consensus-tol", "0.3da", "--threshold", "0.7",
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

// A pair search from options looks for the shifts of modifications with
// the method that scores shifted peaks; what the user gives still holds.
TEST(ClusterOptions, PairSearchDefaultsFindModifiedPairs) {
  struct Case {
    std::vector<std::string> args;
    int lower, upper;
    Similar_Method method;
  };
  for (const Case& c : {Case{{"--type", "pairs"}, 6, 200, SIMILAR_DOT_PRODUCT_MOD},
                        Case{{"--type", "pairs", "--similar-method", "dot product", "--shift-upper", "50"}, 6, 50,
                             SIMILAR_DOT_PRODUCT},
                        Case{{"--type", "pairs", "--upper-mass", "80", "--lower-mass", "-80"}, -80, 80,
                             SIMILAR_DOT_PRODUCT_MOD}}) {
    CPara para;
    std::string error;
    ASSERT_TRUE(ParaOf(c.args, para, error)) << error;
    EXPECT_EQ(para.cluster->lower_mass, c.lower);
    EXPECT_EQ(para.cluster->upper_mass, c.upper);
    EXPECT_EQ(para.similarity->similar_method, c.method);
  }
  CPara para;
  std::string error;
  ASSERT_TRUE(ParaOf({}, para, error)) << error;
  EXPECT_EQ(para.similarity->similar_method, SIMILAR_DOT_PRODUCT);
}

// With identifications, --threshold is still the similarity; their own cut
// is --id-threshold.
TEST(ClusterOptions, ThresholdIsTheSimilarityEvenWithIds) {
  cli::CommandLine line = clusterjob::ClusterCommandLine();
  ASSERT_EQ(line.Parse({"in", "-o", "out", "--ids", "x.pep.xml", "--threshold", "0.3", "--id-threshold", "0.01"}),
            cli::Outcome::kRun)
      << line.Error();
  CPara para;
  std::string error;
  ASSERT_TRUE(clusterjob::ParaFromOptions(line, "in.mgf", 2, "out", para, error)) << error;
  clusterjob::JobOptions job;
  ASSERT_TRUE(clusterjob::ReadJobOptions(line, job));
  EXPECT_DOUBLE_EQ(para.cluster->threshold, 0.3);
  EXPECT_EQ(job.id_filter.score_threshold, "0.01");
}

TEST(ClusterOptions, BadValuesNameTheirOption) {
  for (const std::string option : {"type", "peak-select-method", "similar-method", "fragment-tol", "precursor-tol",
                                   "consensus-type", "threshold", "whole-top-peak-num", "shift-lower"}) {
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
  const std::string options = " --threshold 0.5 --precursor-tol 2.5Da --small-peaks-count-filter 1";
  ASSERT_EQ(std::system(("cd '" + dir.string() + "' && '" + exe + "' '" + kData + "' -o first" + options +
                         " --spectra-format dta --mgf out.mgf -q > first.txt 2>&1").c_str()),
            0)
      << ReadFile(dir / "first.txt");
  // By default the same spectra go into one MGF file alone, byte for byte
  // the one --mgf writes beside the DTA files, with the same parameter file.
  ASSERT_EQ(std::system(("cd '" + dir.string() + "' && '" + exe + "' '" + kData + "' -o third" + options +
                         " > third.txt 2>&1").c_str()),
            0)
      << ReadFile(dir / "third.txt");
  EXPECT_EQ(ReadFile(dir / "third/spectra.mgf"), ReadFile(dir / "out.mgf"));
  EXPECT_FALSE(fs::exists(dir / "third/spectra"));
  EXPECT_NE(ReadFile(dir / "third.txt").find("MGF file: " + (dir / "third/spectra.mgf").string()), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "third.txt").find("Spectra: "), std::string::npos) << ReadFile(dir / "third.txt");
  std::string third_para = ReadFile(dir / "third/cluster.para");
  for (std::size_t at; (at = third_para.find("/third/")) != std::string::npos;) third_para.replace(at, 7, "/first/");
  EXPECT_EQ(third_para, ReadFile(dir / "first/cluster.para"));
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

// Values out of range, options that do not go together and outputs over
// inputs or over the job's own files are refused with the usage status
// before anything is written.
TEST(ClusterOptions, RefusedBeforeAnythingIsWritten) {
  testsupport::CTempDir scratch("cluster_refused");
  const fs::path dir = scratch.Path();
  fs::copy(kData, dir / "data");
  const std::string out = (dir / "o").string();
  const std::string more = (dir / "more.mgf").string();
  testsupport::WriteFile(more, "BEGIN IONS\nTITLE=m.1.1.2.dta\nPEPMASS=700\nCHARGE=2+\n100 1\nEND IONS\n");
  struct Case {
    std::vector<std::string> args;
    std::string message;
  };
  const std::vector<Case> cases = {
      {{kData, "-o", out, "--threshold", "-5"}, "option --threshold: \"-5\" is not a number from 0 to 1"},
      {{kData, "-o", out, "--threshold", "5"}, "option --threshold: \"5\" is not a number from 0 to 1"},
      {{kData, "-o", out, "--type", "pairs", "--shift-lower", "300", "--shift-upper", "200"},
       "shift-lower 300 is above --shift-upper 200"},
      {{kData, "-o", out, "--shift-lower", "300", "--shift-upper", "200"}, "shift-lower 300 is above --shift-upper 200"},
      {{kData, "-o", out, "--type", "pairs", "--shift-lower", "300"}, "lower_mass (300) is above upper_mass (200)"},
      {{kData, "-o", out, "--type", "pairs", "--mgf", "x.mgf"}, "a pair search writes no spectra"},
      {{kData, "-o", out, "--type", "pairs", "--spectra-format", "dta"}, "option --spectra-format: a pair search"},
      {{kData, "-o", out, "--consensus-type", "none", "--spectra-format", "mgf"}, "none writes no spectra"},
      {{kData, "-o", out, "--spectra-format", "mzml"}, "option --spectra-format"},
      {{"--write-para", (dir / "w.para").string(), kData, "--spectra-format", "dta"}, "goes with -o"},
      {{kData, "-o", out, "--threads", "100000"}, "option --threads"},
      {{kData, "-o", out, "--threads", "0"}, "usage:"},
      {{kData, "-o", out, "--precursor-tol", "20"}, "option --precursor-tol: give a unit: 20ppm or 20Da"},
      {{kData, "-o", out, "--type", "pair"}, "option --type: \"pair\" is not one of clusters or pairs (or its number, 0 to 1)"},
      {{kData, "-o", out, "--id-threshold", "0.01"}, "filter the identifications of --ids"},
      {{kData, "-o", out, "--mgf", out + "/clusters.csv"}, "would overwrite the cluster file"},
      {{kData, "-o", out, "--mgf", out + "/cluster.para"}, "would overwrite the parameter file"},
      {{kData, "-o", out, "--mgf", out + "/spectra/1.2-2.2-3.2.dta"}, "would lie among the clustered spectra"},
      {{kData, "-o", out, "--mgf", out + "/clusters.tsv"}, "The MGF file would overwrite the cluster table"},
      {{(dir / "data").string(), "-o", out, "--curve", (dir / "data/s.1.1.2.dta").string()},
       "The curve file would overwrite the input"},
      {{kData, more, "-o", out, "--mgf", more}, "The MGF file would overwrite the input"},
      {{"--write-para", out + ".para", "--threshold", "5"}, "option --threshold"},
      {{kData, "-o", out, "--ids", "x.pep.xml", "--target-incorrect", "1"}, "is not a number between 0 and 1"},
      {{kData, "-o", out, "--ids", "x.pep.xml", "--target-incorrect", "0"}, "is not a number between 0 and 1"},
      {{kData, "-o", out, "--target-incorrect", "0.01"}, "needs identifications (--ids)"},
      {{kData, "-o", out, "--ids", "x.pep.xml", "--fdr", "2"}, "FDR level 2 is not a fraction"},
      {{kData, "-o", out, "--type", "pairs", "--curve", "c.tsv"}, "go with type clusters"},
      {{kData, "-o", out, "--decoy-pairs"}, "option --decoy-pairs goes with type pairs"},
      {{kData, "-o", out, "--type", "pairs", "--clustering-mode", "precise"},
       "option --clustering-mode goes with type clusters"},
      {{kData, "-o", out, "--clustering-mode", "average"}, "option --clustering-mode: \"average\" is not one of"},
      {{kData, "-o", out, "--curve-plot", "c.gif"}, "is not a .png or .svg name"},
      // The data folder as the output folder.
      {{(dir / "data").string(), "-o", (dir / "data").string()}, "would overwrite the input"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Cluster(dir, c.args), 2) << c.message;
    const std::string said = ReadFile(dir / "said.txt");
    EXPECT_NE(said.find(c.message), std::string::npos) << said;
    EXPECT_FALSE(fs::exists(out)) << c.message;
    EXPECT_FALSE(fs::exists(out + ".para")) << c.message;
  }
  EXPECT_EQ(Listing(dir / "data"), Listing(kData));
}

// Clustering always scores "Dot Product" at 0.5 Da: the two options that
// would change it are written as given, and said to have no effect.
TEST(ClusterOptions, ScoringOptionsWithoutEffectAreSaidSo) {
  testsupport::CTempDir scratch("cluster_no_effect");
  const fs::path dir = scratch.Path();
  ASSERT_EQ(Cluster(dir, {"--write-para", "c.para", "--similar-method", "2", "--fragment-tol", "0.3Da"}), 0);
  const std::string said = ReadFile(dir / "said.txt");
  EXPECT_NE(said.find("warning: --similar-method has no effect on clustering"), std::string::npos) << said;
  EXPECT_NE(said.find("warning: --fragment-tol has no effect on clustering"), std::string::npos) << said;
  const std::string para = ReadFile(dir / "c.para");
  EXPECT_NE(para.find("similar_method=2\nfragment_ion_tol=0.30\n"), std::string::npos) << para;
  ASSERT_EQ(Cluster(dir, {"--write-para", "p.para", "--type", "pairs", "--similar-method", "2"}), 0);
  EXPECT_EQ(ReadFile(dir / "said.txt").find("warning"), std::string::npos);
  ASSERT_EQ(Cluster(dir, {"--help"}), 0);
  EXPECT_NE(ReadFile(dir / "said.txt").find("clustering always scores \"Dot Product\" at 0.5 Da"), std::string::npos);
}

// A wrong command line is said with the usage, status 2 and no marker:
// nothing was run, so there is no failed run for the desktop to see.
TEST(ClusterOptions, AWrongCommandLineLeavesNoMarker) {
  testsupport::CTempDir scratch("cluster_wrong");
  const fs::path dir = scratch.Path();
  CPara para;
  std::string error;
  ASSERT_TRUE(ParaOf({}, para, error));
  const std::string good = (dir / "job.para").string();
  ASSERT_TRUE(para.WriteParaFile(good));
  testsupport::WriteFile((dir / "BSA1.mzML").string(), "<?xml version=\"1.0\"?>\n<mzML>\n</mzML>\n");
  testsupport::WriteFile((dir / "run.txt").string(), "BEGIN IONS\nPEPMASS=500\nCHARGE=2+\n100 1\nEND IONS\n");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{}, "usage: cluster"},
      {{"BSA1.mzML"}, "cluster: BSA1.mzML is a spectrum file: give -o FOLDER"},
      {{"run.txt"}, "run.txt is a spectrum file: give -o FOLDER"},
      {{"--threads", "0", good}, "option --threads: \"0\" is not a whole number from 1 to 1024"},
      {{"--threads", "100000", good}, "option --threads"},
      {{"--mgf", "", good}, "option --mgf needs a name"},
      {{"--plan", "2", good}, "usage: cluster --plan"},
  };
  for (const auto& [args, message] : cases) {
    EXPECT_EQ(Cluster(dir, args), 2) << message;
    EXPECT_NE(ReadFile(dir / "said.txt").find(message), std::string::npos) << ReadFile(dir / "said.txt");
    EXPECT_FALSE(fs::exists(dir / "error_happened.error")) << message;
  }
}

// Pictures, networks and tables may be named inside the output folder the
// run creates; the run makes the folder before it writes them.
TEST(ClusterOptions, OutputsMayLieInTheFolderTheRunCreates) {
  testsupport::CTempDir scratch("cluster_inside");
  const fs::path dir = scratch.Path();
  const bool plots = fs::exists(std::string(TESSERA_BIN_DIR) + "/tessera-plot");
  std::vector<std::string> pairs = {kData, "-o", "p", "--type", "pairs", "--network", "p/net.graphml"};
  if (plots) pairs.insert(pairs.end(), {"--plot", "p/shifts.svg"});
  ASSERT_EQ(Cluster(dir, pairs), 0) << ReadFile(dir / "said.txt");
  EXPECT_TRUE(fs::exists(dir / "p/net.graphml"));
  EXPECT_EQ(fs::exists(dir / "p/shifts.svg"), plots);
  ASSERT_EQ(Cluster(dir, {kData, "-o", "c", "--mgf", "c/out.mgf", "--consensus-type", "most-similar"}), 0)
      << ReadFile(dir / "said.txt");
  EXPECT_TRUE(fs::exists(dir / "c/out.mgf"));
  // No spectra at all: neither a folder nor an MGF file to ask for.
  ASSERT_EQ(Cluster(dir, {kData, "-o", "n", "--consensus-type", "none"}), 0) << ReadFile(dir / "said.txt");
  EXPECT_FALSE(fs::exists(dir / "n/spectra"));
  EXPECT_FALSE(fs::exists(dir / "n/spectra.mgf"));
  EXPECT_TRUE(fs::exists(dir / "n/clusters.csv"));
  EXPECT_NE(ReadFile(dir / "n/cluster.para").find("consensus_type=3\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "said.txt").find("Spectra:"), std::string::npos);
  EXPECT_EQ(Cluster(dir, {kData, "-o", "m", "--consensus-type", "none", "--mgf", "m.mgf"}), 2);
}

// A run into a folder that holds an earlier run's outputs leaves exactly
// what a run into a fresh folder leaves, beside files that are not ours.
TEST(ClusterOptions, EarlierOutputsInTheFolderGo) {
  testsupport::CTempDir scratch("cluster_again");
  const fs::path dir = scratch.Path();
  // Every spectrum alone (threshold 1), after a run that merged three.
  const std::vector<std::string> lone = {"--small-peaks-count-filter", "1", "--precursor-tol", "2.5Da",
                                         "--threshold", "1"};
  std::vector<std::string> fresh = {kData, "-o", "fresh", "--spectra-format", "dta"};
  fresh.insert(fresh.end(), lone.begin(), lone.end());
  ASSERT_EQ(Cluster(dir, fresh), 0) << ReadFile(dir / "said.txt");

  ASSERT_EQ(Cluster(dir, {kData, "-o", "o", "--type", "pairs", "--lower-mass", "0", "--upper-mass", "500"}), 0);
  ASSERT_EQ(Cluster(dir, {kData, "-o", "o", "--small-peaks-count-filter", "1", "--precursor-tol", "2.5Da",
                          "--spectra-format", "both"}),
            0);
  ASSERT_TRUE(fs::exists(dir / "o/spectra/1.2-2.2-3.2.dta"));
  ASSERT_TRUE(fs::exists(dir / "o/spectra.mgf"));
  testsupport::WriteFile((dir / "o/notes.txt").string(), "mine\n");
  testsupport::WriteFile((dir / "o/spectra/readme.txt").string(), "mine\n");
  std::vector<std::string> again = {kData, "-o", "o", "--spectra-format", "dta"};
  again.insert(again.end(), lone.begin(), lone.end());
  ASSERT_EQ(Cluster(dir, again), 0) << ReadFile(dir / "said.txt");

  std::vector<std::string> expected = Listing(dir / "fresh/spectra");
  expected.push_back("readme.txt");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Listing(dir / "o/spectra"), expected);
  for (const std::string& name : Listing(dir / "fresh/spectra")) {
    EXPECT_EQ(ReadFile(dir / "o/spectra" / name), ReadFile(dir / "fresh/spectra" / name)) << name;
  }
  EXPECT_EQ(ReadFile(dir / "o/clusters.csv"), ReadFile(dir / "fresh/clusters.csv"));
  EXPECT_EQ(ReadFile(dir / "o/clusters.tsv"), ReadFile(dir / "fresh/clusters.tsv"));
  EXPECT_FALSE(fs::exists(dir / "o/pairs.csv"));
  EXPECT_FALSE(fs::exists(dir / "o/temp.temp"));
  EXPECT_FALSE(fs::exists(dir / "o/spectra.mgf"));
  EXPECT_EQ(ReadFile(dir / "o/notes.txt"), "mine\n");

  // A pair search after it leaves no table of the clustering.
  ASSERT_EQ(Cluster(dir, {kData, "-o", "o", "--type", "pairs", "--lower-mass", "0", "--upper-mass", "500"}), 0);
  EXPECT_FALSE(fs::exists(dir / "o/clusters.csv"));
  EXPECT_FALSE(fs::exists(dir / "o/clusters.tsv"));
}

// A run refused for a file it could not read or write is refused before
// the folder is cleared: the earlier run's results stay whole, and a
// folder made for the run goes again.
TEST(ClusterOptions, ARefusedRunLeavesTheEarlierResults) {
  testsupport::CTempDir scratch("cluster_refused_late");
  const fs::path dir = scratch.Path();
  ASSERT_EQ(Cluster(dir, {kData, "-o", "o", "--small-peaks-count-filter", "1", "--precursor-tol", "2.5Da",
                          "--spectra-format", "dta"}),
            0)
      << ReadFile(dir / "said.txt");
  const std::vector<std::string> folder = Listing(dir / "o"), spectra = Listing(dir / "o/spectra");
  ASSERT_FALSE(spectra.empty());
  const std::string clusters = ReadFile(dir / "o/clusters.csv"), table = ReadFile(dir / "o/clusters.tsv");
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--curve-plot", (dir / "no/dir/x.png").string()}, "Cannot write the curve picture into the folder of"},
      {{"--ids", (dir / "misspelt.pep.xml").string()}, "Cannot read the identifications"},
      {{"--mgf", (dir / "no/dir/x.mgf").string()}, "Cannot write the MGF file into the folder of"},
  };
  for (const auto& [options, message] : cases) {
    std::vector<std::string> args = {kData, "-o", "o"};
    args.insert(args.end(), options.begin(), options.end());
    EXPECT_EQ(Cluster(dir, args), 1) << message;
    EXPECT_NE(ReadFile(dir / "said.txt").find(message), std::string::npos) << ReadFile(dir / "said.txt");
    EXPECT_EQ(Listing(dir / "o"), folder) << message;
    EXPECT_EQ(Listing(dir / "o/spectra"), spectra) << message;
    EXPECT_EQ(ReadFile(dir / "o/clusters.csv"), clusters) << message;
    EXPECT_EQ(ReadFile(dir / "o/clusters.tsv"), table) << message;
  }
  EXPECT_EQ(Cluster(dir, {kData, "-o", "fresh", "--ids", (dir / "misspelt.pep.xml").string()}), 1);
  EXPECT_FALSE(fs::exists(dir / "fresh"));
}

// A run that finds its output folder in use writes nothing there, not even
// its parameter file.
TEST(ClusterOptions, ARunRefusedByTheLockWritesNothing) {
  testsupport::CTempDir scratch("cluster_locked");
  const fs::path dir = scratch.Path();
  fs::create_directories(dir / "o");
  testsupport::WriteFile((dir / "o/cluster.para").string(), "the running job's\n");
  safefile::CFolderLock running;
  ASSERT_TRUE(running.Acquire((dir / "o").string(), safefile::CFolderLock::Mode::kNoWait));
  for (const char* type : {"clusters", "pairs"}) {
    EXPECT_EQ(Cluster(dir, {kData, "-o", "o", "--type", type, "--no-wait"}), 1) << type;
    EXPECT_NE(ReadFile(dir / "said.txt").find("another run is using the output folder"), std::string::npos);
    EXPECT_EQ(ReadFile(dir / "o/cluster.para"), "the running job's\n") << type;
    EXPECT_EQ(Listing(dir / "o"), (std::vector<std::string>{".tessera.lock", "cluster.para"})) << type;
  }
}

// Files of fixed name in the output folder are never written through a link
// planted there: the files the links point to stay as they were.
TEST(ClusterOptions, FixedNamesAreNeverWrittenThroughALink) {
  testsupport::CTempDir scratch("cluster_links");
  const fs::path dir = scratch.Path();
  fs::create_directories(dir / "o");
  for (const char* name : {"cluster.para", "inputs.mgf", "clusters.csv"}) {
    testsupport::WriteFile((dir / (std::string(name) + ".victim")).string(), "keep\n");
    fs::create_symlink(dir / (std::string(name) + ".victim"), dir / "o" / name);
  }
  testsupport::WriteFile((dir / "more.mgf").string(),
                         "BEGIN IONS\nTITLE=m.1.1.2.dta\nPEPMASS=700\nCHARGE=2+\n100 1\n200 2\nEND IONS\n");
  ASSERT_EQ(Cluster(dir, {kData, (dir / "more.mgf").string(), "-o", "o", "--small-peaks-count-filter", "1"}), 0)
      << ReadFile(dir / "said.txt");
  for (const char* name : {"cluster.para", "inputs.mgf", "clusters.csv"}) {
    EXPECT_EQ(ReadFile(dir / (std::string(name) + ".victim")), "keep\n") << name;
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dir / "o" / name))) << name;
  }
  // A link in place of the spectra folder is refused, not followed.
  fs::create_directories(dir / "elsewhere");
  fs::create_directories(dir / "q");
  fs::create_symlink(dir / "elsewhere", dir / "q/spectra");
  EXPECT_EQ(Cluster(dir, {kData, "-o", "q", "--small-peaks-count-filter", "1"}), 2);
  EXPECT_NE(ReadFile(dir / "said.txt").find("the spectra folder is a link"), std::string::npos);
  EXPECT_TRUE(Listing(dir / "elsewhere").empty());
}

// One run's threshold curve holds the figures of separate runs at each
// threshold: the clusters counted in their own cluster files, and the row
// each separate run's curve ends with.
TEST(ClusterOptions, OneRunsCurveHoldsTheFiguresOfSeparateRuns) {
  const std::string run = "/usr/share/doc/openms/examples/BSA/BSA1.mzML";
  const std::string ids = std::string(TESSERA_SOURCE_DIR) + "/data/BSA/BSA1_Comet.pep.xml";
  if (!fs::exists(run)) GTEST_SKIP() << run << " is missing (Debian package openms-doc)";
  testsupport::CTempDir scratch("cluster_curve");
  const fs::path dir = scratch.Path();
  // The pictures come from the plot program, built with the desktop.
  const bool plots = fs::exists(std::string(TESSERA_BIN_DIR) + "/tessera-plot");
  std::vector<std::string> first = {run, "-o", "all", "--threshold", "0.5", "--ids", ids, "--curve", "curve.tsv"};
  if (plots) first.insert(first.end(), {"--curve-plot", "curve.png"});
  ASSERT_EQ(Cluster(dir, first), 0) << ReadFile(dir / "said.txt");
  if (plots) {
    EXPECT_EQ(ReadFile(dir / "curve.png").substr(0, 8), "\x89PNG\r\n\x1a\n");
  }
  const std::string curve = ReadFile(dir / "curve.tsv");
  ASSERT_EQ(curve.rfind("threshold\tclustered_ratio\tincorrect_ratio\tcompleteness\tclusters\n", 0), 0u);
  for (const std::string threshold : {"0.5", "0.6", "0.7", "0.8"}) {
    const std::string own = "curve" + threshold + ".tsv";
    std::vector<std::string> args = {run, "-o", "t" + threshold, "--threshold", threshold, "--ids", ids, "--curve", own};
    if (plots && threshold == "0.8") args.insert(args.end(), {"--curve-plot", "curve.svg"});
    ASSERT_EQ(Cluster(dir, args), 0);
    std::string last = ReadFile(dir / own);
    last.pop_back();
    last = last.substr(last.rfind('\n') + 1) + "\n";
    EXPECT_EQ(last.rfind(threshold + "000\t", 0), 0u) << last;
    EXPECT_NE(curve.find("\n" + last), std::string::npos) << threshold << ": " << last;

    std::map<std::string, int> sizes;
    std::ifstream clusters(dir / ("t" + threshold) / "clusters.csv");
    for (std::string line; std::getline(clusters, line);) {
      const std::size_t name_end = line.find(',', line.find(',') + 1);
      ++sizes[line.substr(name_end + 1, line.find(',', name_end + 1) - name_end - 1)];
    }
    const long joined = std::count_if(sizes.begin(), sizes.end(), [](const auto& s) { return s.second > 1; });
    EXPECT_EQ(last.substr(last.rfind('\t') + 1), std::to_string(joined) + "\n") << threshold;
  }
  if (plots) {
    EXPECT_NE(ReadFile(dir / "curve.svg").find("<svg"), std::string::npos);
    // Only the picture stays beside it, not the table it was drawn from.
    EXPECT_EQ(std::count_if(fs::directory_iterator(dir), fs::directory_iterator(),
                            [](const auto& e) { return e.path().filename().string().rfind("curve.svg", 0) == 0; }),
              1);
  }
}

// Decoys add a line to what the pair search says and a key to its
// parameter file, and change none of its files; the parameter-file form
// takes the option as well, and counts the same.
TEST(ClusterOptions, DecoyPairsLeaveThePairFileAndTableAsTheyAre) {
  const std::string run = "/usr/share/doc/openms/examples/BSA/BSA1.mzML";
  if (!fs::exists(run)) GTEST_SKIP() << run << " is missing (Debian package openms-doc)";
  testsupport::CTempDir scratch("cluster_decoys");
  const fs::path dir = scratch.Path();
  const std::vector<std::string> job = {run, "--type", "pairs", "--similar-method", "2", "--lower-mass", "6",
                                        "--upper-mass", "200", "--threshold", "0.4", "--threads", "2"};
  std::vector<std::string> plain = job, decoys = job;
  plain.insert(plain.end(), {"-o", "plain"});
  decoys.insert(decoys.end(), {"-o", "decoys", "--decoy-pairs"});
  ASSERT_EQ(Cluster(dir, plain, "plain.txt"), 0) << ReadFile(dir / "plain.txt");
  ASSERT_EQ(Cluster(dir, decoys, "decoys.txt"), 0) << ReadFile(dir / "decoys.txt");
  for (const char* file : {"pairs.csv", "temp.temp"}) {
    EXPECT_EQ(ReadFile(dir / "plain" / file), ReadFile(dir / "decoys" / file)) << file;
  }
  EXPECT_EQ(ReadFile(dir / "plain/cluster.para").find("decoy_pairs"), std::string::npos);
  EXPECT_NE(ReadFile(dir / "decoys/cluster.para").find("\ndecoy_pairs=1\n"), std::string::npos);
  EXPECT_EQ(ReadFile(dir / "plain.txt").find("expected false pairs"), std::string::npos);

  const std::string said = ReadFile(dir / "decoys.txt");
  const std::size_t found = said.find("Pairs above the threshold: ");
  ASSERT_NE(found, std::string::npos) << said;
  const std::string estimate = said.substr(found, said.find('\n', found) - found + 1);
  const std::string above = said.substr(said.find(", above the threshold: ") + 23);
  EXPECT_EQ(estimate.substr(27, estimate.find(';') - 27), above.substr(0, above.find('\n')));
  EXPECT_NE(estimate.find("; expected false pairs (decoys): "), std::string::npos) << estimate;
  const std::string pairs = ReadFile(dir / "plain/pairs.csv");
  EXPECT_EQ(std::to_string(std::count(pairs.begin(), pairs.end(), '\n')) + "\n", above.substr(0, above.find('\n') + 1));

  // The plain job's own parameter file, run with the option.
  ASSERT_EQ(Cluster(dir / "plain", {"--decoy-pairs", "cluster.para"}, "again.txt"), 0)
      << ReadFile(dir / "plain/again.txt");
  EXPECT_NE(ReadFile(dir / "plain/again.txt").find(estimate), std::string::npos) << estimate;
  EXPECT_EQ(ReadFile(dir / "plain/pairs.csv"), ReadFile(dir / "decoys/pairs.csv"));
  EXPECT_EQ(Cluster(dir / "plain", {"--decoy-pairs", "--shift-search", "cluster.para"}, "shift.txt"), 1);
  EXPECT_NE(ReadFile(dir / "plain/shift.txt").find("figure of the pair search"), std::string::npos);
}

}  // namespace
