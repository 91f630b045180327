#include <gtest/gtest.h>

#include "tests/support/ScratchDir.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

#include "common/Notifier.h"
#include "common/OptionTool.h"
#include "scoring/KSDPScore.h"
#include "scoring/PeptideScoreFactory.h"

namespace fs = std::filesystem;

namespace {

// Kernel weights for one and two unmatched positions, with the decay held
// as the single-precision 0.9.
const double kDecay = 0.8999999761581421;
const double K1 = std::exp(-kDecay);
const double K2 = std::exp(-2 * kDecay);

using Peaks = std::vector<std::pair<double, double>>;

class Scoring : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    Write("aa.ini", "[aa]\ntotal=0\n");
  }

  std::string Directory() const { return dir_.string() + "/"; }

  std::string WriteSpectrum(const std::string& name, double mh, int charge, const Peaks& peaks) {
    char line[128];
    std::snprintf(line, sizeof line, "%lf %d\n", mh, charge);
    std::string text = line;
    for (const auto& [mz, intensity] : peaks) {
      std::snprintf(line, sizeof line, "%lf %lf\n", mz, intensity);
      text += line;
    }
    return Write(name, text);
  }

  std::vector<double> Score(const std::string& spectrum, const std::string& peptide,
                            double mod_mass,
                            const std::vector<std::pair<int, double>>& fixed = {}) {
    std::vector<double> scores;
    CPeptideScoreFactory().GetKSDPScore(spectrum, peptide, fixed, mod_mass, scores, Directory());
    return scores;
  }

};

}  // namespace

// Peptide GAS in 0.0001 Da: G 570214, A 710371, S 870320; H 10078,
// O 159949. b1 = 580292, b2 = 1290663, y1 = 1060503, y2 = 1770874.
// A +10 Da candidate moves every fragment that holds its residue by 100000.
TEST_F(Scoring, HandComputedScoresPerCandidatePosition) {
  const std::string spectrum =
      WriteSpectrum("gas.dta", 300.0, 1, {{58.0292, 100.0}, {106.0503, 49.0}, {200.0, 400.0}});
  const std::vector<double> scores = Score(spectrum, "GAS", 10.0);
  ASSERT_EQ(scores.size(), 3u);
  // Largest intensity sqrt(400) = 20; only the 1+ series count (n = 2),
  // two fragment positions each, window 5 covers both.
  // G+10: only y1 matches (intensity 7).
  EXPECT_NEAR(scores[0], std::sqrt(2 * K2 + 2 * K1) * (7.0 / 20 * 100) / 4, 1e-9);
  // A+10: b1 and y1 match (10 + 7).
  EXPECT_NEAR(scores[1], std::sqrt(4 * K1) * (17.0 / 20 * 100) / 4, 1e-9);
  // S+10: only b1 matches.
  EXPECT_NEAR(scores[2], std::sqrt(2 * K1 + 2 * K2) * (10.0 / 20 * 100) / 4, 1e-9);
}

TEST_F(Scoring, ToleranceIsInclusiveHalfDalton) {
  // b1 at 58.0292; peaks 0.5 Da away still match, 0.5001 Da away do not.
  const std::string inside = WriteSpectrum("in.dta", 300.0, 1, {{58.5292, 100.0}});
  const std::string outside = WriteSpectrum("out.dta", 300.0, 1, {{58.5294, 100.0}});
  EXPECT_GT(Score(inside, "GAS", 0.0)[0], 0.0);
  EXPECT_EQ(Score(outside, "GAS", 0.0)[0], 0.0);
}

TEST_F(Scoring, SeriesFollowThePrecursorCharge) {
  // b1 1+ at 58.0292 and b1 2+ at (10078 + 580292) / 2 = 295185.
  const Peaks peaks = {{29.5185, 16.0}, {58.0292, 100.0}};
  const double only_singly = std::sqrt(2 * K1 + 2 * K2) * 100.0 / (2 * 2);
  const double all_four = std::sqrt(4 * K1 + 4 * K2) * (14.0 / 10 * 100) / (2 * 4);
  EXPECT_NEAR(Score(WriteSpectrum("z1.dta", 300, 1, peaks), "GAS", 0.0)[0], only_singly, 1e-9);
  EXPECT_NEAR(Score(WriteSpectrum("z2.dta", 300, 2, peaks), "GAS", 0.0)[0], only_singly, 1e-9);
  EXPECT_NEAR(Score(WriteSpectrum("z3.dta", 300, 3, peaks), "GAS", 0.0)[0], all_four, 1e-9);
  EXPECT_NEAR(Score(WriteSpectrum("z0.dta", 300, 0, peaks), "GAS", 0.0)[0], all_four, 1e-9);

  EXPECT_TRUE(CFragmentMatcher::SeriesAllowed(1, 2));
  EXPECT_FALSE(CFragmentMatcher::SeriesAllowed(2, 2));
  EXPECT_TRUE(CFragmentMatcher::SeriesAllowed(2, 3));
  EXPECT_FALSE(CFragmentMatcher::SeriesAllowed(2, 1));
  EXPECT_TRUE(CFragmentMatcher::SeriesAllowed(2, -1));
}

