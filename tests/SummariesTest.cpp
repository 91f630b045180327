// The run summaries the programs write: their counts are those of the
// files the same run wrote, and a failed run leaves none behind.

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <map>
#include <regex>
#include <set>
#include <string>
#include <sys/wait.h>

#include "tests/support/Files.h"
#include "tests/support/ScratchDir.h"

namespace {

int Shell(const std::string& command) {
  const int raw = std::system(command.c_str());
  return WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
}

// The whole number after "key": in a summary; -1 when absent.
long Count(const std::string& json, const std::string& key) {
  std::smatch match;
  if (!std::regex_search(json, match, std::regex("\"" + key + "\": (-?[0-9]+)"))) return -1;
  return std::stol(match[1]);
}

std::vector<std::string> Lines(const std::string& path) {
  std::ifstream in(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.empty()) lines.push_back(line);
  return lines;
}

class SummariesTest : public ScratchDirTest {
 protected:
  int Run(const std::string& program, const std::string& args) {
    return Shell("cd '" + File(".") + "' && '" + std::string(TESSERA_BIN_DIR) + "/" + program + "' " + args +
                 " > /dev/null 2>&1");
  }
};

TEST_F(SummariesTest, CountsAreThoseOfTheFilesTheRunWrote) {
  const std::string run = "/usr/share/doc/openms/examples/BSA/BSA1.mzML";
  if (!std::ifstream(run)) GTEST_SKIP() << "no " << run << " (Debian openms-common's examples)";
  ASSERT_EQ(Run("cluster", "'" + run + "' -o c --quiet"), 0);
  ASSERT_EQ(Run("cluster", "'" + run + "' -o p --type pairs --quiet"), 0);
  const std::string ids = std::string(TESSERA_SOURCE_DIR) + "/data/BSA/BSA1_Comet.pep.xml";
  ASSERT_EQ(Run("propagate", "--pairs p/pairs.csv --clusters c/clusters.csv --ids '" + ids +
                                 "' -o g --table g/table.tsv --quiet"),
            0);

  // Clustering: "row,name,cluster,mass" per spectrum kept.
  const std::string clustering = testsupport::ReadFile(File("c/clusters.summary.json"));
  std::map<std::string, long> sizes;
  const std::vector<std::string> rows = Lines(File("c/clusters.csv"));
  for (const std::string& row : rows) {
    const std::size_t last = row.rfind(','), before = row.rfind(',', last - 1);
    ++sizes[row.substr(before + 1, last - before - 1)];
  }
  long largest = 0, joined = 0;
  for (const auto& [cluster, size] : sizes) {
    largest = std::max(largest, size);
    if (size >= 2) joined += size;
  }
  EXPECT_NE(clustering.find("\"kind\": \"clustering\""), std::string::npos);
  EXPECT_EQ(Count(clustering, "clusters"), static_cast<long>(sizes.size()));
  EXPECT_EQ(Count(clustering, "spectra_kept"), static_cast<long>(rows.size()));
  EXPECT_EQ(Count(clustering, "largest_cluster"), largest);
  EXPECT_EQ(Count(clustering, "spectra_in_clusters_of_two_or_more"), joined);

  // Pair search: a line per pair, a line per shift of its table.
  const std::string pairs = testsupport::ReadFile(File("p/pairs.summary.json"));
  EXPECT_EQ(Count(pairs, "pairs"), static_cast<long>(Lines(File("p/pairs.csv")).size()));
  EXPECT_EQ(Count(pairs, "mass_shifts"), static_cast<long>(Lines(File("p/temp.temp")).size()));
  EXPECT_NE(pairs.find("\"top_shifts\""), std::string::npos);

  // Propagation: a table row per spectrum it identified.
  const std::string propagation = testsupport::ReadFile(File("g/propagation.summary.json"));
  EXPECT_EQ(Count(propagation, "identified_by_propagation"), static_cast<long>(Lines(File("g/table.tsv")).size()) - 1);
  EXPECT_NE(propagation.find("\"role\": \"propagation table\""), std::string::npos);

  // A failed rerun leaves no summary to pass for its own.
  testsupport::WriteFile(File("bad.pep.xml"), "not XML\n");
  EXPECT_NE(Run("propagate", "--pairs p/pairs.csv --ids bad.pep.xml -o g --table g/table.tsv --quiet"), 0);
  EXPECT_FALSE(std::ifstream(File("g/propagation.summary.json")).good());
}

}  // namespace
