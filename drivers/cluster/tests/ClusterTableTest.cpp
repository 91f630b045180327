#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "common/Notifier.h"
#include "clustering/Progress.h"
#include "drivers/cluster/ClusterOptions.h"
#include "drivers/cluster/partition/Partition.h"
#include "tests/support/ScratchDir.h"

namespace {

namespace fs = std::filesystem;
using testsupport::ReadFile;

const std::string kSpectra = std::string(TESSERA_SOURCE_DIR) + "/spectra/tests/data/";
const std::string kClusterIn = std::string(TESSERA_SOURCE_DIR) + "/clustering/tests/data/cluster_in";

std::vector<std::vector<std::string>> Rows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::vector<std::string> cells;
    std::size_t start = 0;
    for (std::size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
      cells.push_back(line.substr(start, tab - start));
    cells.push_back(line.substr(start));
    rows.push_back(cells);
  }
  return rows;
}

class ClusterTable : public ScratchDirTest {
 protected:
  void SetUp() override {
    ScratchDirTest::SetUp();
    working_ = std::make_unique<testsupport::CCurrentDir>(dir_);
    notify_ = notify::SetHandler([](const std::string&) {});
    progress_ = progress::SetSink([](const std::string&) {});
  }
  void TearDown() override {
    notify::SetHandler(notify_);
    progress::SetSink(progress_);
    working_.reset();
    ScratchDirTest::TearDown();
  }
  int Run(const std::vector<std::string>& args) {
    cli::CommandLine line = clusterjob::ClusterCommandLine();
    std::ostringstream out;
    const int answered = line.Report(line.Parse(args), out, out);
    const int status = answered >= 0 ? answered : clusterjob::RunParsedCommandLine(line, out, out);
    output_ = out.str();
    return status;
  }
  std::unique_ptr<testsupport::CCurrentDir> working_;
  notify::Handler notify_;
  progress::Sink progress_;
  std::string output_;
};

struct Input {
  const char* name;
  std::string path;
  std::size_t rows;      // spectra loaded (the filter's dropped ones included)
  const char* file;      // the first row's file
  const char* scan;      // ... scan
  bool native_id;        // whether native ids are given
  bool title;            // whether titles are given
  const char* locator;   // how the first row's USI points at it
};

void PrintTo(const Input& input, std::ostream* os) { *os << input.name; }

class ClusterTableOfInput : public ClusterTable, public ::testing::WithParamInterface<Input> {};

// One row per loaded spectrum, in load order; its cluster numbers and sizes
// are those of the cluster file, dropped spectra have none, and the source
// columns are what each format can say.
TEST_P(ClusterTableOfInput, OneRowPerSpectrumWithTheClustersOfTheClusterFile) {
  const Input& in = GetParam();
  ASSERT_EQ(Run({in.path, "-o", File("out"), "--small-peaks-count-filter", "3", "--px", "PXD000561",
                 "--threshold", "0.3"}),
            0)
      << output_;
  const auto table = Rows(ReadFile(File("out/clusters.tsv")));
  ASSERT_EQ(table.size(), in.rows + 1);
  EXPECT_EQ(table[0].size(), 11u);
  EXPECT_EQ(table[0][10], "usi");
  std::map<std::string, int> size_in_file;
  std::istringstream csv(ReadFile(File("out/clusters.csv")));
  std::size_t clustered = 0;
  for (std::string line; std::getline(csv, line); ++clustered) {
    const std::size_t last = line.rfind(',');
    ++size_in_file[line.substr(line.rfind(',', last - 1) + 1, last - line.rfind(',', last - 1) - 1)];
  }
  std::map<std::string, int> size_in_table;
  std::map<std::string, int> representatives;
  std::size_t dropped = 0;
  for (std::size_t r = 1; r < table.size(); ++r) {
    const auto& row = table[r];
    ASSERT_EQ(row.size(), 11u) << r;
    EXPECT_EQ(!row[2].empty(), in.native_id) << r;
    EXPECT_EQ(!row[3].empty(), in.title) << r;
    EXPECT_EQ(row[10].rfind("mzspec:PXD000561:", 0), 0u) << row[10];
    if (row[7].empty()) {
      ++dropped;
      EXPECT_EQ(row[8] + row[9], "");
      continue;
    }
    ++size_in_table[row[7]];
    EXPECT_EQ(std::to_string(size_in_file[row[7]]), row[8]);
    representatives[row[7]] += row[9] == "1";
  }
  EXPECT_EQ(size_in_table, size_in_file);
  EXPECT_EQ(dropped + clustered, in.rows);
  // Consensus spectra: the lone spectra are written as themselves.
  for (const auto& [cluster, size] : size_in_file) EXPECT_EQ(representatives[cluster], size == 1 ? 1 : 0);
  EXPECT_EQ(table[1][0], in.file);
  EXPECT_EQ(table[1][1], in.scan);
  EXPECT_NE(table[1][10].find(in.locator), std::string::npos) << table[1][10];
}