TEST_F(Scoring, WindowIsCutAtThePeptideEnds) {
  // GAGAGAG: six positions per series; only b1 matches. Unmatched counts in
  // the windows of the prefix series: 2,3,4,5,4,3; of the suffix: 3,4,5,5,4,3.
  const std::string spectrum = WriteSpectrum("g7.dta", 500.0, 1, {{58.0292, 100.0}});
  auto k = [](int i) { return std::exp(-kDecay * i); };
  const double b = (k(2) + k(3) + k(4) + k(5) + k(4) + k(3)) +
                   (k(3) + k(4) + k(5) + k(5) + k(4) + k(3));
  EXPECT_NEAR(Score(spectrum, "GAGAGAG", 0.0)[3], std::sqrt(b) * 100.0 / (6 * 2), 1e-9);

  CKSDPScore scorer;
  scorer.SetSettings(CScoreSettings());
  EXPECT_EQ(scorer.Kernel(0), 1.0);
  EXPECT_NEAR(scorer.Kernel(2), std::exp(-1.8), 1e-6);
}

TEST_F(Scoring, OnlyTheTwoHundredMostIntensePeaksAreUsed) {
  // b1 strong, y1 weakest; fillers far from every fragment.
  auto spectrum_with = [this](int fillers) {
    Peaks peaks = {{58.0292, 10000.0}, {106.0503, 1.0}};
    for (int i = 0; i < fillers; ++i) peaks.push_back({300.0 + i, 400.0});
    return WriteSpectrum("cut" + std::to_string(fillers) + ".dta", 400.0, 1, peaks);
  };
  // 200 peaks: y1 is kept.
  EXPECT_NEAR(Score(spectrum_with(198), "GAS", 0.0)[0], std::sqrt(4 * K1) * 101.0 / 4, 1e-9);
  // 250 peaks: y1 falls out; the largest intensity is still 100.
  EXPECT_NEAR(Score(spectrum_with(248), "GAS", 0.0)[0], std::sqrt(2 * K1 + 2 * K2) * 100.0 / 4,
              1e-9);

  CScoreSpectrum read;
  std::string error;
  ASSERT_TRUE(ReadScoreSpectrum((dir_ / "cut248.dta").string(), read, error));
  EXPECT_EQ(read.peaks.size(), 200u);
  EXPECT_EQ(read.max_intensity, 100.0);
  EXPECT_EQ(read.charge, 1);
  for (std::size_t i = 1; i < read.peaks.size(); ++i) EXPECT_LT(read.peaks[i - 1].mz, read.peaks[i].mz);
}

TEST_F(Scoring, ScoresGrowByPeptideLengthAndFixedModsOutsideAreIgnored) {
  const std::string spectrum =
      WriteSpectrum("s.dta", 300.0, 2, {{58.0292, 100.0}, {106.0503, 49.0}, {129.0663, 25.0}});
  std::vector<double> scores = {42.0};
  CPeptideScoreFactory factory;
  factory.GetKSDPScore(spectrum, "GAS", {}, 0.0, scores, Directory());
  factory.GetKSDPScore(spectrum, "GASGAS", {}, 0.0, scores, Directory());
  EXPECT_EQ(scores.size(), 1u + 3u + 6u);
  EXPECT_EQ(scores[0], 42.0);

  const std::vector<double> plain = Score(spectrum, "GAS", 5.0);
  EXPECT_EQ(Score(spectrum, "GAS", 5.0, {{3, 50.0}, {99, 1.0}, {-1, 7.0}}), plain);
  // A fixed modification inside the peptide moves the fragments.
  EXPECT_NE(Score(spectrum, "GAS", 5.0, {{1, 50.0}}), plain);
  EXPECT_TRUE(Score(spectrum, "", 5.0).empty());
  // One residue has no fragments: neutral score, no division by zero.
  EXPECT_EQ(Score(spectrum, "G", 5.0), std::vector<double>{0.0});
}

