#include <gtest/gtest.h>

#include <sstream>

#include "common/CommandLine.h"

namespace {

cli::CommandLine MakeLine() {
  cli::CommandLine line("tool", {"[options] <input>..."}, "");
  line.Add({"threshold", 't', "VALUE", "0.6", "similarity threshold"});
  line.Add({"quiet", 0, "", "", "no progress"});
  line.Add({"output", 'o', "DIR", "", "output folder"});
  return line;
}

struct Case {
  std::vector<std::string> args;
  cli::Outcome outcome;
  std::string threshold;  // value of --threshold after parsing
  std::size_t positionals;
};

class CommandLineCases : public testing::TestWithParam<Case> {};

TEST_P(CommandLineCases, ParsesAsUsersWrite) {
  cli::CommandLine line = MakeLine();
  const Case& c = GetParam();
  EXPECT_EQ(line.Parse(c.args), c.outcome) << line.Error();
  if (c.outcome == cli::Outcome::kRun) {
    EXPECT_EQ(line.Value("threshold", "none"), c.threshold);
    EXPECT_EQ(line.Positionals().size(), c.positionals);
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, CommandLineCases,
    testing::Values(Case{{"a.mgf", "--threshold", "0.7"}, cli::Outcome::kRun, "0.7", 1},
                    Case{{"--threshold=0.8", "a", "b"}, cli::Outcome::kRun, "0.8", 2},
                    Case{{"-t", "0.9", "-o", "out", "a"}, cli::Outcome::kRun, "0.9", 1},
                    Case{{"--", "--threshold"}, cli::Outcome::kRun, "none", 1},
                    Case{{"-5"}, cli::Outcome::kRun, "none", 1},
                    Case{{"a", "--help", "--bogus"}, cli::Outcome::kError, "", 0},
                    Case{{"a", "--help"}, cli::Outcome::kHelp, "", 0},
                    Case{{"--version"}, cli::Outcome::kVersion, "", 0},
                    Case{{"--threshold"}, cli::Outcome::kError, "", 0},
                    Case{{"--quiet=yes"}, cli::Outcome::kError, "", 0},
                    Case{{"-x"}, cli::Outcome::kError, "", 0}));

TEST(CommandLine, ReportsHelpVersionAndErrorsWithTheirStatus) {
  cli::CommandLine line = MakeLine();
  std::ostringstream out, err;
  EXPECT_EQ(line.Report(line.Parse({"--help"}), out, err), 0);
  EXPECT_NE(out.str().find("-t, --threshold VALUE"), std::string::npos);
  EXPECT_NE(out.str().find("(default: 0.6)"), std::string::npos);
  out.str("");
  EXPECT_EQ(line.Report(line.Parse({"--version"}), out, err), 0);
  EXPECT_EQ(out.str().rfind("Tessera ", 0), 0u);
  EXPECT_EQ(line.Report(line.Parse({"--nope"}), out, err), 2);
  EXPECT_NE(err.str().find("unknown option: --nope"), std::string::npos);
  EXPECT_EQ(line.Report(line.Parse({"x"}), out, err), -1);
}

}  // namespace
