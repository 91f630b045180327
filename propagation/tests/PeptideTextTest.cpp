#include <gtest/gtest.h>

#include "propagation/PeptideText.h"

namespace {

using namespace peptide_text;

TEST(PeptideText, SamePeptideReadsLAsIAndAllowsContainmentOrOneDifference) {
  EXPECT_TRUE(SamePeptide("PEPTIDE", "PEPTLDE"));
  EXPECT_FALSE(SamePeptide("PEPTIDE", "SAMPLER"));
  EXPECT_TRUE(SamePeptide("PEPTIDE 3,1", "PEPTIDE -1,16.000000,1"));  // items do not count
  EXPECT_TRUE(SamePeptide("PEPTIDEK", "TIDE"));                       // containment
  EXPECT_TRUE(SamePeptide("TIDE", "PEPTIDEK"));
  EXPECT_TRUE(SamePeptide("PEPTIDE", "PEPTIDQ"));   // one position differs
  EXPECT_FALSE(SamePeptide("PEPTIDE", "PEPTIQQ"));  // two differ
  EXPECT_FALSE(SamePeptide("PEPTIDE", "PEPSIDEKK"));
  EXPECT_FALSE(SamePeptide("ABCD", "ABDC"));
}

TEST(PeptideText, PeptideKeyIsSequenceWithLAsI) {
  EXPECT_EQ(PeptideKey("PEPTLDE 3,1"), "PEPTIDE");
  EXPECT_EQ(PeptideKey("LLL"), "III");
  EXPECT_EQ(Sequence(" 3,1"), " 3,1");  // no sequence of its own: the whole text
  EXPECT_EQ(Sequence(""), "");
}

TEST(PeptideText, ClusterLabelJoinsTailsOfFirstMiddleLast) {
  EXPECT_EQ(ClusterLabel({"A.100.101.2.DTA", "B.200.201.2.DTA", "C.300.301.3.DTA"}),
            "101.2-201.2-301.3.DTA");
  EXPECT_EQ(ClusterLabel({"R.1.1.2.DTA", "R.2.2.2.DTA"}), "1.2-2.2-2.2.DTA");
  EXPECT_EQ(ClusterLabel({"R.1.1.2.DTA", "R.2.2.2.DTA", "R.3.3.2.DTA", "R.4.4.2.DTA"}),
            "1.2-3.2-4.2.DTA");
  // Names outside the usual form do not break the label.
  EXPECT_EQ(NameTail("X.DTA"), "X");
  EXPECT_EQ(NameTail("AB"), "AB");
  EXPECT_EQ(NameTail("A.B.DTA"), "A.B");
  EXPECT_EQ(NameTail("RUN.A.B.C.DTA"), "B.C");
}

TEST(PeptideText, ItemsTakeMassFromListOrText) {
  const ModificationList mods = {{"Oxidation", 15.994915}, {"Phospho", 79.966331}};
  const auto items = ParseItems("PEPTMSDE 4,1 5,2 -1,-16.000000,3 2,-80.5,-1 7,9 x", mods);
  ASSERT_EQ(items.size(), 6u);
  EXPECT_EQ(items[0].position, 4);
  EXPECT_DOUBLE_EQ(items[0].mass, 15.994915);
  EXPECT_EQ(items[0].mark, -1);
  EXPECT_DOUBLE_EQ(items[1].mass, 79.966331);
  EXPECT_EQ(items[2].position, -1);
  EXPECT_DOUBLE_EQ(items[2].mass, -16.0);
  EXPECT_EQ(items[2].mark, 3);
  EXPECT_EQ(items[2].text, "-1,-16.000000,3");
  EXPECT_DOUBLE_EQ(items[3].mass, -80.5);
  EXPECT_FALSE(items[4].has_mass);  // modification number outside the list
  EXPECT_FALSE(items[5].has_mass);
  EXPECT_TRUE(ParseItems("PEPTIDE", mods).empty());
}

TEST(PeptideText, PlacingSitesKeepsTheRestOfTheTextAsWritten) {
  const ModificationList mods = {{"Oxidation", 15.994915}};
  const std::string text = "PEPTMK  4,1 -1,16.000000,2\t3 -1,-18.000000,1";
  const auto items = ParseItems(text, mods);
  ASSERT_EQ(items.size(), 3u);
  EXPECT_EQ(items[0].offset, 8u);
  EXPECT_EQ(items[1].offset, 12u);
  EXPECT_EQ(items[1].text, "-1,16.000000,2\t3");
  EXPECT_EQ(WithPositions(text, items, {{1, 5}, {2, 10}}),
            "PEPTMK  4,1 5,16.000000,2\t3 10,-18.000000,1");
  EXPECT_EQ(WithPositions(text, items, {{2, 0}}), "PEPTMK  4,1 -1,16.000000,2\t3 0,-18.000000,1");
  EXPECT_EQ(WithPositions(text, items, {}), text);
}

TEST(PeptideText, SpectrumPathAddsOneSeparator) {
  EXPECT_EQ(SpectrumPath("/spectra", "A.1.1.2.dta"), "/spectra/A.1.1.2.dta");
  EXPECT_EQ(SpectrumPath("/spectra/", "A.1.1.2.dta"), "/spectra/A.1.1.2.dta");
  EXPECT_EQ(SpectrumPath("D:\\spectra\\", "A.1.1.2.dta"), "D:\\spectra\\A.1.1.2.dta");
  EXPECT_EQ(SpectrumPath("/run1", "A.1.1.2.dta"), "/run1/A.1.1.2.dta");
  EXPECT_EQ(SpectrumPath("", "A.1.1.2.dta"), "A.1.1.2.dta");
}

TEST(PeptideText, SiteRuleFavoursEndsThenFirstTie) {
  std::vector<int> ties;
  EXPECT_EQ(ChooseSite({5, 9, 9, 2}, &ties), 1);
  EXPECT_EQ(ties, (std::vector<int>{1, 2}));
  EXPECT_EQ(ChooseSite({9, 3, 9}, &ties), 0);
  EXPECT_EQ(ties, (std::vector<int>{0, 2}));
  EXPECT_EQ(ChooseSite({1, 9, 9}, &ties), 2);
  EXPECT_EQ(ChooseSite({1, 2, 3, 0}, &ties), 2);
  EXPECT_EQ(ties, (std::vector<int>{2}));
  EXPECT_EQ(ChooseSite({}, &ties), -1);
  EXPECT_TRUE(ties.empty());
}

}  // namespace
