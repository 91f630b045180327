#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "propagation/PeptideDatabase.h"
#include "propagation/Propagation.h"
#include "scoring/ResidueTable.h"
#include "propagation/TransferConfidence.h"
#include "TestUtil.h"

namespace {

namespace fs = std::filesystem;
using proptest::ReadFile;

class DecoyOrdersOf : public ::testing::TestWithParam<std::string> {};

TEST_P(DecoyOrdersOf, ReverseThenShuffleKeepingTheCTerminus) {
  const std::string sequence = GetParam();
  const std::vector<std::vector<int>> orders = DecoyOrders(sequence, 5);
  ASSERT_EQ(orders.size(), 6u);
  std::string reversed(sequence.rbegin() + 1, sequence.rend());
  EXPECT_EQ(Reordered(sequence, orders[0]), reversed + sequence.back());
  std::vector<std::string> made;
  for (const std::vector<int>& order : orders) {
    const std::string decoy = Reordered(sequence, order);
    std::string a = decoy, b = sequence;
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    EXPECT_EQ(a, b) << decoy;  // the same residues, so the same precursor mass
    EXPECT_EQ(decoy.back(), sequence.back());
    EXPECT_NE(decoy, sequence);
    made.push_back(decoy);
  }
  // Shuffles differ from each other and repeat on every run.
  EXPECT_EQ(std::set<std::string>(made.begin() + 1, made.end()).size(), 5u);
  EXPECT_EQ(DecoyOrders(sequence, 5), orders);
}

INSTANTIATE_TEST_SUITE_P(Peptides, DecoyOrdersOf,
                         ::testing::Values("ECCDKPLLEK", "YICDNQDTISSK", "GACLLPK", "LVTDLTK"));

TEST(TransferConfidence, SharedFragmentsCountEqualCompositions) {
  // Every prefix and suffix of a sequence with itself: 2 x (length - 1).
  EXPECT_EQ(SharedFragments("PEPTIDEK", "PEPTIDEK"), 14);
  // I weighs what L weighs, Q nearly what K weighs.
  EXPECT_EQ(SharedFragments("LAQ", "IAK"), 4);
  // Swapping the first two residues changes b1 and y(n-1) only.
  EXPECT_EQ(SharedFragments("AGK", "GAK"), 2);
  EXPECT_EQ(SharedFragments("ACDEK", "DECAK"), 2);
}

TEST(TransferConfidence, QValuesFromPooledDecoys) {
  // One decoy per target. Thresholds 10 and 9: no decoy above, FDR 0;
  // 8: one decoy of three targets; 1: one of four, which 8 takes too.
  EXPECT_EQ(TransferQValues({8, 10, 1, 9}, {8.5, 0.5, 0.2, 0.1}, 1.0),
            (std::vector<double>{0.25, 0.0, 0.25, 0.0}));
  // Two decoys per target count half each: at 8, two decoys of three
  // targets (1/3), but the threshold 1 gives 1/4 and takes 8 along.
  EXPECT_EQ(TransferQValues({10, 9, 8, 1}, {9.5, 8.5, 0.5, 0.3, 0.2, 0.1, 0.1, 0.1}, 2.0),
            (std::vector<double>{0.0, 0.25, 0.25, 0.25}));
  // Equal scores are one threshold; a decoy at the threshold counts.
  EXPECT_EQ(TransferQValues({5, 5}, {5, 1}, 1.0), (std::vector<double>{0.5, 0.5}));
  // Never above 1.
  EXPECT_EQ(TransferQValues({1}, {2, 3, 4}, 1.0), (std::vector<double>{1.0}));
  EXPECT_TRUE(TransferQValues({}, {1}, 1.0).empty());
}

// A row scored against 20 decoys: `ksdp` for the target, zeros for the
// decoys but the first, `first_decoy`.
CTransferRow ScoredRow(const std::string& route, const std::string& decision, double ksdp,
                       double first_decoy = 0.0) {
  CTransferRow row;
  row.spectrum = decision + "." + std::to_string(std::rand());
  row.route = route;
  row.decision = decision;
  row.scored = true;
  row.ksdp = ksdp;
  row.decoy_scores.assign(20, 0.0);
  row.decoy_scores[0] = first_decoy;
  return row;
}

TEST(TransferConfidence, OneDecisionPerTransferAndRouteCountsOnce) {
  // Nine members of one cluster reached through one pair score far above
  // their decoys; a single other transfer scores 2.5 sd above its decoys,
  // one of which scores 5 against the others. Counted per member, the ten
  // targets would put that transfer at q = 0.005; as two decisions it is
  // 0.025. A hundred sound within-cluster transfers do not dilute it either.
  std::vector<CTransferRow> rows;
  for (int i = 0; i < 9; ++i) rows.push_back(ScoredRow("pairs", "CLUSTER-A", 20.0 + i));
  rows.push_back(ScoredRow("pairs", "SINGLE", 3.0, 5.0));
  for (int i = 0; i < 100; ++i) rows.push_back(ScoredRow("cluster", "C" + std::to_string(i), 20.0));
  AssignTransferQValues(rows);
  for (int i = 0; i < 9; ++i) EXPECT_EQ(rows[i].q_value, 0.0);
  EXPECT_NEAR(rows[9].q_value, 0.025, 1e-12);
  EXPECT_EQ(rows[50].q_value, 0.0);
  // The summary counts decisions, not members.
  const std::string summary = TransferSummaryText(rows, CTransferSettings());
  EXPECT_NE(summary.find("over 100 transfers within clusters and 2 through pairs"), std::string::npos) << summary;
  EXPECT_NE(summary.find("through pairs: 10 propagated, 10 scored, 9 at q <= 1%"), std::string::npos) << summary;
}

TEST(TransferConfidence, CompetitionCountsLossesBeyondChance) {
  // Four decisions win (by 5, 4, 3, 2), two lose (by 6 and 1). Without a
  // reference every loss stands for a wrong winner: at d = 1 one loss
  // beyond it against four wins beyond it, 0.25, the least estimate below
  // any winner's margin. A loser is never confident.
  const std::vector<double> margins = {5, 4, 3, -6, 2, -1};
  std::optional<double> needed;
  EXPECT_EQ(CompetitionQValues(margins, {}, 0.01, &needed),
            (std::vector<double>{0.25, 0.25, 0.25, 1.0, 0.25, 1.0}));
  EXPECT_FALSE(needed.has_value());
  // Right transfers that lose by more than 1 a tenth of the time (and never
  // by more than 6) would lose 0.6 of these six: 0.4 wrong winners of 4 at
  // d = 1; only beyond 6 does the estimate reach 0, which no winner passes.
  std::vector<double> reference(60, 3.0);
  for (int i = 0; i < 6; ++i) reference[static_cast<std::size_t>(i)] = -2.0;
  const std::vector<double> q = CompetitionQValues(margins, reference, 0.01, &needed);
  EXPECT_NEAR(q[0], 0.1, 1e-12);
  EXPECT_EQ(q[3], 1.0);
  EXPECT_FALSE(needed.has_value());
  // Losses no greater than chance: the winners pass at any margin above 0.
  EXPECT_EQ(CompetitionQValues({3, 2, -1}, std::vector<double>(60, -2.0), 0.01, &needed),
            (std::vector<double>{0.0, 0.0, 1.0}));
  ASSERT_TRUE(needed.has_value());
  EXPECT_EQ(*needed, 0.0);
}

TEST(TransferConfidence, DatabaseDigestsTargetsAndFindsPeptidesByMass) {
  testsupport::CTempDir dir;
  const std::string fasta = dir.Write("db.fasta",
                                      ">sp|P1 first\nMAGICKPEPTIDERLVTDLTK\r\nAACDEFGHKR\n"
                                      ">DECOY_P1 reversed\nKTLDTVLREDITPEPKCIGAM\n");
  CPeptideDatabase database;
  std::string error;
  // The same file twice is read once.
  ASSERT_TRUE(database.Read({fasta, dir.File("./db.fasta")}, {"DECOY_"}, error)) << error;
  EXPECT_EQ(database.proteins(), 1u);
  // K before P is no cleavage: MAGICKPEPTIDER, LVTDLTK, AACDEFGHK, and
  // the missed cleavages joining them (the protein's last R alone is too short).
  database.Index(CResidueTable(), {{'C', 57.021464}});
  std::vector<std::string> all;
  for (const auto [first, last] = database.Within(0, 1e9); all.size() < last - first;)
    all.push_back(database.Sequence(first + all.size()));
  std::sort(all.begin(), all.end());
  EXPECT_EQ(all, (std::vector<std::string>{"AACDEFGHK", "AACDEFGHKR", "LVTDLTK", "LVTDLTKAACDEFGHK",
                                           "LVTDLTKAACDEFGHKR", "MAGICKPEPTIDER", "MAGICKPEPTIDERLVTDLTK",
                                           "MAGICKPEPTIDERLVTDLTKAACDEFGHK"}));
  // LVTDLTK weighs 788.4644; AACDEFGHK with carbamidomethyl 1033.4287.
  const auto [first, last] = database.Within(788.45, 788.48);
  ASSERT_EQ(last - first, 1u);
  EXPECT_EQ(database.Sequence(first), "LVTDLTK");
  EXPECT_NEAR(database.Mass(database.Within(1033.0, 1034.0).first), 1033.4287, 0.001);
  EXPECT_FALSE(database.Read({dir.File("none.fasta")}, {}, error));
  EXPECT_EQ(error, "Can not open file:" + dir.File("none.fasta"));
}

TEST(TransferConfidence, FixedModificationsAreThoseOnEveryOccurrence) {
  const ModificationList modifications = {{"Carbamidomethyl", 57.021464}, {"Oxidation", 15.994915}};
  // Every C carries carbamidomethyl; one M of two is oxidised; a shift that
  // propagation added (three fields) does not count.
  const ResultMap results = {{"A", "PEPCK 3,1"},  {"B", "CMAK 0,1 1,2"}, {"C", "MCCK 1,1 2,1"},
                             {"D", "PEPSK 3,14.0,1"}, {"E", "SSSK"}};
  EXPECT_EQ(FixedModificationsOf(results, modifications), (std::map<char, double>{{'C', 57.021464}}));
}

struct IsotopeCase {
  double shift;
  bool related;
  double base;
  int steps;
};

class IsotopeErrorOfShift : public ::testing::TestWithParam<IsotopeCase> {};

TEST_P(IsotopeErrorOfShift, NamesTheExplanationItMimics) {
  // Oxidation is seen often, deamidation seldom, methylation between.
  const std::vector<CObservedShift> observed = {{0.984016, 3}, {14.01565, 10}, {15.994915, 50}};
  const IsotopeCase c = GetParam();
  const std::optional<CIsotopeRelation> found = IsotopeErrorOf(c.shift, observed, 0.01);
  ASSERT_EQ(found.has_value(), c.related) << c.shift;
  if (!found) return;
  EXPECT_DOUBLE_EQ(found->base, c.base);
  EXPECT_EQ(found->steps, c.steps);
}

INSTANTIATE_TEST_SUITE_P(
    Shifts, IsotopeErrorOfShift,
    ::testing::Values(IsotopeCase{1.0034, true, 0.0, 1}, IsotopeCase{2.0068, true, 0.0, 2},
                      IsotopeCase{-1.0031, true, 0.0, -1}, IsotopeCase{16.9983, true, 15.994915, 1},
                      IsotopeCase{-14.9916, true, -15.994915, 1},
                      // Deamidation is 0.019 Da from one step: its own explanation.
                      IsotopeCase{0.984016, false, 0, 0}, IsotopeCase{15.994915, false, 0, 0},
                      IsotopeCase{17.026549, false, 0, 0},
                      // Oxidation is not read as methylation's isotope: it is seen more often.
                      IsotopeCase{15.0190, true, 14.01565, 1}));

TEST(TransferConfidence, ShiftTablesAreReadAndGrouped) {
  testsupport::CTempDir dir;
  const std::string good = dir.File("temp.temp");
  testsupport::WriteFile(good, "15.995949,114, 0, 0\r\n15.990047,6, 0\n\n31.972071,1, 0\n");
  std::vector<CObservedShift> shifts;
  std::string error;
  ASSERT_TRUE(ReadShiftTable(good, shifts, error)) << error;
  const std::vector<CObservedShift> grouped = GroupShifts(shifts, 0.01);
  ASSERT_EQ(grouped.size(), 2u);
  EXPECT_EQ(grouped[0].count, 120);
  EXPECT_NEAR(grouped[0].mass, (15.995949 * 114 + 15.990047 * 6) / 120, 1e-9);
  const std::string bad = dir.File("bad.temp");
  testsupport::WriteFile(bad, "15.99,3\nshift,count\n");
  EXPECT_FALSE(ReadShiftTable(bad, shifts, error));
  EXPECT_EQ(error, "File " + bad + ", line 2: not a \"<shift>,<count>\" row: 'shift,count'");
}

// A job on the real BSA1 spectrum 670 (YICDNQDTISSK, carbamidomethyl on
// C3): the peptide reaches it through a pair whose shift is the
// carbamidomethyl group, and two peptides that cannot be scored reach
// copies of it.
class TransferJob : public proptest::JobDirTest {
 protected:
  void SetUp() override {
    proptest::JobDirTest::SetUp();
    fs::create_directories(File("spectra"));
    const std::string spectrum =
        std::string(TESSERA_SOURCE_DIR) + "/desktop/shell/propagation_ui/tests/data/BSA1.670.670.2.dta";
    for (const char* name : {"T.670.670.2.dta", "J.671.671.2.dta", "N.672.672.2.dta"})
      fs::copy_file(spectrum, File(std::string("spectra/") + name));
    // The result file spells the names in upper case, the pair file as the
    // spectra are named: they meet all the same.
    Write("r.spectra",
          "1,\t1\tS.1.1.2.DTA\t1387.6\n*\tK.YICDNQDTISSK.A\n"
          "2,\t1\tP.2.2.2.DTA\t900.0\n*\tK.PEJTIDEK.A\n"
          "3,\t1\tG.3.3.2.DTA\t400.0\n*\tK.GAGK.A\n");
    Write("pairs.csv",
          "T.670.670.2.dta,1444.6,S.1.1.2.dta,1387.6,57.021464,0.9,1\n"
          "J.671.671.2.dta,1000.0,P.2.2.2.dta,900.0,16.0,0.9,1\n"
          "G.3.3.2.dta,400.0,N.672.672.2.dta,100.0,300.0,0.9,1\n");
    Write("job.para", "PairFile=pairs.csv\nResultFile=r.spectra\nClusterFile=\nDTAPath=" + File("spectra") +
                          "\nModCounT=1\nIsModSiteDetermined=0\nIsDirectory=0\n");
  }
};

TEST_F(TransferJob, ScoresAgainstDecoysAndListsWhatCannotBeScored) {
  CPropagation job;
  ASSERT_TRUE(job.Run("job.para", false));
  job.AssessTransfers(CTransferSettings());
  const std::vector<CTransferRow>& rows = job.transfers();
  ASSERT_EQ(rows.size(), 3u);
  const CTransferRow& target = rows[2];  // in name order: J, N, T
  // Printed as the pair file and the spectra have them.
  EXPECT_EQ(target.spectrum, "T.670.670.2.dta");
  EXPECT_EQ(target.route, "pairs");
  EXPECT_EQ(target.source, "S.1.1.2.dta");
  ASSERT_TRUE(target.scored);
  EXPECT_NEAR(target.shift, 57.021464, 1e-6);
  EXPECT_EQ(target.decoy_scores.size(), 20u);
  // The right peptide with its group stands well above every decoy.
  EXPECT_GT(target.ksdp, *std::max_element(target.decoy_scores.begin(), target.decoy_scores.end()));
  EXPECT_GT(target.score, 3.0);
  EXPECT_FALSE(rows[0].scored);
  EXPECT_EQ(rows[0].not_scored, "residue J has no mass");
  EXPECT_FALSE(rows[1].scored);
  EXPECT_EQ(rows[1].not_scored, "the shift would leave every residue a negative mass");

  CTransferSettings settings;
  const std::string table = TransferTableText(rows, settings);
  EXPECT_EQ(table.substr(0, table.find('\n')),
            "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\trun\tsource_run\tnative_id\t"
            "retention_time\tisotope_of\talternative\talternative_shift\talternative_score");
  EXPECT_NE(table.find("J.671.671.2.dta\tPEJTIDEK\t-1,16.000000,1\tpairs\tP.2.2.2.dta\t16.000000\tNA\tNA\t"),
            std::string::npos);
  const std::string summary = TransferSummaryText(rows, settings);
  EXPECT_NE(summary.find("through pairs: 3 propagated, 1 scored, "), std::string::npos);
  EXPECT_NE(summary.find("without a score: 2 (residue J has no mass: 1; the shift would leave every residue "
                         "a negative mass: 1)"),
            std::string::npos);

  // A q-value cut keeps the scored rows at or below it, and says what it left out.
  settings.max_q = 1.0;
  const std::string kept = TransferTableText(rows, settings);
  EXPECT_EQ(std::count(kept.begin(), kept.end(), '\n'), 2);
  EXPECT_NE(TransferSummaryText(rows, settings).find("kept (--max-q 100%): 1 of 3; 0 above it and 2 without a score"),
            std::string::npos);
}

// A spectrum's own file that holds nothing to score leaves its
// identification without a score, with the reason; a folder that bears the
// spectrum's name is no spectrum file, and the data path's file serves.
TEST_F(TransferJob, OwnSpectrumFilesWithoutPeaksGiveNoScore) {
  CPropagation job;
  ASSERT_TRUE(job.Run("job.para", false));
  struct Case {
    const char* content;  // nullptr: a folder of that name
    const char* reason;   // "" when scored
  };
  const Case cases[] = {{"", "spectrum file empty"},
                        {"1444.6 2\n", "spectrum file without peaks"},
                        {"\x01\x02garbage\nmore of it\n", "spectrum file without peaks"},
                        {nullptr, ""}};
  for (const Case& c : cases) {
    fs::remove_all(File("own"));
    fs::create_directories(File("own"));
    if (c.content)
      Write("own/t.670.670.2.dta", c.content);
    else
      fs::create_directories(File("own/t.670.670.2.dta"));
    CTransferSettings settings;
    settings.spectrum_folders = {File("own")};
    job.AssessTransfers(settings);
    const CTransferRow& row = job.transfers()[2];
    ASSERT_EQ(row.spectrum, "T.670.670.2.dta");
    EXPECT_EQ(row.scored, *c.reason == '\0') << c.reason;
    EXPECT_EQ(row.not_scored, c.reason);
    if (*c.reason) {
      const std::string summary = TransferSummaryText(job.transfers(), settings);
      EXPECT_NE(summary.find("through pairs: 3 propagated, 0 scored, 0 at q <= 1%"), std::string::npos) << summary;
      EXPECT_NE(summary.find(std::string("without a score: 3 (") ), std::string::npos) << summary;
      EXPECT_NE(summary.find(std::string(c.reason) + ": 1"), std::string::npos) << summary;
      EXPECT_NE(TransferTableText(job.transfers(), settings).find("T.670.670.2.dta\tYICDNQDTISSK\t"),
                std::string::npos);
    }
  }
}

TEST_F(TransferJob, ProgramWritesTheTableAndRefusesBadLevels) {
  const std::string program = std::string(TESSERA_BIN_DIR) + "/propagate";
  auto status = [](const std::string& command) {
    const int raw = std::system((command + " > out.txt 2> err.txt").c_str());
    return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  };
  EXPECT_EQ(status(program + " job.para --quiet --table t.tsv --max-q 1%"), 0);
  const std::string out = ReadFile("out.txt");
  EXPECT_NE(out.find("Transfer confidence: KSDP score against 20 decoys each"), std::string::npos) << out;
  EXPECT_NE(out.find("kept (--max-q 1%)"), std::string::npos);
  EXPECT_NE(out.find("  t.tsv\n"), std::string::npos);
  EXPECT_EQ(ReadFile("t.tsv").rfind("spectrum\tsequence\t", 0), 0u);
  // The reports do not change with the scoring.
  const std::string report = ReadFile("job_InterPropagate.txt");
  EXPECT_EQ(status(program + " job.para --quiet"), 0);
  EXPECT_EQ(ReadFile("job_InterPropagate.txt"), report);
  EXPECT_EQ(ReadFile("out.txt").find("Transfer confidence"), std::string::npos);
  for (const char* level : {"2", "-0.1", "abc", "5%%%"})
    EXPECT_EQ(status(program + " job.para --max-q " + level), 2) << level;
  EXPECT_EQ(status(program + " job.para --table job.para"), 1);
  EXPECT_EQ(status(program + " job.para --score-spectra ."), 2);

  // A folder of spectra that is not there is refused before any work: the
  // members would be scored on other spectra.
  fs::remove(File("job_InterPropagate.txt"));
  Write("plain.txt", "");
  for (const char* folder : {"missing", "plain.txt"}) {
    EXPECT_EQ(status(program + " job.para --table t2.tsv --score-spectra " + folder), 1) << folder;
    EXPECT_NE(ReadFile("err.txt").find(std::string("option --score-spectra: ")), std::string::npos)
        << ReadFile("err.txt");
    EXPECT_NE(ReadFile("err.txt").find(folder), std::string::npos) << ReadFile("err.txt");
    EXPECT_FALSE(fs::exists(File("job_InterPropagate.txt")));
    EXPECT_FALSE(fs::exists(File("t2.tsv")));
  }
  EXPECT_EQ(status(program + " --pairs pairs.csv --ids r.spectra -o out --table t2.tsv --score-spectra missing"), 1);
  EXPECT_FALSE(fs::exists(File("out")));
}

}  // namespace

