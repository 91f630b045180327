// DTA, DTAS, MGF and PKL input, and the factory.

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <typeinfo>

#include "common/DtaName.h"
#include "spectra/DtaImporter.h"
#include "spectra/DtasImporter.h"
#include "spectra/MgfImporter.h"
#include "spectra/MzImporter.h"
#include "spectra/PklImporter.h"
#include "spectra/RawImporter.h"
#include "TestSupport.h"

using namespace spectra_test;

namespace {

// Suites whose tests write files, each into a folder of its own.
using Mgf = ScratchDirTest;
using Dta = ScratchDirTest;
using Dtas = ScratchDirTest;
using Pkl = ScratchDirTest;

double MH(double mz, int z) { return (mz - msdata::kProtonMass) * z + msdata::kProtonMass; }

TEST(Factory, OneImporterPerFormatAndNothingOutsideTheList) {
  CMS2InputFactory factory;
  auto kind = [&](int type) -> std::string {
    std::unique_ptr<CMS2Input> p(factory.GetImporter(static_cast<MS2FormatType>(type), true));
    return p ? typeid(*p).name() : "null";
  };
  EXPECT_EQ(kind(0), typeid(CDtaImporter).name());
  EXPECT_EQ(kind(1), typeid(CDtasImporter).name());
  EXPECT_EQ(kind(2), typeid(CMgfImporter).name());
  EXPECT_EQ(kind(3), typeid(CPklImporter).name());
  EXPECT_EQ(kind(4), typeid(CMzImporter).name());
  EXPECT_EQ(kind(5), typeid(CMzImporter).name());
  EXPECT_EQ(kind(6), typeid(CRawImporter).name());
  EXPECT_EQ(kind(7), "null");
  EXPECT_EQ(kind(-1), "null");
}

TEST(Raw, FailsWithAdviceToConvert) {
  LoadResult r = LoadWith(MS2_FORMAT_RAW, "/data/run.raw");
  EXPECT_FALSE(r.ok);
  EXPECT_TRUE(r.spectra.empty());
  EXPECT_NE(r.error.find("/data/run.raw"), std::string::npos);
  EXPECT_NE(r.error.find("mzML"), std::string::npos);
  EXPECT_NE(r.error.find("msconvert"), std::string::npos);
}

TEST_F(Mgf, NamesChargesMassesAndTimes) {
  LoadResult r = LoadWith(MS2_FORMAT_MGF, DataPath("basic.mgf"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_TRUE(r.messages.empty());
  std::vector<std::string> names;
  for (const auto& s : r.spectra) names.push_back(s.name);
  EXPECT_EQ(names, (std::vector<std::string>{"run1.100.100.2.dta", "basic.200.202.2.dta",
                                             "basic.200.202.3.dta", "sample.300.300.3.dta",
                                             "basic.4.4.2.dta", "basic.512.512.1.dta"}));
  const msdata::CSpectrum& a = r.spectra[0];
  EXPECT_EQ(a.charge, 2);
  EXPECT_DOUBLE_EQ(a.precursor_mz, 500.5);
  EXPECT_DOUBLE_EQ(a.precursor_mass, MH(500.5, 2));
  EXPECT_DOUBLE_EQ(a.retention_time, 60.5);
  EXPECT_EQ(a.first_scan, 100);
  EXPECT_EQ(a.last_scan, 100);
  // Peaks come out ascending whatever the file's order.
  ASSERT_EQ(a.peaks.size(), 3u);
  EXPECT_EQ(a.peaks[0], msdata::Peak(200.2, 20.5));
  EXPECT_EQ(a.peaks[2], msdata::Peak(400.3, 30.0));

  const msdata::CSpectrum& b3 = r.spectra[2];
  EXPECT_EQ(b3.charge, 3);
  EXPECT_DOUBLE_EQ(b3.precursor_mass, MH(600.3, 3));
  EXPECT_EQ(b3.first_scan, 200);
  EXPECT_EQ(b3.last_scan, 202);
  EXPECT_EQ(b3.peaks, r.spectra[1].peaks);

  const msdata::CSpectrum& c = r.spectra[3];
  EXPECT_DOUBLE_EQ(c.retention_time, 180.25);
  ASSERT_EQ(c.peaks.size(), 1u);  // third column (fragment charge) dropped
  EXPECT_EQ(c.peaks[0], msdata::Peak(100.5, 5.0));
  EXPECT_DOUBLE_EQ(r.spectra[5].precursor_mass, 900.9);  // charge 1: MH+ is the m/z
}

TEST_F(Mgf, SpectraWithoutChargeBecomeCharge2And3) {
  const std::string path = Write(
      "nocharge.mgf", "BEGIN IONS\nTITLE=x\nPEPMASS=450.5\nRTINSECONDS=12\n100 1\nEND IONS\n");
  LoadResult r = LoadWith(MS2_FORMAT_MGF, path);
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), 2u);
  EXPECT_EQ(r.spectra[0].name, "nocharge.1.1.2.dta");
  EXPECT_EQ(r.spectra[1].name, "nocharge.1.1.3.dta");
  EXPECT_DOUBLE_EQ(r.spectra[0].precursor_mass, MH(450.5, 2));
  EXPECT_DOUBLE_EQ(r.spectra[1].precursor_mass, MH(450.5, 3));
  EXPECT_DOUBLE_EQ(r.spectra[1].precursor_mz, 450.5);
  EXPECT_DOUBLE_EQ(r.spectra[1].retention_time, 12.0);

  // A DTA-style title keeps its charge when the spectrum states none.
  Write("titled.mgf", "BEGIN IONS\nTITLE=r.5.5.3.dta\nPEPMASS=450.5\n100 1\nEND IONS\n");
  r = LoadWith(MS2_FORMAT_MGF, File("titled.mgf"));
  ASSERT_EQ(r.spectra.size(), 1u);
  EXPECT_EQ(r.spectra[0].name, "r.5.5.3.dta");
  EXPECT_EQ(r.spectra[0].charge, 3);
}

TEST_F(Mgf, ChargeNotations) {
  Write("charges.mgf",
               "BEGIN IONS\nPEPMASS=500\nCHARGE=2+,3+,4+\n100 1\nEND IONS\n"
               "BEGIN IONS\nPEPMASS=500\nCHARGE=3-\n100 1\nEND IONS\n"
               "BEGIN IONS\nPEPMASS=500\nCHARGE=4\n100 1\nEND IONS\n");
  LoadResult r = LoadWith(MS2_FORMAT_MGF, File("charges.mgf"));
  ASSERT_TRUE(r.ok) << r.error;
  std::vector<int> charges;
  for (const auto& s : r.spectra) charges.push_back(s.charge);
  EXPECT_EQ(charges, (std::vector<int>{2, 3, 4, -3, 4}));
  // A negative ion [M-3H]3-: neutral mass plus one proton.
  EXPECT_DOUBLE_EQ(r.spectra[3].precursor_mass,
                   (500 + msdata::kProtonMass) * 3 + msdata::kProtonMass);
  EXPECT_EQ(r.spectra[3].name, "charges.2.2.-3.dta");
}

TEST_F(Mgf, NamesStayUniqueAndLoadsAppendOrReplace) {
  const std::string twice = "BEGIN IONS\nTITLE=a.1.1.2.dta\nPEPMASS=500\n100 1\nEND IONS\n";
  Write("dup.mgf", twice + twice + twice);
  CMgfImporter importer;
  std::vector<msdata::CSpectrum> spectra;
  ASSERT_TRUE(importer.Load(File("dup.mgf"), spectra, true));
  ASSERT_EQ(spectra.size(), 3u);
  EXPECT_EQ(spectra[0].name, "a.1.1.2.dta");
  EXPECT_EQ(spectra[1].name, "a_2.1.1.2.dta");
  EXPECT_EQ(spectra[2].name, "a_3.1.1.2.dta");
  msdata::DtaNameParts parts;
  EXPECT_TRUE(msdata::ParseDtaName(spectra[2].name, parts));
  EXPECT_EQ(parts.first_scan, 1);

  ASSERT_TRUE(importer.Load(File("dup.mgf"), spectra, false));
  EXPECT_EQ(spectra.size(), 6u);
  EXPECT_EQ(spectra[3].name, "a_4.1.1.2.dta");
  ASSERT_TRUE(importer.Load(File("dup.mgf"), spectra, true));
  EXPECT_EQ(spectra.size(), 3u);
}

TEST_F(Mgf, CrlfReadsLikeLf) {
  std::string text = "BEGIN IONS\nTITLE=t.9.9.2.dta\nPEPMASS=612.5 10\nCHARGE=2+\n"
                     "RTINSECONDS=33.5\n101.5 7\n202.5 8\nEND IONS\n";
  Write("lf.mgf", text);
  std::string crlf;
  for (char c : text) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
  Write("crlf.mgf", crlf);
  LoadResult a = LoadWith(MS2_FORMAT_MGF, File("lf.mgf"));
  LoadResult b = LoadWith(MS2_FORMAT_MGF, File("crlf.mgf"));
  ASSERT_TRUE(a.ok && b.ok);
  ASSERT_EQ(a.spectra.size(), 1u);
  ASSERT_EQ(b.spectra.size(), 1u);
  EXPECT_EQ(a.spectra[0].name, b.spectra[0].name);
  EXPECT_EQ(a.spectra[0].peaks, b.spectra[0].peaks);
  EXPECT_EQ(a.spectra[0].precursor_mass, b.spectra[0].precursor_mass);
  EXPECT_EQ(a.spectra[0].retention_time, b.spectra[0].retention_time);
}

TEST_F(Mgf, BadSpectraAreSkippedAndReportedWithFileLineAndText) {
  Write("bad.mgf",
               "BEGIN IONS\nPEPMASS=500\nCHARGE=2+\n100 1\nEND IONS\n"   // lines 1-5 good
               "BEGIN IONS\nPEPMASS=510\nCHARGE=2+\nhello world\n100 1\nEND IONS\n"  // line 9 bad
               "BEGIN IONS\nCHARGE=2+\n100 1\nEND IONS\n"                 // no PEPMASS
               "BEGIN IONS\nPEPMASS=abc\nEND IONS\n"                      // bad PEPMASS
               "BEGIN IONS\nPEPMASS=530\nCHARGE=2+\n100 1 \n");         // cut off
  LoadResult r = LoadWith(MS2_FORMAT_MGF, File("bad.mgf"));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), 1u);
  EXPECT_DOUBLE_EQ(r.spectra[0].precursor_mz, 500.0);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].find("skipped 4 records"), std::string::npos) << r.messages[0];
  EXPECT_NE(r.messages[0].find("bad.mgf:9: \"hello world\""), std::string::npos) << r.messages[0];
}

