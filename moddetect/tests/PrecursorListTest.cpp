#include <gtest/gtest.h>

#include <sstream>

#include "moddetect/DetectionConfig.h"
#include "moddetect/PrecursorList.h"
#include "TestSupport.h"

namespace {

class PrecursorListTest : public shftest::WorkingDirTest {};

PrecursorRecord Rec(double mh, double rt = 10.0, int charge = 2) {
  PrecursorRecord r;
  r.mh = mh;
  r.retention_time = rt;
  r.charge = charge;
  return r;
}

std::vector<double> Masses(const std::vector<PrecursorRecord>& v) {
  std::vector<double> out;
  for (const auto& r : v) out.push_back(r.mh);
  return out;
}

}  // namespace

TEST_F(PrecursorListTest, DumpLinesMakeRecordsOnlyForMs2) {
  CPrecursorList list;
  list.SetSource("", DETECTION_FILE_DUMP, "run");
  std::istringstream in(std::string(kDumpHeader) +
                        "11 MS1 3.4 FTMS - 0 0 0 0\r\n"
                        "12 MS2 3.5 ITMS CID 11 2 900.5 450.75\r\n"
                        "13\tMS2\t4.0\tITMS\tHCD\t11\t3\t1200.25\t400.75\n"
                        "garbage line\n"
                        "14 MS2 oops\n"
                        "\n");
  ASSERT_TRUE(list.ReadDump(in));
  const auto& r = list.Records();
  ASSERT_EQ(r.size(), 3u);
  EXPECT_EQ(r[0].scan, 12);
  EXPECT_EQ(r[0].retention_time, 3.5);
  EXPECT_EQ(r[0].charge, 2);
  EXPECT_EQ(r[0].mh, 900.5);
  EXPECT_EQ(r[0].mz, 450.75);
  EXPECT_EQ(r[0].title, "run.12.12.2.dta");
  EXPECT_EQ(r[1].title, "run.13.13.3.dta");
  // An unparsable rest leaves the fields at 0; the type word decides.
  EXPECT_EQ(r[2].scan, 14);
  EXPECT_EQ(r[2].mh, 0.0);
}

TEST_F(PrecursorListTest, UnreadableDumpsFail) {
  CPrecursorList list;
  EXPECT_FALSE(list.ReadDump("nothing.here"));
  EXPECT_TRUE(HasMessage("Cannot read raw temp file: nothing.here"));
  testsupport::WriteFile("empty.temp", "");
  EXPECT_FALSE(list.ReadDump("empty.temp"));
  EXPECT_TRUE(HasMessage("Cannot read raw temp file!"));
  testsupport::WriteFile("header.temp", kDumpHeader);
  EXPECT_TRUE(list.ReadDump("header.temp"));
  EXPECT_TRUE(list.Records().empty());
  // Huge and binary lines are read without harm.
  std::string junk = std::string(kDumpHeader) + "1 MS2 " + std::string(100000, 'x') + "\n";
  for (int i = 0; i < 2000; ++i) junk += static_cast<char>((i * 37) % 256);
  junk += "\n5 MS2 nan ITMS CID 1 2 inf nan\n";
  testsupport::WriteFile("junk.temp", junk);
  EXPECT_TRUE(list.ReadDump("junk.temp"));
  list.ApplyWindows(400, 6000, 0, 100000);
  EXPECT_TRUE(list.Records().empty());
}

TEST_F(PrecursorListTest, WindowsAreExclusiveAndLeaveTimeOrder) {
  CPrecursorList list;
  auto& r = list.MutableRecords();
  r = {Rec(400.0, 5), Rec(900.0, 30), Rec(6000.0, 5), Rec(500.0, 20), Rec(700.0, 0.0), Rec(800.0, 100.0),
       Rec(450.0, 20)};
  list.ApplyWindows(400, 6000, 0, 100);
  // Equal times keep the mass order of the first stable sort.
  EXPECT_EQ(Masses(list.Records()), (std::vector<double>{450.0, 500.0, 900.0}));
  list.MutableRecords() = {Rec(300.0), Rec(350.0)};
  list.ApplyWindows(400, 6000, 0, 100);
  EXPECT_TRUE(list.Records().empty());
}

