#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <limits>
#include <sstream>

#include "moddetect/CombinationFinder.h"
#include "moddetect/GaussianMixture.h"
#include "moddetect/ModificationDetector.h"
#include "moddetect/PairCollector.h"
#include "moddetect/PairWriter.h"
#include "moddetect/PrecursorList.h"
#include "resultfiles/SearchResultFile.h"
#include "TestSupport.h"

namespace {

PrecursorRecord Rec(double mh, double rt, int scan) {
  PrecursorRecord r;
  r.mh = mh;
  r.retention_time = rt;
  r.scan = scan;
  r.charge = 2;
  r.title = "t." + std::to_string(scan) + "." + std::to_string(scan) + ".2.dta";
  return r;
}

std::vector<PrecursorRecord> Reduced(std::vector<PrecursorRecord> records) {
  CPrecursorList list;
  list.MutableRecords() = std::move(records);
  list.SortByChargeMass();
  list.RemoveRedundancy(5.0);
  return list.Reduced();
}

class DetectionTest : public shftest::WorkingDirTest {};

}  // namespace

TEST(PairCollector, WindowBoundariesAndTwoPointerWalk) {
  CPairCollector c;
  EXPECT_FALSE(c.CollectPairs({Rec(1000, 1, 1)}, 16, false));
  EXPECT_EQ(c.PairCount(), 0u);
  // Differences of w +- 0.5 and exactly w + 0.48 are outside the window.
  EXPECT_TRUE(c.CollectPairs({Rec(1000, 1, 1), Rec(1016.5, 2, 2)}, 16, false));
  EXPECT_EQ(c.PairCount(), 0u);
  c.CollectPairs({Rec(1000, 1, 1), Rec(1015.5, 2, 2)}, 16, false);
  EXPECT_EQ(c.PairCount(), 0u);
  c.CollectPairs({Rec(512, 1, 1), Rec(528.48, 2, 2)}, 16, false);
  EXPECT_EQ(c.PairCount(), 0u);
  c.CollectPairs({Rec(512, 1, 1), Rec(528.47, 2, 2)}, 16, false);
  EXPECT_EQ(c.PairCount(), 1u);

  // Several heavier partners of one lighter record, and lighter records
  // sharing heavier ones.
  const std::vector<PrecursorRecord> list = {Rec(1000.0, 10, 1), Rec(1000.2, 11, 2), Rec(1001.1, 15, 3),
                                             Rec(1001.3, 12, 4), Rec(1002.0, 20, 5), Rec(1005.0, 30, 6)};
  c.CollectPairs(list, 1, false);
  std::vector<std::pair<double, int>> got;
  for (std::size_t i = 0; i < c.PairCount(); ++i)
    got.push_back({std::round(c.DeltaMasses()[i] * 1000) / 1000, c.DeltaScans()[i]});
  // Brute force over all pairs gives the same set.
  std::vector<std::pair<double, int>> want;
  for (std::size_t l = 0; l < list.size(); ++l)
    for (std::size_t h = l + 1; h < list.size(); ++h)
      if (std::fabs(list[h].mh - list[l].mh - 1) < 0.48)
        want.push_back({std::round((list[h].mh - list[l].mh) * 1000) / 1000, list[h].scan - list[l].scan});
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  EXPECT_EQ(got, want);
  EXPECT_EQ(c.DeltaTimes().size(), c.PairCount());

  // Extreme scan numbers from a garbled dump are taken without overflow.
  c.CollectPairs({Rec(1000, 1, std::numeric_limits<int>::min()), Rec(1016, 2, std::numeric_limits<int>::max())}, 16,
                 false);
  EXPECT_EQ(c.PairCount(), 1u);

  // Shift 0 never pairs a record with itself; negative shifts find nothing.
  c.CollectPairs(list, 0, false);
  for (double dm : c.DeltaMasses()) EXPECT_GT(dm, 0.0);
  c.CollectPairs(list, -1, false);
  EXPECT_EQ(c.PairCount(), 0u);
}

