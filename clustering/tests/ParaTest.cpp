#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <random>

#include "clustering/Para.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SpectralPairSearch.h"
#include "tests/support/ScratchDir.h"

namespace {

using testsupport::ReadFile;

class ParaFile : public ScratchDirTest {};

void FillAll(CPara& para) {
  para.SetDataClass(MS2_FORMAT_MGF, "/Data/Run A", "/Out/Run_A_new", "/Out/Cluster.csv", 12);
  para.SetRepresentativeClass(REPRESENTATIVE_BOTH, 0.25, TOLERANCE_DA);
  para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(),
                  CLUSTER_SPECTRAL_PAIR, 2.5, TOLERANCE_DA, 0.655);
  para.SetSimilarMethod(SIMILAR_DOT_PRODUCT_X, 0.3456, TOLERANCE_PPM);
  para.SetPeakSelect(PEAK_SELECT_TOP_M_PER_WINDOW, 30, 6, 90);
  para.cluster->lower_mass = -3;
  para.cluster->upper_mass = 150;
  para.cluster->cluster_masses_tol = 0.02;
}

const char* const kWritten =
    "[clustername]\n"
    "cluster_name=\n"
    "[file]\n"
    "data_type=2\n"
    "data_directory=/Data/Run A\n"
    "out_directory=/Out/Run_A_new\n"
    "cluster_result=/Out/Cluster.csv\n"
    "[preprocessing]\n"
    "small_peaks_count_filter=12\n"
    "peak_select_method=1\n"
    "whole_top_peak_num=30\n"
    "part_top_peak_num=6\n"
    "part_top_peak_per_num=90\n"
    "scale=sqrt\n"
    "[similarity]\n"
    "similar_method=4\n"
    "fragment_ion_tol=0.35\n"
    "fragment_ion_tol_type=ppm\n"
    "[cluster]\n"
    "cluster_type=1\n"
    "cluster_method=0\n"
    "precursor_ion_tol=2.50\n"
    "precursor_ion_tol_type=Da\n"
    "consensus_type=2\n"
    "consensus_fragment_tol=0.250000\n"
    "consensus_fragment_tol_type=Da\n"
    "threshold=0.66\n"
    "[modification]\n"
    "lower_mass=-3\n"
    "upper_mass=150\n"
    "cluster_masses_tol=0.020000\n";

TEST_F(ParaFile, WritesTheExactTextAndReadsItBack) {
  CPara para;
  FillAll(para);
  ASSERT_TRUE(para.WriteParaFile(File("job.para")));
  EXPECT_EQ(ReadFile(File("job.para")), kWritten);

  CPara back;
  ASSERT_TRUE(back.ReadParaFile(File("job.para")));
  ASSERT_TRUE(back.cluster && back.similarity && back.peak_select && back.spectra_process &&
              back.representative_spectra);
  EXPECT_EQ(back.spectra_process->data_type, MS2_FORMAT_MGF);
  // Paths keep their case: they name files on a case-sensitive system.
  EXPECT_EQ(back.spectra_process->data_directory, "/Data/Run A");
  EXPECT_EQ(back.spectra_process->out_directory, "/Out/Run_A_new");
  EXPECT_EQ(back.spectra_process->cluster_result, "/Out/Cluster.csv");
  EXPECT_EQ(back.spectra_process->small_peaks_count_filter, 12);
  EXPECT_TRUE(back.spectra_process->spectra.empty());
  EXPECT_EQ(back.peak_select->peak_select_method, PEAK_SELECT_TOP_M_PER_WINDOW);
  EXPECT_EQ(back.peak_select->whole_top_peak_num, 30);
  EXPECT_EQ(back.peak_select->part_top_peak_num, 6);
  EXPECT_EQ(back.peak_select->part_top_peak_per_num, 90);
  EXPECT_EQ(back.similarity->similar_method, SIMILAR_DOT_PRODUCT_X);
  EXPECT_DOUBLE_EQ(back.similarity->fragment_ion_tol, 0.35);  // two decimals
  EXPECT_EQ(back.similarity->fragment_ion_tol_type, TOLERANCE_PPM);
  EXPECT_EQ(back.cluster->cluster_type, CLUSTER_SPECTRAL_PAIR);
  EXPECT_NE(dynamic_cast<CSpectralPairSearch*>(back.cluster.get()), nullptr);
  EXPECT_EQ(back.cluster->representative_spectra, nullptr);
  EXPECT_EQ(back.cluster->spectra_process, back.spectra_process.get());
  EXPECT_DOUBLE_EQ(back.cluster->precursor_ion_tol, 2.5);
  EXPECT_EQ(back.cluster->precursor_ion_tol_type, TOLERANCE_DA);
  EXPECT_DOUBLE_EQ(back.cluster->threshold, 0.66);
  EXPECT_EQ(back.cluster->lower_mass, -3);
  EXPECT_EQ(back.cluster->upper_mass, 150);
  EXPECT_DOUBLE_EQ(back.cluster->cluster_masses_tol, 0.02);
  EXPECT_EQ(back.representative_spectra->consensus_type, REPRESENTATIVE_BOTH);
  EXPECT_DOUBLE_EQ(back.representative_spectra->consensus_fragment_tol, 0.25);

  // Writing what was read gives the same file again.
  ASSERT_TRUE(back.WriteParaFile(File("again.para")));
  EXPECT_EQ(ReadFile(File("again.para")), kWritten);
}

