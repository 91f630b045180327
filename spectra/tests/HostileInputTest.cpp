// Damaged values never reach a spectrum: every reader applies one charge
// check and refuses numbers that are not finite.

#include <gtest/gtest.h>

#include <filesystem>

#include "TestSupport.h"

using namespace spectra_test;

namespace {

struct Damaged {
  MS2FormatType type;
  const char* file;
  const char* text;
  const char* where;  // the record, as the messages name it ("" for any)
};

using SpectrumNames = ScratchDirTest;

// A folder of its own per case (a parameterised name holds slashes, which
// ScratchDirTest would put into the folder's name).
class DamagedValues : public testing::TestWithParam<Damaged> {
 protected:
  testsupport::CTempDir scratch_{"DamagedValues"};
};

TEST_P(DamagedValues, AreRefusedWithTheRecordNamed) {
  const Damaged& d = GetParam();
  const std::string path = scratch_.Write(d.file, d.text);
  const LoadResult r = LoadWith(d.type, d.type == MS2_FORMAT_DTA ? scratch_.Path().string() : path);
  for (const msdata::CSpectrum& s : r.spectra)
    ADD_FAILURE() << d.text << " gave " << s.name << ", charge " << s.charge << ", MH+ " << s.precursor_mass;
  std::string said = r.error;
  for (const std::string& m : r.messages) said += "\n" + m;
  EXPECT_NE(said.find(d.where), std::string::npos) << said;
}

// Charges out of range and numbers that are none; and precursors that no
// ion has (an m/z below a proton's mass, which gives a negative MH+, or far
// beyond any instrument), refused in every reader with the record named.
INSTANTIATE_TEST_SUITE_P(
    AllReaders, DamagedValues,
    testing::Values(
        Damaged{MS2_FORMAT_DTA, "a.1.1.2.dta", "1000.0 1000000000\n100.0 5.0\n", "a.1.1.2.dta"},
        Damaged{MS2_FORMAT_DTA, "a.1.1.2.dta", "nan 2\n100.0 5.0\n", "a.1.1.2.dta"},
        Damaged{MS2_FORMAT_DTA, "a.1.1.2.dta", "1e999 2\n100.0 5.0\n", "a.1.1.2.dta"},
        Damaged{MS2_FORMAT_MGF, "a.mgf", "BEGIN IONS\nTITLE=x\nPEPMASS=500.0\nCHARGE=-2147483648-\n100 5\nEND IONS\n",
                "a.mgf:4"},
        Damaged{MS2_FORMAT_MGF, "a.mgf", "BEGIN IONS\nTITLE=x\nPEPMASS=500.0\nCHARGE=1000000000+\n100 5\nEND IONS\n",
                "a.mgf:4"},
        Damaged{MS2_FORMAT_PKL, "a.pkl", "500.0 100.0 1000000000\n100 5\n", "a.pkl:1"},
        Damaged{MS2_FORMAT_MGF, "a.mgf", "BEGIN IONS\nTITLE=x\nPEPMASS=1e-300\nCHARGE=2+\n100 5\nEND IONS\n", "a.mgf:3"},
        Damaged{MS2_FORMAT_MGF, "a.mgf", "BEGIN IONS\nTITLE=x\nPEPMASS=0.5\nCHARGE=1+\n100 5\nEND IONS\n", "a.mgf:3"},
        Damaged{MS2_FORMAT_MGF, "a.mgf", "BEGIN IONS\nTITLE=x\nPEPMASS=500000000\n100 5\nEND IONS\n", "a.mgf:3"},
        Damaged{MS2_FORMAT_MGF, "a.mgf", "BEGIN IONS\nPEPMASS=90000\nCHARGE=999+\n100 5\nEND IONS\n", "a.mgf:1"},
        Damaged{MS2_FORMAT_DTA, "a.1.1.2.dta", "1e-300 2\n100 5\n", "a.1.1.2.dta: the header"},
        Damaged{MS2_FORMAT_DTA, "a.1.1.2.dta", "-500 2\n100 5\n", "a.1.1.2.dta: the header"},
        Damaged{MS2_FORMAT_DTA, "a.1.1.0.dta", "1e-300 0\n100 5\n", "a.1.1.0.dta: the header"},
        Damaged{MS2_FORMAT_DTAS, "a.dtas", "1e-300 2\n100 5\n", "a.dtas:1"},
        Damaged{MS2_FORMAT_DTAS, "a.dtas", "1e-300 0\n100 5\n", "a.dtas:1"},
        Damaged{MS2_FORMAT_PKL, "a.pkl", "1e-300 100 2\n100 5\n", "a.pkl:1"},
        Damaged{MS2_FORMAT_MS2, "a.ms2", "S\t1\t1\t1e-300\nZ\t2\t1000.0\n100.0 5.0\n", "scan 1"}),
    [](const testing::TestParamInfo<Damaged>& info) { return "Case" + std::to_string(info.index); });

TEST_F(SpectrumNames, BlanksBecomeUnderscoresAndRepeatedTitlesStayUnique) {
  std::string mgf;
  for (int i = 0; i < 3; ++i) mgf += "BEGIN IONS\nTITLE=run.7.7.2.dta\nPEPMASS=500.0\nCHARGE=2+\n100 5\nEND IONS\n";
  mgf += "BEGIN IONS\nTITLE=no scan here\nPEPMASS=500.0\nCHARGE=2+\n100 5\nEND IONS\n";
  const LoadResult r = LoadWith(MS2_FORMAT_MGF, Write("names my run.mgf", mgf));
  ASSERT_EQ(r.spectra.size(), 4u);
  EXPECT_EQ(r.spectra[0].name, "run.7.7.2.dta");
  EXPECT_EQ(r.spectra[1].name, "run_2.7.7.2.dta");
  EXPECT_EQ(r.spectra[2].name, "run_3.7.7.2.dta");
  EXPECT_EQ(r.spectra[3].name, "names_my_run.4.4.2.dta");
}

// Names taken from a file become file names in output folders: only their
// last path component stays, control characters (NUL included) become "_",
// and two titles that come to one name still give two spectra. The change
// is said once per file.
TEST_F(SpectrumNames, NamesFromFilesNeverLeaveTheOutputFolder) {
  const std::string titles[] = {"../other/keep.1.1.2.dta", "/etc/keep.1.1.2.dta",
                                std::string("a\0b.2.2.2.dta", 13), "C:\\data\\win.3.3.2",
                                "bell\x07.4.4.2.dta", "plain.5.5.2.dta"};
  std::string mgf;
  for (const std::string& title : titles)
    mgf += "BEGIN IONS\nTITLE=" + title + "\nPEPMASS=500.0\nCHARGE=2+\n100 5\nEND IONS\n";
  LoadResult r = LoadWith(MS2_FORMAT_MGF, Write("hostile.mgf", mgf));
  ASSERT_TRUE(r.ok) << r.error;
  std::vector<std::string> names;
  for (const auto& s : r.spectra) names.push_back(s.name);
  EXPECT_EQ(names, (std::vector<std::string>{"keep.1.1.2.dta", "keep_2.1.1.2.dta", "a_b.2.2.2.dta",
                                             "win.3.3.2.dta", "bell_.4.4.2.dta", "plain.5.5.2.dta"}));
  ASSERT_EQ(r.messages.size(), 1u);
  EXPECT_NE(r.messages[0].find("hostile.mgf: 5 spectrum names"), std::string::npos) << r.messages[0];
  EXPECT_NE(r.messages[0].find("\"../other/keep.1.1.2.dta\" became \"keep.1.1.2.dta\""), std::string::npos)
      << r.messages[0];

  r = LoadWith(MS2_FORMAT_DTAS, Write("hostile.dtas", "../up/x.5.5.2.dta 1001.5 2\n100 5\n\n"
                                                      "/abs/y.6.6.0.dta 500.5 0\n100 5\n"));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), 3u);
  EXPECT_EQ(r.spectra[0].name, "x.5.5.2.dta");
  EXPECT_EQ(r.spectra[1].name, "y.6.6.2.dta");

  std::filesystem::create_directory(File("dtas"));
  Write("dtas/tab\tand\nline.1.1.2.dta", "1001.5 2\n100 5\n");
  r = LoadWith(MS2_FORMAT_DTA, File("dtas"));
  ASSERT_TRUE(r.ok) << r.error;
  ASSERT_EQ(r.spectra.size(), 1u);
  EXPECT_EQ(r.spectra[0].name, "tab_and_line.1.1.2.dta");
}

}  // namespace