TEST(PairCollector, PostSearchNeedsOneIdentifiedScan) {
  CPairCollector c;
  std::istringstream in(
      "header line\n"
      "1,\tx RUN.12.12.2.dta more\n"
      "2, y run.a.40.41.2.dta\n"
      "3, z RUN.77.78.2\n"
      "not a record, q RUN.5.5.2.dta\n"
      "4,\n"
      "5, onlyoneword\n");
  c.LoadIdentifiedSpectra(in);
  EXPECT_TRUE(c.IsIdentified(12));
  EXPECT_TRUE(c.IsIdentified(41));
  EXPECT_TRUE(c.IsIdentified(78));
  EXPECT_FALSE(c.IsIdentified(5));
  EXPECT_FALSE(c.IsIdentified(-1));
  EXPECT_FALSE(c.IsIdentified(100000));

  const std::vector<PrecursorRecord> list = {Rec(1000, 1, 12), Rec(1016, 2, 13), Rec(1100, 1, 20),
                                             Rec(1116, 3, 41), Rec(1200, 1, 30), Rec(1216, 3, 31)};
  c.CollectPairs(list, 16, true);
  ASSERT_EQ(c.PairCount(), 2u);  // lighter identified, heavier identified
  EXPECT_EQ(c.DeltaScans()[0], 1);
  EXPECT_EQ(c.DeltaScans()[1], 21);
  c.CollectPairs(list, 16, false);
  EXPECT_EQ(c.PairCount(), 3u);
}

// Every result format the readers know gives the identified scans, search
// engines' files after the same FDR cut as propagation; a file that cannot
// be read is a failure, not an empty table.
TEST(PairCollector, IdentificationsFromEveryResultFormat) {
  std::vector<std::string> messages;
  notify::ScopedHandler h([&](const std::string& m) { messages.push_back(m); });
  const std::string bsa = std::string(TESSERA_SOURCE_DIR) + "/data/BSA/";
  CPairCollector lines;  // the Kiln list read line by line
  std::ifstream kiln(bsa + "BSA1_Comet.spectra");
  lines.LoadIdentifiedSpectra(kiln);
  ASSERT_GT(lines.IdentifiedCount(), 30u);
  for (const char* file : {"BSA1_Comet.pep.xml", "BSA1_Comet.spectra"}) {
    CPairCollector c;
    ASSERT_TRUE(c.LoadIdentifiedSpectra(bsa + file, CIdentificationFilter())) << file;
    EXPECT_EQ(c.IdentifiedScans(), lines.IdentifiedScans()) << file;
    // What a search engine's reader kept and why goes with the dialogue.
    const std::string report = c.Report().empty() ? std::string() : c.Report().front();
    EXPECT_EQ(report.find("40 kept") != std::string::npos, std::string(file).find("pep.xml") != std::string::npos)
        << report;
  }

  testsupport::CTempDir dir("pair_collector_ids");
  CPairCollector c;
  EXPECT_TRUE(c.LoadIdentifiedSpectra(dir.Write("ids.txt", "1, x RUN.12.12.2.dta\n"), CIdentificationFilter()));
  EXPECT_TRUE(c.IsIdentified(12));
  EXPECT_FALSE(c.LoadIdentifiedSpectra(dir.File("missing.pep.xml"), CIdentificationFilter()));
  EXPECT_EQ(messages.back(), "Can not open file:" + dir.File("missing.pep.xml"));
  EXPECT_EQ(c.IdentifiedCount(), 0u);
  c.CollectPairs({Rec(1000, 1, 12), Rec(1016, 2, 2)}, 16, true);
  EXPECT_EQ(c.PairCount(), 0u);
  // A file read in part is no basis: a cut pepXML fails.
  const std::string whole = testsupport::ReadFile(bsa + "BSA1_Comet.pep.xml");
  EXPECT_FALSE(c.LoadIdentifiedSpectra(dir.Write("cut.pep.xml", whole.substr(0, whole.size() / 2)), CIdentificationFilter()));
  EXPECT_NE(messages.back().find("malformed XML"), std::string::npos) << messages.back();
}

