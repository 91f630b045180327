#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <sstream>

#include "common/ErrorMarker.h"
#include "moddetect/CombinationFinder.h"
#include "moddetect/DetectionRun.h"
#include "moddetect/ResultOutput.h"
#include "TestSupport.h"

namespace {

class RunTest : public shftest::WorkingDirTest {};

const std::string kGoldenDir = std::string(TESSERA_SOURCE_DIR) + "/moddetect/tests/data/";

ModificationRecord Mod(double dm, double dt, int count = 0) {
  ModificationRecord r;
  r.delta_mass = dm;
  r.delta_time = dt;
  r.mass_sigma = 0.003;
  r.time_sigma = 0.2;
  r.d_score = 100.0;
  r.pair_count = count;
  return r;
}

PrecursorRecord Rec(double mh, double rt) {
  PrecursorRecord r;
  r.mh = mh;
  r.retention_time = rt;
  r.charge = 2;
  return r;
}

// Peptide P, P+a and P+a+b for a series of peptides: chains that make the
// sum modification explained through its terms.
std::vector<PrecursorRecord> Chains(int count, double a, double b, bool with_single_b) {
  std::vector<PrecursorRecord> out;
  for (int i = 0; i < count; ++i) {
    const double base = 800.0 + i * 37.123;
    out.push_back(Rec(base, 20));
    out.push_back(Rec(base + a, 21));
    out.push_back(Rec(base + a + b, 23));
    if (with_single_b) out.push_back(Rec(base + b, 22));
  }
  std::sort(out.begin(), out.end(), [](const PrecursorRecord& x, const PrecursorRecord& y) { return x.mh < y.mh; });
  return out;
}

std::string RunConsole(const std::string& config, int* status) {
  std::ostringstream out;
  CDetectionRun run(out);
  *status = run.Run(config);
  return out.str();
}

// The run time is printed as whole milliseconds in seconds.
void ExpectMillisecondTime(const std::string& console) {
  const std::string key = "\nTotal time consumed: ";
  const std::size_t at = console.find(key);
  ASSERT_NE(at, std::string::npos);
  const std::size_t begin = at + key.size();
  const std::size_t end = console.find("s\n", begin);
  ASSERT_NE(end, std::string::npos);
  const std::string value = console.substr(begin, end - begin);
  const double seconds = std::stod(value);
  EXPECT_GE(seconds, 0.0);
  EXPECT_NEAR(seconds * 1000.0, std::round(seconds * 1000.0), 1e-6) << value;
}

}  // namespace

TEST(CombinationFinder, CommonPositionsTakeTheFirstOfEachValue) {
  EXPECT_EQ(CCombinationFinder::CommonPositions({5, 3, 5, 7, 3}, {3, 5, 9}), (std::vector<std::int32_t>{0, 1}));
  EXPECT_TRUE(CCombinationFinder::CommonPositions({}, {1}).empty());
}

TEST(CombinationFinder, SumOfTwoIsTypeOne) {
  // a = 16, b = 14, sum 30: every P+30 spectrum is reached by both a then b
  // and b then a, so the counts balance and the sum becomes type 1.
  const auto reduced = Chains(20, 15.995, 14.016, true);
  std::vector<ModificationRecord> mods = {Mod(14.016, 2), Mod(15.995, 1), Mod(30.011, 3), Mod(42.0, 5)};
  CCombinationFinder().FindCombinations(reduced, mods);
  EXPECT_EQ(mods[2].type, 1);
  EXPECT_EQ(mods[2].first_partner, 1);
  EXPECT_EQ(mods[2].second_partner, 0);
  EXPECT_DOUBLE_EQ(mods[2].comb_score, 1.0);
  for (int i : {0, 1, 3}) {
    EXPECT_EQ(mods[i].type, 0);
    EXPECT_EQ(mods[i].first_partner, -1);
    EXPECT_EQ(mods[i].comb_score, 0.0);
  }
}

TEST(CombinationFinder, LopsidedChainsMakeTypeTwo) {
  // Without P+b spectra only the a-then-b road exists: the pairs of a
  // (P, P+a) rarely start a chain compared with the pairs of b, so b is
  // explained by the sum and a.
  const auto reduced = Chains(20, 15.995, 14.016, false);
  std::vector<ModificationRecord> mods = {Mod(14.016, 2), Mod(15.995, 1), Mod(30.011, 3)};
  CCombinationFinder().FindCombinations(reduced, mods);
  EXPECT_EQ(mods[0].type, 2);
  EXPECT_EQ(mods[0].first_partner, 2);
  EXPECT_EQ(mods[0].second_partner, 1);
  EXPECT_GT(mods[0].comb_score, 0.25);
  // A triple that involves a type-2 record cannot make the sum type 1.
  EXPECT_EQ(mods[2].type, 0);
  EXPECT_EQ(mods[1].type, 0);
}

