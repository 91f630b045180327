// Quillon: de-duplication, mass index, pair histograms and walks, background
// statistics, tail tests and the float-list dumps.

#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <filesystem>
#include <string>

#include "tests/support/ScratchDir.h"
#include "massshift/Quillon.h"

namespace {

msdata::CSpectrum Precursor(double mass, int scan = 1, int charge = 2, const std::string& base = "run") {
  msdata::CSpectrum s;
  s.precursor_mass = mass;
  s.charge = charge;
  s.name = base + "." + std::to_string(scan) + "." + std::to_string(scan) + "." +
           std::to_string(charge) + ".dta";
  return s;
}

std::vector<double> Masses(const SpectrumList& spectra) {
  std::vector<double> m;
  for (const auto& s : spectra) m.push_back(s.precursor_mass);
  return m;
}

using testsupport::ReadFile;

}  // namespace

TEST(Quillon, SortingAndRedundancyRemoval) {
  SpectrumList one{Precursor(500.0)}, out{Precursor(1.0), Precursor(2.0)};
  RemoveRedundancy_(one, out, 10.0);
  EXPECT_EQ(Masses(out), std::vector<double>({500.0}));

  // 1000.000, 1000.005, 1000.009 lie within 10 ppm of their neighbours; the
  // middle one stands for the group. 900 and 800 are alone.
  SpectrumList many{Precursor(1000.009, 1), Precursor(1000.005, 2), Precursor(1000.0, 3), Precursor(900.0, 4),
                    Precursor(800.0, 5)};
  RemoveRedundancy_(many, out, 10.0);
  ASSERT_EQ(Masses(out), std::vector<double>({1000.005, 900.0, 800.0}));
  EXPECT_EQ(out[0].name, "run.2.2.2.dta");
  RemoveRedundancy_(SpectrumList{}, out, 10.0);
  EXPECT_TRUE(out.empty());

  // Charge groups first (highest charge first), each descending in mass; ties
  // keep their order.
  SpectrumList mixed{Precursor(500.0, 1, 2), Precursor(700.0, 2, 1), Precursor(600.0, 3, 3), Precursor(900.0, 4, 2),
                     Precursor(500.0, 5, 2)};
  SortSpectraByMassAndCharge(mixed);
  EXPECT_EQ(Masses(mixed), std::vector<double>({600.0, 900.0, 500.0, 500.0, 700.0}));
  EXPECT_EQ(mixed[2].name, "run.1.1.2.dta");
  SortSpectraByMass(mixed);
  EXPECT_EQ(Masses(mixed), std::vector<double>({900.0, 700.0, 600.0, 500.0, 500.0}));
}

TEST(Quillon, MassIndexAndScanNumbers) {
  SpectrumList spectra{Precursor(499.7, 30), Precursor(501.2, 10), Precursor(501.1, 20)};
  std::vector<int> index;
  ASSERT_TRUE(GetMassIndex(spectra, index));
  ASSERT_EQ(index.size(), 502u);
  for (std::size_t m = 0; m < index.size(); ++m) {
    EXPECT_EQ(index[m], m == 501 ? 0 : m == 499 ? 2 : -1) << m;
  }
  EXPECT_EQ(Masses(spectra), std::vector<double>({501.2, 501.1, 499.7}));
  SpectrumList none;
  EXPECT_FALSE(GetMassIndex(none, index));

  SpectrumList named{Precursor(1.0, 120, 2, "BSA.3"), Precursor(1.0, 7, 3, "plain"), Precursor(1.0)};
  named[2].name = "no-fields";
  std::vector<int> scans, raw, again;
  GetRtRaw_(named, scans, raw);
  EXPECT_EQ(scans, std::vector<int>({120, 7, 0}));
  EXPECT_EQ(raw, std::vector<int>({3, 0, 0}));
  GetRt_(named, again);
  GetRawNumber_(named, again);  // appends
  EXPECT_EQ(again, std::vector<int>({120, 7, 0, 120, 7, 0}));
}