TEST(GaussianMixture, EmRecoversKnownParameters) {
  shftest::Random rnd(7);
  const int n = 6000;
  math::matrixT data(n, 2);
  for (int i = 0; i < n; ++i) {
    float* row = data.MutableRow(static_cast<std::uint32_t>(i));
    if (i % 3 == 0) {  // state 0: weight 1/3
      row[0] = static_cast<float>(rnd.Gauss(16.0, 0.005));
      row[1] = static_cast<float>(rnd.Gauss(3.0, 0.5));
    } else {
      row[0] = static_cast<float>(rnd.Gauss(16.0, 0.15));
      row[1] = static_cast<float>(rnd.Gauss(0.0, 20.0));
    }
  }
  CGaussianMixture g(2, 2);
  g.Means()(0, 0) = 16.01f;
  g.Means()(0, 1) = 2.0f;
  g.Means()(1, 0) = 16.0f;
  g.Means()(1, 1) = 0.0f;
  g.Covariance(0)(0, 0) = 0.000004f;
  g.Covariance(0)(1, 1) = 4.0f;
  g.Covariance(1)(0, 0) = 0.01f;
  g.Covariance(1)(1, 1) = 300.0f;
  const math::matrixT before = data;
  const int it = g.FitEM(data);
  EXPECT_GE(it, 1);
  EXPECT_LE(it, 200);
  EXPECT_TRUE(data.SharesBodyWith(before));  // the data are only read
  EXPECT_NEAR(g.Weight(0), 1.0 / 3, 0.02);
  EXPECT_NEAR(g.Means()(0, 0), 16.0, 0.001);
  EXPECT_NEAR(g.Means()(0, 1), 3.0, 0.05);
  EXPECT_NEAR(std::sqrt(g.Covariance(0)(0, 0)), 0.005, 0.001);
  EXPECT_NEAR(std::sqrt(g.Covariance(0)(1, 1)), 0.5, 0.05);
  EXPECT_NEAR(std::sqrt(g.Covariance(1)(1, 1)), 20.0, 1.0);
  EXPECT_NEAR(g.Weight(0) + g.Weight(1), 1.0, 1e-5);
}

TEST(GaussianMixture, DensityPosteriorAndFailures) {
  CGaussianMixture g(2, 1);
  g.Means()(0, 0) = 0.0f;
  g.Means()(1, 0) = 10.0f;
  g.Covariance(0)(0, 0) = 1.0f;
  g.Covariance(1)(0, 0) = 0.0f;
  const float x = 0.0f;
  EXPECT_NEAR(g.StateDensity(0, &x), 1.0 / std::sqrt(6.2831855), 1e-7);
  EXPECT_EQ(g.StateDensity(1, &x), -1.0);
  math::matrixT one(1, 1);
  EXPECT_EQ(g.FitEM(one), -1);  // zero variance
  EXPECT_EQ(g.FitEM(math::matrixT(0, 1)), -1);

  std::vector<std::string> messages;
  notify::ScopedHandler h([&](const std::string& m) { messages.push_back(m); });
  CGaussianMixture s(2, 2);
  s.Covariance(0)(0, 0) = 1.0f;
  s.Covariance(0)(1, 1) = 1.0f;
  // Singular: zero determinant gives no density and no message.
  s.Covariance(1)(0, 0) = 1.0f;
  const float p[2] = {0.0f, 0.0f};
  EXPECT_NEAR(s.StateDensity(0, p), 1.0 / 6.2831855, 1e-7);
  EXPECT_EQ(s.StateDensity(1, p), -1.0);
  // Not singular, yet the inversion fails in single precision: no density,
  // and no diagnostic reaches the user.
  const float nearly[2][2] = {{-0.497868061f, 2.983109f}, {-0.658155262f, 3.9435122f}};
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) s.Covariance(1)(static_cast<std::uint32_t>(i), static_cast<std::uint32_t>(j)) = nearly[i][j];
  ASSERT_NE(s.Covariance(1).Det(), 0.0);
  EXPECT_EQ(s.StateDensity(1, p), -1.0);
  EXPECT_TRUE(messages.empty()) << messages.front();
  EXPECT_EQ(s.Posterior(0, p), 1.0);
  s.Weight(0) = 0.0f;
  EXPECT_EQ(s.Posterior(0, p), 0.0);
  EXPECT_EQ(s.Posterior(1, p), 0.0);

  CGaussianMixture r(3, 2);
  r.RemoveState(1);
  EXPECT_EQ(r.StateCount(), 2);
  EXPECT_EQ(r.Means().RowCount(), 2u);
}

