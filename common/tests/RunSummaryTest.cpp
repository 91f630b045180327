#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/RunSummary.h"
#include "tests/support/Files.h"

using summary::CJson;

// What a reader of the summaries relies on: valid JSON whatever the text or
// number, keys in the order they were set, and the summary's fixed layout.
TEST(RunSummary, WritesValidJsonOfAnyValue) {
  CJson json = CJson::Object();
  json.Set("name", std::string("caf\xe9 \"q\"\n", 9));
  json.Set("nan", std::nan(""));
  json.Set("big", std::numeric_limits<unsigned long long>::max());
  json.Set("ratio", 0.1);
  json["nested"].Set("n", 3);
  json["nested"].Set("n", 4);  // replaced, not repeated
  json.Set("list", CJson::Array()).Append(true);
  EXPECT_EQ(json.Text(),
            "{\n  \"name\": \"caf\xc3\xa9 \\\"q\\\"\xef\xbf\xbd\",\n  \"nan\": null,\n"
            "  \"big\": 18446744073709551616,\n  \"ratio\": 0.1,\n  \"nested\": {\n    \"n\": 4\n  },\n"
            "  \"list\": [\n    true\n  ]\n}");
}

TEST(RunSummary, SitsBesideTheMainOutputAndNamesAbsolutePaths) {
  EXPECT_EQ(summary::SummaryPathFor("/r/clusters.csv"), "/r/clusters.summary.json");
  EXPECT_EQ(summary::SummaryPathFor("/r/spectra/"), "/r/spectra.summary.json");
  EXPECT_EQ(summary::SummaryPathFor("pairs.csv"), "pairs.summary.json");

  testsupport::CTempDir dir("summary");
  summary::CRunSummary run("cluster", "clustering");
  run.AddInput("spectra", "/data/./BSA1.mzML");
  run.Counts().Set("clusters", 911);
  ASSERT_TRUE(run.Write(dir.File("s.json")));
  const std::string text = testsupport::ReadFile(dir.File("s.json"));
  EXPECT_EQ(text.find("{\n  \"program\": \"cluster\",\n  \"version\": "), 0u);
  EXPECT_NE(text.find("\"path\": \"/data/BSA1.mzML\""), std::string::npos);
  EXPECT_NE(text.find("\"clusters\": 911"), std::string::npos);
  EXPECT_EQ(text.find("details"), std::string::npos);
  EXPECT_FALSE(run.Write(dir.File("no/such/folder/s.json")));
}
