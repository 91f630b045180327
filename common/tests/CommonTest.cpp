#include <gtest/gtest.h>

#include "tests/support/ScratchDir.h"

#include <filesystem>
#include <sstream>
#include <unistd.h>

#include "common/Dta.h"
#include "common/DtaName.h"
#include "common/NameTables.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"

namespace fs = std::filesystem;

using testsupport::ReadFile;

using DtaFiles = ScratchDirTest;

TEST_F(DtaFiles, WritesExactTextAndReadsItBack) {
  msdata::CSpectrum s;
  s.precursor_mass = 800.5;
  s.charge = 2;
  s.peaks = {{100.25, 10.0}, {200.125, 3.5}};
  ASSERT_TRUE(msdata::WriteDta(s, File("a.1.1.2.dta")));
  EXPECT_EQ(ReadFile(File("a.1.1.2.dta")),
            "800.500000 2\n100.250000 10.000000\n200.125000 3.500000\n");

  msdata::CSpectrum back;
  std::string error;
  ASSERT_TRUE(msdata::ReadDta(File("a.1.1.2.dta"), back, error)) << error;
  EXPECT_EQ(back.name, "a.1.1.2.dta");
  EXPECT_EQ(back.charge, 2);
  EXPECT_DOUBLE_EQ(back.precursor_mass, 800.5);
  EXPECT_EQ(back.peaks, s.peaks);
  EXPECT_EQ(back.first_scan, 1);
}

TEST_F(DtaFiles, SpectrumWithoutPeaksIsOneLine) {
  msdata::CSpectrum s;
  s.precursor_mass = 1000.0;
  s.charge = 3;
  ASSERT_TRUE(msdata::WriteDta(s, File("empty.dta")));
  EXPECT_EQ(ReadFile(File("empty.dta")), "1000.000000 3\n");
  msdata::CSpectrum back;
  std::string error;
  ASSERT_TRUE(msdata::ReadDta(File("empty.dta"), back, error));
  EXPECT_TRUE(back.peaks.empty());
}

TEST_F(DtaFiles, BadInputIsReportedNotCrashed) {
  msdata::CSpectrum s;
  std::string error;
  EXPECT_FALSE(msdata::ReadDta(File("missing.dta"), s, error));
  EXPECT_NE(error.find("missing.dta"), std::string::npos);

  std::string garbage;
  for (int i = 0; i < 4096; ++i) garbage.push_back(static_cast<char>((i * 37) % 256));
  Write("garbage.dta", garbage);
  EXPECT_FALSE(msdata::ReadDta(File("garbage.dta"), s, error));

  Write("long.dta", "500.0 2\n" + std::string(100000, '1') + " 2.0 extra\n");
  EXPECT_FALSE(msdata::ReadDta(File("long.dta"), s, error));
  EXPECT_NE(error.find("line 2"), std::string::npos);

  Write("blank.dta", "\n\n");
  EXPECT_FALSE(msdata::ReadDta(File("blank.dta"), s, error));
}

TEST(DtaStream, CrlfReadsLikeLf) {
  std::istringstream crlf("900.5 2\r\n100.0 5.0\r\n\r\n");
  msdata::CSpectrum s;
  std::string error;
  ASSERT_TRUE(msdata::ReadDta(crlf, s, error)) << error;
  ASSERT_EQ(s.peaks.size(), 1u);
  EXPECT_DOUBLE_EQ(s.peaks[0].second, 5.0);
  EXPECT_NEAR(s.precursor_mz, (900.5 - msdata::kProtonMass) / 2 + msdata::kProtonMass, 1e-9);
}

TEST(DtaName, BuildsAndSplitsWithDottedPrefix) {
  EXPECT_EQ(msdata::MakeDtaName("run.A", 1234, 1236, 2), "run.A.1234.1236.2.dta");
  msdata::DtaNameParts parts;
  ASSERT_TRUE(msdata::ParseDtaName("run.A.1234.1236.2.dta", parts));
  EXPECT_EQ(parts.prefix, "run.A");
  EXPECT_EQ(parts.first_scan, 1234);
  EXPECT_EQ(parts.last_scan, 1236);
  EXPECT_EQ(parts.charge, 2);
  EXPECT_FALSE(msdata::ParseDtaName("1.2.dta", parts));
  EXPECT_FALSE(msdata::ParseDtaName("run.x.2.3.dta", parts));
  EXPECT_FALSE(msdata::ParseDtaName("", parts));
  EXPECT_FALSE(msdata::ParseDtaName("....", parts));
}