TEST_F(Scoring, ModifiedResidueOfASyntheticSpectrumScoresBest) {
  // PEPTIDEK with phosphorylation on T (index 3): 1+ b and y ions.
  const std::string peptide = "PEPTIDEK";
  const double phospho = 79.966331;
  CResidueTable table;
  std::vector<double> mass;
  for (char c : peptide) mass.push_back(table.Get(c).mono_mass);
  mass[3] += phospho;
  Peaks peaks;
  double b = 1.0078, y = 15.9949 + 3 * 1.0078;
  double mh = y;
  for (double m : mass) mh += m;
  for (std::size_t k = 0; k + 1 < mass.size(); ++k) {
    b += mass[k];
    y += mass[mass.size() - 1 - k];
    peaks.push_back({b, 100.0 + k});
    peaks.push_back({y, 90.0 + k});
  }
  std::sort(peaks.begin(), peaks.end());
  const std::string spectrum = WriteSpectrum("PEPTIDEK.1.1.2.dta", mh, 2, peaks);

  const std::vector<double> scores = Score(spectrum, peptide, phospho);
  ASSERT_EQ(scores.size(), peptide.size());
  for (std::size_t i = 0; i < scores.size(); ++i) {
    if (i != 3) {
      EXPECT_LT(scores[i], scores[3]) << "position " << i;
    }
  }
  // Every fragment matched: B = 14, all intensity matched.
  EXPECT_NEAR(scores[3], std::sqrt(14.0) * 100.0 * (
                  [&] { double s = 0; for (auto& p : peaks) s += std::sqrt(p.second); return s; }() /
                  std::sqrt(106.0)) / 14.0, 1e-9);
}

TEST_F(Scoring, BadSpectrumFilesNeverCrash) {
  std::vector<std::string> messages;
  notify::ScopedHandler capture([&messages](const std::string& m) { messages.push_back(m); });

  const std::string missing = (dir_ / "missing.dta").string();
  EXPECT_EQ(Score(missing, "PEPTIDE", 1.0), std::vector<double>(7, 0.0));
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Can not open file:" + missing);

  std::string garbage;
  for (int i = 0; i < 100000; ++i) garbage.push_back(static_cast<char>((i * 2654435761u) >> 24));
  const std::string garbage_path = Write("garbage.dta", garbage);
  EXPECT_EQ(Score(garbage_path, "PEPTIDE", 1.0).size(), 7u);

  const std::string odd_path = Write("odd.dta", "1e300 2\n1e300 5\n-5 -4\nnan nan\n58.0292 100\n" +
                                                     std::string(300000, '9') + " 1\n");
  const std::vector<double> odd = Score(odd_path, "GAS", 0.0);
  ASSERT_EQ(odd.size(), 3u);
  for (double s : odd) EXPECT_TRUE(std::isfinite(s));

  // Missing residue file: the option reader's error, nothing appended.
  std::vector<double> scores;
  EXPECT_THROW(CPeptideScoreFactory().GetKSDPScore(odd_path, "GAS", {}, 0.0, scores,
                                                   (dir_ / "none").string()),
               COptionToolException);
  EXPECT_TRUE(scores.empty());
}

TEST_F(Scoring, FactoryKindsAndNeutralLosses) {
  CPeptideScoreFactory factory;
  std::unique_ptr<CPeptideScore> ksdp(factory.GetScorer(SCORE_TYPE_KSDP));
  std::unique_ptr<CPeptideScore> other(factory.GetScorer(static_cast<ScoreType>(0)));
  std::unique_ptr<CPeptideScore> shared(factory.GetScorer(SCORE_TYPE_SHARED_PEAKS));
  EXPECT_EQ(ksdp->GetScoreType(), 3);
  EXPECT_EQ(other->GetScoreType(), 3);
  EXPECT_EQ(shared->GetScoreType(), 2);

  // GAS with S+80 carrying a loss of 98: y1 = 1060503 + 800000 = 1860503;
  // its loss fragment 1860503 - 980000 = 880503 matches a peak, which adds
  // intensity but marks no position.
  CScoreSettings settings;
  settings.SetResidues(CResidueTable());
  settings.SetDefaultSeries();
  CScoreSpectrum spectrum;
  spectrum.charge = 1;
  spectrum.peaks = {{580292, 10.0}, {880503, 5.0}};
  spectrum.max_intensity = 10.0;
  CScorePeptide peptide;
  peptide.sequence = "GAS";
  peptide.modifications.push_back({2, 'S', 80.0, {98.0}});

  ksdp->SetSettings(settings);
  ksdp->SetSpectrum(spectrum);
  ksdp->SetPeptide(peptide);
  EXPECT_NEAR(ksdp->Score(), std::sqrt(2 * K1 + 2 * K2) * 150.0 / 4, 1e-9);
  ksdp->Reset();
  EXPECT_EQ(ksdp->Score(), 0.0);

  shared->SetSettings(settings);
  shared->SetSpectrum(spectrum);
  shared->SetPeptide(peptide);
  EXPECT_EQ(shared->Score(), 1.0);

  // The loss rides only on fragments that hold the modified residue: with
  // the modification on G, y1 (S alone, 1060503) has no loss fragment at
  // 1060503 - 980000 = 80503.
  spectrum.peaks = {{80503, 5.0}};
  peptide.modifications[0].position = 0;
  peptide.modifications[0].residue = 'G';
  ksdp->Reset();
  ksdp->SetSpectrum(spectrum);
  ksdp->SetPeptide(peptide);
  EXPECT_EQ(ksdp->Score(), 0.0);
}
