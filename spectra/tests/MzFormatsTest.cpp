// mzML, mzXML and MS2 input through MSToolkit, and its failure modes.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <utility>

#include "spectra/MzImporter.h"
#include "TestSupport.h"

using namespace spectra_test;

namespace {

using testsupport::ReadFile;
using MzML = ScratchDirTest;
using MzReader = ScratchDirTest;

std::vector<std::string> Names(const std::vector<msdata::CSpectrum>& spectra) {
  std::vector<std::string> names;
  for (const auto& s : spectra) names.push_back(s.name);
  return names;
}

const std::vector<std::string> kBsaNames = {
    "bsa_small.3.3.2.dta", "bsa_small.4.4.2.dta", "bsa_small.4.4.3.dta",
    "bsa_small.5.5.2.dta", "bsa_small.6.6.2.dta", "bsa_small.7.7.2.dta"};

TEST_F(MzML, IndexedFileGivesMs2SpectraOnly) {
  CMzImporter importer;
  std::vector<msdata::CSpectrum> spectra;
  ASSERT_TRUE(importer.Load(DataPath("bsa_small.mzML"), spectra, true)) << importer.LastError();
  EXPECT_EQ(Names(spectra), kBsaNames);
  const msdata::CSpectrum& s = spectra[0];
  EXPECT_EQ(s.charge, 2);
  EXPECT_DOUBLE_EQ(s.precursor_mz, 457.723968505859);
  EXPECT_DOUBLE_EQ(s.precursor_mass,
                   (457.723968505859 - msdata::kProtonMass) * 2 + msdata::kProtonMass);
  EXPECT_NEAR(s.retention_time, 1503.96166992188, 1e-3);  // seconds
  EXPECT_EQ(s.first_scan, 3);
  EXPECT_EQ(s.last_scan, 3);
  ASSERT_EQ(s.peaks.size(), 4u);
  EXPECT_NEAR(s.peaks[0].first, 147.2906, 1e-4);
  EXPECT_NEAR(s.peaks[0].second, 3.42736, 1e-4);
  // The scan without a charge state is loaded for charges 2 and 3.
  EXPECT_DOUBLE_EQ(spectra[2].precursor_mass,
                   (spectra[2].precursor_mz - msdata::kProtonMass) * 3 + msdata::kProtonMass);
  EXPECT_EQ(spectra[1].peaks, spectra[2].peaks);

  ASSERT_EQ(importer.ScanInfo().size(), spectra.size());
  EXPECT_EQ(importer.ScanInfo()[0].scan, 3);
  EXPECT_EQ(importer.ScanInfo()[0].precursor_scan, 2);  // last full scan before it
  EXPECT_EQ(importer.ScanInfo()[0].activation, "CID");
  EXPECT_EQ(importer.ScanInfo()[0].instrument, "FTMS");  // the run's analyzer: orbitrap
}

TEST_F(MzML, FileWithoutIndexLoadsTheSame) {
  CMzImporter importer;
  std::vector<msdata::CSpectrum> indexed, plain;
  ASSERT_TRUE(importer.Load(DataPath("bsa_small.mzML"), indexed, true));
  ASSERT_TRUE(importer.Load(DataPath("bsa_small_noindex.mzML"), plain, true))
      << importer.LastError();
  ASSERT_EQ(plain.size(), indexed.size());
  for (std::size_t i = 0; i < plain.size(); ++i) {
    EXPECT_EQ(plain[i].name, "bsa_small_noindex" + indexed[i].name.substr(9));
    EXPECT_EQ(plain[i].precursor_mass, indexed[i].precursor_mass);
    EXPECT_EQ(plain[i].retention_time, indexed[i].retention_time);
    EXPECT_EQ(plain[i].peaks, indexed[i].peaks);
  }

  // An index whose offsets point to the wrong places is rebuilt as well.
  std::string text = ReadFile(DataPath("bsa_small.mzML"));
  const std::size_t at = text.find("<offset idRef=\"spectrum=2442\">");
  ASSERT_NE(at, std::string::npos);
  text.replace(text.find('>', at) + 1, 3, "999");
  Write("wrong_offsets.mzML", text);
  std::vector<msdata::CSpectrum> rebuilt;
  ASSERT_TRUE(importer.Load(File("wrong_offsets.mzML"), rebuilt, true)) << importer.LastError();
  EXPECT_EQ(rebuilt.size(), indexed.size());
}

// A sound index is used as it stands; only a missing or wrong one costs a copy.
TEST_F(MzML, IndexIsUsedDirectlyWhenItIsSound) {
  std::vector<std::string> said;
  notify::ScopedHandler capture([&said](const std::string& m) { said.push_back(m); });
  CMzImporter importer(true);
  std::vector<msdata::CSpectrum> spectra;
  ASSERT_TRUE(importer.Load(DataPath("bsa_small.mzML"), spectra, true));
  ASSERT_TRUE(importer.Load(DataPath("bsa_small.mzXML"), spectra, true));
  EXPECT_TRUE(said.empty()) << said[0];

  // Some writers count the line end before <indexList> in its offset.
  std::string text = ReadFile(DataPath("bsa_small.mzML"));
  const std::size_t at = text.find("<indexListOffset>") + 17;
  const long offset = std::stol(text.substr(at));
  ASSERT_EQ(text[offset - 1], '\n');
  text.replace(at, text.find('<', at) - at, std::to_string(offset - 1));
  Write("offset_at_line_end.mzML", text);
  ASSERT_TRUE(importer.Load(File("offset_at_line_end.mzML"), spectra, true)) << importer.LastError();
  EXPECT_TRUE(said.empty()) << said[0];

  ASSERT_TRUE(importer.Load(DataPath("bsa_small_noindex.mzML"), spectra, true));
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find("reading an indexed copy"), std::string::npos);
}