TEST_F(Mgf, GarbageEmptyAndMissingFilesFailCleanly) {
  LoadResult r = LoadWith(MS2_FORMAT_MGF, "no/such/file.mgf");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "Cannot open file: no/such/file.mgf");

  Write("empty.mgf", "");
  r = LoadWith(MS2_FORMAT_MGF, File("empty.mgf"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(File("empty.mgf")), std::string::npos);

  std::string binary;
  for (int i = 0; i < 200000; ++i) binary += static_cast<char>((i * 7919) % 256);
  Write("binary.mgf", binary);
  r = LoadWith(MS2_FORMAT_MGF, File("binary.mgf"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("binary.mgf:"), std::string::npos) << r.error;
  EXPECT_NE(r.error.find("lies outside BEGIN IONS"), std::string::npos) << r.error;
  EXPECT_EQ(r.error.find('\xff'), std::string::npos);

  // A multi-megabyte line inside a spectrum is one bad line, not a crash.
  Write("huge.mgf", "BEGIN IONS\nPEPMASS=500\n" + std::string(9 << 20, '7') + "x\nEND IONS\n" +
                               "BEGIN IONS\nPEPMASS=600\n100 1\nEND IONS\n");
  r = LoadWith(MS2_FORMAT_MGF, File("huge.mgf"));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), 2u);  // charges 2 and 3 of the second spectrum
  EXPECT_DOUBLE_EQ(r.spectra[0].precursor_mz, 600.0);

  // Numbers out of range are refused, not loaded as inf.
  Write("inf.mgf", "BEGIN IONS\nPEPMASS=500\n1e999 1\nEND IONS\n");
  r = LoadWith(MS2_FORMAT_MGF, File("inf.mgf"));
  EXPECT_FALSE(r.ok);
}

