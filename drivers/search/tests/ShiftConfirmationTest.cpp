// The pieces of the shift-aware confirmation: shifts and their batches, the
// MS2 records Comet reads, the verdict and its printed statistics, and what
// is taken from Comet's console and parameter file.

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <vector>

#include "common/TextUtil.h"
#include "drivers/search/CometParams.h"
#include "drivers/search/CometProcess.h"
#include "drivers/search/Confirmation.h"
#include "drivers/search/Ms2Writer.h"
#include "drivers/search/ShiftBatches.h"

namespace {

using search::CShift;

const std::map<char, double>& Masses() {
  static const std::map<char, double> masses =
      search::SearchedResidueMasses(CResidueTable(), {{'C', 57.021464}});
  return masses;
}

std::string Keys(const std::vector<CShift>& shifts) {
  std::string text;
  for (const CShift& s : shifts) {
    char item[48];
    std::snprintf(item, sizeof item, "%s%c %.4f", text.empty() ? "" : ",", s.residue, s.mass);
    text += item;
  }
  return text;
}

TEST(Shifts, SummedPerSiteWithoutFirstSearchItemsOrImpossibleResidues) {
  struct Case {
    const char* sequence;
    const char* modifications;
    const char* expected;
  } cases[] = {
      // Two shifts on one residue are one modification; the first search's
      // "<position>,<number>" items are not shifts.
      {"PEPTKDE", " 2,1 4,10.5,1 4,5.25,0 0,1.0,2", "K 15.7500,P 1.0000"},
      // Not determined (-1), beyond the sequence, a residue without a mass
      // (J), or a residue the shift would leave at 0 Da or less (G + -60).
      {"GAJK", " -1,15.99,1 9,3.0,1 2,14.0,1 0,-60.0,1 3,-128.0,1 1,2.0,1", "K -128.0000,A 2.0000"},
      // Cysteine weighs its carbamidomethyl group too: -150 leaves it above 0.
      {"CK", " 0,-150.0,1", "C -150.0000"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Keys(search::ShiftsOf(c.sequence, c.modifications, Masses())), c.expected) << c.sequence;
}

std::string Plan(const search::CShiftPlan& plan) {
  std::string text;
  for (const search::CShiftMod& m : plan.mods) {
    char row[64];
    std::snprintf(row, sizeof row, "%d %d %c %.2f\n", m.batch, m.pairs, m.residue, m.mass);
    text += row;
  }
  return text;
}

TEST(ShiftBatches, SetsWholeMostFrequentFirstAtMostEightEach) {
  // A set of three shifts seen twice, one single shift seen three times,
  // and sets that fill the rest of a batch of four.
  std::vector<std::vector<CShift>> ids = {
      {{'K', 1.0}, {'K', 2.0}, {'K', 3.0}}, {{'K', 1.0}, {'K', 2.0}, {'K', 3.004}},
      {{'S', 80.0}}, {{'S', 80.0}}, {{'S', 80.001}},
      {{'T', 5.0}, {'T', 6.0}},
      {{'E', 7.0}, {'E', 8.0}},
      {}};
  const search::CShiftPlan plan = search::PlanBatches(ids, 4);
  // Weight 6 (K set) before 3 (S); T's pair fills batch 1 no more (3 + 2 > 4)
  // and opens batch 2, where E's pair follows; S joins batch 1.
  EXPECT_EQ(Plan(plan),
            "1 2 K 1.00\n1 2 K 2.00\n1 2 K 3.00\n1 3 S 80.00\n"
            "2 1 E 7.00\n2 1 E 8.00\n2 1 T 5.00\n2 1 T 6.00\n");
  EXPECT_EQ(plan.batches, 2);
  EXPECT_EQ(plan.distinct, 8);
  EXPECT_EQ(plan.too_many, 0);

  // A set larger than a search takes is left out, never split.
  std::vector<CShift> nine;
  for (int i = 0; i < 9; ++i) nine.push_back({'K', 1.0 + i});
  const search::CShiftPlan big = search::PlanBatches({nine, {{'M', 16.0}}});
  EXPECT_EQ(Plan(big), "1 1 M 16.00\n");
  EXPECT_EQ(big.too_many, 1);

  // A shift two sets share is searched in each batch it is needed in, and
  // counted once among the distinct ones.
  std::vector<CShift> eight;
  for (int i = 0; i < 8; ++i) eight.push_back({'R', 1.0 + i});
  const search::CShiftPlan shared = search::PlanBatches({eight, eight, {{'R', 1.0}, {'D', 9.0}}});
  EXPECT_EQ(shared.batches, 2);
  EXPECT_EQ(shared.distinct, 9);
}

// Which searches a propagated spectrum goes into: those whose modifications
// can add its shift to the first search's peptide, on residues it has.
struct CarryCase {
  const char* sequence;
  double shift;
  bool carried;
};

class CanCarry : public testing::TestWithParam<CarryCase> {};

TEST_P(CanCarry, OnResiduesThePeptideHasAtMostThreeWithTheFirstSearchsOwnAddedOrTaken) {
  const std::vector<search::CVariableMod> first =
      search::ParseVariableMods({"15.9949 M 0 3 -1 0 0 0.0", "0.0 X 0 3 -1 0 0 0.0"});
  std::vector<search::CVariableMod> search = first;
  for (const char* shift : {"14.01565 K 0 2 -1 0 0 0.0", "79.96633 STY 0 2 -1 0 0 0.0", "-18.010565 E 0 2 -1 0 0 0.0"})
    search.push_back(search::ParseVariableMods({shift}).front());
  EXPECT_EQ(search::CanCarry(GetParam().shift, GetParam().sequence, search, first, 3, 0.05), GetParam().carried);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CanCarry,
    testing::Values(CarryCase{"PEPTIDE", 0.0, true}, CarryCase{"PEPKK", 28.0313, true},
                    CarryCase{"PEPK", 28.0313, false},                       // one K: one methyl
                    CarryCase{"PEPKKK", 42.047, false},                      // at most two of a shift
                    CarryCase{"SEKM", 14.01565 + 79.96633 - 18.010565, true},
                    CarryCase{"SEK", 14.01565 + 79.96633 - 18.010565 + 15.9949, false},  // a fourth
                    CarryCase{"MKR", 14.01565 + 15.9949, true},             // one more oxidation
                    CarryCase{"MSR", 79.96633 - 15.9949, true},             // the first search's oxidation gone
                    CarryCase{"SR", 79.96633 - 15.9949, false},             // no M to have carried it
                    CarryCase{"PEPTIDEK", 100.0, false}));

TEST(Ms2Writer, RecordFromMhAndCharge) {
  msdata::CSpectrum s;
  s.charge = 2;
  s.precursor_mass = 1001.5;
  s.peaks = {{200.25, 10.0}, {300.125, 7.5}};
  std::ostringstream out;
  ASSERT_TRUE(search::WriteMs2Record(s, 565, 566, out));
  EXPECT_EQ(out.str(),
            "S\t565\t566\t501.253638\nZ\t2\t1001.500000\n200.250000\t10.000000\n300.125000\t7.500000\n");
  s.charge = 0;
  std::ostringstream none;
  EXPECT_FALSE(search::WriteMs2Record(s, 1, 1, none));
  EXPECT_EQ(none.str(), "");
}

TEST(Ms2Writer, PoolsRunsAndMapsScansBack) {
  // Two runs' spectra numbered afresh; one without a charge is left out
  // and takes no number, so the scans stay dense.
  std::map<std::string, msdata::CSpectrum> spectra;
  const std::pair<const char*, int> named[] = {{"BSA2.565.565.2.dta", 2}, {"BSA1.565.565.0.dta", 0}, {"BSA1.900.901.3.dta", 3}};
  for (const auto& [name, charge] : named) {
    msdata::CSpectrum s;
    s.name = name;
    s.charge = charge;
    s.precursor_mass = 1000.0;
    spectra[text::ToUpper(name)] = s;
  }
  search::CPooledSpectra pooled;
  EXPECT_EQ(search::PoolSpectra(spectra, pooled), 1);
  EXPECT_EQ(pooled.scan_table, "scan\tspectrum\n1\tBSA1.900.901.3.dta\n2\tBSA2.565.565.2.dta\n");
  EXPECT_EQ(pooled.ms2.rfind("S\t1\t1\t", 0), 0u);
  ASSERT_NE(pooled.SpectrumOf("PROPAGATED.2.2.2.DTA"), nullptr);
  EXPECT_EQ(*pooled.SpectrumOf("propagated.00002.00002.2.dta"), "BSA2.565.565.2.DTA");
  for (const char* stranger : {"PROPAGATED.3.3.2.DTA", "PROPAGATED.0.0.2.DTA", "BSA1.1.1.2.DTA", "junk"})
    EXPECT_EQ(pooled.SpectrumOf(stranger), nullptr) << stranger;
}

TEST(Confirmation, SamePeptideWithTheShiftBeyondTheFirstSearchsMods) {
  // The first search gave LVTDLTK carbamidomethyl-free, EACFK with its
  // cysteine group (modification 1, 57.021464).
  const ModificationList mods = {{"Carbamidomethyl", 57.021464}, {"Mystery", -1.0}};
  std::map<std::string, search::Weight> first = {
      {"LVTDLTK", 0.0},
      {"EACFK 2,1", search::ModificationWeight("EACFK 2,1", mods)},
  };
  auto row = [](const char* sequence, const char* modifications, const char* shift) {
    return search::CPropagatedRow{"R.1.1.2.dta", sequence, modifications, "pairs", "R.2.2.2.dta", shift, 0.01};
  };
  auto hit = [&mods](const char* identification) {
    return search::CHit{identification, search::ModificationWeight(identification, mods)};
  };
  struct Case {
    search::CPropagatedRow row;
    std::vector<search::CHit> hits;
    bool confirmed;
  } cases[] = {
      // I = L; 70.0168 found for 70.0167 carried.
      {row("LVTDLTK", " 4,70.016700,1", "70.016700"), {hit("IVTDITK 4,70.016800")}, true},
      // 0.03 Da off is another modification.
      {row("LVTDLTK", " 4,70.016700,1", "70.016700"), {hit("LVTDLTK 4,70.046700")}, false},
      // Another peptide in one batch, the right one in the next.
      {row("LVTDLTK", " 4,70.016700,1", "70.016700"), {hit("AAAAK"), hit("LVTDLTK 4,70.010000")}, true},
      // The first search's cysteine group is not part of the shift.
      {row("EACFK", " 2,1 4,15.994900,1", "15.994900"), {hit("EACFK 2,57.021464 4,15.994900")}, true},
      {row("EACFK", " 2,1 4,15.994900,1", "15.994900"), {hit("EACFK 4,15.994900")}, false},
      // A peptide the first search did not identify, or a modification
      // without a mass, cannot be weighed.
      {row("PEPK", " 3,1.000000,1", "1.000000"), {hit("PEPK 3,1.000000")}, false},
      {row("LVTDLTK", "", ""), {hit("LVTDLTK 2,2")}, false},
      {row("LVTDLTK", "", ""), {}, false},
  };
  for (const Case& c : cases) {
    const search::CVerdict verdict = search::Judge(c.row, c.hits, first);
    EXPECT_EQ(verdict.confirmed, c.confirmed) << c.row.sequence << c.row.modifications;
  }
  const search::CVerdict off = search::Judge(cases[1].row, cases[1].hits, first);
  ASSERT_TRUE(off.delta.has_value());
  EXPECT_NEAR(*off.delta, 0.03, 1e-9);
}

TEST(Confirmation, BandsAndPrintedStatistics) {
  EXPECT_EQ(search::Band(0.01), "q <= 1%");
  EXPECT_EQ(search::Band(0.0100001), "1% < q <= 5%");
  EXPECT_EQ(search::Band(0.2), "5% < q <= 20%");
  EXPECT_EQ(search::Band(0.21), "q > 20%");
  EXPECT_EQ(search::Band(std::nullopt), "no score");
  EXPECT_EQ(search::RunOf("BSA2.565.565.2.dta"), "BSA2");

  search::CConfirmationCounts counts;
  const std::string agree = "LVTDLTK", other = "AAAK";
  counts.Add({"A.1.1.2.dta", "LVTDLTK", "", "cluster", "", "", 0.001}, true, &agree);
  counts.Add({"A.2.2.2.dta", "LVTDLTK", "", "pairs", "", "70.0", 0.03}, true, &other);
  counts.Add({"B.3.3.2.dta", "AAAK", "", "pairs", "", "1.0", 0.005}, false, nullptr);
  counts.Add({"B.4.4.2.dta", "AAAK", "", "pairs", "", "1.0", std::nullopt}, false, &other);
  EXPECT_EQ(search::ShiftAwareText(counts),
            "  Shift-aware search (Comet told the pairs' shifts): rank-1 hit is the propagated peptide with its shift\n"
            "    within clusters: 1 propagated, 1 confident at 1% transfer FDR, 1 of 1 (100.0%) confirmed; "
            "of the confident 1 of 1 (100.0%)\n"
            "    through pairs: 3 propagated, 1 confident at 1% transfer FDR, 1 of 3 (33.3%) confirmed; "
            "of the confident 0 of 1 (0.0%)\n"
            "    together: 4 propagated, 2 confident at 1% transfer FDR, 2 of 4 (50.0%) confirmed; "
            "of the confident 1 of 2 (50.0%)\n"
            "    confirmed by transfer q-value: q <= 1% 1 of 2 (50.0%); 1% < q <= 5% 1 of 1 (100.0%); "
            "no score 0 of 1 (0.0%);\n");
  EXPECT_NE(search::ClosedSearchText(counts, 40).find(
                "agrees with propagation for 2 of 4 (50.0%);\n    within clusters 1 of 1 (100.0%), through spectral "
                "pairs 1 of 3 (33.3%); 1 spectra have no Comet hit.\n"),
            std::string::npos);
  EXPECT_EQ(counts.runs["B"].propagated, 2);
}

TEST(Comet, ConsoleAndParameters) {
  EXPECT_EQ(search::LastPercent(" - Search progress:   4%\b\b\b\b 10%\b\b\b\b 16%"), 16);
  EXPECT_EQ(search::LastPercent("Search progress: 130%"), 100);
  EXPECT_EQ(search::LastPercent(" - Load spectra: 1120\n"), -1);
  EXPECT_EQ(search::LoadedSpectra("   - Load spectra: 100\n ...   - Load spectra: 20\n"), 120);
  EXPECT_EQ(search::CometError(" Comet\n ERROR: Failure reading input file x.mzML\n"),
            "ERROR: Failure reading input file x.mzML");

  search::CCometParams params;
  params.FromText(
      "# comet_version 2019.01 rev. 5\n[COMET_ENZYME_INFO]x\n"
      "database_name = /some/path/db.fasta\nnum_threads = 0      # 0=poll CPU\n"
      "variable_mod01 = 15.9949 M 0 3 -1 0 0 0.0\nvariable_mod02 = 0.0 X 0 3 -1 0 0 0.0\n"
      "max_variable_mods_in_peptide = 5\nadd_Cterm_peptide = 0.0\nadd_C_cysteine = 57.021464   # added to C\n");
  EXPECT_EQ(params.Get("num_threads"), "0");
  EXPECT_EQ(params.StaticAdditions(), (std::map<char, double>{{'C', 57.021464}}));
  search::SetShiftMods(params, {{1, 3, 'K', 31.969848}, {1, 2, 'C', -116.058899}});
  const std::string text = params.Text();
  EXPECT_NE(text.find("\nvariable_mod01 = 15.9949 M 0 3 -1 0 0 0.0\n"
                      "variable_mod02 = 31.969848 K 0 2 -1 0 0 0.0\n"),
            std::string::npos)
      << text;
  EXPECT_NE(text.find("\nmax_variable_mods_in_peptide = 3\n"), std::string::npos);
  EXPECT_NE(text.find("\nvariable_mod03 = -116.058899 C 0 2 -1 0 0 0.0\n"), std::string::npos);
}

}  // namespace