TEST(MzXML, SameScansAsTheMzML) {
  CMS2InputFactory factory;
  std::unique_ptr<CMS2Input> importer(factory.GetImporter(MS2_FORMAT_MZML, false));
  std::vector<msdata::CSpectrum> spectra;
  ASSERT_TRUE(importer->Load(DataPath("bsa_small.mzXML"), spectra, true)) << importer->LastError();
  std::vector<std::string> expected;
  for (const auto& n : kBsaNames) expected.push_back(n);
  EXPECT_EQ(Names(spectra), expected);
  EXPECT_DOUBLE_EQ(spectra[0].precursor_mz, 457.723968505859);
  EXPECT_NEAR(spectra[0].retention_time, 1503.96, 0.01);
  EXPECT_NEAR(spectra[0].peaks[0].first, 147.2906, 1e-3);  // 32-bit peaks
  const auto& info = static_cast<CMzImporter&>(*importer).ScanInfo();
  EXPECT_EQ(info[0].instrument, "ITMS");  // from the filter line
  EXPECT_EQ(info[0].precursor_scan, 2);
}

TEST(MS2File, ScansChargesAndMinutesToSeconds) {
  LoadResult r = LoadWith(MS2_FORMAT_MS2, DataPath("sample.ms2"));
  ASSERT_TRUE(r.ok) << r.error;
  EXPECT_EQ(Names(r.spectra),
            (std::vector<std::string>{"sample.10.10.2.dta", "sample.11.12.2.dta",
                                      "sample.11.12.3.dta", "sample.13.13.2.dta",
                                      "sample.13.13.3.dta"}));
  EXPECT_DOUBLE_EQ(r.spectra[0].retention_time, 90.0);
  EXPECT_DOUBLE_EQ(r.spectra[2].precursor_mass,
                   (600.5 - msdata::kProtonMass) * 3 + msdata::kProtonMass);
  EXPECT_EQ(r.spectra[0].peaks.size(), 2u);
}