TEST_F(ParaFile, TypeZeroStrategyHoldsBothSettingsObjects) {
  CPara para;
  FillAll(para);
  para.SetCluster(para.spectra_process.get(), para.representative_spectra.get(),
                  CLUSTER_SIMILARITY, 20.0, TOLERANCE_PPM, 0.6);
  auto* strategy = dynamic_cast<CSimilarityCluster*>(para.cluster.get());
  ASSERT_NE(strategy, nullptr);
  EXPECT_EQ(strategy->representative_spectra, para.representative_spectra.get());
  EXPECT_EQ(strategy->lower_mass, 6);
  EXPECT_EQ(strategy->upper_mass, 200);
  EXPECT_DOUBLE_EQ(strategy->cluster_masses_tol, 0.01);
  // Replacing the settings a strategy was built on repoints the strategy.
  para.SetDataClass(MS2_FORMAT_DTA, "/new", "/new_out", "/new.csv", 3);
  para.SetRepresentativeClass(REPRESENTATIVE_MOST_SIMILAR, 0.4, TOLERANCE_DA);
  EXPECT_EQ(strategy->spectra_process, para.spectra_process.get());
  EXPECT_EQ(strategy->representative_spectra, para.representative_spectra.get());
  para.SetCluster(nullptr, nullptr, static_cast<Cluster_Type>(2), 1, TOLERANCE_DA, 0.5);
  EXPECT_EQ(para.cluster, nullptr);
  // Without a strategy there is nothing complete to write.
  EXPECT_FALSE(para.WriteParaFile(File("none.para")));
  EXPECT_FALSE(std::filesystem::exists(File("none.para")));
  EXPECT_FALSE(para.WriteParaFile(File("no/such/dir/x.para")));
}

TEST_F(ParaFile, CommentsCapitalsLineEndsAndKeysOutsideSections) {
  Write("a.para",
            "data_directory=/before/any/section\r\n"
            "  [FILE]   # section in capitals\r\n"
            "DATA_DIRECTORY=/Mixed/Case/Path  # a comment\t \r\n"
            "#out_directory=/commented/out\r\n"
            "  # out_directory=/commented/out/too\r\n"
            "Cluster_Result=/R#1.csv\t# a comment after a tab\r\n"
            "[Similarity]\r\n"
            "fragment_ion_tol=0.7\r\n"
            "fragment_ion_tol_type=\r\n"
            "[cluster]\r\n"
            "precursor_ion_tol_type=DA\r\n"
            "consensus_fragment_tol_type=nothing-like-a-unit\r\n"
            "threshold=  0.45xyz\r\n"
            "similar_method=5\r\n");  // a key of another section is ignored
  CPara para;
  ASSERT_TRUE(para.ReadParaFile(File("a.para")));
  EXPECT_EQ(para.spectra_process->data_directory, "/Mixed/Case/Path");
  EXPECT_EQ(para.spectra_process->out_directory, "");
  // A "#" inside a word is part of the value.
  EXPECT_EQ(para.spectra_process->cluster_result, "/R#1.csv");
  EXPECT_DOUBLE_EQ(para.similarity->fragment_ion_tol, 0.7);
  EXPECT_EQ(para.similarity->fragment_ion_tol_type, TOLERANCE_PPM);  // empty name
  EXPECT_EQ(para.similarity->similar_method, SIMILAR_DOT_PRODUCT);
  // No "cluster_type=": a similarity clustering with the reader's defaults.
  ASSERT_NE(dynamic_cast<CSimilarityCluster*>(para.cluster.get()), nullptr);
  EXPECT_EQ(para.cluster->precursor_ion_tol_type, TOLERANCE_DA);
  EXPECT_DOUBLE_EQ(para.cluster->precursor_ion_tol, 20.0);
  EXPECT_DOUBLE_EQ(para.cluster->threshold, 0.45);
  EXPECT_EQ(para.representative_spectra->consensus_fragment_tol_type, TOLERANCE_DA);
  // No "[modification]" keys: 0, not the factory's 6 and 200.
  EXPECT_EQ(para.cluster->lower_mass, 0);
  EXPECT_EQ(para.cluster->upper_mass, 0);
  EXPECT_DOUBLE_EQ(para.cluster->cluster_masses_tol, 0.01);
  EXPECT_EQ(para.peak_select->peak_select_method, PEAK_SELECT_WINDOW_THEN_TOP_N);
  EXPECT_EQ(para.peak_select->whole_top_peak_num, 50);

  // The same file with LF line ends reads the same.
  std::string lf = ReadFile(File("a.para"));
  lf.erase(std::remove(lf.begin(), lf.end(), '\r'), lf.end());
  Write("b.para", lf);
  CPara other;
  ASSERT_TRUE(other.ReadParaFile(File("b.para")));
  EXPECT_EQ(other.spectra_process->data_directory, para.spectra_process->data_directory);
  EXPECT_EQ(other.cluster->threshold, para.cluster->threshold);
}

