#include <gtest/gtest.h>

#include "propagation/Propagation.h"
#include "TestUtil.h"

namespace {

using proptest::ReadFile;
using proptest::WriteFile;

// A Kiln result file identifying each (name, sequence) pair.
std::string Kiln(const std::vector<std::pair<std::string, std::string>>& ids) {
  std::string text;
  int n = 1;
  for (const auto& [name, sequence] : ids) {
    text += std::to_string(n++) + ",\t1\t" + name + "\t1000.0\n";
    text += "*\tK." + sequence + ".A\n";
  }
  return text;
}

struct InnerJob {
  explicit InnerJob(const std::string& name) : dir(name) { job.SetOutputBase(dir / "job"); }
  bool Run(const std::string& clusters, const std::string& results) {
    WriteFile(dir / "clusters.csv", clusters);
    WriteFile(dir / "r.spectra", results);
    return job.InnerPropagate(dir / "clusters.csv", dir / "r.spectra");
  }
  std::string Report() const { return ReadFile(dir / "job_InnerPropagate.txt"); }
  proptest::ScratchDir dir;
  CPropagation job;
};

TEST(InnerPropagation, AgreeingClusterTakesFirstIdentificationUnderItsLabel) {
  InnerJob t("inner_agree");
  ASSERT_TRUE(t.Run("0,A.100.101.2.dta,1,0\n1,B.200.201.2.dta,1,0\n2,C.300.301.3.dta,1,0\n",
                    Kiln({{"A.100.101.2.dta", "PEPTLDE"}, {"B.200.201.2.dta", "PEPTIDE"}})));
  EXPECT_EQ(t.Report(),
            "Conflict peptides:\nConflict num:0\n\nInner propagation result:\n"
            "3 101.2-201.2-301.3.DTA PEPTLDE\nsum=3\n");
  ASSERT_EQ(t.job.results().size(), 1u);
  EXPECT_EQ(t.job.results().at("101.2-201.2-301.3.DTA"), "PEPTLDE");
  EXPECT_EQ(t.job.cluster_sizes().at("101.2-201.2-301.3.DTA"), 3);
  EXPECT_EQ(t.job.summary().inner_new_spectra, 1);
}

TEST(InnerPropagation, SameSequenceWithOtherItemsIsNoConflict) {
  InnerJob t("inner_items");
  ASSERT_TRUE(t.Run("0,A.1.1.2.dta,1,0\n1,B.2.2.2.dta,1,0\n",
                    Kiln({{"A.1.1.2.dta", "PEPTMDE.A 4 M(Oxidation)"},
                          {"B.2.2.2.dta", "PEPTMDE"}})));
  EXPECT_EQ(t.job.results().at("1.2-2.2-2.2.DTA"), "PEPTMDE 3,1");
}

TEST(InnerPropagation, DisagreeingClusterIsReportedAndDropped) {
  InnerJob t("inner_conflict");
  ASSERT_TRUE(t.Run("0,A.1.1.2.dta,1,0\n1,B.2.2.2.dta,1,0\n2,C.3.3.2.dta,1,0\n"
                    "3,D.4.4.2.dta,2,0\n",
                    Kiln({{"A.1.1.2.dta", "SAMPLER"}, {"B.2.2.2.dta", "PEPTIDE"},
                          {"C.3.3.2.dta", "SAMPLER"}, {"D.4.4.2.dta", "ACDEFG"}})));
  EXPECT_EQ(t.Report(),
            "Conflict peptides:\nCluster:1 SAMPLER PEPTIDE\nConflict num:1\n\n"
            "Inner propagation result:\n1 D.4.4.2.DTA ACDEFG\nsum=1\n");
  EXPECT_EQ(t.job.results().count("A.1.1.2.DTA"), 0u);
  EXPECT_EQ(t.job.cluster_sizes().count("1.2-2.2-3.2.DTA"), 0u);
  EXPECT_EQ(t.job.cluster_sizes().at("D.4.4.2.DTA"), 1);
}

TEST(InnerPropagation, ClusterNumbersRunFromOneToTheirCount) {
  // Numbers 1, 2 and 5: N = 3, so 3 is empty and 5 is never visited.
  InnerJob t("inner_numbers");
  ASSERT_TRUE(t.Run("0,A.1.1.2.dta,1,0\n1,B.2.2.2.dta,2,0\n2,C.3.3.2.dta,5,0\n",
                    Kiln({{"A.1.1.2.dta", "AAAA"}, {"C.3.3.2.dta", "CCCC"}})));
  EXPECT_EQ(t.job.results().size(), 1u);
  EXPECT_EQ(t.job.results().count("A.1.1.2.DTA"), 1u);
  // The unidentified single member still gets its size.
  EXPECT_EQ(t.job.cluster_sizes().at("B.2.2.2.DTA"), 1);
  EXPECT_EQ(t.job.cluster_sizes().count("C.3.3.2.DTA"), 0u);
}

TEST(InnerPropagation, EmptyClusterFileEmptiesTheResults) {
  InnerJob t("inner_empty");
  ASSERT_TRUE(t.Run("", Kiln({{"A.1.1.2.dta", "AAAA"}})));
  EXPECT_EQ(t.Report(),
            "Conflict peptides:\nConflict num:0\n\nInner propagation result:\nsum=0\n");
  EXPECT_TRUE(t.job.results().empty());
}

TEST(InnerPropagation, UnreadableInputsAreReportedAndThePassGoesOn) {
  proptest::MessageLog log;
  InnerJob t("inner_missing");
  EXPECT_TRUE(t.job.InnerPropagate(t.dir / "none.csv", t.dir / "none.spectra"));
  EXPECT_TRUE(log.Contains("Can not read file:" + (t.dir / "none.csv")));
  EXPECT_TRUE(log.Contains("Can not open file:" + (t.dir / "none.spectra")));
  EXPECT_EQ(t.Report(),
            "Conflict peptides:\nConflict num:0\n\nInner propagation result:\nsum=0\n");
}

TEST(InnerPropagation, UnwritableReportLeavesMapsAsRead) {
  proptest::MessageLog log;
  InnerJob t("inner_unwritable");
  t.job.SetOutputBase(t.dir / "no/such/dir/job");
  EXPECT_FALSE(t.Run("0,A.1.1.2.dta,1,0\n", Kiln({{"A.1.1.2.dta", "AAAA"}})));
  EXPECT_TRUE(log.Contains("Can not save file:"));
  EXPECT_EQ(t.job.results().at("A.1.1.2.DTA"), "AAAA");
}

}  // namespace