TEST(CombinationFinder, NothingHappensWithoutPrecursorsOrSums) {
  std::vector<ModificationRecord> mods = {Mod(14.016, 2), Mod(15.995, 1), Mod(30.011, 3)};
  mods[2].comb_score = 9.0;
  CCombinationFinder().FindCombinations({Rec(1000, 1)}, mods);
  EXPECT_EQ(mods[2].type, 0);
  EXPECT_EQ(mods[2].comb_score, 9.0);
  // No supporting pairs at all: the fractions are 0, not NaN; the sum
  // still becomes type 1 with score 0.
  CCombinationFinder().FindCombinations({Rec(1000, 1), Rec(5000, 1)}, mods);
  EXPECT_EQ(mods[2].type, 1);
  EXPECT_EQ(mods[2].comb_score, 0.0);
}

TEST_F(RunTest, ResultTableAndFileFormats) {
  std::vector<ModificationRecord> mods = {Mod(15.99491, 3.25, 10), Mod(14.01565, -1.5, 40), Mod(30.0106, 2.0, 10)};
  mods[2].type = 1;
  mods[2].first_partner = 0;
  mods[2].second_partner = 1;
  std::ostringstream table;
  PrintResultTable(table, mods);
  EXPECT_EQ(table.str(),
            " delta_mass  delta_time   d-score   type         mass1         mass2\n"
            "   15.99491       3.250     100.0      0       0.00000       0.00000\n"
            "   14.01565      -1.500     100.0      0       0.00000       0.00000\n"
            "   30.01060       2.000     100.0      1      15.99491      14.01565\n");
  ASSERT_TRUE(WriteResultFile("temp.temp", mods));
  // Sorted by pair count; the partner masses still name the partners.
  EXPECT_EQ(testsupport::ReadFile("temp.temp"),
            "   14.01565,40,    -1.500,  100.0,   0,    0.00000,    0.00000\n"
            "   15.99491,10,     3.250,  100.0,   0,    0.00000,    0.00000\n"
            "   30.01060,10,     2.000,  100.0,   1,   15.99491,   14.01565\n");
  EXPECT_EQ(mods[2].first_partner, 1);
  EXPECT_EQ(mods[2].second_partner, 0);
  EXPECT_FALSE(WriteResultFile("no/dir/temp.temp", mods));
}

TEST_F(RunTest, GoldenRunOnSmallDump) {
  std::filesystem::copy_file(kGoldenDir + "small.dump", "small.dump");
  testsupport::WriteFile("run.cfg",
                     "[DATA]\nfilepath=small.dump\nfiletype=dump\nmasslower=400\nmassupper=6000\n"
                     "[MODIFICATION]\nmodmasslower=1\nmodmassupper=40\n"
                     "[PAIR]\nfindpair=1\nppthres=0.98\ndtaname=golden\npairpath=pairs\n"
                     "[OTHER]\nmaxndata=5000\n");
  int status = -1;
  const std::string console = RunConsole("run.cfg", &status);
  EXPECT_EQ(status, 0);
  EXPECT_FALSE(marker::ErrorMarkerExists());
  EXPECT_NE(console.find("Reading data...done("), std::string::npos);
  EXPECT_NE(console.find("Detecting modifications..1..2..3.."), std::string::npos);
  EXPECT_NE(console.find("40..finishing..done\n"), std::string::npos);
  EXPECT_NE(console.find(" potential modifications are discovered:\n"), std::string::npos);
  ExpectMillisecondTime(console);
  EXPECT_EQ(testsupport::ReadFile("temp.temp"), testsupport::ReadFile(kGoldenDir + "small.temp.temp"));
  std::vector<std::string> pair_files;
  for (const auto& e : std::filesystem::directory_iterator("pairs")) pair_files.push_back(e.path().filename().string());
  std::sort(pair_files.begin(), pair_files.end());
  ASSERT_EQ(pair_files.size(), 2u);
  for (const auto& f : pair_files)
    EXPECT_EQ(testsupport::ReadFile("pairs/" + f), testsupport::ReadFile(kGoldenDir + "small." + f)) << f;
}

