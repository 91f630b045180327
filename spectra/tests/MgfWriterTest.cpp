#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <thread>

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

  // The first stands for a cluster of four, written as itself with its
  // members' provenance; readers must pass over the fields they do not know.
  const std::vector<spectra::CMgfCluster> clusters = {
      {1, 4, "run1.100.102.2.dta\tTITLE=odd one\tmzspec:PXD000561:run2:scan:9\trun2.10.10.2.dta",
       "run1.mgf\trun2.mzML", "run1.mgf", ""},
      {2, 1, "", "", "", ""}};
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
  EXPECT_NE(text.find("SCANS=100-102\nCLUSTER=1\nCLUSTER_SIZE=4\nCLUSTER_MEMBERS=run1.100.102.2.dta\tTITLE=odd "
                      "one\tmzspec:PXD000561:run2:scan:9\trun2.10.10.2.dta\nCLUSTER_FILES=run1.mgf\trun2.mzML\n"
                      "SOURCE_FILE=run1.mgf\n100.123456"),
            std::string::npos);
  EXPECT_NE(text.find("CHARGE=3+\nCLUSTER=2\nCLUSTER_SIZE=1\n"), std::string::npos);

  // Lists of different lengths and unwritable paths are refused.
  EXPECT_FALSE(spectra::WriteMgfFile(File("short.mgf"), {a}, error, &clusters));
  EXPECT_FALSE(spectra::WriteMgfFile("no/such/dir/x.mgf", {a}, error));
  EXPECT_NE(error.find("no/such/dir/x.mgf"), std::string::npos);
}

// A file that cannot be written whole (here: a file-size limit standing in
// for a full disk) fails and leaves the earlier complete file as it was, and
// no temporary file beside it.
TEST_F(MgfWriter, FullDiskKeepsTheEarlierFile) {
  msdata::CSpectrum s;
  s.name = "run.1.1.2.dta";
  s.charge = 2;
  s.precursor_mz = 500.0;
  for (int i = 0; i < 400; ++i) s.peaks.emplace_back(100.0 + i, 1.0);
  std::string error;
  ASSERT_TRUE(spectra::WriteMgfFile(File("run.mgf"), {s}, error)) << error;
  const std::string complete = testsupport::ReadFile(File("run.mgf"));

  std::vector<msdata::CSpectrum> more(20, s);
  struct rlimit before {};
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  const auto previous_handler = std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit small = before;
  small.rlim_cur = 4096;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
  const bool written = spectra::WriteMgfFile(File("run.mgf"), more, error);
  setrlimit(RLIMIT_FSIZE, &before);
  std::signal(SIGXFSZ, previous_handler);

  EXPECT_FALSE(written);
  EXPECT_NE(error.find(File("run.mgf")), std::string::npos) << error;
  EXPECT_EQ(testsupport::ReadFile(File("run.mgf")), complete);
  std::size_t files = 0;
  for (const auto& entry : std::filesystem::directory_iterator(dir_)) files += entry.is_regular_file();
  EXPECT_EQ(files, 1u);
}

// An output that is a device or a FIFO, or a link to one, is written in
// place: a rename would put a file where the device was.
TEST_F(MgfWriter, DevicesAndFifosAreWrittenInPlace) {
  msdata::CSpectrum s;
  s.name = "run.1.1.2.dta";
  s.charge = 2;
  s.precursor_mz = 500.0;
  s.peaks = {{100.0, 1.0}};
  std::string error;
  std::filesystem::create_symlink("/dev/null", File("null.mgf"));
  ASSERT_TRUE(spectra::WriteMgfFile(File("null.mgf"), {s}, error)) << error;
  EXPECT_TRUE(std::filesystem::is_symlink(File("null.mgf")));

  ASSERT_EQ(mkfifo(File("fifo.mgf").c_str(), 0600), 0);
  std::string received;
  std::thread reader([&] { received = testsupport::ReadFile(File("fifo.mgf")); });
  const bool written = spectra::WriteMgfFile(File("fifo.mgf"), {s}, error);
  reader.join();
  EXPECT_TRUE(written) << error;
  EXPECT_EQ(received.rfind("BEGIN IONS\nTITLE=run.1.1.2.dta\n", 0), 0u) << received;
  EXPECT_TRUE(std::filesystem::is_fifo(File("fifo.mgf")));
}