TEST_F(PrecursorListTest, RedundancyRemovalKeepsGroupMiddles) {
  CPrecursorList list;
  list.MutableRecords() = {Rec(500.0), Rec(500.002), Rec(500.004), Rec(700.0)};
  list.RemoveRedundancy(5.0);
  EXPECT_EQ(Masses(list.Reduced()), (std::vector<double>{500.002, 700.0}));

  // The last three form one group; the middle one stays.
  list.MutableRecords() = {Rec(600.0), Rec(800.0), Rec(800.001), Rec(800.002)};
  list.RemoveRedundancy(5.0);
  EXPECT_EQ(Masses(list.Reduced()), (std::vector<double>{600.0, 800.001}));

  // A group of two keeps its first record ((a + b) / 2 rounded down).
  list.MutableRecords() = {Rec(1000.0), Rec(1000.001)};
  list.RemoveRedundancy(5.0);
  EXPECT_EQ(Masses(list.Reduced()), (std::vector<double>{1000.0}));

  list.MutableRecords() = {Rec(1234.5)};
  list.RemoveRedundancy(5.0);
  EXPECT_EQ(list.Reduced().size(), 1u);
  list.MutableRecords().clear();
  list.RemoveRedundancy(5.0);
  EXPECT_TRUE(list.Reduced().empty());

  // Charge is not compared: after the charge-major sort, masses of
  // different charges are apart in the list, and the reduced list is in
  // ascending mass order.
  list.MutableRecords() = {Rec(900.0, 1, 3), Rec(500.0, 1, 2), Rec(900.001, 1, 2)};
  list.SortByChargeMass();
  EXPECT_EQ(Masses(list.Records()), (std::vector<double>{500.0, 900.001, 900.0}));
  list.RemoveRedundancy(5.0);
  EXPECT_EQ(Masses(list.Reduced()), (std::vector<double>{500.0, 900.001}));
}

TEST_F(PrecursorListTest, DumpTypeReadAppliesTheWindows) {
  testsupport::WriteFile("in.dump", std::string(kDumpHeader) +
                                    "1 MS2 5 ITMS CID 0 2 300 150\n"
                                    "2 MS2 7 ITMS CID 0 2 1000 500\n"
                                    "3 MS2 6 ITMS CID 0 2 1100 550\n");
  CDetectionConfig config;
  CPrecursorList list;
  list.SetSource("in.dump", DETECTION_FILE_DUMP, "x");
  ASSERT_TRUE(list.ReadData(config));
  EXPECT_EQ(Masses(list.Records()), (std::vector<double>{1100.0, 1000.0}));
}

TEST_F(PrecursorListTest, MassListThroughTheDtaRoad) {
  testsupport::WriteFile("masses.TXT", "1500.5\n900.25 1200\n\n2000 not-a-number 3000\n");
  testsupport::WriteFile(kRawDataTemp, std::string(kDumpHeader) + "9 MS2 1 ITMS CID 0 2 999 500\n");
  CDetectionConfig config;
  CPrecursorList list;
  list.SetSource("masses.TXT", DETECTION_FILE_DTA, "m");
  ASSERT_TRUE(list.ReadData(config));
  // Sorted by mass descending before the dump is written: positions follow.
  const auto& r = list.Records();
  ASSERT_EQ(r.size(), 4u);
  for (const auto& rec : r) {
    EXPECT_EQ(rec.retention_time, 1.0);
    EXPECT_EQ(rec.charge, 1);
  }
  std::vector<std::pair<double, int>> got;
  for (const auto& rec : r) got.push_back({rec.mh, rec.scan});
  std::sort(got.begin(), got.end());
  EXPECT_EQ(got, (std::vector<std::pair<double, int>>{{900.25, 4}, {1200.0, 3}, {1500.5, 2}, {2000.0, 1}}));
  EXPECT_EQ(list.DataPath(), kRawDataTemp);
  EXPECT_EQ(list.FileType(), DETECTION_FILE_DUMP);
  EXPECT_EQ(testsupport::ReadFile(kRawDataTemp).substr(0, std::string(kDumpHeader).size()), kDumpHeader);
}

TEST_F(PrecursorListTest, FailedLoadNeverReadsAStaleDump) {
  testsupport::WriteFile(kRawDataTemp, std::string(kDumpHeader) + "9 MS2 1 ITMS CID 0 2 999 500\n");
  CDetectionConfig config;
  CPrecursorList list;
  list.SetSource("no/such/dir", DETECTION_FILE_DTA, "m");
  EXPECT_FALSE(list.ReadData(config));
  EXPECT_TRUE(HasMessage("Data file path does not exists!"));
  EXPECT_TRUE(list.Records().empty());
  EXPECT_FALSE(std::filesystem::exists(kRawDataTemp));

  CPrecursorList ms2;
  ms2.SetSource("missing.ms2", DETECTION_FILE_MS2, "m");
  EXPECT_FALSE(ms2.ReadData(config));
  EXPECT_TRUE(ms2.Records().empty());
}