TEST_F(RunTest, EmptyAndTinyData) {
  testsupport::WriteFile("d.dump", std::string(kDumpHeader));
  testsupport::WriteFile("r.cfg", "[data]\nfilepath=d.dump\nfiletype=x\n[modification]\nmodmasslower=3\nmodmassupper=5\n");
  int status = -1;
  const std::string console = RunConsole("r.cfg", &status);
  EXPECT_EQ(status, 0);
  EXPECT_NE(console.find("Reading data...done(0)\n"), std::string::npos);
  EXPECT_NE(console.find("Detecting modifications..3..4..5..finishing..done\n"), std::string::npos);
  EXPECT_NE(console.find("\nd.dump\n0 potential modifications are discovered:\n"), std::string::npos);
  ExpectMillisecondTime(console);
  EXPECT_EQ(testsupport::ReadFile("temp.temp"), "");

  // A zero tolerance still grows until one precursor is left.
  testsupport::WriteFile("two.dump", std::string(kDumpHeader) + "1 MS2 1 ITMS CID 0 2 1000 500\n2 MS2 2 ITMS CID 0 2 1016 508\n");
  testsupport::WriteFile("one.cfg", "[data]\nfilepath=two.dump\nfiletype=3\n[other]\nmaxndata=1\nmasstol=0\n");
  EXPECT_NE(RunConsole("one.cfg", &status).find("Removing redundancy...done(1)\n"), std::string::npos);
  EXPECT_EQ(status, 0);
}

TEST_F(RunTest, FailuresLeaveTheMarkerAndNoResult) {
  int status = 0;
  std::string console = RunConsole("missing.cfg", &status);
  EXPECT_EQ(status, 1);
  EXPECT_NE(console.find("Error: parameter file: missing.cfg does not exist!\n"), std::string::npos);
  EXPECT_TRUE(marker::ErrorMarkerExists());
  marker::RemoveErrorMarker();

  // Data that cannot be read: no result from an earlier run is mistaken
  // for this one's.
  testsupport::WriteFile("bad.cfg", "[data]\nfilepath=nowhere.dump\nfiletype=dump\n");
  console = RunConsole("bad.cfg", &status);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(HasMessage("Cannot read raw temp file: nowhere.dump"));
  EXPECT_TRUE(marker::ErrorMarkerExists());
  EXPECT_FALSE(std::filesystem::exists("temp.temp"));
  marker::RemoveErrorMarker();

  // Garbage configuration: defaults, raw type, empty path; the dumper
  // cannot be found beside the test program or fails on an empty path.
  std::string garbage;
  for (int i = 0; i < 3000; ++i) garbage += static_cast<char>((i * 97 + 13) % 256);
  testsupport::WriteFile("garbage.cfg", garbage);
  console = RunConsole("garbage.cfg", &status);
  EXPECT_EQ(status, 1);
  EXPECT_TRUE(marker::ErrorMarkerExists());
  marker::RemoveErrorMarker();

  // Post-search needs its identifications: a file that cannot be read
  // fails the run before the data are read.
  testsupport::WriteFile("d.dump", std::string(kDumpHeader) + "1 MS2 1 ITMS CID 0 2 1000 500\n2 MS2 2 ITMS CID 0 2 1016 508\n");
  testsupport::WriteFile("p.cfg", "[data]\nfilepath=d.dump\nfiletype=3\n[mode]\npostsearch=1\nidentspectfile=none.txt\n"
                              "[other]\nmaxndata=1\nmasstol=0\n");
  console = RunConsole("p.cfg", &status);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(console.find("Reading data..."), std::string::npos) << console;
  EXPECT_NE(console.find("Error: cannot read the identification file: none.txt\n"), std::string::npos) << console;
  EXPECT_TRUE(marker::ErrorMarkerExists());
}