// Paths are written as they are and read back whole, whatever "#" and "%"
// they hold: a "#" begins a comment only after a blank or at a line's start.
TEST_F(ParaFile, PathsKeepHashAndPercentThroughTheFile) {
  CPara para;
  FillAll(para);
  para.SetDataClass(MS2_FORMAT_MGF, "/data/run#1%d.mgf", "/out/%s#cons#", "/res/#clu%%n#.csv", 12);
  ASSERT_TRUE(para.WriteParaFile(File("paths.para")));
  const std::string text = ReadFile(File("paths.para"));
  EXPECT_NE(text.find("\ndata_directory=/data/run#1%d.mgf\nout_directory=/out/%s#cons#\n"
                      "cluster_result=/res/#clu%%n#.csv\n"),
            std::string::npos)
      << text;
  CPara back;
  ASSERT_TRUE(back.ReadParaFile(File("paths.para")));
  EXPECT_EQ(back.spectra_process->data_directory, "/data/run#1%d.mgf");
  EXPECT_EQ(back.spectra_process->out_directory, "/out/%s#cons#");
  EXPECT_EQ(back.spectra_process->cluster_result, "/res/#clu%%n#.csv");
  ASSERT_TRUE(back.WriteParaFile(File("again.para")));
  EXPECT_EQ(ReadFile(File("again.para")), text);
}

// The exact form carries every real value bit for bit and differs from the
// stored form in those five lines only; the defaults are a file without keys.
TEST_F(ParaFile, ExactNumbersAndDefaults) {
  CPara para;
  FillAll(para);
  para.similarity->fragment_ion_tol = 0.1 + 0.2;
  para.cluster->precursor_ion_tol = 1.0 / 3.0;
  para.representative_spectra->consensus_fragment_tol = 0.123456789012345;
  para.cluster->threshold = 0.655;
  para.cluster->cluster_masses_tol = 1e-7;
  ASSERT_TRUE(para.WriteParaFile(File("exact.para"), CPara::Numbers::kExact));
  ASSERT_TRUE(para.WriteParaFile(File("stored.para")));
  CPara back;
  ASSERT_TRUE(back.ReadParaFile(File("exact.para")));
  EXPECT_EQ(back.similarity->fragment_ion_tol, para.similarity->fragment_ion_tol);
  EXPECT_EQ(back.cluster->precursor_ion_tol, para.cluster->precursor_ion_tol);
  EXPECT_EQ(back.representative_spectra->consensus_fragment_tol,
            para.representative_spectra->consensus_fragment_tol);
  EXPECT_EQ(back.cluster->threshold, para.cluster->threshold);
  EXPECT_EQ(back.cluster->cluster_masses_tol, para.cluster->cluster_masses_tol);
  char line[64];
  std::snprintf(line, sizeof line, "\nthreshold=%.17g\n", 0.655);
  EXPECT_NE(ReadFile(File("exact.para")).find(line), std::string::npos);
  // Writing what was read in the stored form gives the stored file.
  ASSERT_TRUE(back.WriteParaFile(File("stored_again.para")));
  EXPECT_EQ(ReadFile(File("stored_again.para")), ReadFile(File("stored.para")));

  for (const Cluster_Type type : {CLUSTER_SIMILARITY, CLUSTER_SPECTRAL_PAIR}) {
    CPara reset;
    FillAll(reset);
    reset.ResetToDefaults(type);
    CPara read;
    Write("keyless.para", "[cluster]\ncluster_type=" + std::to_string(type) + "\n");
    ASSERT_TRUE(read.ReadParaFile(File("keyless.para")));
    ASSERT_TRUE(reset.WriteParaFile(File("reset.para")));
    ASSERT_TRUE(read.WriteParaFile(File("read.para")));
    EXPECT_EQ(ReadFile(File("reset.para")), ReadFile(File("read.para")));
    EXPECT_EQ(reset.cluster->spectra_process, reset.spectra_process.get());
  }
}