TEST(Quillon, PairHistogramRecordsWhereEachShiftStarts) {
  SpectrumList spectra{Precursor(300.0, 10), Precursor(200.2, 20), Precursor(199.9, 30), Precursor(100.0, 40)};
  quillon::Histogram histogram{{9, 9.0}};
  quillon::PairMap pairs{{7.5, {{9, 9}}}};
  ASSERT_TRUE(ComputeMassX_(spectra, 0.0, 150.0, 50.0, histogram, pairs, true));
  EXPECT_EQ(histogram, quillon::Histogram({{1, 0.0}, {2, 50.0}, {2, 100.0}}));
  EXPECT_EQ(pairs, quillon::PairMap({{-0.5, {{1, 2}}},
                                     {99.5, {{0, 1}, {1, 3}}},
                                     {199.5, {{0, 3}}}}));

  // The walk from each recorded start under 99.5 stays below 100.5 Da.
  std::vector<int> scans;
  GetRt_(spectra, scans);
  quillon::MassScanPairs walked{{1.0, 1}};
  int max_diff = -100, min_diff = 100;
  ComputeMassRTX_(spectra, scans, walked, pairs, 99.5, max_diff, min_diff);
  ASSERT_EQ(walked.size(), 4u);
  EXPECT_NEAR(walked[1].first, 99.8, 1e-9);
  EXPECT_EQ(walked[1].second, -10);
  EXPECT_NEAR(walked[2].first, 100.1, 1e-9);
  EXPECT_NEAR(walked[3].first, 100.2, 1e-9);
  EXPECT_EQ(walked[3].second, -20);
  EXPECT_EQ(max_diff, -10);
  EXPECT_EQ(min_diff, -20);
  ComputeMassRTX_(spectra, scans, walked, pairs, 42.5, max_diff, min_diff);  // no such key
  EXPECT_EQ(walked.size(), 4u);

  // Without recording the map is left alone; without a bin width there are
  // no bins, but the pairs are still recorded.
  ComputeMassX_(spectra, 0.0, 150.0, 50.0, histogram, pairs, false);
  EXPECT_EQ(pairs.size(), 3u);
  pairs.clear();
  ComputeMassX_(spectra, 0.0, 150.0, 0.0, histogram, pairs, true);
  EXPECT_TRUE(histogram.empty());
  EXPECT_EQ(pairs.size(), 3u);
}

class QuillonDump : public ScratchDirTest {};

TEST_F(QuillonDump, OnePointDumpsDifferencesAsPickledFloatLists) {
  ASSERT_TRUE(quillon::DumpFloatList({1.5, 2.25}, File("list.dat").c_str()));
  EXPECT_EQ(ReadFile(File("list.dat")), "(lp1\nF1.500000\naF2.250000\na.\n");
  ASSERT_TRUE(quillon::DumpFloatList({}, File("empty.dat").c_str()));
  EXPECT_EQ(ReadFile(File("empty.dat")), "(lp1\n.\n");

  // Pairs within 0.5 of 16 Da, from the current directory's dumps.
  SpectrumList spectra{Precursor(532.0, 50), Precursor(516.1, 42), Precursor(515.8, 40), Precursor(500.0, 10)};
  std::vector<std::pair<int, int>> pairs{{7, 7}};
  // A link planted at a dump's fixed name is replaced, not written through.
  const std::string outside = Write("outside.txt", "keep");
  std::filesystem::create_symlink(outside, File("MassX.dat"));
  {
    testsupport::CCurrentDir inside(dir_);
    ComputeMassXOnePoint_(spectra, 0.0, 0.0, 0.5, 16.0, pairs);
  }
  EXPECT_EQ(pairs, (std::vector<std::pair<int, int>>{{0, 1}, {0, 2}, {1, 3}, {2, 3}}));
  EXPECT_EQ(ReadFile(File("MassX.dat")),
            "(lp1\nF15.900000\naF16.200000\naF16.100000\naF15.800000\na.\n");
  EXPECT_EQ(ReadFile(File("RTX.dat")),
            "(lp1\nF8.000000\naF10.000000\naF32.000000\naF30.000000\na.\n");
  EXPECT_EQ(ReadFile(outside), "keep");
}