TEST_F(RunTest, ShiftscanExecutableEndToEnd) {
  const char* exe = std::getenv("SHIFTSCAN_EXE");
  if (!exe) GTEST_SKIP() << "SHIFTSCAN_EXE not set";
  std::filesystem::copy_file(kGoldenDir + "small.dump", "my small.dump");
  testsupport::WriteFile("my run.cfg",
                     "[DATA]\r\nfilepath=my small.dump\r\nfiletype=DUMP\r\n[MODIFICATION]\r\nmodmasslower=1\r\n"
                     "modmassupper=40\r\n[PAIR]\r\nfindpair=1\r\nppthres=0.98\r\ndtaname=golden\r\npairpath=pairs\r\n");
  // The path arrives split in two arguments and is joined again.
  const std::string cmd = std::string("\"") + exe + "\" my run.cfg < /dev/null > console.txt";
  EXPECT_EQ(std::system(cmd.c_str()), 0);
  const std::string console = testsupport::ReadFile("console.txt");
  EXPECT_EQ(console.rfind("---------------------------------------------------------------------------|\n", 0), 0u);
  EXPECT_NE(console.find("Tessera version v1.0\n"), std::string::npos);
  EXPECT_NE(console.find("Total time consumed: "), std::string::npos);
  EXPECT_NE(console.find("Press any key to continue...\n"), std::string::npos);
  EXPECT_EQ(console.find("\033"), std::string::npos);  // no clearing into a file
  EXPECT_EQ(testsupport::ReadFile("temp.temp"), testsupport::ReadFile(kGoldenDir + "small.temp.temp"));

  const std::string missing = std::string("\"") + exe + "\" nothing.cfg < /dev/null > console2.txt";
  // The exit status is 0 even on failure; the marker is the failure signal.
  EXPECT_EQ(std::system(missing.c_str()), 0);
  EXPECT_TRUE(marker::ErrorMarkerExists());
}

TEST(CombinationFinder, SumOfOneWithItselfAndTheStrongestTripleWins) {
  // P, P+a and P+2a: the double shift is a plus a.
  std::vector<PrecursorRecord> reduced;
  for (int i = 0; i < 15; ++i) {
    const double base = 800.0 + i * 37.123;
    reduced.push_back(Rec(base, 20));
    reduced.push_back(Rec(base + 14.016, 21));
    reduced.push_back(Rec(base + 28.032, 22));
  }
  std::sort(reduced.begin(), reduced.end(),
            [](const PrecursorRecord& x, const PrecursorRecord& y) { return x.mh < y.mh; });
  std::vector<ModificationRecord> mods = {Mod(14.016, 1), Mod(28.032, 2)};
  CCombinationFinder().FindCombinations(reduced, mods);
  EXPECT_EQ(mods[1].type, 1);
  EXPECT_EQ(mods[1].first_partner, 0);
  EXPECT_EQ(mods[1].second_partner, 0);
  EXPECT_DOUBLE_EQ(mods[1].comb_score, 1.0);
  EXPECT_EQ(mods[0].type, 0);

  // 30.011 is both 10.5 + 19.511 (no chains, support 0) and 15.995 +
  // 14.016 (support 1). The stronger triple wins although met later ...
  const auto chains = Chains(20, 15.995, 14.016, true);
  std::vector<ModificationRecord> weak_first = {Mod(10.5, 7), Mod(19.511, 9), Mod(14.016, 2), Mod(15.995, 1),
                                                Mod(30.011, 3)};
  CCombinationFinder().FindCombinations(chains, weak_first);
  EXPECT_EQ(weak_first[4].type, 1);
  EXPECT_EQ(weak_first[4].first_partner, 3);
  EXPECT_EQ(weak_first[4].second_partner, 2);
  EXPECT_DOUBLE_EQ(weak_first[4].comb_score, 1.0);
  // ... and a weaker one met later does not replace it.
  std::vector<ModificationRecord> strong_first = {Mod(14.016, 2), Mod(15.995, 1), Mod(10.5, 7), Mod(19.511, 9),
                                                  Mod(30.011, 3)};
  CCombinationFinder().FindCombinations(chains, strong_first);
  EXPECT_EQ(strong_first[4].type, 1);
  EXPECT_EQ(strong_first[4].first_partner, 1);
  EXPECT_EQ(strong_first[4].second_partner, 0);
  // Equal support values (none of these has a chain): the first one met stays.
  std::vector<ModificationRecord> ties = {Mod(10.5, 7), Mod(19.511, 9), Mod(12.0, 2), Mod(18.011, 1),
                                          Mod(30.011, 3)};
  CCombinationFinder().FindCombinations({Rec(1000, 1), Rec(5000, 1)}, ties);
  EXPECT_EQ(ties[4].type, 1);
  EXPECT_EQ(ties[4].first_partner, 1);
  EXPECT_EQ(ties[4].second_partner, 0);
  EXPECT_EQ(ties[4].comb_score, 0.0);
}