namespace {

// idlist --masses weighs the numbered modifications, for comparing the
// lists of two searches that numbered them apart.
TEST_F(TransferJob, IdlistWeighsTheModifications) {
  const std::string program = std::string(TESSERA_BIN_DIR) + "/idlist";
  const std::string pepxml = std::string(TESSERA_SOURCE_DIR) + "/data/BSA/BSA1_Comet.pep.xml";
  ASSERT_EQ(std::system((program + " --masses " + pepxml + " > out.txt 2> err.txt").c_str()), 0);
  const std::string out = ReadFile("out.txt");
  EXPECT_NE(out.find("\tGACLLPK 2,1\t2,57.021464\n"), std::string::npos) << out;
  EXPECT_NE(out.find("\tDLGEEHFK\t\n"), std::string::npos) << out;
  // Names as the run's spectra have them; a list of another file keeps its spelling.
  EXPECT_NE(out.find("BSA1."), std::string::npos) << out;
  EXPECT_EQ(out.find(".DTA"), std::string::npos) << out;
  ASSERT_EQ(std::system((program + " r.spectra --masses > out.txt 2> err.txt").c_str()), 0);
  EXPECT_NE(ReadFile("out.txt").find("S.1.1.2.DTA\tYICDNQDTISSK\t\n"), std::string::npos) << ReadFile("out.txt");
}

}  // namespace