TEST_F(MzML, BadFilesFailWithAMessageAndTheProcessLives) {
  LoadResult r = LoadWith(MS2_FORMAT_MZML, "missing.mzML");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "Cannot open file: missing.mzML");

  Write("empty.mzML", "");
  r = LoadWith(MS2_FORMAT_MZML, File("empty.mzML"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("not an mzML"), std::string::npos) << r.error;

  std::string binary;
  for (int i = 0; i < 5000; ++i) binary += static_cast<char>((i * 31) % 256);
  Write("binary.mzML", binary);
  r = LoadWith(MS2_FORMAT_MZML, File("binary.mzML"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(File("binary.mzML")), std::string::npos);

  const std::string whole = ReadFile(DataPath("bsa_small.mzML"));
  Write("truncated.mzML", whole.substr(0, whole.size() / 2));
  r = LoadWith(MS2_FORMAT_MZML, File("truncated.mzML"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("incomplete"), std::string::npos) << r.error;

  // Broken XML inside a complete file: MSToolkit would end the process.
  std::string broken = ReadFile(DataPath("bsa_small_noindex.mzML"));
  const std::size_t at = broken.find("<binary>", broken.find("spectrum=2442"));
  broken.replace(at, 8, "<bin<<&ary>");
  Write("broken.mzML", broken);
  r = LoadWith(MS2_FORMAT_MZML, File("broken.mzML"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find(File("broken.mzML")), std::string::npos) << r.error;

  // MGF text handed to the mzML importer is refused before MSToolkit sees it.
  r = LoadWith(MS2_FORMAT_MZML, DataPath("basic.mgf"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("not an mzML, mzXML or MS2 file"), std::string::npos) << r.error;
}

// A scan whose peak arrays are damaged (text that is not base64, an m/z
// array shorter than the intensity array) is refused with the file and the
// scan named, never read as peaks at m/z 0 or -1e36.
TEST_F(MzML, DamagedPeakArraysAreRefusedWithTheScanNamed) {
  struct Damage {
    const char* fixture;
    const char* element;  // the array's element; the first after scan 3 starts
    const char* scan_start;
    std::string replacement;
    const char* said;
  };
  const Damage damages[] = {
      {"bsa_small_noindex.mzML", "<binary>", "spectrum=2442\"", "!!not base64!!", "not base64"},
      {"bsa_small.mzML", "<binary>", "spectrum=2442\"", "AAAAAAAAAEAAAAAAAAAIQA==", "holds 2 values"},
      {"bsa_small.mzXML", "<peaks ", "num=\"3\"", "Q5YLck!!", "not base64"},
  };
  for (const Damage& d : damages) {
    std::string text = ReadFile(DataPath(d.fixture));
    const std::size_t tag = text.find(d.element, text.find(d.scan_start));
    const std::size_t begin = text.find('>', tag) + 1;
    text.replace(begin, text.find('<', begin) - begin, d.replacement);
    const std::string path = Write(std::string("damaged_") + d.fixture, text);
    LoadResult r = LoadWith(MS2_FORMAT_MZML, path);
    EXPECT_FALSE(r.ok) << d.fixture;
    EXPECT_TRUE(r.spectra.empty()) << d.fixture;
    EXPECT_NE(r.error.find(path + ": scan 3"), std::string::npos) << r.error;
    EXPECT_NE(r.error.find(d.said), std::string::npos) << r.error;
  }
}

// Arrays MSToolkit would decode with a length no array holds (a count far
// beyond the array of the first scan, an array outside any scan) are refused
// before it opens the file: it used to fill gigabytes of memory there.
TEST_F(MzML, ArraysOfNoPlausibleLengthAreRefusedBeforeDecoding) {
  const std::string run = ReadFile(DataPath("bsa_small.mzXML"));
  std::string inflated = run;
  const std::size_t count = inflated.find("peaksCount=\"4\"");
  inflated.replace(count, 14, "peaksCount=\"999999999\"");
  std::string stray = run;
  const std::size_t first_scan = stray.find("<scan ");
  stray.insert(first_scan, "<peaks precision=\"32\">QskAAEEgAABDSEAAQaAAAA==</peaks>\n");
  const std::pair<std::string, const char*> cases[] = {{inflated, "scan 1: the peak array holds 8 values"},
                                                       {stray, "a peak array outside any scan at byte"}};
  for (const auto& [text, said] : cases) {
    const std::string path = Write("hostile.mzXML", text);
    LoadResult r = LoadWith(MS2_FORMAT_MZML, path);
    EXPECT_FALSE(r.ok);
    EXPECT_NE(r.error.find(said), std::string::npos) << r.error;
  }
}

// The scans of a run far larger than a pipe holds arrive whole and in order
// while the reading program is still writing them.
TEST_F(MzReader, LargeRunsArriveWhole) {
  const int scans = 2000, peaks = 120;
  std::string ms2 = "H\tExtractor\tsynthetic\n";
  char line[64];
  for (int i = 1; i <= scans; ++i) {
    std::snprintf(line, sizeof line, "S\t%d\t%d\t%d.5\nZ\t2\t%d.0\n", i, i, 400 + i % 500,
                  800 + i % 500);
    ms2 += line;
    for (int k = 0; k < peaks; ++k) {
      std::snprintf(line, sizeof line, "%d.25 %d\n", 100 + 7 * k, 1 + (i + k) % 97);
      ms2 += line;
    }
  }
  LoadResult r = LoadWith(MS2_FORMAT_MS2, Write("large.ms2", ms2));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), static_cast<std::size_t>(scans));
  for (int i = 1; i <= scans; ++i) {
    const msdata::CSpectrum& s = r.spectra[static_cast<std::size_t>(i - 1)];
    ASSERT_EQ(s.first_scan, i);
    ASSERT_EQ(s.peaks.size(), static_cast<std::size_t>(peaks));
    ASSERT_EQ(s.peaks.back(), msdata::Peak(100 + 7 * (peaks - 1) + 0.25, 1 + (i + peaks - 1) % 97));
  }
}

// Whatever becomes of the reading program (missing, killed, refusing the
// file, writing nonsense) is a load error that says so; the caller goes on.
TEST_F(MzReader, FaultsOfTheReadingProgramBecomeLoadErrors) {
  const std::string run = DataPath("bsa_small.mzML");
  struct Fault {
    const char* program;
    const char* script;  // nullptr: no such program
    std::string error;
  };
  const Fault faults[] = {
      {"missing", nullptr,
       "cannot start the reading process " + File("missing") + ": No such file or directory"},
      {"killed", "kill -KILL $$\n", "the file could not be read: the reader crashed on it (signal 9)"},
      // The program is handed a temporary indexed copy the second time; the
      // user hears only of the file they gave.
      {"refuses", "echo \"cannot read $2\" >&2\nexit 3\n",
       "MSToolkit cannot open it (MSToolkit: cannot read " + run + ")"},
      {"stops", "echo 'Fatal: bad XML' >&2\nexit 1\n",
       "MSToolkit stopped on this file (MSToolkit: Fatal: bad XML)"},
      {"babbles", "echo nonsense\nexit 0\n", "the reading process left incomplete data"},
  };
  for (const Fault& fault : faults) {
    if (fault.script) {
      Write(fault.program, std::string("#!/bin/sh\n") + fault.script);
      std::filesystem::permissions(File(fault.program), std::filesystem::perms::owner_all);
    }
    CMzImporter importer;
    importer.SetReaderProgram(File(fault.program));
    std::vector<msdata::CSpectrum> spectra;
    EXPECT_FALSE(importer.Load(run, spectra, true)) << fault.program;
    EXPECT_EQ(importer.LastError(), run + ": " + fault.error) << fault.program;
    EXPECT_TRUE(spectra.empty());
  }
}

}  // namespace