// The score log is on unless a file says score_log=0, and only that choice
// is written, so files of jobs with the log stay as they always were.
TEST_F(ParaFile, ScoreLogIsWrittenOnlyWhenOff) {
  CPara para;
  FillAll(para);
  ASSERT_TRUE(para.WriteParaFile(File("with.para")));
  EXPECT_EQ(ReadFile(File("with.para")).find("score_log"), std::string::npos);
  para.cluster->score_log = false;
  ASSERT_TRUE(para.WriteParaFile(File("without.para")));
  EXPECT_NE(ReadFile(File("without.para")).find("\nthreshold=0.66\nscore_log=0\n[modification]\n"),
            std::string::npos);
  for (const auto& [file, log] : {std::pair{"with.para", true}, std::pair{"without.para", false}}) {
    CPara back;
    ASSERT_TRUE(back.ReadParaFile(File(file)));
    EXPECT_EQ(back.cluster->score_log, log) << file;
  }
  Write("on.para", "[cluster]\ncluster_type=1\nSCORE_LOG=1\n");
  CPara on;
  ASSERT_TRUE(on.ReadParaFile(File("on.para")));
  EXPECT_TRUE(on.cluster->score_log);
}

// The decoy count is off unless a file says decoy_pairs=1, and only then
// is the key written: every other file keeps its text.
TEST_F(ParaFile, DecoyPairsAreWrittenOnlyWhenOn) {
  CPara para;
  FillAll(para);
  ASSERT_TRUE(para.WriteParaFile(File("without.para")));
  const std::string without = ReadFile(File("without.para"));
  EXPECT_EQ(without.find("decoy"), std::string::npos);
  para.cluster->decoy_pairs = true;
  ASSERT_TRUE(para.WriteParaFile(File("with.para")));
  std::string with = ReadFile(File("with.para"));
  const std::string line = "decoy_pairs=1\n";
  ASSERT_NE(with.find("\nthreshold=0.66\n" + line + "[modification]\n"), std::string::npos);
  EXPECT_EQ(with.erase(with.find(line), line.size()), without);
  for (const auto& [file, decoys] : {std::pair{"with.para", true}, std::pair{"without.para", false}}) {
    CPara back;
    ASSERT_TRUE(back.ReadParaFile(File(file)));
    EXPECT_EQ(back.cluster->decoy_pairs, decoys) << file;
    ASSERT_TRUE(back.WriteParaFile(File("again.para")));
    EXPECT_EQ(ReadFile(File("again.para")), ReadFile(File(file)));
  }
  Write("on.para", "[cluster]\ncluster_type=1\nDECOY_PAIRS=1  # count chance pairs\n");
  CPara on;
  ASSERT_TRUE(on.ReadParaFile(File("on.para")));
  EXPECT_TRUE(on.cluster->decoy_pairs);
}