TEST(TextReading, WholeLinesOfAnyLengthAndCrlf) {
  std::string longline(5000, 'x');
  std::istringstream in("a\r\n" + longline + "\nlast");
  std::string line;
  ASSERT_TRUE(text::ReadLine(in, line));
  EXPECT_EQ(line, "a");
  ASSERT_TRUE(text::ReadLine(in, line));
  EXPECT_EQ(line.size(), 5000u);
  ASSERT_TRUE(text::ReadLine(in, line));
  EXPECT_EQ(line, "last");
  EXPECT_FALSE(text::ReadLine(in, line));
}

TEST(TextFields, SplitKeepsEmptyFields) {
  using V = std::vector<std::string>;
  EXPECT_EQ(text::Split("a,,b"), (V{"a", "", "b"}));
  EXPECT_EQ(text::Split(""), (V{""}));
  EXPECT_EQ(text::Split("x,"), (V{"x", ""}));
  EXPECT_EQ(text::Split("1;2", ';'), (V{"1", "2"}));
}

TEST(TextNumbers, BehaveLikeAtoiAndAtof) {
  EXPECT_EQ(text::AtoI("  42abc"), 42);
  EXPECT_EQ(text::AtoI("abc"), 0);
  EXPECT_EQ(text::AtoI(""), 0);
  EXPECT_EQ(text::AtoI("99999999999"), 2147483647);
  EXPECT_DOUBLE_EQ(text::AtoF(" 0.25 Da"), 0.25);
  EXPECT_DOUBLE_EQ(text::AtoF("x"), 0.0);
}

TEST(NameTables, IndexEqualsValue) {
  EXPECT_EQ(names::ToleranceTypeName(0), "Da");
  EXPECT_EQ(names::ToleranceTypeName(1), "ppm");
  EXPECT_EQ(names::ToleranceTypeName(2), "");
  EXPECT_EQ(names::SimilarMethodName(4), "Dot Product X");
  EXPECT_EQ(names::SimilarMethodName(8), "");
  EXPECT_EQ(names::SimilarMethodIndex("bonanza"), 6);
  EXPECT_EQ(names::SimilarMethodIndex("none"), -1);
}

TEST(Paths, SplitAcceptsBothSeparators) {
  EXPECT_EQ(path::FileName("C:\\data\\run1.mzML"), "run1.mzML");
  EXPECT_EQ(path::FileName("/data/run1.mzML"), "run1.mzML");
  EXPECT_EQ(path::DirectoryOf("/data/x/run1.mzML"), "/data/x");
  EXPECT_EQ(path::BaseName("/d/run.1.mzML"), "run.1");
  EXPECT_EQ(path::Extension("/d/run.1.mzML"), "mzml");
  EXPECT_EQ(path::Extension("/d/.hidden"), "");
}

using PathFiles = ScratchDirTest;

TEST_F(PathFiles, CopyOverwritesAndCreateMakesParents) {
  Write("a.txt", "new");
  Write("b.txt", "old old");
  EXPECT_TRUE(path::CopyFile(File("a.txt"), File("b.txt")));
  EXPECT_EQ(ReadFile(File("b.txt")), "new");
  EXPECT_FALSE(path::CopyFile(File("none.txt"), File("c.txt")));
  EXPECT_TRUE(path::CreateDirectory(File("x/y/z")));
  EXPECT_TRUE(path::IsDirectory(File("x/y/z")));
  EXPECT_FALSE(path::IsDirectory(File("a.txt")));
  EXPECT_TRUE(path::Exists(path::Join(dir_.string(), "a.txt")));
}

TEST(Notifier, ScopedHandlerReceivesAndRestores) {
  std::vector<std::string> outer, inner;
  notify::ScopedHandler a([&](const std::string& m) { outer.push_back(m); });
  {
    notify::ScopedHandler b([&](const std::string& m) { inner.push_back(m); });
    notify::Message("one");
  }
  notify::Message("two");
  EXPECT_EQ(inner, std::vector<std::string>{"one"});
  EXPECT_EQ(outer, std::vector<std::string>{"two"});
}
