#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <map>

#include "propagation/Propagation.h"
#include "TestUtil.h"

namespace {

using proptest::ReadFile;
using testsupport::WriteFile;
using FixedMods = std::vector<std::pair<int, double>>;

// A scorer that hands out prepared scores and records its calls.
struct FakeScorer {
  std::vector<double> scores;
  std::vector<FixedMods> calls;
  CPropagation::ScoreFunction Function() {
    return [this](const std::string&, const std::string&, const FixedMods& fixed, double,
                  std::vector<double>& out) {
      calls.push_back(fixed);
      out.insert(out.end(), scores.begin(), scores.end());
    };
  }
};

// A job whose data folder is the scratch folder, holding a spectrum for the
// fake scorer.
class SiteDetermination : public proptest::JobDirTest {
 protected:
  void SetUp() override {
    JobDirTest::SetUp();
    job.data_path() = Path();
    Write("s.1.1.2.dta", "1000.0 2\n");
  }
  CPropagation job;
};

TEST_F(SiteDetermination, SingleSiteFollowsTieRuleAndCountsEveryTie) {
  FakeScorer fake;
  job.SetScorer(fake.Function());
  fake.scores = {5, 9, 9, 2};
  // The name reaches the job upper-cased; the file is found all the same.
  EXPECT_EQ(job.DetermineSite("PEPK 1,2", "S.1.1.2.DTA", 16.0, 3), 1);
  fake.scores = {9, 3, 1, 9};
  EXPECT_EQ(job.DetermineSite("PEPK", "S.1.1.2.DTA", 16.0, 3), 0);
  fake.scores = {1, 2, 9, 9};
  EXPECT_EQ(job.DetermineSite("PEPK", "S.1.1.2.DTA", 16.0, 3), 3);

  const std::map<char, double> expected = {{'E', 1.0}, {'P', 3.0}, {'K', 2.0}, {'*', 1.0}, {'#', 2.0}};
  EXPECT_EQ(job.site_statistics().at(3), expected);
}

TEST_F(SiteDetermination, FixedModificationsComeFromTheItems) {
  FakeScorer fake;
  fake.scores = {1, 2, 3, 4, 5};
  job.SetScorer(fake.Function());
  job.modifications() = {{"Oxidation", 15.994915}};
  job.DetermineSite("PEPMK 3,1 -1,-16.000000,2 1,80.000000,1 2,7", "s.1.1.2.dta", 1.0, 1);
  ASSERT_EQ(fake.calls.size(), 1u);
  EXPECT_EQ(fake.calls[0], (FixedMods{{3, 15.994915}, {1, 80.0}}));
}

TEST_F(SiteDetermination, ShortPeptidesAndMissingSpectraGetNoSite) {
  proptest::MessageLog log;
  FakeScorer fake;
  fake.scores = {1, 2, 3};
  job.SetScorer(fake.Function());
  EXPECT_EQ(job.DetermineSite("PEP", "S.1.1.2.DTA", 16.0, 1), -1);
  EXPECT_TRUE(fake.calls.empty());
  // The spectrum exists; the message still names it, so the user can tell
  // which identification kept an open site.
  ASSERT_EQ(log.messages.size(), 1u);
  EXPECT_NE(log.messages[0].find(File("s.1.1.2.dta")), std::string::npos);
  EXPECT_EQ(log.messages[0].find("does not exist"), std::string::npos);
  EXPECT_EQ(job.DetermineSite("PEPTIDE", "NONE.1.1.2.DTA", 16.0, 1), -1);
  EXPECT_TRUE(log.Contains("File: " + File("NONE.1.1.2.DTA") + " does not exist!"));
  EXPECT_EQ(job.DetermineSites("NONE.1.1.2.DTA", "PEPTIDE -1,16.000000,1"),
            "PEPTIDE -1,16.000000,1");
  EXPECT_TRUE(fake.calls.empty());
}

TEST_F(SiteDetermination, OneOpenItemIsPlacedWithWeightedStatistics) {
  job.SetModCount(1);
  FakeScorer fake;
  fake.scores = {1, 7, 7, 7, 2};
  job.SetScorer(fake.Function());
  EXPECT_EQ(job.DetermineSites("S.1.1.2.DTA", "PEPTK 0,1 -1,16.000000,2"),
            "PEPTK 0,1 1,16.000000,2");
  // Only the open site changes; the other items keep their spacing.
  EXPECT_EQ(job.DetermineSites("S.1.1.2.DTA", "PEPTK  0,1 -1,16.000000,2"),
            "PEPTK  0,1 1,16.000000,2");
  const auto& counts = job.site_statistics().at(2);
  EXPECT_NEAR(counts.at('E'), 2.0 / 3, 1e-12);
  EXPECT_NEAR(counts.at('P'), 2.0 / 3, 1e-12);  // position 2
  EXPECT_NEAR(counts.at('T'), 2.0 / 3, 1e-12);
}

TEST_F(SiteDetermination, TwoOpenItemsAreScoredTogetherWithinModCount) {
  job.SetModCount(1);
  FakeScorer fake;
  fake.scores = {1, 1, 1, 1};
  job.SetScorer(fake.Function());
  const std::string two = "PEPK -1,16.000000,1 -1,-18.000000,2";
  EXPECT_EQ(job.DetermineSites("S.1.1.2.DTA", two), two);  // over the limit
  EXPECT_TRUE(fake.calls.empty());

  // The best pair puts the first item on residue 2 and the second on 0.
  job.SetModCount(2);
  job.SetScorer([&fake](const std::string&, const std::string&, const FixedMods& fixed, double,
                          std::vector<double>& out) {
    fake.calls.push_back(fixed);
    for (int i = 0; i < 4; ++i) out.push_back(fixed.back().first == 2 && i == 0 ? 10.0 : 1.0);
  });
  EXPECT_EQ(job.DetermineSites("S.1.1.2.DTA", two), "PEPK 2,16.000000,1 0,-18.000000,2");
  ASSERT_EQ(fake.calls.size(), 4u);  // one call per position of the first item
  EXPECT_EQ(fake.calls[3], (FixedMods{{3, 16.0}}));
  EXPECT_DOUBLE_EQ(job.site_statistics().at(1).at('P'), 1.0);
  EXPECT_DOUBLE_EQ(job.site_statistics().at(2).at('*'), 1.0);
}

struct ImpossibleCase {
  const char* sequence;
  double shift;
  std::vector<double> scores;
  int site;
};

class SiteOfALoss : public proptest::JobDirTest, public ::testing::WithParamInterface<ImpossibleCase> {};

// A loss heavier than a residue never lands on it, however well the scorer
// rates the spot; with no residue heavy enough there is no site.
TEST_P(SiteOfALoss, NeverLeavesAResidueWithoutMass) {
  const ImpossibleCase c = GetParam();
  FakeScorer fake;
  fake.scores = c.scores;
  Write("s.1.1.2.dta", "1000.0 2\n");
  CPropagation job;
  job.data_path() = Path();
  job.SetScorer(fake.Function());
  job.SetProgramDirectory(Path());  // no aa.ini: the built-in masses
  job.SetModCount(1);
  EXPECT_EQ(job.DetermineSite(c.sequence, "S.1.1.2.DTA", c.shift, 1), c.site);
  char item[64];
  std::snprintf(item, sizeof item, " -1,%f,1", c.shift);
  const std::string open = std::string(c.sequence) + item;
  std::snprintf(item, sizeof item, " %d,%f,1", c.site, c.shift);
  EXPECT_EQ(job.DetermineSites("S.1.1.2.DTA", open), c.site < 0 ? open : std::string(c.sequence) + item);
}

INSTANTIATE_TEST_SUITE_P(
    Losses, SiteOfALoss,
    ::testing::Values(ImpossibleCase{"PEPTK", -148.03, {1, 1, 1, 1, 9}, -1},
                      ImpossibleCase{"PEPWK", -148.03, {1, 1, 1, 2, 9}, 3},
                      ImpossibleCase{"TDWK", -117.07, {9, 9, 2, 1}, 2},
                      ImpossibleCase{"TDWK", 16.0, {9, 1, 2, 1}, 0}));

// Residue masses as the scorer's table holds them.
double ResidueMass(char residue) {
  switch (residue) {
    case 'P': return 97.0527572631836;
    case 'E': return 129.04258728027344;
    case 'T': return 101.04768371582031;
    case 'S': return 87.03202819824219;
    case 'D': return 115.02693939208984;
    case 'K': return 128.09495544433594;
    default: return 0.0;
  }
}

// A DTA spectrum holding the singly charged prefix and suffix fragments of
// `peptide` with `mass` added at `site`, as a doubly charged precursor.
void WriteFragmentSpectrum(const std::string& path, const std::string& peptide, int site,
                           double mass) {
  const double h = 1.0078, o = 15.9949;
  std::vector<double> residues;
  for (std::size_t i = 0; i < peptide.size(); ++i)
    residues.push_back(ResidueMass(peptide[i]) + (static_cast<int>(i) == site ? mass : 0.0));
  double total = 0;
  for (double r : residues) total += r;
  std::vector<double> peaks;
  double prefix = h, suffix = o + 3 * h;
  for (std::size_t j = 1; j < residues.size(); ++j) {
    prefix += residues[j - 1];
    suffix += residues[residues.size() - j];
    peaks.push_back(prefix);
    peaks.push_back(suffix);
  }
  std::string text;
  char line[64];
  std::snprintf(line, sizeof line, "%lf %d\n", total + o + 3 * h, 2);
  text += line;
  for (double mz : peaks) {
    std::snprintf(line, sizeof line, "%lf %lf\n", mz, 100.0);
    text += line;
  }
  WriteFile(path, text);
}

constexpr double kPhospho = 79.966331;

TEST_F(SiteDetermination, KsdpScorerFindsTheSiteTheFragmentsCarry) {
  WriteFragmentSpectrum(File("phos.1.1.2.dta"), "PEPTSDEK", 4, kPhospho);
  WriteFragmentSpectrum(File("early.1.1.2.dta"), "PEPTSDEK", 1, kPhospho);
  job.SetModCount(1);
  EXPECT_EQ(job.DetermineSite("PEPTSDEK", "PHOS.1.1.2.DTA", kPhospho, 1), 4);
  EXPECT_EQ(job.DetermineSite("PEPTSDEK", "EARLY.1.1.2.DTA", kPhospho, 1), 1);
  EXPECT_EQ(job.DetermineSites("PHOS.1.1.2.DTA", "PEPTSDEK -1,79.966331,1"),
            "PEPTSDEK 4,79.966331,1");
}

TEST_F(SiteDetermination, MissingResidueTableIsReported) {
  proptest::MessageLog log;
  WriteFragmentSpectrum(File("phos.1.1.2.dta"), "PEPTSDEK", 4, kPhospho);
  job.SetProgramDirectory(File("nowhere"));
  EXPECT_EQ(job.DetermineSite("PEPTSDEK", "PHOS.1.1.2.DTA", kPhospho, 1), -1);
  EXPECT_TRUE(log.Contains("Can not open file:"));
}

// A job whose plain spectrum is identified and whose pair reaches the
// phosphorylated one.
void WriteSiteJob(const std::filesystem::path& dir, const std::string& cluster_file) {
  WriteFragmentSpectrum((dir / "phos.1.1.2.dta").string(), "PEPTSDEK", 4, kPhospho);
  WriteFile((dir / "r.spectra").string(), "1,\t1\tPLAIN.1.1.2.dta\t1\n*\tK.PEPTSDEK.A\n");
  WriteFile((dir / "pairs.csv").string(), "PHOS.1.1.2.dta,1000,PLAIN.1.1.2.dta,920,79.966331,0.9,1\n");
  WriteFile((dir / "clusters.csv").string(), "0,PLAIN.1.1.2.dta,1,0\n1,PHOS.1.1.2.dta,2,0\n");
  WriteFile((dir / "job.para").string(),
            proptest::ParaText("pairs.csv", "r.spectra", cluster_file, dir.string(), 1));
}

TEST_F(SiteDetermination, SearchResultJobPlacesSitesAfterThePasses) {
  WriteSiteJob(dir_, "");
  ASSERT_TRUE(job.Run(File("job.para"), true));
  const std::string report = ReadFile(File("job_InterPropagate.txt"));
  EXPECT_NE(report.find("1 PHOS.1.1.2.DTA PEPTSDEK 4,79.966331,1\n"), std::string::npos);
  const std::string table = report.substr(report.find("#\tAA"));
  EXPECT_EQ(table,
            "#\tAA\tID1\nN-term\t1\t0.00\nD\t1\t0.00\nE\t2\t0.00\nK\t1\t0.00\nP\t2\t0.00\n"
            "S\t1\t1.00\nT\t1\t0.00\nC-term\t1\t0.00\n");
}

TEST_F(SiteDetermination, ClusterJobPlacesSitesPerEdge) {
  WriteSiteJob(dir_, "clusters.csv");
  ASSERT_TRUE(job.Run(File("job.para"), true));
  EXPECT_EQ(job.results().at("PHOS.1.1.2.DTA"), "PEPTSDEK 4,79.966331,1");
  const std::string report = ReadFile(File("job_InterPropagate.txt"));
  EXPECT_EQ(report.substr(report.find("#\tAA")), "#\tAA\tID1\nS\t0\t1.00\n");
}

}  // namespace
