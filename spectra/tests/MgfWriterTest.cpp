#include <gtest/gtest.h>

#include "spectra/MgfWriter.h"
#include "spectra/tests/TestSupport.h"

using spectra_test::Find;
using spectra_test::LoadWith;

using MgfWriter = ScratchDirTest;

TEST_F(MgfWriter, WhatItWritesOurImporterReadsBack) {
  msdata::CSpectrum a;
  a.name = "run1.100.102.2.dta";
  a.charge = 2;
  a.precursor_mz = 500.25;
  a.retention_time = 61.5;
  a.first_scan = 100;
  a.last_scan = 102;
  a.peaks = {{100.123456, 10.5}, {200.5, 2e-7}, {300.0, 123456789.0}};
  // A spectrum known only by its DTA file: MH+ and charge, no scans, no time.
  msdata::CSpectrum b;
  b.name = "run1.7.7.3.dta";
  b.charge = 3;
  b.precursor_mass = msdata::MHFromMz(400.5, 3);
  b.peaks = {{150.0, 1.0}};

  const std::vector<spectra::CMgfCluster> clusters = {{1, 4}, {2, 1}};
  std::string error;
  ASSERT_TRUE(spectra::WriteMgfFile(File("written.mgf"), {a, b}, error, &clusters)) << error;

  const auto loaded = LoadWith(MS2_FORMAT_MGF, File("written.mgf"));
  ASSERT_TRUE(loaded.ok) << loaded.error;
  ASSERT_EQ(loaded.spectra.size(), 2u);
  for (const msdata::CSpectrum* original : {&a, &b}) {
    const msdata::CSpectrum* back = Find(loaded.spectra, original->name);
    ASSERT_NE(back, nullptr) << original->name;
    EXPECT_EQ(back->charge, original->charge);
    EXPECT_NEAR(back->precursor_mass, original->precursor_mass > 0 ? original->precursor_mass
                                                                   : msdata::MHFromMz(500.25, 2),
                1e-5);
    EXPECT_NEAR(back->retention_time, original->retention_time, 1e-9);
    ASSERT_EQ(back->peaks.size(), original->peaks.size());
    for (std::size_t i = 0; i < back->peaks.size(); ++i) {
      EXPECT_NEAR(back->peaks[i].first, original->peaks[i].first, 1e-6);
      EXPECT_NEAR(back->peaks[i].second, original->peaks[i].second, 1e-5 * original->peaks[i].second);
    }
  }

  // The cluster fields, and no time line where none is known.
  const std::string text = testsupport::ReadFile(File("written.mgf"));
  EXPECT_NE(text.find("SCANS=100-102\nCLUSTER=1\nCLUSTER_SIZE=4\n"), std::string::npos);
  EXPECT_NE(text.find("CHARGE=3+\nCLUSTER=2\nCLUSTER_SIZE=1\n"), std::string::npos);

  // Lists of different lengths and unwritable paths are refused.
  EXPECT_FALSE(spectra::WriteMgfFile(File("short.mgf"), {a}, error, &clusters));
  EXPECT_FALSE(spectra::WriteMgfFile("no/such/dir/x.mgf", {a}, error));
  EXPECT_NE(error.find("no/such/dir/x.mgf"), std::string::npos);
}
