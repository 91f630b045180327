// mzML, mzXML and MS2 input through MSToolkit, and its failure modes.

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "spectra/MzImporter.h"
#include "TestSupport.h"

using namespace spectra_test;

namespace {

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

std::vector<std::string> Names(const std::vector<msdata::CSpectrum>& spectra) {
  std::vector<std::string> names;
  for (const auto& s : spectra) names.push_back(s.name);
  return names;
}

const std::vector<std::string> kBsaNames = {
    "bsa_small.3.3.2.dta", "bsa_small.4.4.2.dta", "bsa_small.4.4.3.dta",
    "bsa_small.5.5.2.dta", "bsa_small.6.6.2.dta", "bsa_small.7.7.2.dta"};

TEST(MzML, IndexedFileGivesMs2SpectraOnly) {
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

TEST(MzML, FileWithoutIndexLoadsTheSame) {
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
  std::string text = ReadText(DataPath("bsa_small.mzML"));
  const std::size_t at = text.find("<offset idRef=\"spectrum=2442\">");
  ASSERT_NE(at, std::string::npos);
  text.replace(text.find('>', at) + 1, 3, "999");
  WriteScratch("wrong_offsets.mzML", text);
  std::vector<msdata::CSpectrum> rebuilt;
  ASSERT_TRUE(importer.Load("wrong_offsets.mzML", rebuilt, true)) << importer.LastError();
  EXPECT_EQ(rebuilt.size(), indexed.size());
}

// A sound index is used as it stands; only a missing or wrong one costs a copy.
TEST(MzML, IndexIsUsedDirectlyWhenItIsSound) {
  std::vector<std::string> said;
  notify::ScopedHandler capture([&said](const std::string& m) { said.push_back(m); });
  CMzImporter importer(true);
  std::vector<msdata::CSpectrum> spectra;
  ASSERT_TRUE(importer.Load(DataPath("bsa_small.mzML"), spectra, true));
  ASSERT_TRUE(importer.Load(DataPath("bsa_small.mzXML"), spectra, true));
  EXPECT_TRUE(said.empty()) << said[0];

  // Some writers count the line end before <indexList> in its offset.
  std::string text = ReadText(DataPath("bsa_small.mzML"));
  const std::size_t at = text.find("<indexListOffset>") + 17;
  const long offset = std::stol(text.substr(at));
  ASSERT_EQ(text[offset - 1], '\n');
  text.replace(at, text.find('<', at) - at, std::to_string(offset - 1));
  WriteScratch("offset_at_line_end.mzML", text);
  ASSERT_TRUE(importer.Load("offset_at_line_end.mzML", spectra, true)) << importer.LastError();
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

TEST(MzML, BadFilesFailWithAMessageAndTheProcessLives) {
  LoadResult r = LoadWith(MS2_FORMAT_MZML, "missing.mzML");
  EXPECT_FALSE(r.ok);
  EXPECT_EQ(r.error, "Cannot open file: missing.mzML");

  WriteScratch("empty.mzML", "");
  r = LoadWith(MS2_FORMAT_MZML, "empty.mzML");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("not an mzML"), std::string::npos) << r.error;

  std::string binary;
  for (int i = 0; i < 5000; ++i) binary += static_cast<char>((i * 31) % 256);
  WriteScratch("binary.mzML", binary);
  r = LoadWith(MS2_FORMAT_MZML, "binary.mzML");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("binary.mzML"), std::string::npos);

  const std::string whole = ReadText(DataPath("bsa_small.mzML"));
  WriteScratch("truncated.mzML", whole.substr(0, whole.size() / 2));
  r = LoadWith(MS2_FORMAT_MZML, "truncated.mzML");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("incomplete"), std::string::npos) << r.error;

  // Broken XML inside a complete file: MSToolkit would end the process.
  std::string broken = ReadText(DataPath("bsa_small_noindex.mzML"));
  const std::size_t at = broken.find("<binary>", broken.find("spectrum=2442"));
  broken.replace(at, 8, "<bin<<&ary>");
  WriteScratch("broken.mzML", broken);
  r = LoadWith(MS2_FORMAT_MZML, "broken.mzML");
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("broken.mzML"), std::string::npos) << r.error;

  // MGF text handed to the mzML importer is refused before MSToolkit sees it.
  r = LoadWith(MS2_FORMAT_MZML, DataPath("basic.mgf"));
  EXPECT_FALSE(r.ok);
  EXPECT_NE(r.error.find("not an mzML, mzXML or MS2 file"), std::string::npos) << r.error;
}

}  // namespace