TEST(Quillon, OneShiftPairsMatchEveryPairWithinHalfADalton) {
  // Masses with repeats, gaps and differences right at the window edges.
  SpectrumList spectra;
  const double masses[] = {900.0, 899.0, 898.5, 898.4, 897.0, 897.0, 896.6, 890.0,
                           889.0, 888.9, 887.3, 880.0, 879.5, 878.7, 870.2};
  int scan = 1;
  for (double m : masses) spectra.push_back(Precursor(m, scan * 7 % 23, 2 + scan % 2, "r")), ++scan;
  SpectrumList sorted = spectra;
  std::vector<int> index;
  ASSERT_TRUE(GetMassIndex(sorted, index));
  std::vector<int> scans;
  GetRt_(sorted, scans);

  std::vector<double> all_mass, all_scan;
  std::vector<int> all_flags;
  for (int shift = 0; shift <= 12; ++shift) {
    std::vector<double> expect_mass, expect_scan, mass, scan_diff;
    std::vector<int> expect_flags, flags;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
      for (std::size_t j = i + 1; j < sorted.size(); ++j) {
        const double d = sorted[i].precursor_mass - sorted[j].precursor_mass;
        if (std::fabs(d - shift) < 0.5) {
          expect_mass.push_back(d);
          expect_scan.push_back(scans[i] - scans[j]);
          expect_flags.push_back(sorted[i].charge == sorted[j].charge);
        }
      }
    }
    ASSERT_TRUE(ComputeMassXWithOnePosition_(sorted, index, mass, scan_diff, flags, shift));
    EXPECT_EQ(mass, expect_mass) << "shift " << shift;
    EXPECT_EQ(scan_diff, expect_scan) << "shift " << shift;
    EXPECT_EQ(flags, expect_flags) << "shift " << shift;
    all_mass.insert(all_mass.end(), mass.begin(), mass.end());
    all_scan.insert(all_scan.end(), scan_diff.begin(), scan_diff.end());
    all_flags.insert(all_flags.end(), flags.begin(), flags.end());
  }
  EXPECT_GT(all_mass.size(), 20u);

  // The batch over shifts sorts the caller's list and appends shift by shift.
  std::vector<double> mass{5.0}, scan_diff;
  std::vector<int> flags;
  ASSERT_TRUE(ComputeMassX_4Shiftscan_(spectra, mass, scan_diff, flags, 0, 12));
  EXPECT_EQ(Masses(spectra), Masses(sorted));
  EXPECT_EQ(mass, all_mass);
  EXPECT_EQ(scan_diff, all_scan);
  EXPECT_EQ(flags, all_flags);

  SpectrumList none;
  EXPECT_FALSE(ComputeMassXWithOnePosition_(none, index, mass, scan_diff, flags, 1));
  EXPECT_TRUE(mass.empty());
  EXPECT_TRUE(ComputeMassX_4Shiftscan_(none, mass, scan_diff, flags, 1, 3));
}