// SCANS is taken whole: a value with more than a scan number in it would
// name another spectrum (a USI built on "1e3" points at scan 1). Such a
// line is passed over and said with its file and line; the spectrum is
// named as one without SCANS: by the title's scan=, else by its position.
TEST_F(Mgf, ScansAreTakenWholeOrPassedOver) {
  struct Case {
    const char* scans;
    const char* title;
    const char* name;  // of the spectrum, the 2nd in the file
    bool passed_over;
  };
  const Case cases[] = {
      {"7", "free", "s.7.7.2.dta", false},         {" 7 - 9 ", "free", "s.7.9.2.dta", false},
      {"7,8,12", "free", "s.7.12.2.dta", false},   {"9-7", "free", "s.9.9.2.dta", false},
      {"1e3", "free", "s.2.2.2.dta", true},        {"12abc", "free", "s.2.2.2.dta", true},
      {"abc", "free", "s.2.2.2.dta", true},        {"-5", "free", "s.2.2.2.dta", true},
      {"7-", "free", "s.2.2.2.dta", true},         {"99999999999", "free", "s.2.2.2.dta", true},
      {"1e3", "x scan=40 y", "s.40.40.2.dta", true}};
  for (const Case& c : cases) {
    Write("s.mgf", std::string("BEGIN IONS\nPEPMASS=400\nCHARGE=2+\n100 1\nEND IONS\n") +
                       "BEGIN IONS\nTITLE=" + c.title + "\nPEPMASS=500\nCHARGE=2+\nSCANS=" + c.scans +
                       "\n100 1\nEND IONS\n");
    const LoadResult r = LoadWith(MS2_FORMAT_MGF, File("s.mgf"));
    ASSERT_TRUE(r.ok) << c.scans << ": " << r.error;
    ASSERT_EQ(r.spectra.size(), 2u) << c.scans;
    EXPECT_EQ(r.spectra[1].name, c.name) << c.scans;
    if (!c.passed_over) {
      EXPECT_TRUE(r.messages.empty()) << c.scans << ": " << r.messages[0];
      continue;
    }
    ASSERT_EQ(r.messages.size(), 1u) << c.scans;
    EXPECT_EQ(r.messages[0].rfind("Warning: " + File("s.mgf") + ": 1 SCANS line holds no scan number", 0), 0u)
        << r.messages[0];
    EXPECT_NE(r.messages[0].find("first: " + File("s.mgf") + ":10: \"SCANS=" + c.scans + "\""), std::string::npos)
        << r.messages[0];
  }
}

