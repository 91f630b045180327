#include <gtest/gtest.h>

#include "tests/support/ScratchDir.h"

#include <filesystem>
#include <memory>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/Notifier.h"
#include "resultfiles/Identifications.h"
#include "resultfiles/ResultFile.h"

namespace fs = std::filesystem;

namespace {

class ResultFiles : public ScratchDirTest {
 protected:
  // Reads through the factory, as the propagation does.
  void Load(const std::string& p) {
    std::unique_ptr<CResultFile> reader(CResultFileFactory().GetResult(p));
    ASSERT_NE(reader, nullptr) << p;
    reader->LoadResult(p, results_, data_path_, mods_);
  }

  static std::string Crlf(const std::string& s) {
    std::string out;
    for (char c : s) {
      if (c == '\n') out += '\r';
      out += c;
    }
    return out;
  }

  ResultMap results_;
  std::string data_path_ = "unchanged";
  ModificationList mods_;
  std::vector<std::string> messages_;
  notify::ScopedHandler capture_{[this](const std::string& m) { messages_.push_back(m); }};
};

const char kTagram[] =
    "[FilePath]\n"
    "File_Path=/Data/Run1\n"
    "[Modification]\n"
    "1=Oxidation\n"
    "2=Phospho\n"
    "[Total]\n"
    "total=4\n"
    "[Spectrum1]\n"
    "Name=run.100.100.2.dta\n"
    "1=ABC\n"
    "[Spectrum2]\n"
    "Name=run.200.200.2.dta\n"
    "1=ABC 12.5\n"
    "[Spectrum3]\n"
    "Name=run.300.300.2.dta\n"
    "1=XYZ 1.0\n"
    "2=ABC 12.5 3,1 \n"
    "[Spectrum4]\n"
    "Name=run.400.400.2.dta\n"
    "ABCD 9.9 0,2 2,1\n";

}  // namespace

TEST(ResultFileFactory, ChoosesTheReaderByExtension) {
  CResultFileFactory factory;
  auto kind = [&factory](const std::string& p) -> std::string {
    std::unique_ptr<CResultFile> r(factory.GetResult(p));
    if (dynamic_cast<CTagramResultFile*>(r.get())) return "tagram";
    if (dynamic_cast<CKilnResultFile*>(r.get())) return "kiln";
    return r ? "other" : "none";
  };
  EXPECT_EQ(kind("/a/b/run.tagram"), "tagram");
  EXPECT_EQ(kind("C:\\x\\RUN.TaGrAm"), "tagram");
  EXPECT_EQ(kind("run.Spectra"), "kiln");
  EXPECT_EQ(kind("run.txt"), "none");
  EXPECT_EQ(kind("run"), "none");
  EXPECT_EQ(kind("dir.tagram/run"), "none");
  EXPECT_EQ(kind(""), "none");
}

TEST_F(ResultFiles, TagramRecordsKeepSequenceAndItems) {
  for (const std::string& content : {std::string(kTagram), Crlf(kTagram)}) {
    results_.clear();
    mods_.clear();
    Load(Write("run.tagram", content));
    EXPECT_EQ(data_path_, "/Data/Run1");
    ASSERT_EQ(mods_.size(), 2u);
    EXPECT_EQ(mods_[0], (std::pair<std::string, double>("Oxidation", -1.0)));
    EXPECT_EQ(mods_[1].first, "Phospho");
    // Names stay as the file wrote them, carriage returns or not.
    const ResultMap expected = {{"run.100.100.2.dta", ""},
                                {"run.200.200.2.dta", "ABC"},
                                {"run.300.300.2.dta", "ABC 3,1"},
                                {"run.400.400.2.dta", "ABCD 0,2 2,1"}};
    EXPECT_EQ(results_, expected);
  }
  EXPECT_TRUE(messages_.empty());
}

TEST_F(ResultFiles, TagramHeaderRules) {
  // NULL anywhere in the path means no data path; total=0 adds no results
  // but the modifications are still read, duplicates included.
  results_ = {{"kept", "X"}};
  Load(Write("a.tagram",
             "[FilePath]\nFile_Path=D:\\NULL\\x\n[Modification]\n1=Ox\n2=Ox\n"
             "[Total]\ntotal=0\n[Spectrum1]\nName=s1\n1=ABC 1 0,1\n"));
  EXPECT_EQ(data_path_, "");
  ASSERT_EQ(mods_.size(), 2u);
  EXPECT_EQ(mods_[1].first, "Ox");
  EXPECT_EQ(results_, (ResultMap{{"kept", "X"}}));

  // A count beyond the records stops at the end of the file; a file without
  // records keeps the header data only.
  results_.clear();
  Load(Write("b.tagram", "[Total]\ntotal=1000000\n[Spectrum1]\nName=s1\n1=AB 1\n"));
  EXPECT_EQ(results_, (ResultMap{{"s1", "AB"}}));
  results_.clear();
  Load(Write("c.tagram", "[Total]\ntotal=3\n[Spectrum2]\nName=s1\n1=AB 1\n"));
  EXPECT_TRUE(results_.empty());
  // A name line without "=" after its first character gives the empty name.
  Load(Write("d.tagram", "[Total]\ntotal=1\n[Spectrum1]\n=odd\nPEP 1 2,1\n"));
  EXPECT_EQ(results_, (ResultMap{{"", "PEP 2,1"}}));
}