// One precursor mass no instrument measures must not make the mass index
// (one entry per dalton) claim gigabytes, nor be cast out of range.
TEST(Quillon, AbsurdPrecursorMassesAreRefused) {
  const double nan = std::nan("");
  for (double absurd : {3e9, 1e300, -1e300, nan, HUGE_VAL, 5e8}) {
    SpectrumList spectra{Precursor(1016.0, 2), Precursor(absurd, 1), Precursor(1000.0, 3)};
    std::vector<int> index{1, 2};
    EXPECT_FALSE(GetMassIndex(spectra, index)) << absurd;
    EXPECT_TRUE(index.empty()) << absurd;
    std::vector<double> mass{5.0}, scan_diff{5.0};
    std::vector<int> flags{1};
    EXPECT_FALSE(ComputeMassX_4Shiftscan_(spectra, mass, scan_diff, flags, 1, 20)) << absurd;
    EXPECT_TRUE(mass.empty() && scan_diff.empty() && flags.empty()) << absurd;
  }
  // Shifts at the ends of the int range find nothing, without overflow.
  SpectrumList spectra{Precursor(1016.0, 2), Precursor(1000.0, 3)};
  std::vector<int> index;
  ASSERT_TRUE(GetMassIndex(spectra, index));
  std::vector<double> mass, scan_diff;
  std::vector<int> flags;
  for (int shift : {INT_MAX, INT_MIN, 16}) {
    EXPECT_TRUE(ComputeMassXWithOnePosition_(spectra, index, mass, scan_diff, flags, shift));
    EXPECT_EQ(mass.size(), shift == 16 ? 1u : 0u) << shift;
  }
}

TEST(Quillon, HistogramBackgroundAndBinWidth) {
  EXPECT_EQ(GetMaxNumIndex_({{3, 1.0}, {7, 2.0}, {7, 3.0}}), 1);
  EXPECT_EQ(GetMaxNumIndex_({{0, 1.0}, {-2, 2.0}}), 0);
  EXPECT_EQ(GetMaxNumIndex_({}), -1);

  // Cells: [0, 0.5) best 3, [0.5, 1.5) best 5, [1.5, 2.5) 4, [2.5, 3.5) 9.
  // Median 4, lowest 3: the background is the cells up to 5.
  double mean = -1.0, sd = -1.0;
  quillon::Histogram cells;
  GetMeanAndVariance_({{1, 0.0}, {3, 0.25}, {2, 0.5}, {0, 0.75}, {5, 1.0}, {4, 1.5}, {9, 2.5},
                       {1, 3.0}},
                      mean, sd, cells);
  EXPECT_DOUBLE_EQ(mean, 4.0);
  EXPECT_NEAR(sd, std::sqrt(2.0 / 3.0), 1e-12);
  EXPECT_EQ(cells, quillon::Histogram({{3, 0.25}, {5, 1.0}, {4, 1.5}, {9, 2.5}}));
  GetMeanAndVariance_({}, mean, sd, cells);
  EXPECT_EQ(mean, 0.0);
  EXPECT_EQ(sd, 0.0);
  EXPECT_TRUE(cells.empty());

  // Pairs of bins spread the three cells most (3, 7, 11); triples leave two
  // cells of which only one is background.
  EXPECT_DOUBLE_EQ(GetBestBin_({{1, 0.0}, {2, 0.1}, {3, 1.0}, {4, 1.1}, {5, 2.0}, {6, 2.1}}), 0.02);
  EXPECT_DOUBLE_EQ(GetBestBin_({{0, 0.0}, {0, 0.01}, {0, 1.0}}), 0.01);
}

TEST(Quillon, GaussianTailSelection) {
  std::vector<int> positions{99};
  GetModification_({{15, 1.0}, {12, 2.0}, {10, 3.0}, {16, 4.0}}, positions, 10.0, 2.0, 0.05);
  EXPECT_EQ(positions, std::vector<int>({0, 3}));
  double high = 15.0, mid = 12.0;
  EXPECT_TRUE(IsFitPValue_(high, 10.0, 2.0, 0.05));
  EXPECT_FALSE(IsFitPValue_(mid, 10.0, 2.0, 0.05));
  // A flat background: anything above it stands out, nothing else.
  GetModification_({{4, 1.0}, {5, 2.0}}, positions, 4.0, 0.0, 0.05);
  EXPECT_EQ(positions, std::vector<int>({1}));
}
