#include <gtest/gtest.h>

#include <sstream>

#include "propagation/PropagationPara.h"
#include "TestUtil.h"

namespace {

// Most cases need no folder; the file cases get one of their own.
class PropagationPara : public ScratchDirTest {};

CPropagationPara Read(const std::string& text, CPropagationPara para = CPropagationPara()) {
  std::istringstream in(text);
  ReadPropagationPara(in, para);
  return para;
}

TEST_F(PropagationPara, KeysMatchWithoutCaseAndValuesKeepTheirs) {
  EXPECT_EQ(Read("MODCOUNT=2\n").mod_count, 2);
  EXPECT_EQ(Read("modcount=2\n").mod_count, 2);
  EXPECT_EQ(Read("ModCounT=2\n").mod_count, 2);
  const CPropagationPara para =
      Read("PairFile=/Data/Run 1/Pairs.CSV\r\nResultFile=/Data/R.Spectra\r\n"
           "DTAPath=/Data/DTA\r\nIsDirectory=1\r\nIsModSiteDetermined=1\r\n");
  EXPECT_EQ(para.pair_file, "/Data/Run 1/Pairs.CSV");
  EXPECT_EQ(para.result_file, "/Data/R.Spectra");
  EXPECT_EQ(para.dta_path, "/Data/DTA");
  EXPECT_EQ(para.is_directory, 1);
  EXPECT_EQ(para.is_mod_site_determined, 1);
}

TEST_F(PropagationPara, EmptyValuesAndUnknownLinesKeepEarlierFields) {
  CPropagationPara before;
  before.pair_file = "old.csv";
  before.mod_count = 3;
  const CPropagationPara para = Read("PairFile=\nsomething else\nModCount\n", before);
  EXPECT_EQ(para.pair_file, "old.csv");
  EXPECT_EQ(para.mod_count, 3);
  // A later non-empty value replaces an earlier one.
  EXPECT_EQ(Read("PairFile=a.csv\nPairFile=b.csv\n").pair_file, "b.csv");
}

TEST_F(PropagationPara, FirstKeyInOrderDecidesAndValueFollowsFirstEquals) {
  const CPropagationPara para = Read("PairFile=x.csv ClusterFile=c.csv\n");
  EXPECT_EQ(para.cluster_file, "x.csv ClusterFile=c.csv");
  EXPECT_TRUE(para.pair_file.empty());
  // Keys are found anywhere in the line.
  EXPECT_EQ(Read("  my resultfile=r.tagram\n").result_file, "r.tagram");
  // Numbers are read like atoi; ModCount is 16 bits wide.
  EXPECT_EQ(Read("ModCount=2x\n").mod_count, 2);
  EXPECT_EQ(Read("ModCount=abc\n").mod_count, 0);
  EXPECT_EQ(Read("ModCount=65538\n").mod_count, 2);
}

TEST_F(PropagationPara, LongLinesAreReadWhole) {
  const std::string long_path = "/data/" + std::string(600, 'p') + ".csv";
  EXPECT_EQ(Read("PairFile=" + long_path + "\n").pair_file, long_path);
}

TEST_F(PropagationPara, WriterRoundTripsAndMatchesGolden) {
  CPropagationPara para;
  para.pair_file = "pairs.csv";
  para.result_file = "results.spectra";
  para.cluster_file = "clusters.csv";
  para.dta_path = "dta";
  para.mod_count = 2;
  para.is_mod_site_determined = 1;
  para.is_directory = 0;
  std::ostringstream out;
  WritePropagationPara(out, para);
  EXPECT_EQ(out.str(), proptest::ReadFile(proptest::SourceData("written.para")));

  const CPropagationPara back = Read(out.str());
  EXPECT_EQ(back.pair_file, para.pair_file);
  EXPECT_EQ(back.result_file, para.result_file);
  EXPECT_EQ(back.cluster_file, para.cluster_file);
  EXPECT_EQ(back.dta_path, para.dta_path);
  EXPECT_EQ(back.mod_count, 2);
  EXPECT_EQ(back.is_mod_site_determined, 1);
  EXPECT_EQ(back.is_directory, 0);
}

TEST_F(PropagationPara, FilterKeysAreWrittenOnlyWhenSet) {
  CPropagationPara para;
  para.pair_file = "pairs.csv";
  std::ostringstream plain;
  WritePropagationPara(plain, para);
  EXPECT_EQ(plain.str().find("Fdr"), std::string::npos);  // older readers see the old seven lines

  para.fdr_level = "5%";
  para.score_threshold = "0.01";
  para.decoy_prefix = "REV_, DECOY_";
  std::ostringstream out;
  WritePropagationPara(out, para);
  const CPropagationPara back = Read(out.str());
  EXPECT_EQ(back.fdr_level, "5%");
  EXPECT_EQ(back.score_threshold, "0.01");
  EXPECT_EQ(back.decoy_prefix, "REV_, DECOY_");
  EXPECT_EQ(back.pair_file, "pairs.csv");

  CIdentificationFilter filter;
  std::string message;
  ASSERT_TRUE(FilterFromPara(back, filter, message)) << message;
  EXPECT_DOUBLE_EQ(filter.fdr_level, 0.05);
  EXPECT_TRUE(filter.has_score_threshold);
  EXPECT_DOUBLE_EQ(filter.score_threshold, 0.01);
  EXPECT_EQ(filter.decoy_prefixes, (std::vector<std::string>{"REV_", "DECOY_"}));

  // Defaults stay when nothing is set; bad values are named.
  CIdentificationFilter defaults;
  ASSERT_TRUE(FilterFromPara(CPropagationPara(), defaults, message));
  EXPECT_DOUBLE_EQ(defaults.fdr_level, 0.01);
  EXPECT_FALSE(defaults.has_score_threshold);
  EXPECT_EQ(defaults.decoy_prefixes.size(), 3u);
  for (const char* bad : {"0", "1.5", "abc", "2%x"}) {
    CPropagationPara wrong;
    wrong.fdr_level = bad;
    EXPECT_FALSE(FilterFromPara(wrong, defaults, message)) << bad;
    EXPECT_NE(message.find(bad), std::string::npos);
  }
  CPropagationPara wrong;
  wrong.score_threshold = "low";
  EXPECT_FALSE(FilterFromPara(wrong, defaults, message));
}

TEST_F(PropagationPara, FileReadingReportsUnreadableFiles) {
  CPropagationPara para;
  para.pair_file = "kept";
  EXPECT_FALSE(ReadPropagationParaFile(File("missing.para"), para));
  EXPECT_FALSE(ReadPropagationParaFile(dir_.string(), para));  // a directory
  EXPECT_EQ(para.pair_file, "kept");
  ASSERT_TRUE(WritePropagationParaFile(File("job.para"), para));
  EXPECT_FALSE(WritePropagationParaFile(File("no/such/dir/job.para"), para));
  CPropagationPara back;
  ASSERT_TRUE(ReadPropagationParaFile(File("job.para"), back));
  EXPECT_EQ(back.pair_file, "kept");
}

TEST_F(PropagationPara, ProposedNameIsLastComponentLessExtension) {
  EXPECT_EQ(ProposeParaFileName("D:\\data\\run 1\\pairs.csv"), "pairs");
  EXPECT_EQ(ProposeParaFileName("D:\\data\\pairs.csv"), "pairs");
  EXPECT_EQ(ProposeParaFileName("/data/run 1/pairs.csv"), "pairs");
  EXPECT_EQ(ProposeParaFileName("D:\\data\\my pairs.csv"), "pairs");
  EXPECT_EQ(ProposeParaFileName("pairs.csv"), "pairs");
  EXPECT_EQ(ProposeParaFileName("/data/a.c"), "");
  EXPECT_EQ(ProposeParaFileName(""), "");
}

TEST_F(PropagationPara, PathChecksRunInOrderAndNameThePath) {
  Write("r.spectra", "");
  Write("p.csv", "");
  CPropagationPara para;
  para.result_file = File("missing.spectra");
  para.pair_file = File("missing.csv");
  std::string message;
  EXPECT_FALSE(CheckParaPaths(para, message));
  EXPECT_EQ(message, "File: " + para.result_file + " does not exist!");
  para.result_file = File("r.spectra");
  EXPECT_FALSE(CheckParaPaths(para, message));
  EXPECT_EQ(message, "File: " + para.pair_file + " does not exist!");
  para.pair_file = File("p.csv");
  EXPECT_TRUE(CheckParaPaths(para, message));
  para.dta_path = File("nodta");
  para.cluster_file = File("nocluster.csv");
  EXPECT_FALSE(CheckParaPaths(para, message));
  EXPECT_EQ(message, "File: " + para.dta_path + " does not exist!");
  para.dta_path = dir_.string();
  EXPECT_FALSE(CheckParaPaths(para, message));
  EXPECT_EQ(message, "File: " + para.cluster_file + " does not exist!");
}

TEST_F(PropagationPara, OutputBaseDropsOnlyTheParaExtension) {
  EXPECT_EQ(OutputBaseOf("/jobs/run1.para"), "/jobs/run1");
  EXPECT_EQ(OutputBaseOf("/jobs/run1.PARA"), "/jobs/run1");
  EXPECT_EQ(OutputBaseOf("/jobs/run1"), "/jobs/run1");
  EXPECT_EQ(OutputBaseOf("x"), "x");
}

}  // namespace