TEST(ModificationDetector, CandidatesAreLocalMaximaAboveBackground) {
  CModificationDetector d;
  // Ten pairs per 0.01 bin over the whole window and four excess bins at
  // 15.905, 16.005, 16.105 and 16.125: in the candidate sequence the first
  // and third lose to their stronger neighbours.
  std::vector<double> dm, dt;
  auto add = [&](double mass, int count) {
    for (int k = 0; k < count; ++k) { dm.push_back(mass); dt.push_back(k % 7); }
  };
  for (int b = 0; b < 96; ++b) add(15.5249 + b * 0.01, 10);
  add(15.9049, 25);
  add(16.0049, 60);
  add(16.1049, 12);
  add(16.1249, 30);
  d.SetPairs(dm, dt);
  d.SetParameters(20.0, 0.4, 0.01, 16);
  d.Prepare();
  const auto c = d.FindCandidates();
  ASSERT_EQ(c.size(), 2u);
  EXPECT_NEAR(c[0].center, 16.005, 1e-9);
  EXPECT_NEAR(c[1].center, 16.125, 1e-9);
  EXPECT_GT(c[0].ratio, c[1].ratio);
  // Two neighbouring candidates: only the stronger one stays.
  d.SetParameters(20.0, 0.4, 0.01, 16);
  std::vector<double> dm2(dm.begin(), dm.end() - 42), dt2(dt.begin(), dt.end() - 42);
  d.SetPairs(dm2, dt2);
  d.Prepare();
  const auto c2 = d.FindCandidates();
  ASSERT_EQ(c2.size(), 1u);
  EXPECT_NEAR(c2[0].center, 16.005, 1e-9);
  d.SetPairs(dm, dt);
  d.Prepare();
  EXPECT_EQ(d.TimesInMassRange(16.0048, 16.0050).RowCount(), 70u);
  EXPECT_EQ(d.TimesInMassRange(15.0, 17.0).RowCount(), dm.size());
  EXPECT_EQ(d.TimesInMassRange(17.0, 18.0).RowCount(), 0u);

  // No spread, no pairs, or an unusable resolution: no candidate, no crash.
  d.SetPairs(std::vector<double>(5, 16.0), std::vector<double>(5, 1.0));
  d.Prepare();
  EXPECT_TRUE(d.FindCandidates().empty());
  EXPECT_FALSE(d.Detect());
  d.SetPairs({}, {});
  EXPECT_FALSE(d.Detect());
  d.SetPairs(dm, dt);
  d.SetParameters(20.0, 0.4, 0.0, 16);
  EXPECT_FALSE(d.Detect());
  d.SetParameters(20.0, 0.4, -1.0, 16);
  EXPECT_FALSE(d.Detect());
  EXPECT_TRUE(d.Results().empty());
}

TEST_F(DetectionTest, InjectedOxidationIsFound) {
  const auto reduced = Reduced(shftest::SyntheticPrecursors(11, 2500, 300, 15.9949, 3.0));
  CPairCollector c;
  CModificationDetector d;
  std::vector<std::int32_t> found_at;
  for (int w = 1; w <= 30; ++w) {
    c.CollectPairs(reduced, w, false);
    d.SetPairs(c);
    d.SetParameters(20.0, 0.4, 0.01, w);
    if (d.Detect()) found_at.push_back(w);
  }
  ASSERT_EQ(found_at, std::vector<std::int32_t>{16});
  ASSERT_EQ(d.Results().size(), 1u);
  const ModificationRecord& r = d.Results()[0];
  EXPECT_EQ(r.shift, 16);
  EXPECT_NEAR(r.delta_mass, 15.9949, 0.005);
  EXPECT_NEAR(r.delta_time, 3.0, 0.2);
  EXPECT_LT(3 * r.mass_sigma, 0.025);
  EXPECT_GE(r.d_score, 20.0);
  EXPECT_EQ(r.type, 0);
  EXPECT_EQ(r.first_partner, -1);

  // The pair files of that pass: one per accepted state, counted.
  c.CollectPairs(reduced, 16, false);
  d.SetPairs(c);
  d.SetParameters(20.0, 0.4, 0.01, 16);
  ASSERT_TRUE(d.Detect());
  auto results = d.Results();
  CPairWriter writer;
  EXPECT_EQ(writer.WritePairs(reduced, d.WorkingMixture(), "out\\", 0.98, results), 1);
  const float mean = d.WorkingMixture().Means()(0, 0);
  const std::string file = "out/" + CPairWriter::PairFileName(mean, 0.98);
  ASSERT_TRUE(std::filesystem::exists(file)) << file;
  const std::string text = testsupport::ReadFile(file);
  const auto lines = std::count(text.begin(), text.end(), '\n');
  EXPECT_EQ(results[0].pair_count, lines);
  EXPECT_GT(lines, 200);
  EXPECT_LT(lines, 320);
  // The second pass appended an equal record; the count goes to the first.
  ASSERT_EQ(results.size(), 2u);
  EXPECT_EQ(results[1].pair_count, 0);
}

