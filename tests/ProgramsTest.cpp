// Every program answers --help and --version with status 0 and leaves no
// failure marker, and a wrong option prints the usage with status 2; the
// README's table of options names exactly the options each --help lists.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/wait.h>

#include "tests/support/Files.h"

namespace {

struct Answer {
  int status = -1;
  std::string out;
};

// Runs `program` in `folder`, without a display: the answers must not need one.
Answer RunProgram(const std::string& folder, const std::string& program, const std::string& args) {
  const std::string command = "cd '" + folder + "' && env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM '" +
                              TESSERA_BIN_DIR + "/" + program + "' " +
                              args + " </dev/null 2>&1";
  Answer answer;
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return answer;
  char buffer[4096];
  std::size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) answer.out.append(buffer, n);
  const int raw = ::pclose(pipe);
  answer.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return answer;
}

// The long names of the options a --help lists, one option a line below
// "options:" ("  -o, --output DIR  ..." or "      --fdr LEVEL  ...").
std::set<std::string> OptionsOfHelp(const std::string& help) {
  std::set<std::string> names;
  const std::size_t start = help.find("\noptions:\n");
  if (start == std::string::npos) return names;
  std::istringstream lines(help.substr(start + 10));
  const std::regex head(R"(^  (?:-., |    )--([A-Za-z0-9-]+))");
  std::smatch m;
  for (std::string line; std::getline(lines, line);)
    if (std::regex_search(line, m, head)) names.insert(m[1]);
  return names;
}

// The README's section "Options of every program": option -> the programs
// that take it, from rows "| `--name` | value | meaning | `prog`, `prog` |".
// A row named twice is reported in `twice`.
std::map<std::string, std::set<std::string>> OptionTable(std::string& twice) {
  const std::string readme = testsupport::ReadFile(std::string(TESSERA_SOURCE_DIR) + "/README.md");
  std::map<std::string, std::set<std::string>> table;
  const std::size_t start = readme.find("\n## Options of every program\n");
  if (start == std::string::npos) return table;
  const std::size_t end = readme.find("\n## ", start + 1);
  std::istringstream lines(readme.substr(start, end == std::string::npos ? std::string::npos : end - start));
  const std::regex row(R"(^\| `--([A-Za-z0-9-]+)` \|.*\|([^|]*)\|\s*$)");
  const std::regex program(R"(`([^`]+)`)");
  std::smatch m;
  for (std::string line; std::getline(lines, line);) {
    if (!std::regex_match(line, m, row)) continue;
    const std::string name = m[1];
    if (table.count(name)) twice += " --" + name;
    const std::string programs = m[2];
    for (std::sregex_iterator p(programs.begin(), programs.end(), program), last; p != last; ++p)
      table[name].insert((*p)[1]);
  }
  return table;
}

std::string Listed(const std::set<std::string>& names) {
  std::string text;
  for (const std::string& n : names) text += " --" + n;
  return text;
}

// Each program runs in a folder of its own, where a failure marker would show.
class EveryProgram : public testing::TestWithParam<const char*> {
 protected:
  Answer Run(const std::string& args) const { return RunProgram(scratch_.Path().string(), GetParam(), args); }
  testsupport::CTempDir scratch_{"EveryProgram"};
};

TEST_P(EveryProgram, AnswersHelpVersionAndWrongOptions) {
  const std::string program = GetParam();

  const Answer help = Run("--help");
  EXPECT_EQ(help.status, 0) << help.out;
  EXPECT_EQ(help.out.rfind("usage: " + program, 0), 0u) << help.out;
  EXPECT_NE(help.out.find("--version"), std::string::npos);

  const Answer version = Run("--version");
  EXPECT_EQ(version.status, 0);
  EXPECT_EQ(version.out, "Tessera 1.0 (" + program + ")\n");

  const Answer wrong = Run("--no-such-option");
  EXPECT_EQ(wrong.status, 2) << wrong.out;
  EXPECT_NE(wrong.out.find("usage: " + program), std::string::npos) << wrong.out;

  EXPECT_FALSE(std::filesystem::exists(scratch_.File("error_happened.error")));
}

TEST_P(EveryProgram, TakesTheOptionsTheReadmeTableGivesIt) {
  const std::string program = GetParam();
  std::string twice;
  const std::map<std::string, std::set<std::string>> table = OptionTable(twice);
  ASSERT_FALSE(table.empty()) << "README.md: no table under \"## Options of every program\"";
  EXPECT_EQ(twice, "") << "README.md: options listed in more than one row";

  const Answer help = Run("--help");
  ASSERT_EQ(help.status, 0) << help.out;
  const std::set<std::string> in_help = OptionsOfHelp(help.out);
  std::set<std::string> in_table;
  for (const auto& [name, programs] : table)
    if (programs.count(program)) in_table.insert(name);
  std::set<std::string> not_in_table, not_in_help;
  for (const std::string& n : in_help)
    if (!in_table.count(n)) not_in_table.insert(n);
  for (const std::string& n : in_table)
    if (!in_help.count(n)) not_in_help.insert(n);
  EXPECT_EQ(Listed(not_in_table), "") << "in " << program << " --help but not in the README's table for it";
  EXPECT_EQ(Listed(not_in_help), "") << "in the README's table for " << program << " but not in its --help";
}

INSTANTIATE_TEST_SUITE_P(Programs, EveryProgram,
                         testing::Values("cluster", "Shiftscan", "Gannet", "Vellum", "propagate", "dtaexport", "idlist",
                                         "tessera-plot", "tessera-report", "tessera-search", "tessera-confirm", "Tessera"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) c = c == '-' ? '_' : c;  // test names are identifiers
                           return name;
                         });

}  // namespace
