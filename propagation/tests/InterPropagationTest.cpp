#include <gtest/gtest.h>

#include "propagation/Propagation.h"
#include "TestUtil.h"

namespace {

using proptest::ReadFile;

class InterPropagation : public proptest::JobDirTest {
 protected:
  void SetUp() override {
    JobDirTest::SetUp();
    NewJob();
  }
  // A fresh job in the same folder.
  void NewJob() {
    job = CPropagation();
    job.SetOutputBase(File("job"));
  }
  void Run(const std::string& pairs) { job.InterPropagate(Write("pairs.csv", pairs), false, false); }
  std::string Report() const { return ReadFile(File("job_InterPropagate.txt")); }
  std::string Id(const std::string& name) const {
    const auto it = job.results().find(name);
    return it == job.results().end() ? std::string("<none>") : it->second;
  }
  CPropagation job;
};

TEST_F(InterPropagation, ChainTravelsOneStepPerPass) {
  job.results()["A"] = "PEPTIDE";
  Run("A,1000,B,984,16.0,0.9,1\nB,984,C,900,84.0,0.9,1\n");
  EXPECT_EQ(Id("B"), "PEPTIDE -1,-16.000000,1");
  EXPECT_EQ(Id("C"), "PEPTIDE -1,-16.000000,1 -1,-84.000000,1");
  EXPECT_EQ(Report(),
            "Conflict edges:\nSum=0\n\nConflict nodes:\nSum=0\n\nPropagation result:\n"
            "0 A PEPTIDE\n1 B PEPTIDE -1,-16.000000,1\n"
            "2 C PEPTIDE -1,-16.000000,1 -1,-84.000000,1\nSum=2\n"
            "Interpropagation new spectral num:0\nSame result edges: 0\nConflict num: 0\n"
            "normal edges with result: 2\nPropogate times 0 : 1\nPropogate times 1 : 1\n"
            "Propogate times 2 : 1\n#\tAA\tID1\n");
  EXPECT_EQ(ReadFile(File("pair_with_result.txt")),
            "A,1000,B,984,-16.000000,0.9,1\nB,984,C,900,-84.000000,0.9,1\n");
}

TEST_F(InterPropagation, NodeFoundInAPassIsNoSourceInThatPass) {
  // B and C are both found in pass 1 and disagree: equal passes make the
  // edge between them a conflict edge (seen in pass 2, not pass 1).
  job.results()["A"] = "PEPTIDE";
  job.results()["X"] = "SAMPLER";
  Run("A,0,B,0,1.0,0,1\nX,0,C,0,2.0,0,1\nB,0,C,0,3.0,0,1\n");
  EXPECT_NE(Report().find("Conflict edges:\nB C PEPTIDE -1,-1.000000,1 SAMPLER -1,-2.000000,1 "
                            "3.000000\nSum=1\n\nConflict nodes:\nSum=0\n"),
            std::string::npos);

  // B is reached in pass 1 and disagrees with X one pass apart: B becomes a
  // conflict node and leaves the results report.
  NewJob();
  job.results()["A"] = "PEPTIDE";
  job.results()["X"] = "SAMPLER";
  Run("A,0,B,0,1.0,0,1\nB,0,X,0,1.0,0,1\nB,0,Y,0,2.0,0,1\n");
  const std::string report = Report();
  EXPECT_NE(report.find("Conflict nodes:\nB\nSum=1\n"), std::string::npos);
  EXPECT_EQ(report.find("1 B "), std::string::npos);
  EXPECT_NE(report.find("Conflict num: 1\n"), std::string::npos);
  // B could pass nothing on in pass 1, and in pass 2 it was a conflict node
  // before its edge to Y came up.
  EXPECT_EQ(Id("Y"), "<none>");
}

TEST_F(InterPropagation, PairTakingBackTheLastModificationUndoesIt) {
  job.results()["A"] = "PEPTIDE 2,1";
  Run("A,1000,B,984,16.0,0.9,3\nC,1000,B,984,16.0,0.9,3\nD,1000,C,995,5.0,0.9,3\n");
  EXPECT_EQ(Id("B"), "PEPTIDE 2,1 -1,-16.000000,3");
  EXPECT_EQ(Id("C"), "PEPTIDE 2,1");
  // C's history is empty again, so the next pair with mark 3 adds an item.
  EXPECT_EQ(Id("D"), "PEPTIDE 2,1 -1,5.000000,3");
  EXPECT_NE(Report().find("2 C PEPTIDE 2,1\n"), std::string::npos);
}

TEST_F(InterPropagation, AgreeingAndDisagreeingPartnersGiveSameResultAndConflictEdges) {
  job.results()["A"] = "PEPTIDE";
  job.results()["B"] = "PEPTLDE";
  job.results()["C"] = "PEPTIDE";
  job.results()["D"] = "SAMPLER";
  Run("A,0,B,0,0.5,0,1\nC,0,D,0,5.0,0,1\n");
  EXPECT_EQ(Report(),
            "Conflict edges:\nC D PEPTIDE SAMPLER 5.000000\nSum=1\n\nConflict nodes:\nSum=0\n\n"
            "Propagation result:\n0 A PEPTIDE\n0 B PEPTLDE\n0 C PEPTIDE\n0 D SAMPLER\nSum=0\n"
            "Interpropagation new spectral num:0\nSame result edges: 1\nConflict num: 1\n"
            "normal edges with result: 1\nPropogate times 0 : 4\n#\tAA\tID1\n");
  EXPECT_EQ(ReadFile(File("pair_with_result.txt")), "");
}

TEST_F(InterPropagation, LineWithoutExactlySevenFieldsHasMarkMinusOne) {
  job.results()["A"] = "PEPTIDE";
  job.results()["E"] = "SAMPLER";
  Run("A,0,B,0,16.0,0,3,extra\nD,0,E,0,16.0,0,3,extra\nF,0,E,0,2.5\n");
  EXPECT_EQ(Id("B"), "PEPTIDE -1,-16.000000,-1");
  EXPECT_EQ(Id("D"), "SAMPLER -1,16.000000,-1");
  EXPECT_EQ(Id("F"), "SAMPLER -1,2.500000,-1");
  EXPECT_NE(Report().find("#\tAA\tID-1\n"), std::string::npos);
  EXPECT_EQ(ReadFile(File("pair_with_result.txt")),
            "A,0,B,0,-16.000000,0,3,extra\nD,0,E,0,16.000000,0,3,extra\nF,0,E,0,2.500000\n");
}

TEST_F(InterPropagation, NewSpectraAreCountedThroughClusterSizes) {
  Write("clusters.csv",
        "0,R.1.1.2.dta,1,0\n1,R.2.2.2.dta,1,0\n2,R.3.3.2.dta,1,0\n3,R.4.4.2.dta,2,0\n"
        "4,R.5.5.2.dta,3,0\n5,R.6.6.2.dta,3,0\n");
  Write("r.spectra", "1,\t1\tR.4.4.2.dta\t1\n*\tK.PEPTIDE.A\n");
  Write("pairs.csv", "R.4.4.2.dta,0,1.2-2.2-3.2.dta,0,16.0,0,1\n"
                     "5.2-6.2-6.2.dta,0,R.4.4.2.dta,0,3.0,0,1\n");
  ASSERT_TRUE(job.InnerPropagate(File("clusters.csv"), File("r.spectra")));
  job.InterPropagate(File("pairs.csv"), false, true);
  const std::string report = Report();
  EXPECT_NE(report.find("Sum=2\nInterpropagation new spectral num:5\n"), std::string::npos);
}

TEST_F(InterPropagation, MissingOrGarbagePairFilesGiveEmptySections) {
  proptest::MessageLog log;
  job.results()["A"] = "PEPTIDE";
  job.InterPropagate(File("none.csv"), false, false);
  EXPECT_TRUE(log.Contains("Can not read file:" + File("none.csv")));
  EXPECT_EQ(Report(),
            "Conflict edges:\nSum=0\n\nConflict nodes:\nSum=0\n\nPropagation result:\n"
            "0 A PEPTIDE\nSum=0\nInterpropagation new spectral num:0\nSame result edges: 0\n"
            "Conflict num: 0\nnormal edges with result: 0\nPropogate times 0 : 1\n#\tAA\n");

  std::string garbage;
  for (int i = 0; i < 5000; ++i) garbage += static_cast<char>((i * 7919 + 13) % 256);
  garbage += "\n" + std::string(100000, ',') + "\n\n,,,,,,\nA\n";
  Run(garbage);
  EXPECT_NE(Report().find("0 A PEPTIDE\n"), std::string::npos);
}

TEST_F(InterPropagation, EmptyIdentificationsAreNotCarried) {
  job.results()["A"] = "";
  Run("A,0,B,0,16.0,0,1\n");
  EXPECT_EQ(Id("B"), "<none>");
}

TEST_F(InterPropagation, ModificationMassesComeFromTheTable) {
  job.modifications() = {{"Oxidation", -1.0}, {"NoSuchThing", -1.0}};
  Run("");
  EXPECT_DOUBLE_EQ(job.modifications()[0].second, 15.994915);
  EXPECT_DOUBLE_EQ(job.modifications()[1].second, -1.0);
}

}  // namespace