INSTANTIATE_TEST_SUITE_P(
    Formats, ClusterTableOfInput,
    ::testing::Values(
        Input{"mzML", kSpectra + "bsa_small.mzML", 6, "bsa_small.mzML", "", true, false,
              "mzspec:PXD000561:bsa_small:nativeId:2442"},
        Input{"mzXML", kSpectra + "bsa_small.mzXML", 6, "bsa_small.mzXML", "3", false, false,
              "mzspec:PXD000561:bsa_small:scan:3"},
        Input{"MGF", kSpectra + "basic.mgf", 6, "basic.mgf", "100", false, true, "mzspec:PXD000561:basic:scan:100"},
        Input{"DTA", kClusterIn, 6, "s.1.1.2.dta", "1", false, false, "mzspec:PXD000561:s:scan:1"}),
    [](const ::testing::TestParamInfo<Input>& info) { return std::string(info.param.name); });

// Accessions of the USI's datasets are taken; anything else is a usage
// error before any work.
TEST_F(ClusterTable, AccessionsAcceptedAndRefused) {
  const struct {
    const char* accession;
    int status;
  } cases[] = {{"PXD000561", 0}, {"PXL000001", 0}, {"MSV000079514", 0}, {"PXD12345", 2},    {"pxd000561", 2},
               {"PXD0005610", 2}, {"MSV00007951", 2}, {"ABC000561", 2},   {"PXD00056a", 2}, {"", 2}};
  for (const auto& c : cases) {
    const int status = Run({kClusterIn, "-o", File("out"), "--px", c.accession});
    EXPECT_EQ(status, c.status) << c.accession << ": " << output_;
    if (c.status == 0) {
      EXPECT_NE(ReadFile(File("out/clusters.tsv")).find(std::string("\tmzspec:") + c.accession + ":s:scan:"),
                std::string::npos);
    } else {
      EXPECT_NE(output_.find("--px"), std::string::npos) << output_;
    }
  }
  EXPECT_FALSE(fs::exists(File("error_happened.error")));
}

// The parts of a partitioned run give the table one run writes.
TEST_F(ClusterTable, TheMergedTableIsTheOneRunsTable) {
  ASSERT_EQ(Run({"--write-para", File("job.para"), "--out-directory", File("spectra"), "--cluster-result",
                 File("res.csv"), "--small-peaks-count-filter", "2", kClusterIn}),
            0)
      << output_;
  ASSERT_EQ(Run({File("job.para")}), 0) << output_;
  const std::string single = ReadFile(File("clusters.tsv"));
  fs::remove(File("clusters.tsv"));
  std::ostringstream said;
  ASSERT_EQ(partition::RunPlan({"2", File("job.para"), File("work")}, said), 0) << said.str();
  for (const char* part : {"part_000", "part_001"}) {
    testsupport::CCurrentDir in(dir_ / "work" / part);
    ASSERT_EQ(Run({"part.para"}), 0) << output_;
  }
  ASSERT_EQ(partition::RunMerge({File("work")}, said), 0) << said.str();
  EXPECT_EQ(ReadFile(File("clusters.tsv")), single);
  EXPECT_GT(Rows(single).size(), 2u);
}

// Runs clustered together keep their own provenance: the table's rows are
// each run's own rows, in input order, and the members of the MGF file
// name the runs, never the pooled file.
TEST_F(ClusterTable, PooledRunsKeepTheirOwnRows) {
  const std::vector<std::string> inputs = {kSpectra + "bsa_small.mzML", kSpectra + "basic.mgf",
                                           kSpectra + "bsa_small.mzXML"};
  const std::vector<std::string> options = {"--small-peaks-count-filter", "3", "--px", "PXD000561"};
  auto without_clusters = [](std::vector<std::vector<std::string>> rows) {
    for (auto& row : rows) row.erase(row.begin() + 7, row.begin() + 10);
    return rows;
  };
  std::vector<std::vector<std::string>> alone;
  for (std::size_t i : {0u, 1u}) {
    std::vector<std::string> args = {inputs[i], "-o", File("alone")};
    args.insert(args.end(), options.begin(), options.end());
    ASSERT_EQ(Run(args), 0) << output_;
    auto rows = without_clusters(Rows(ReadFile(File("alone/clusters.tsv"))));
    alone.insert(alone.end(), rows.begin() + (alone.empty() ? 0 : 1), rows.end());
  }
  std::vector<std::string> args = {inputs[0], inputs[1], "-o", File("pooled")};
  args.insert(args.end(), options.begin(), options.end());
  ASSERT_EQ(Run(args), 0) << output_;
  const std::string table = ReadFile(File("pooled/clusters.tsv"));
  EXPECT_EQ(without_clusters(Rows(table)), alone);
  const std::string mgf = ReadFile(File("pooled/spectra.mgf"));
  EXPECT_EQ(table.find("inputs"), std::string::npos);
  EXPECT_EQ(mgf.find("inputs"), std::string::npos);
  EXPECT_NE(mgf.find("CLUSTER_MEMBERS=mzspec:PXD000561:basic:scan:"), std::string::npos);
  EXPECT_NE(mgf.find("SOURCE_FILE=bsa_small.mzML"), std::string::npos);

  // Two runs of one name would give their spectra one name: refused before
  // the output folder is made.
  EXPECT_EQ(Run({inputs[0], inputs[2], "-o", File("clash")}), 2);
  EXPECT_NE(output_.find(inputs[0] + " and " + inputs[2] + " are both run bsa_small"), std::string::npos)
      << output_;
  EXPECT_FALSE(fs::exists(File("clash")));
}

}  // namespace