TEST_F(Dta, DirectoryInSortedOrderWithNamesFromFiles) {
  LoadResult r = LoadWith(MS2_FORMAT_DTA, DataPath("dtadir"));
  ASSERT_TRUE(r.ok) << r.error;
  std::vector<std::string> names;
  for (const auto& s : r.spectra) names.push_back(s.name);
  // A file keeps its own name, DTA-style or not: the clustering copies
  // spectra by it. Scan numbers of a name that has none are positions.
  EXPECT_EQ(names, (std::vector<std::string>{"plain.DTA", "run.10.10.3.dta",
                                             "run.20.20.2.dta"}));
  EXPECT_EQ(r.spectra[0].first_scan, 1);
  const msdata::CSpectrum& s = r.spectra[2];
  EXPECT_EQ(s.charge, 2);
  EXPECT_DOUBLE_EQ(s.precursor_mass, 1001.5);
  EXPECT_DOUBLE_EQ(s.precursor_mz, (1001.5 - msdata::kProtonMass) / 2 + msdata::kProtonMass);
  EXPECT_EQ(s.first_scan, 20);
  EXPECT_EQ(s.peaks.size(), 2u);
  EXPECT_EQ(r.spectra[1].first_scan, 10);

  r = LoadWith(MS2_FORMAT_DTA, DataPath("dtadir/run.10.10.3.dta"));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), 1u);
  EXPECT_EQ(r.spectra[0].name, "run.10.10.3.dta");

  // Charge 0: the first value is an m/z of unknown charge.
  Write("z.7.7.0.dta", "650.5 0\n100 1\n");
  r = LoadWith(MS2_FORMAT_DTA, File("z.7.7.0.dta"));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), 2u);
  EXPECT_EQ(r.spectra[0].name, "z.7.7.2.dta");
  EXPECT_EQ(r.spectra[1].name, "z.7.7.3.dta");
  EXPECT_DOUBLE_EQ(r.spectra[1].precursor_mass, MH(650.5, 3));
  EXPECT_EQ(r.spectra[1].first_scan, 7);
}