// Single linkage is the mode of every file without the key, and only
// another mode is written; a word that names no mode is kept as unknown
// for the job to refuse, never read as single linkage.
TEST_F(ParaFile, ClusteringModeIsWrittenOnlyWhenNotSingle) {
  CPara para;
  FillAll(para);
  ASSERT_TRUE(para.WriteParaFile(File("single.para")));
  const std::string single = ReadFile(File("single.para"));
  EXPECT_EQ(single.find("clustering_mode"), std::string::npos);
  para.cluster->clustering_mode = CLUSTERING_PRECISE;
  ASSERT_TRUE(para.WriteParaFile(File("precise.para")));
  std::string precise = ReadFile(File("precise.para"));
  const std::string line = "clustering_mode=precise\n";
  ASSERT_NE(precise.find("\nthreshold=0.66\n" + line + "[modification]\n"), std::string::npos) << precise;
  EXPECT_EQ(precise.erase(precise.find(line), line.size()), single);

  const std::pair<const char*, Clustering_Mode> cases[] = {
      {"", CLUSTERING_SINGLE},
      {"clustering_mode=precise\n", CLUSTERING_PRECISE},
      {"CLUSTERING_MODE= Precise  # fewer wrong merges\n", CLUSTERING_PRECISE},
      {"clustering_mode=single\n", CLUSTERING_SINGLE},
      {"clustering_mode=average\n", CLUSTERING_UNKNOWN},
  };
  for (const auto& [text, mode] : cases) {
    Write("mode.para", std::string("[cluster]\ncluster_type=0\n") + text);
    CPara back;
    ASSERT_TRUE(back.ReadParaFile(File("mode.para")));
    EXPECT_EQ(back.cluster->clustering_mode, mode) << text;
  }
}

TEST_F(ParaFile, LongLinesAreReadWhole) {
  const std::string long_path = "/data/" + std::string(400, 'x') + "/Run";
  Write("long.para", "[file]\ndata_directory=" + long_path + "\ndata_type=5\n");
  CPara para;
  ASSERT_TRUE(para.ReadParaFile(File("long.para")));
  EXPECT_EQ(para.spectra_process->data_directory, long_path);
  EXPECT_EQ(para.spectra_process->data_type, MS2_FORMAT_MS2);
}

TEST_F(ParaFile, UnknownStrategyTypeIgnoresItsKeys) {
  Write("t.para",
            "[cluster]\ncluster_type=4\nthreshold=0.9\n[modification]\nlower_mass=10\n");
  CPara para;
  ASSERT_TRUE(para.ReadParaFile(File("t.para")));
  EXPECT_EQ(para.cluster, nullptr);
  EXPECT_NE(para.similarity, nullptr);
  EXPECT_NE(para.representative_spectra, nullptr);
}

TEST_F(ParaFile, MissingFileKeepsTheOldSettings) {
  CPara para;
  FillAll(para);
  const CSpectraProcess* before = para.spectra_process.get();
  EXPECT_FALSE(para.ReadParaFile(File("missing.para")));
  EXPECT_EQ(para.spectra_process.get(), before);
  EXPECT_EQ(para.spectra_process->data_directory, "/Data/Run A");
  EXPECT_EQ(para.cluster->upper_mass, 150);
}

TEST_F(ParaFile, GarbageNeverFails) {
  std::mt19937 rng(7);
  for (int round = 0; round < 20; ++round) {
    std::string junk;
    const std::size_t length = rng() % 5000;
    for (std::size_t k = 0; k < length; ++k) junk.push_back(static_cast<char>(rng() % 256));
    if (round % 3 == 0) junk = "[cluster]\ncluster_type=" + junk;
    if (round % 4 == 1) junk = "[file]\n" + junk + "\n[modification]\n" + junk;
    Write("junk.para", junk);
    CPara para;
    EXPECT_TRUE(para.ReadParaFile(File("junk.para")));
    EXPECT_NE(para.similarity, nullptr);
  }
  Write("empty.para", "");
  CPara para;
  EXPECT_TRUE(para.ReadParaFile(File("empty.para")));
  EXPECT_NE(dynamic_cast<CSimilarityCluster*>(para.cluster.get()), nullptr);
  Write("huge.para", "[file]\ndata_directory=" + std::string(2000000, 'q'));
  EXPECT_TRUE(para.ReadParaFile(File("huge.para")));
  EXPECT_EQ(para.spectra_process->data_directory.size(), 2000000u);
  // A directory is not a parameter file.
  EXPECT_FALSE(para.ReadParaFile(dir_.string()));
}

TEST_F(ParaFile, HeldSettingsDriveSelectionAndScoring) {
  CPara para;
  msdata::PeakList a = {{100, 1}, {200, 2}};
  msdata::PeakList b = a;
  EXPECT_EQ(para.ComputeSimilarScore(a, b, 0.0), 0.0);  // nothing held yet
  para.SetSimilarMethod(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  para.SetPeakSelect(PEAK_SELECT_TOP_N, 1, 5, 100);
  EXPECT_NEAR(para.ComputeSimilarScore(a, b, 0.0), 1.0, 1e-12);
  para.SelectPeak(a);
  ASSERT_EQ(a.size(), 1u);
  EXPECT_EQ(a[0], msdata::Peak(200, 2));
}

}  // namespace