TEST_F(PrecursorListTest, DtaDirectoryThroughTheImporter) {
  std::filesystem::create_directory("dtas");
  testsupport::WriteFile("dtas/run.x.100.100.2.dta", "1001.5 2\n200.1 10\n300.2 20\n");
  testsupport::WriteFile("dtas/run.x.205.206.3.dta", "1500.25 3\n210.0 5\n");
  CDetectionConfig config;
  CPrecursorList list;
  list.SetSource("dtas", DETECTION_FILE_DTA, "t");
  ASSERT_TRUE(list.ReadData(config)) << (messages_.empty() ? "" : messages_.back());
  ASSERT_EQ(list.Records().size(), 2u);
  // Scan and charge come from the names even with dots in the prefix; the
  // first scan stands in for the retention time.
  const auto& r = list.Records();
  EXPECT_EQ(r[0].retention_time, 100.0);
  EXPECT_EQ(r[0].charge, 2);
  EXPECT_NEAR(r[0].mh, 1001.5, 1e-6);
  EXPECT_EQ(r[1].retention_time, 205.0);
  EXPECT_EQ(r[1].charge, 3);
  EXPECT_EQ(r[1].title, "t.1.1.3.dta");  // positions: charge 3 sorts first
}

TEST_F(PrecursorListTest, Ms2FileKeepsItsScansAndTimes) {
  testsupport::WriteFile("t.ms2",
                     "H\tCreationDate\ttoday\n"
                     "S\t000012\t000012\t450.75\nI\tRTime\t3.5\nZ\t2\t900.493\n100.0 10.0\n"
                     "S\t000020\t000020\t458.75\nI\tRTime\t4.0\nZ\t2\t916.493\n100.0 10.0\n");
  CDetectionConfig config;
  CPrecursorList list;
  list.SetSource("t.ms2", DETECTION_FILE_MS2, "m");
  ASSERT_TRUE(list.ReadData(config)) << (messages_.empty() ? "" : messages_.back());
  ASSERT_EQ(list.Records().size(), 2u);
  EXPECT_EQ(list.Records()[0].scan, 12);
  EXPECT_EQ(list.Records()[1].scan, 20);
  // Seconds, like the dumper's times.
  EXPECT_NEAR(list.Records()[0].retention_time, 210.0, 1e-6);
  EXPECT_NEAR(list.Records()[1].mh - list.Records()[0].mh, 16.0, 1e-6);
  EXPECT_EQ(list.Records()[1].title, "m.20.20.2.dta");
}

TEST_F(PrecursorListTest, MissingDumperFailsTheRead) {
  CDetectionConfig config;
  CPrecursorList list;
  list.SetSource("/data/run.raw", DETECTION_FILE_RAW, "r");
  list.SetGannetProgram((dir_ / "no-gannet" / "Gannet").string());
  testsupport::WriteFile(kRawDataTemp, std::string(kDumpHeader) + "9 MS2 1 ITMS CID 0 2 999 500\n");
  EXPECT_FALSE(list.ReadData(config));
  EXPECT_TRUE(HasMessage("Can not find Gannet.exe!"));
  EXPECT_TRUE(list.Records().empty());
  EXPECT_EQ(testsupport::ReadFile(kRawFileTemp), "/data/run.raw\n");
  EXPECT_FALSE(std::filesystem::exists(kRawDataTemp));
}

TEST_F(PrecursorListTest, DumperIsStartedAndAwaited) {
  // A stand-in dumper: reads the path from its argument file, waits a
  // little (so that the process-table wait matters) and writes the dump.
  std::filesystem::create_directory("bin");
  const std::string fake = (dir_ / "bin" / "Gannet").string();
  testsupport::WriteFile(fake,
                     "#!/bin/sh\n"
                     "read p < \"$1\"\n"
                     "sleep 0.3\n"
                     "printf 'header\\n1 MS2 2.5 ITMS CID 0 2 %s 500\\n' \"$p\" > raw.data.temp\n");
  std::filesystem::permissions(fake, std::filesystem::perms::owner_all);
  CDetectionConfig config;
  CPrecursorList list;
  list.SetSource("1234.5", DETECTION_FILE_RAW, "r");
  list.SetGannetProgram(fake);
  ASSERT_TRUE(list.ReadData(config));
  ASSERT_EQ(list.Records().size(), 1u);
  EXPECT_EQ(list.Records()[0].mh, 1234.5);

  // A dumper that fails is a failed read.
  testsupport::WriteFile(fake, "#!/bin/sh\nexit 3\n");
  CPrecursorList failing;
  failing.SetSource("1234.5", DETECTION_FILE_RAW, "r");
  failing.SetGannetProgram(fake);
  EXPECT_FALSE(failing.ReadData(config));
  EXPECT_TRUE(failing.Records().empty());
}