TEST_F(Dta, BadFilesInADirectoryAreSkippedAndAloneFail) {
  namespace fs = std::filesystem;
  fs::create_directory(File("baddir"));
  Write("baddir/x.1.1.2.dta", "1000.5 2\n100 1\n");
  Write("baddir/x.2.2.2.dta", "\x01\x02garbage\xff\n");
  Write("baddir/x.3.3.2.dta", "");
  LoadResult r = LoadWith(MS2_FORMAT_DTA, File("baddir"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(r.spectra.size(), 1u);
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].find("skipped 2 records"), std::string::npos) << r.messages[0];
  EXPECT_NE(r.messages[0].find("x.2.2.2.dta: line 1"), std::string::npos) << r.messages[0];

  r = LoadWith(MS2_FORMAT_DTA, File("baddir/x.2.2.2.dta"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("x.2.2.2.dta: line 1"), std::string::npos) << r.error;

  fs::create_directory(File("emptydir"));
  r = LoadWith(MS2_FORMAT_DTA, File("emptydir"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(File("emptydir")), std::string::npos);
  r = LoadWith(MS2_FORMAT_DTA, "missing-dir");
  EXPECT_FALSE(r.ok);
}

TEST_F(Dtas, NamedAndUnnamedBlocks) {
  LoadResult r = LoadWith(MS2_FORMAT_DTAS, DataPath("sample.dtas"));
  ASSERT_TRUE(r.ok) << r.error;
  std::vector<std::string> names;
  for (const auto& s : r.spectra) names.push_back(s.name);
  EXPECT_EQ(names, (std::vector<std::string>{"sample.1.1.2.dta", "run.77.78.3.dta",
                                             "sample.3.3.2.dta", "sample.3.3.3.dta"}));
  EXPECT_DOUBLE_EQ(r.spectra[1].precursor_mass, 1501.5);
  EXPECT_EQ(r.spectra[1].first_scan, 77);
  EXPECT_EQ(r.spectra[1].last_scan, 78);
  // Charge 0: the value is an m/z.
  EXPECT_DOUBLE_EQ(r.spectra[3].precursor_mass, MH(500.25, 3));
  EXPECT_EQ(r.spectra[0].peaks.size(), 2u);

  Write("bad.dtas", "1000 2\n100 1\nnonsense here\n\n2000 2\n100 1\n\nzzz\n");
  r = LoadWith(MS2_FORMAT_DTAS, File("bad.dtas"));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), 1u);
  EXPECT_EQ(r.spectra[0].name, "bad.2.2.2.dta");
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].find("bad.dtas:3: \"nonsense here\""), std::string::npos);
}

