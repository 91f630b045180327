// Number parsing and the block-wise line reader behind the text importers.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>

#include "spectra/ImportSupport.h"
#include "spectra/MgfImporter.h"
#include "TestSupport.h"

using namespace spectra_test;

namespace {

using LineReader = ScratchDirTest;

TEST(ParseDouble, GivesTheValuesOfStrtod) {
  std::mt19937_64 random(42);
  std::vector<std::string> samples = {"0",        "0.0",        "-0.5",      "147.32979",
                                      "1.",       ".25",        "+3.5",      "1e3",
                                      "2.5E-3",   "123456789012345", "1234567890123456789",
                                      "0.1",      "0.30000000000000004", "999999999999999.9",
                                      "-12.000000000000001", "00000000000000000001.5"};
  char buffer[64];
  for (int i = 0; i < 20000; ++i) {
    const int decimals = static_cast<int>(random() % 9);
    const double v = static_cast<double>(random() % 100000000) / 97.0;
    std::snprintf(buffer, sizeof buffer, "%.*f", decimals, v);
    samples.push_back(buffer);
  }
  for (const std::string& text : samples) {
    // Alone, and followed by what may stand after a number in a line.
    for (const std::string tail : {"", " 12345678\r", "x", "\t3"}) {
      const std::string line = text + tail;
      std::string_view view = line;
      double value = 0.0;
      ASSERT_TRUE(spectra::ParseDouble(view, value)) << line;
      EXPECT_EQ(value, std::strtod(text.c_str(), nullptr)) << line;
      EXPECT_EQ(view, tail) << line;
    }
  }
  std::string_view rest = "12.5abc";
  double value = 0.0;
  ASSERT_TRUE(spectra::ParseDouble(rest, value));
  EXPECT_EQ(rest, "abc");
  for (const char* bad : {"", "abc", ".", "-", "+", "e5"}) {
    std::string_view view = bad;
    EXPECT_FALSE(spectra::ParseDouble(view, value)) << bad;
  }
}

TEST(SplitNumbers, CountsAndRefusals) {
  double v[3];
  EXPECT_EQ(spectra::SplitNumbers("  1.5\t2  ", v, 3), 2);
  EXPECT_EQ(v[1], 2.0);
  EXPECT_EQ(spectra::SplitNumbers("1 2 3 4", v, 3), -1);
  EXPECT_EQ(spectra::SplitNumbers("1 2x", v, 3), -1);
  EXPECT_EQ(spectra::SplitNumbers("1 nan", v, 3), -1);
  EXPECT_EQ(spectra::SplitNumbers("", v, 3), 0);
  int z = 0;
  EXPECT_TRUE(spectra::AsCharge(3.0, z));
  EXPECT_EQ(z, 3);
  EXPECT_FALSE(spectra::AsCharge(2.5, z));
  EXPECT_FALSE(spectra::AsCharge(1e300, z));
}

// Many spectra make a file larger than the reader's block, so that lines are
// cut at block ends; every value must still come through.
TEST_F(LineReader, LinesAcrossBlockBoundariesArriveWhole) {
  std::string text;
  const int count = 40000;
  char line[128];
  for (int i = 1; i <= count; ++i) {
    std::snprintf(line, sizeof line,
                  "BEGIN IONS\r\nTITLE=big.%d.%d.2.dta\r\nPEPMASS=%d.125\r\n", i, i, 400 + i % 1000);
    text += line;
    for (int k = 0; k < 8; ++k) {
      std::snprintf(line, sizeof line, "%d.%03d %d.5\r\n", 100 + 50 * k, i % 1000, k + 1);
      text += line;
    }
    text += "END IONS\r\n";
  }
  ASSERT_GT(text.size(), std::size_t{6} << 20);  // the reader's block is 4 MB
  Write("big.mgf", text);
  CMgfImporter importer;
  std::vector<msdata::CSpectrum> spectra;
  ASSERT_TRUE(importer.Load(File("big.mgf"), spectra, true)) << importer.LastError();
  ASSERT_EQ(spectra.size(), static_cast<std::size_t>(count));
  for (int i = 1; i <= count; ++i) {
    const msdata::CSpectrum& s = spectra[i - 1];
    ASSERT_EQ(s.first_scan, i);
    ASSERT_EQ(s.precursor_mz, 400 + i % 1000 + 0.125);
    ASSERT_EQ(s.peaks.size(), 8u);
    std::snprintf(line, sizeof line, "450.%03d", i % 1000);
    ASSERT_EQ(s.peaks[7].first, std::strtod(line, nullptr)) << i;
    ASSERT_EQ(s.peaks[7].second, 8.5);
  }
}

}  // namespace

namespace {

// The tenths a file's progress says for `done` running from 0 to `last` of
// `total` (a file that grows while it is read runs past its size).
std::vector<std::string> ProgressSaid(std::size_t total, std::size_t last) {
  std::vector<std::string> said;
  notify::ScopedHandler capture([&said](const std::string& m) { said.push_back(m); });
  spectra::Progress progress(true, "f");
  for (std::size_t done = 0; done <= last; ++done) progress.Update(done, total);
  return said;
}

TEST(ImportProgress, NeverPassesAHundredPercent) {
  EXPECT_TRUE(ProgressSaid(0, 5).empty());
  for (const std::size_t total : {1, 9, 19, 101}) {
    const std::vector<std::string> said = ProgressSaid(total, 3 * total);
    ASSERT_FALSE(said.empty()) << total;
    EXPECT_EQ(said.back(), "f: 100%") << total;
    // Each tenth at most once, rising.
    int before = 0;
    for (const std::string& m : said) {
      const int percent = std::atoi(m.c_str() + 3);
      EXPECT_GT(percent, before) << total << ": " << m;
      before = percent;
    }
  }
  EXPECT_EQ(ProgressSaid(1, 1), std::vector<std::string>{"f: 100%"});
  EXPECT_EQ(ProgressSaid(19, 19).size(), 10u);
  spectra::Progress quiet(false, "f");
  notify::ScopedHandler none([](const std::string& m) { ADD_FAILURE() << m; });
  quiet.Update(5, 10);
}

}  // namespace
