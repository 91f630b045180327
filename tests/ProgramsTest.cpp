// Every program answers --help and --version with status 0 and leaves no
// failure marker, and a wrong option prints the usage with status 2.

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
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

INSTANTIATE_TEST_SUITE_P(Programs, EveryProgram,
                         testing::Values("cluster", "Shiftscan", "Gannet", "Vellum", "propagate", "dtaexport", "idlist",
                                         "tessera-report", "Tessera"),
                         [](const testing::TestParamInfo<const char*>& info) {
                           std::string name = info.param;
                           for (char& c : name) c = c == '-' ? '_' : c;  // test names are identifiers
                           return name;
                         });

}  // namespace