TEST_F(Pkl, HeaderChargeAndUnknownCharge) {
  LoadResult r = LoadWith(MS2_FORMAT_PKL, DataPath("sample.pkl"));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), 3u);
  EXPECT_EQ(r.spectra[0].name, "sample.1.1.2.dta");
  EXPECT_DOUBLE_EQ(r.spectra[0].precursor_mass, MH(500.75, 2));
  EXPECT_EQ(r.spectra[1].name, "sample.2.2.2.dta");
  EXPECT_EQ(r.spectra[2].name, "sample.2.2.3.dta");
  EXPECT_DOUBLE_EQ(r.spectra[2].precursor_mass, MH(650.5, 3));

  Write("bad.pkl", "500 1 2.5\n100 1\n");
  r = LoadWith(MS2_FORMAT_PKL, File("bad.pkl"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("bad.pkl:1:"), std::string::npos) << r.error;
}

// A caller that cannot hold a large run keeps what it needs of each
// spectrum as it loads: every format hands every spectrum to the hook, in
// list order, and one the hook keeps out is not listed.
class EveryFormat : public ::testing::TestWithParam<std::pair<MS2FormatType, const char*>> {};

TEST_P(EveryFormat, HandsEachSpectrumToTheHookAsItLoads) {
  const auto [type, file] = GetParam();
  const LoadResult plain = LoadWith(type, DataPath(file));
  ASSERT_TRUE(plain.ok) << plain.error;
  ASSERT_GE(plain.spectra.size(), 2u);

  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, false));
  std::vector<msdata::CSpectrum> seen, listed;
  importer->SetHook([&seen](msdata::CSpectrum& s, const CMS2Input::RecordPlace&) {
    seen.push_back(s);
    msdata::PeakList().swap(s.peaks);  // taken
    return seen.size() % 2 == 1;
  });
  ASSERT_TRUE(importer->Load(DataPath(file), listed, true)) << importer->LastError();
  ASSERT_EQ(seen.size(), plain.spectra.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].name, plain.spectra[i].name);
    EXPECT_EQ(seen[i].peaks, plain.spectra[i].peaks);
  }
  ASSERT_EQ(listed.size(), (seen.size() + 1) / 2);
  for (std::size_t i = 0; i < listed.size(); ++i) {
    EXPECT_EQ(listed[i].name, plain.spectra[2 * i].name);
    EXPECT_TRUE(listed[i].peaks.empty());
  }
  // The scan facts of mzML stay beside the listed spectra.
  if (auto* mz = dynamic_cast<CMzImporter*>(importer.get())) {
    EXPECT_EQ(mz->ScanInfo().size(), listed.size());
  }
}

INSTANTIATE_TEST_SUITE_P(Importers, EveryFormat,
                         ::testing::Values(std::make_pair(MS2_FORMAT_DTA, "dtadir"),
                                           std::make_pair(MS2_FORMAT_DTAS, "sample.dtas"),
                                           std::make_pair(MS2_FORMAT_MGF, "basic.mgf"),
                                           std::make_pair(MS2_FORMAT_PKL, "sample.pkl"),
                                           std::make_pair(MS2_FORMAT_MZML, "bsa_small.mzML"),
                                           std::make_pair(MS2_FORMAT_MS2, "sample.ms2")));

}  // namespace