TEST(ModificationDetector, BackgroundAloneGivesNothing) {
  const auto reduced = Reduced(shftest::SyntheticPrecursors(5, 3000, 0, 0, 0));
  CPairCollector c;
  CModificationDetector d;
  for (int w = 1; w <= 20; ++w) {
    c.CollectPairs(reduced, w, false);
    d.SetPairs(c);
    d.SetParameters(20.0, 0.4, 0.01, w);
    d.Detect();
  }
  EXPECT_TRUE(d.Results().empty());
}

TEST(PairWriter, FileNamesAndPaths) {
  EXPECT_EQ(CPairWriter::PairFileName(15.994934, 0.98), "pair_m15.994934_p0.98.csv");
  EXPECT_EQ(CPairWriter::PairFileName(1.5, 0.5), "pair_m1.500000_p0.50.csv");
  EXPECT_EQ(CPairWriter::PairFilePath("", "f.csv"), "f.csv");
  EXPECT_EQ(CPairWriter::PairFilePath("a/b", "f.csv"), "a/b/f.csv");
  EXPECT_EQ(CPairWriter::PairFilePath("a/b/", "f.csv"), "a/b/f.csv");
  EXPECT_EQ(CPairWriter::PairFilePath("a\\", "f.csv"), "a/f.csv");
  // The names it writes are the only ones it counts as its own.
  for (double mass : {15.994934, -3.5, 1234.0}) EXPECT_TRUE(CPairWriter::IsPairFileName(CPairWriter::PairFileName(mass, 1.0)));
  for (const char* other : {"pair_m1.5_p0.98.csv", "pair_m1.500000_p0.98.csv.bak", "pair_m1.500000_p.98.csv",
                            "pairs.csv", "pair_m+1.500000_p0.98.csv", "x_pair_m1.500000_p0.98.csv"})
    EXPECT_FALSE(CPairWriter::IsPairFileName(other)) << other;
}

TEST_F(DetectionTest, PairWriterWindowAndTwoStates) {
  // Two signal states at 16.0 and 16.2 with far-apart times and a wide
  // background; the pair at 16.25 belongs to the background.
  CGaussianMixture g(3, 2);
  g.Means()(0, 0) = 16.0f;  g.Means()(0, 1) = 0.0f;
  g.Means()(1, 0) = 16.2f;  g.Means()(1, 1) = 50.0f;
  g.Means()(2, 0) = 16.0f;  g.Means()(2, 1) = 0.0f;
  for (int k = 0; k < 3; ++k) {
    g.Covariance(k)(0, 0) = k == 2 ? 1.0f : 0.0001f;
    g.Covariance(k)(1, 1) = k == 2 ? 10000.0f : 1.0f;
  }
  g.Weight(0) = g.Weight(1) = 0.3f;
  g.Weight(2) = 0.4f;
  const std::vector<PrecursorRecord> reduced = {Rec(1000.0, 10, 1), Rec(1016.0, 10, 2), Rec(1016.2, 60, 3),
                                                Rec(1100.0, 10, 4), Rec(1116.0, 10.5, 5), Rec(2000.0, 5, 6),
                                                Rec(2016.25, 5, 7)};
  std::vector<ModificationRecord> results(2);
  results[0].delta_mass = static_cast<double>(16.0f);
  results[1].delta_mass = static_cast<double>(16.2f);
  CPairWriter w;
  EXPECT_EQ(w.WritePairs(reduced, g, "pp", 0.9, results), 2);
  EXPECT_EQ(testsupport::ReadFile("pp/pair_m16.000000_p0.90.csv"),
            "t.2.2.2.dta,1016.000000,t.1.1.2.dta,1000.000000,16.000000,0.000000,1\n"
            "t.5.5.2.dta,1116.000000,t.4.4.2.dta,1100.000000,16.000000,0.000000,1\n");
  EXPECT_EQ(testsupport::ReadFile("pp/pair_m16.200001_p0.90.csv"),
            "t.3.3.2.dta,1016.200000,t.1.1.2.dta,1000.000000,16.200000,0.000000,1\n");
  EXPECT_EQ(results[0].pair_count, 2);
  EXPECT_EQ(results[1].pair_count, 1);
  // Fewer than two precursors: nothing at all.
  std::filesystem::remove_all("pp");
  EXPECT_EQ(w.WritePairs({Rec(1000, 1, 1)}, g, "pp", 0.9, results), 0);
  EXPECT_FALSE(std::filesystem::exists("pp"));
}

