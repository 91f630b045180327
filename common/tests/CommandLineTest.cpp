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

namespace {

// A line with one option of every kind, as programs declare them.
cli::CommandLine TypedLine() {
  cli::CommandLine line("tool", {"[options]"}, "");
  line.Add(cli::Integer("threads", "N", "threads").Range(1, 1024));
  line.Add(cli::Real("threshold", "X", "similarity", "0.6").Range(0, 1));
  line.Add(cli::Real("target", "X", "ratio").Range(0, 1).Exclusive());
  line.Add(cli::Integer("shift-lower", "DA", "smallest shift", "6").Unit("Da").Alias("lower-mass"));
  line.Add(cli::ToleranceOption("precursor-tol", "precursor tolerance", "20ppm"));
  line.Add(cli::Choice("type", {"clusters", "pairs"}, "job"));
  line.Add(cli::Choice("method", {"top-n", "top-m-per-window", "both"}, "peaks").Numbered());
  line.Add(cli::Path("plot", "FILE", "picture").Extensions({"png", "svg"}));
  line.Add(cli::Fraction("max-q", "LEVEL", "q-value"));
  return line;
}

struct ValueCase {
  std::vector<std::string> args;
  bool accepted;
  std::string said;  // a fragment of the error, or of the stored value when accepted
};

class TypedValues : public testing::TestWithParam<ValueCase> {};

TEST_P(TypedValues, AreCheckedByParse) {
  cli::CommandLine line = TypedLine();
  const ValueCase& c = GetParam();
  const cli::Outcome outcome = line.Parse(c.args);
  ASSERT_EQ(outcome == cli::Outcome::kRun, c.accepted) << line.Error();
  if (c.accepted) {
    EXPECT_EQ(line.Given().back().second, c.said);
  } else {
    EXPECT_NE(line.Error().find(c.said), std::string::npos) << line.Error();
    std::ostringstream out, err;
    EXPECT_EQ(line.Report(outcome, out, err), 2);
  }
}

INSTANTIATE_TEST_SUITE_P(
    All, TypedValues,
    testing::Values(ValueCase{{"--threads", "4"}, true, "4"}, ValueCase{{"--threads", "1024"}, true, "1024"},
                    ValueCase{{"--threads", "0"}, false, "option --threads: \"0\" is not a whole number from 1 to 1024"},
                    ValueCase{{"--threads", "2.5"}, false, "whole number"},
                    ValueCase{{"--threads", "4x"}, false, "--threads"},
                    ValueCase{{"--threads", "99999999999"}, false, "--threads"},
                    ValueCase{{"--threshold", "1"}, true, "1"}, ValueCase{{"--threshold", "1.5"}, false, "from 0 to 1"},
                    ValueCase{{"--threshold", "nan"}, false, "a number"},
                    ValueCase{{"--target", "0"}, false, "between 0 and 1"}, ValueCase{{"--target", "0.1"}, true, "0.1"},
                    ValueCase{{"--shift-lower=-10"}, true, "-10"},
                    ValueCase{{"--precursor-tol", "20ppm"}, true, "20ppm"},
                    ValueCase{{"--precursor-tol", "0.5 DA"}, true, "0.5 DA"},
                    ValueCase{{"--precursor-tol", "20"}, false, "option --precursor-tol: give a unit: 20ppm or 20Da"},
                    ValueCase{{"--precursor-tol", "-1Da"}, false, "--precursor-tol"},
                    ValueCase{{"--precursor-tol", "20mmu"}, false, "20ppm or 0.5Da"},
                    ValueCase{{"--type", "PAIRS"}, true, "pairs"},
                    ValueCase{{"--type", "1"}, false, "one of clusters or pairs"},
                    ValueCase{{"--method", "1"}, true, "top-m-per-window"},
                    ValueCase{{"--method", "Both"}, true, "both"}, ValueCase{{"--method", "3"}, false, "0 to 2"},
                    ValueCase{{"--plot", "a.PNG"}, true, "a.PNG"},
                    ValueCase{{"--plot", "a.jpg"}, false, "a.jpg is not a .png or .svg name"},
                    ValueCase{{"--plot="}, false, "--plot needs a name"},
                    ValueCase{{"--max-q", "1%"}, true, "1%"}, ValueCase{{"--max-q", "1"}, true, "1"},
                    ValueCase{{"--max-q", "101%"}, false, "option --max-q: \"101%\" is not a level from 0 to 1"},
                    ValueCase{{"--max-q", "-0.1"}, false, "--max-q"}, ValueCase{{"--max-q", "5%%"}, false, "--max-q"},
                    ValueCase{{"--max-q", "%"}, false, "--max-q"}));

TEST(TypedCommandLine, AliasesAndTypedValuesReachTheOptionsOwnName) {
  cli::CommandLine line = TypedLine();
  ASSERT_EQ(line.Parse({"--lower-mass", "-5", "--precursor-tol", "0.02da", "--type", "Pairs", "--method", "2"}),
            cli::Outcome::kRun)
      << line.Error();
  EXPECT_TRUE(line.Has("shift-lower"));
  EXPECT_FALSE(line.Has("lower-mass"));
  EXPECT_EQ(line.Given().front().first, "shift-lower");
  EXPECT_EQ(line.Values("shift-lower"), std::vector<std::string>{"-5"});
  EXPECT_EQ(line.Integer("shift-lower", 6), -5);
  EXPECT_EQ(line.Integer("threads", 7), 7);
  EXPECT_DOUBLE_EQ(line.Real("threshold", 0.6), 0.6);
  ASSERT_EQ(line.Parse({"--max-q", "5%", "--threshold", "0.25", "--lower-mass", "7", "--shift-lower", "8"}),
            cli::Outcome::kRun);
  EXPECT_EQ(line.Values("shift-lower"), (std::vector<std::string>{"7", "8"}));  // repeated, alias too
  EXPECT_DOUBLE_EQ(line.Real("max-q"), 0.05);  // a percentage answers its fraction
  EXPECT_DOUBLE_EQ(line.Real("threshold"), 0.25);
  ASSERT_EQ(line.Parse({"--lower-mass", "-5", "--precursor-tol", "0.02da", "--type", "Pairs", "--method", "2"}),
            cli::Outcome::kRun);
  const cli::Tolerance tol = line.Tolerance("precursor-tol", {20, TOLERANCE_PPM});
  EXPECT_DOUBLE_EQ(tol.value, 0.02);
  EXPECT_EQ(tol.unit, TOLERANCE_DA);
  EXPECT_EQ(line.Choice("type"), "pairs");
  EXPECT_EQ(line.ChoiceIndex("type"), 1);
  EXPECT_EQ(line.ChoiceIndex("method"), 2);
  EXPECT_EQ(line.ChoiceIndex("plot", -1), -1);
}

TEST(TypedCommandLine, HelpShowsUnitsChoicesAndOlderNames) {
  cli::CommandLine line = TypedLine();
  const std::string usage = line.Usage();
  EXPECT_NE(usage.find("--shift-lower DA"), std::string::npos) << usage;
  EXPECT_NE(usage.find("(default: 6 Da) (also --lower-mass)"), std::string::npos) << usage;
  EXPECT_NE(usage.find("--type clusters|pairs"), std::string::npos) << usage;
  EXPECT_EQ(usage.find("    --lower-mass"), std::string::npos) << usage;
  // A list too long for the option's column goes into its help text.
  line.Add(cli::Choice("method-name", {"Intensity Score", "Dot Product", "Dot Product Mod", "Peak Count"}, "scoring"));
  EXPECT_NE(line.Usage().find("--method-name NAME"), std::string::npos) << line.Usage();
  EXPECT_NE(line.Usage().find("scoring (one of: Intensity Score, Dot Product, Dot Product Mod, Peak Count)"),
            std::string::npos);
}

}  // namespace
