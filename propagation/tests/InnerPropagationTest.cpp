#include <gtest/gtest.h>

#include "propagation/Propagation.h"
#include "TestUtil.h"

namespace {

using proptest::ReadFile;

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

class InnerPropagation : public proptest::JobDirTest {
 protected:
  void SetUp() override {
    JobDirTest::SetUp();
    job.SetOutputBase(File("job"));
  }
  bool Run(const std::string& clusters, const std::string& results) {
    return job.InnerPropagate(Write("clusters.csv", clusters), Write("r.spectra", results));
  }
  std::string Report() const { return ReadFile(File("job_InnerPropagate.txt")); }
  CPropagation job;
};

TEST_F(InnerPropagation, AgreeingClusterTakesFirstIdentificationUnderItsLabel) {
  ASSERT_TRUE(Run("0,A.100.101.2.dta,1,0\n1,B.200.201.2.dta,1,0\n2,C.300.301.3.dta,1,0\n",
                  Kiln({{"A.100.101.2.dta", "PEPTLDE"}, {"B.200.201.2.dta", "PEPTIDE"}})));
  EXPECT_EQ(Report(),
            "Conflict peptides:\nConflict num:0\n\nInner propagation result:\n"
            "3 101.2-201.2-301.3.DTA PEPTLDE\nsum=3\n");
  ASSERT_EQ(job.results().size(), 1u);
  EXPECT_EQ(job.results().at("101.2-201.2-301.3.DTA"), "PEPTLDE");
  EXPECT_EQ(job.cluster_sizes().at("101.2-201.2-301.3.DTA"), 3);
  EXPECT_EQ(job.summary().inner_new_spectra, 1);
}

TEST_F(InnerPropagation, SameSequenceWithOtherItemsIsNoConflict) {
  ASSERT_TRUE(Run("0,A.1.1.2.dta,1,0\n1,B.2.2.2.dta,1,0\n",
                  Kiln({{"A.1.1.2.dta", "PEPTMDE.A 4 M(Oxidation)"}, {"B.2.2.2.dta", "PEPTMDE"}})));
  EXPECT_EQ(job.results().at("1.2-2.2-2.2.DTA"), "PEPTMDE 3,1");
}

TEST_F(InnerPropagation, DisagreeingClusterIsReportedAndDropped) {
  ASSERT_TRUE(Run("0,A.1.1.2.dta,1,0\n1,B.2.2.2.dta,1,0\n2,C.3.3.2.dta,1,0\n"
                  "3,D.4.4.2.dta,2,0\n",
                  Kiln({{"A.1.1.2.dta", "SAMPLER"}, {"B.2.2.2.dta", "PEPTIDE"},
                        {"C.3.3.2.dta", "SAMPLER"}, {"D.4.4.2.dta", "ACDEFG"}})));
  EXPECT_EQ(Report(),
            "Conflict peptides:\nCluster:1 SAMPLER PEPTIDE\nConflict num:1\n\n"
            "Inner propagation result:\n1 D.4.4.2.DTA ACDEFG\nsum=1\n");
  EXPECT_EQ(job.results().count("A.1.1.2.DTA"), 0u);
  EXPECT_EQ(job.cluster_sizes().count("1.2-2.2-3.2.DTA"), 0u);
  EXPECT_EQ(job.cluster_sizes().at("D.4.4.2.DTA"), 1);
}

TEST_F(InnerPropagation, ClusterNumbersRunFromOneToTheirCount) {
  // Numbers 1, 2 and 5: N = 3, so 3 is empty and 5 is never visited.
  ASSERT_TRUE(Run("0,A.1.1.2.dta,1,0\n1,B.2.2.2.dta,2,0\n2,C.3.3.2.dta,5,0\n",
                  Kiln({{"A.1.1.2.dta", "AAAA"}, {"C.3.3.2.dta", "CCCC"}})));
  EXPECT_EQ(job.results().size(), 1u);
  EXPECT_EQ(job.results().count("A.1.1.2.DTA"), 1u);
  // The unidentified single member still gets its size.
  EXPECT_EQ(job.cluster_sizes().at("B.2.2.2.DTA"), 1);
  EXPECT_EQ(job.cluster_sizes().count("C.3.3.2.DTA"), 0u);
}

TEST_F(InnerPropagation, EmptyClusterFileEmptiesTheResults) {
  ASSERT_TRUE(Run("", Kiln({{"A.1.1.2.dta", "AAAA"}})));
  EXPECT_EQ(Report(), "Conflict peptides:\nConflict num:0\n\nInner propagation result:\nsum=0\n");
  EXPECT_TRUE(job.results().empty());
}

TEST_F(InnerPropagation, UnreadableInputsAreReportedAndThePassGoesOn) {
  proptest::MessageLog log;
  EXPECT_TRUE(job.InnerPropagate(File("none.csv"), File("none.spectra")));
  EXPECT_TRUE(log.Contains("Can not read file:" + File("none.csv")));
  EXPECT_TRUE(log.Contains("Can not open file:" + File("none.spectra")));
  EXPECT_EQ(Report(), "Conflict peptides:\nConflict num:0\n\nInner propagation result:\nsum=0\n");
}

TEST_F(InnerPropagation, UnwritableReportLeavesMapsAsRead) {
  proptest::MessageLog log;
  job.SetOutputBase(File("no/such/dir/job"));
  EXPECT_FALSE(Run("0,A.1.1.2.dta,1,0\n", Kiln({{"A.1.1.2.dta", "AAAA"}})));
  EXPECT_TRUE(log.Contains("Can not save file:"));
  EXPECT_EQ(job.results().at("A.1.1.2.DTA"), "AAAA");
}

}  // namespace