TEST(ModificationDetector, StateTestsAndTheirBoundaries) {
  using D = CModificationDetector;
  // Signal state 0 against a background with mass sigma 0.1 and time sigma 3.
  CGaussianMixture g(2, 2);
  g.Covariance(1)(0, 0) = 0.01f;
  g.Covariance(1)(1, 1) = 9.0f;
  auto set = [&](float mass_var, float time_var, float weight) {
    g.Covariance(0)(0, 0) = mass_var;
    g.Covariance(0)(1, 1) = time_var;
    g.Weight(0) = weight;
  };
  set(0.000004f, 1.0f, 0.3f);
  const double d = D::DScore(g, 0);
  EXPECT_NEAR(d, 0.3 * 0.1 * 3.0 / (0.002 * 1.0), 1e-3);
  // A d-score equal to the threshold passes; one just below it fails.
  EXPECT_FALSE(D::FailsStateTests(g, 0, d));
  EXPECT_TRUE(D::FailsStateTests(g, 0, std::nextafter(d, 1e9)));
  // A weight of 0.01 passes; anything below fails.
  set(0.000004f, 1.0f, 0.01f);
  EXPECT_FALSE(D::FailsStateTests(g, 0, 0.0));
  set(0.000004f, 1.0f, std::nextafter(0.01f, 0.0f));
  EXPECT_TRUE(D::FailsStateTests(g, 0, 0.0));
  // A time sigma of a third of the background's passes; a larger one fails.
  set(0.000004f, std::nextafter(1.0f, 2.0f), 0.3f);
  EXPECT_TRUE(D::FailsStateTests(g, 0, 0.0));
  // Three mass sigmas at 0.025 Da: the last variance below passes, the
  // first above fails.
  const float over = static_cast<float>((0.025 / 3) * (0.025 / 3));
  ASSERT_GT(3.0 * std::sqrt(static_cast<double>(over)), 0.025);
  const float under = std::nextafter(over, 0.0f);
  ASSERT_LE(3.0 * std::sqrt(static_cast<double>(under)), 0.025);
  set(under, 1.0f, 0.3f);
  EXPECT_FALSE(D::FailsStateTests(g, 0, 0.0));
  set(over, 1.0f, 0.3f);
  EXPECT_TRUE(D::FailsStateTests(g, 0, 0.0));
  // A broken fit never passes, whatever the thresholds.
  set(std::nanf(""), 1.0f, 0.3f);
  EXPECT_TRUE(D::FailsStateTests(g, 0, -1e300));
  set(0.0f, 1.0f, 0.3f);
  EXPECT_EQ(D::DScore(g, 0), 0.0);

  // Means round half up: w + 0.5 belongs to w + 1.
  EXPECT_TRUE(D::RoundsToShift(16.4999f, 16));
  EXPECT_FALSE(D::RoundsToShift(16.5f, 16));
  EXPECT_TRUE(D::RoundsToShift(15.5f, 16));
  EXPECT_FALSE(D::RoundsToShift(15.49f, 16));
  EXPECT_FALSE(D::RoundsToShift(std::nanf(""), 0));
}