namespace {
// Everything a load gives, as one comparable text.
std::string Describe(const std::vector<msdata::CSpectrum>& spectra,
                     const std::vector<std::string>& messages) {
  std::ostringstream out;
  out.precision(17);
  for (const auto& s : spectra) {
    out << s.name << ' ' << s.charge << ' ' << s.precursor_mass << ' ' << s.retention_time << ' '
        << s.first_scan << ' ' << s.last_scan << ':';
    for (const auto& p : s.peaks) out << ' ' << p.first << '/' << p.second;
    out << '\n';
  }
  for (const auto& m : messages) out << m << '\n';
  return out.str();
}
}  // namespace

// Large files are read in pieces on several threads; every boundary case of
// the format must come out as from one reading: default charges set between
// spectra, positions and line numbers across pieces, repeated titles, a
// spectrum lacking END IONS before the next one and one cut off at the end.
// The places handed to a hook read the same peaks back until the file changes.
TEST_F(Mgf, ReadInPiecesAsInOneAndReadBackByPlace) {
  std::string text = "\xEF\xBB\xBF" "CHARGE=3+\n";
  for (int i = 0; i < 40; ++i) {
    if (i == 17) text += "CHARGE=2+ and 3+\n";
    text += "BEGIN IONS\n";
    if (i % 5 != 0) text += "TITLE=" + std::string(i % 3 ? "t.7.7.2.dta" : "free text") + "\n";
    if (i != 11) text += "PEPMASS=" + std::to_string(400 + i) + ".25\n";
    if (i % 7 == 0) text += "CHARGE=1+\n";
    for (int k = 0; k < 3 + i % 4; ++k) text += std::to_string(100 + 37 * k + (k * i) % 5) + ".125 " + std::to_string(1 + k) + "\r\n";
    if (i == 23) text += "not a peak\n";
    if (i != 29) text += "END IONS\n";
  }
  text += "BEGIN IONS\nPEPMASS=900\n100 1\n";  // cut off
  Write("pieces.mgf", text);

  std::vector<CMS2Input::RecordPlace> places;
  auto load = [&](int threads, std::size_t piece) {
    LoadResult r;
    notify::ScopedHandler capture([&r](const std::string& m) { r.messages.push_back(m); });
    CMgfImporter importer;
    importer.SetThreads(threads, piece);
    places.clear();
    importer.SetHook([&](msdata::CSpectrum&, const CMS2Input::RecordPlace& place) {
      places.push_back(place);
      return true;
    });
    r.ok = importer.Load(File("pieces.mgf"), r.spectra, true);
    return r;
  };
  const LoadResult one = load(1, 0);
  ASSERT_TRUE(one.ok);
  ASSERT_EQ(one.messages.size(), 1u);
  EXPECT_NE(one.messages[0].find("skipped 4 records"), std::string::npos) << one.messages[0];
  for (std::size_t piece : {1, 50, 300}) {
    const LoadResult many = load(3, piece);
    ASSERT_TRUE(many.ok);
    EXPECT_EQ(Describe(many.spectra, many.messages), Describe(one.spectra, one.messages)) << piece;
  }

  CMgfPeakReader reader;
  ASSERT_TRUE(reader.Open(File("pieces.mgf")));
  ASSERT_EQ(places.size(), one.spectra.size());
  msdata::PeakList peaks;
  for (std::size_t i = 0; i < places.size(); ++i) {
    ASSERT_TRUE(reader.Read(places[i], peaks)) << i;
    EXPECT_EQ(peaks, one.spectra[i].peaks) << i;
    ASSERT_TRUE(reader.Read({places[i].offset, 0}, peaks)) << i;  // length unknown
    EXPECT_EQ(peaks, one.spectra[i].peaks) << i;
  }
  std::string changed = text;
  changed.replace(static_cast<std::size_t>(places[3].offset), 5, "BEGIX");
  Write("pieces.mgf", changed.substr(0, changed.size() / 2));
  EXPECT_FALSE(reader.Read(places[3], peaks));
  EXPECT_FALSE(reader.Read(places.back(), peaks));  // beyond the end now
}