// Numbers of any size keep their line: a peak line cut short would run into
// the next and damage the block.
TEST_F(MgfWriter, ExtremeValuesKeepTheirLines) {
  msdata::CSpectrum s;
  s.name = "run.1.1.2.dta";
  s.charge = 2;
  s.precursor_mz = 500.0;
  s.peaks = {{100.0, 1.0}, {1e300, 2.0}};
  std::string error;
  ASSERT_TRUE(spectra::WriteMgfFile(File("huge.mgf"), {s}, error)) << error;
  const std::string text = testsupport::ReadFile(File("huge.mgf"));
  EXPECT_NE(text.find(".000000 2\nEND IONS\n"), std::string::npos) << text;
}

// A cluster of any size keeps the file searchable: Comet (Debian's 2019.01)
// reads lines in pieces of 1023 characters and fails the whole file on a
// piece it takes for a bad peak. A member list that fits its line is
// written whole; a longer one names the table that holds it.
TEST_F(MgfWriter, LargeClustersStaySearchable) {
  msdata::CSpectrum s;
  s.name = "BSA1.1.2000.2.dta";
  s.charge = 2;
  s.precursor_mz = 547.2834;
  for (int i = 0; i < 30; ++i) s.peaks.emplace_back(150.0 + 31.7 * i, 100.0 + i);
  spectra::CMgfCluster big{1, 2000, "", "", "", "clusters.tsv"};
  for (int i = 1; i <= 2000; ++i) {
    const std::string name = "BSA1." + std::to_string(i) + "." + std::to_string(i) + ".2.dta";
    big.members += (i > 1 ? "\t" : "") + name;
    big.member_files += (i > 1 ? "\t" : "") + name;
  }
  // Lists of 1000 and 1001 characters with their keys.
  spectra::CMgfCluster fits{2, 2, std::string(984, 'a'), std::string(986, 'f'), "", "clusters.tsv"};
  spectra::CMgfCluster over{3, 2, std::string(985, 'a'), std::string(987, 'f'), "", "clusters.tsv"};
  const std::vector<spectra::CMgfCluster> clusters = {big, fits, over};
  std::string error;
  ASSERT_TRUE(spectra::WriteMgfFile(File("big.mgf"), {s, s, s}, error, &clusters)) << error;

  const std::string text = testsupport::ReadFile(File("big.mgf"));
  std::istringstream lines(text);
  for (std::string line; std::getline(lines, line);) EXPECT_LE(line.size(), 1023u) << line.substr(0, 40);
  EXPECT_NE(text.find("CLUSTER_SIZE=2000\nCLUSTER_MEMBERS_IN=clusters.tsv\nCLUSTER_FILES_IN=clusters.tsv\n"),
            std::string::npos);
  EXPECT_NE(text.find("CLUSTER_MEMBERS=" + fits.members + "\nCLUSTER_FILES=" + fits.member_files + "\n"),
            std::string::npos);
  EXPECT_NE(text.find("CLUSTER=3\nCLUSTER_SIZE=2\nCLUSTER_MEMBERS_IN=clusters.tsv\nCLUSTER_FILES_IN=clusters.tsv\n"),
            std::string::npos);

  const std::string comet = "/usr/bin/comet-ms";
  if (!std::filesystem::exists(comet)) GTEST_SKIP() << comet << " is missing (Debian package comet-ms)";
  Write("tiny.fasta", ">sp|TEST1|TEST\nMKWVTFISLLLLFSSAYSRGVFRRDTHKSEIAHRFKDLGEEHFK\n");
  const std::string in = "cd '" + dir_.string() + "' && ";
  ASSERT_EQ(std::system((in + comet + " -p > /dev/null 2>&1").c_str()), 0);
  ASSERT_EQ(std::system((in + "sed -e 's#^database_name = .*#database_name = tiny.fasta#' "
                               "-e 's/^num_threads = .*/num_threads = 1/' comet.params.new > comet.params")
                            .c_str()),
            0);
  const int status = std::system((in + comet + " -Pcomet.params big.mgf > comet.log 2>&1").c_str());
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << testsupport::ReadFile(File("comet.log"));
  EXPECT_TRUE(std::filesystem::exists(File("big.pep.xml")));
}
