// Damaged values never reach a spectrum: every reader applies one charge
// check and refuses numbers that are not finite.

#include <gtest/gtest.h>

#include "TestSupport.h"

using namespace spectra_test;

namespace {

struct Damaged {
  MS2FormatType type;
  const char* file;
  const char* text;
};

using SpectrumNames = ScratchDirTest;

// A folder of its own per case (a parameterised name holds slashes, which
// ScratchDirTest would put into the folder's name).
class DamagedValues : public testing::TestWithParam<Damaged> {
 protected:
  testsupport::CTempDir scratch_{"DamagedValues"};
};

TEST_P(DamagedValues, AreRefusedNotLoaded) {
  const Damaged& d = GetParam();
  const std::string path = scratch_.Write(d.file, d.text);
  const LoadResult r = LoadWith(d.type, d.type == MS2_FORMAT_DTA ? scratch_.Path().string() : path);
  EXPECT_TRUE(r.spectra.empty()) << d.text << " gave charge " << r.spectra[0].charge;
}

INSTANTIATE_TEST_SUITE_P(
    AllReaders, DamagedValues,
    testing::Values(Damaged{MS2_FORMAT_DTA, "a.1.1.2.dta", "1000.0 1000000000\n100.0 5.0\n"},
                    Damaged{MS2_FORMAT_DTA, "a.1.1.2.dta", "nan 2\n100.0 5.0\n"},
                    Damaged{MS2_FORMAT_DTA, "a.1.1.2.dta", "1e999 2\n100.0 5.0\n"},
                    Damaged{MS2_FORMAT_MGF, "a.mgf",
                            "BEGIN IONS\nTITLE=x\nPEPMASS=500.0\nCHARGE=-2147483648-\n100 5\nEND IONS\n"},
                    Damaged{MS2_FORMAT_MGF, "a.mgf",
                            "BEGIN IONS\nTITLE=x\nPEPMASS=500.0\nCHARGE=1000000000+\n100 5\nEND IONS\n"},
                    Damaged{MS2_FORMAT_PKL, "a.pkl", "500.0 100.0 1000000000\n100 5\n"}),
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

}  // namespace