// A name given twice: the last record wins, and the file is said to hold
// repeated names (the file, the first such name and how often). A name in
// another case is another name to the reader; the programs, which match
// names without regard to case, take the first of the two and say so.
TEST_F(ResultFiles, TagramRepeatedNamesAreSaid) {
  const std::string path =
      Write("twice.tagram",
            "[Total]\ntotal=5\n[Spectrum1]\nName=run.1.1.2.dta\n1=AAA 1\n[Spectrum2]\nName=RUN.1.1.2.DTA\n"
            "1=BBB 1\n[Spectrum3]\nName=run.1.1.2.dta\n1=CCC 1\n[Spectrum4]\nName=run.2.2.2.dta\n1=DDD 1\n"
            "[Spectrum5]\nName=run.1.1.2.dta\n1=EEE 1\n");
  Load(path);
  EXPECT_EQ(results_, (ResultMap{{"RUN.1.1.2.DTA", "BBB"}, {"run.1.1.2.dta", "EEE"}, {"run.2.2.2.dta", "DDD"}}));
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_NE(messages_[0].find(File("twice.tagram")), std::string::npos) << messages_[0];
  EXPECT_NE(messages_[0].find("(first: run.1.1.2.dta, 3 records)"), std::string::npos) << messages_[0];

  messages_.clear();
  CIdentifications loaded;
  std::string error;
  ASSERT_TRUE(LoadIdentifications(path, CIdentificationFilter(), loaded, error)) << error;
  EXPECT_EQ(loaded.results, (ResultMap{{"RUN.1.1.2.DTA", "BBB"}, {"RUN.2.2.2.DTA", "DDD"}}));
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_NE(messages_[1].find(path + " gives 1 spectrum name in another case too"), std::string::npos)
      << messages_[1];
}

TEST_F(ResultFiles, KilnLinesGiveNamesAndNumberedModifications) {
  mods_ = {{"Phospho", 79.97}};
  Load(Write("run.spectra",
             "#\tbefore\tX.AAA.Y\n"
             "1,\tfile\tspec1.dta\t2\t1000.5\n"
             "#\t1\tK.PEPTMIDEK.A\t4 M(Oxidation)\n"
             "*\t2\tK.PEMTMIDEK.A\t3 M(Oxidation) 5 M(Oxidation) 2 E(Methyl)\n"
             "12,xfile spec2.dta 2\n"
             "#\tK.ST.K\t1 S(Phospho)\n"
             "header line ignored\n"
             "3,\tfile\tspec3.dta\t9\n"
             "# K.AB.C(X)\n"
             "# K.AB.C x(Y)\n"
             "4,\tfile\tno-space-after-name.dta\n"
             "#\tK.QQ.K\n"));
  EXPECT_EQ(data_path_, "unchanged");
  const ResultMap expected = {{"", "QQ"},
                              {"spec1.dta", "PEMTMIDEK 2,2 4,2 1,3"},
                              {"spec2.dta", "ST 0,1"},
                              {"spec3.dta", "AB"}};
  EXPECT_EQ(results_, expected);
  const ModificationList expected_mods = {
      {"Phospho", 79.97}, {"Oxidation", -1.0}, {"Methyl", -1.0}};
  EXPECT_EQ(mods_, expected_mods);

  EXPECT_EQ(CKilnResultFile::ParseIdentification("#.. 1 (N)", mods_), " 0,4");
  EXPECT_EQ(CKilnResultFile::ParseIdentification(")))", mods_), "");
  EXPECT_EQ(CKilnResultFile::ParseIdentification("# K.A.B 1x) ) )", mods_), "A");
}

TEST_F(ResultFiles, PairFileMarksNamesAndShifts) {
  CResultFileFactory factory;
  std::vector<std::string> names = {"old"};
  std::vector<double> shifts = {1.0};
  std::vector<std::int32_t> marks = {9};
  factory.GetPair_(Write("pairs.csv",
                         "spec1.dta,1000.5,spec2.dta,984.5,16.0,0.9,2\r\n"
                         "a.dta,1,b.dta,2,-14.5,0.8,2,extra\n"
                         "c.dta,1,d.dta\n"
                         "no separators at all\n"),
                   names, shifts, marks);
  EXPECT_EQ(names, (std::vector<std::string>{"SPEC1.DTA", "SPEC2.DTA", "A.DTA", "B.DTA",
                                             "C.DTA", "D.DTA", "NO SEPARATORS AT ALL", ""}));
  EXPECT_EQ(shifts, (std::vector<double>{16.0, -14.5, 0.0, 0.0}));
  EXPECT_EQ(marks, (std::vector<std::int32_t>{2, -1, -1, -1}));

  // A second file replaces the first; an unreadable one changes nothing.
  factory.GetPair_(Write("pairs2.csv", "x,1,y,2,3.5,0,1\n"), names, shifts, marks);
  EXPECT_EQ(names, (std::vector<std::string>{"X", "Y"}));
  EXPECT_EQ(marks, (std::vector<std::int32_t>{1}));
  const std::string missing = (dir_ / "missing.csv").string();
  factory.GetPair_(missing, names, shifts, marks);
  EXPECT_EQ(names.size(), 2u);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Can not read file:" + missing);
}

TEST_F(ResultFiles, ClusterFileGroupsNamesByNumber) {
  CResultFileFactory factory;
  ClusterMap clusters = {{7, {"old"}}};
  factory.ReadClusterFile_(Write("clusters.csv",
                                 "0,spec1.dta,3,1000.5\n"
                                 "1,spec2.dta,1,999.0\r\n"
                                 "2,spec3.dta,3\n"),
                           clusters);
  const ClusterMap expected = {{1, {"SPEC2.DTA"}}, {3, {"SPEC1.DTA", "SPEC3.DTA"}}};
  EXPECT_EQ(clusters, expected);

  // Missing fields: the name is what there is, the number 0.
  factory.ReadClusterFile_(Write("odd.csv", "0,lonely\nnothing\n"), clusters);
  EXPECT_EQ(clusters, (ClusterMap{{0, {"LONELY", ""}}}));

  const std::string missing = (dir_ / "missing.csv").string();
  factory.ReadClusterFile_(missing, clusters);
  EXPECT_EQ(clusters.size(), 1u);
  ASSERT_EQ(messages_.size(), 1u);
  EXPECT_EQ(messages_[0], "Can not read file:" + missing);

  // A directory is no file: reported, nothing replaced (the stream library
  // would open it and read it as empty).
  std::vector<std::string> names{"kept"};
  std::vector<double> shifts;
  std::vector<std::int32_t> marks;
  factory.ReadClusterFile_(dir_.string(), clusters);
  factory.GetPair_(dir_.string(), names, shifts, marks);
  const std::string spectra_dir = (dir_ / "d.spectra").string();
  fs::create_directory(spectra_dir);
  Load(spectra_dir);
  EXPECT_EQ(clusters.size(), 1u);
  EXPECT_EQ(names, std::vector<std::string>{"kept"});
  ASSERT_EQ(messages_.size(), 4u);
  EXPECT_EQ(messages_[1], "Can not read file:" + dir_.string());
  EXPECT_EQ(messages_[3], "Can not open file:" + spectra_dir);
}

TEST_F(ResultFiles, BadInputIsReportedAndNeverCrashes) {
  const std::string missing_tagram = (dir_ / "missing.tagram").string();
  Load(missing_tagram);
  Load((dir_ / "missing.spectra").string());
  ASSERT_EQ(messages_.size(), 2u);
  EXPECT_EQ(messages_[0], "Can not open file:" + missing_tagram);

  std::string garbage;
  for (int i = 0; i < 200000; ++i) garbage.push_back(static_cast<char>((i * 2654435761u) >> 24));
  const std::string huge = "1," + std::string(500000, 'x') + " " + std::string(300000, 'n') + " \n" +
                           "#." + std::string(400000, ')') + "\n";
  for (const std::string& content : {garbage, huge, std::string()}) {
    Load(Write("g.tagram", "[Total]\ntotal=5\n[Spectrum1]\n" + content));
    Load(Write("g.spectra", content));
    std::vector<std::string> names;
    std::vector<double> shifts;
    std::vector<std::int32_t> marks;
    CResultFileFactory().GetPair_(Write("g.csv", content), names, shifts, marks);
    EXPECT_EQ(names.size(), 2 * marks.size());
    ClusterMap clusters;
    CResultFileFactory().ReadClusterFile_(Write("g.csv", content), clusters);
  }
  // A long Kiln name is kept whole.
  EXPECT_EQ(results_.count(std::string(300000, 'n')), 1u);
  EXPECT_EQ(messages_.size(), 2u);
}
