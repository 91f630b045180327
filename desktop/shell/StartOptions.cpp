#include "desktop/shell/StartOptions.h"

#include <string>
#include <vector>

#include "common/CommandLine.h"

namespace desktop {
namespace {

// Options that QGuiApplication and QApplication take for themselves (with
// one dash or two), with whether a value follows.
struct QtOption {
  const char* name;
  bool takes_value;
};
constexpr QtOption kQtOptions[] = {
    {"platform", true},   {"platformpluginpath", true}, {"platformtheme", true}, {"plugin", true},
    {"qwindowgeometry", true}, {"geometry", true},      {"qwindowicon", true},   {"qwindowtitle", true},
    {"title", true},      {"session", true},            {"display", true},       {"style", true},
    {"stylesheet", true}, {"reverse", false},           {"widgetcount", false},  {"nograb", false},
    {"dograb", false},    {"sync", false},
};

// The Qt option `arg` names, or null. "-style=fusion" and "-qmljsdebugger=..."
// carry their value in the word.
const QtOption* QtOptionOf(const std::string& arg, bool& inline_value) {
  if (arg.size() < 2 || arg[0] != '-') return nullptr;
  std::string name = arg.substr(arg[1] == '-' ? 2 : 1);
  const std::size_t eq = name.find('=');
  inline_value = eq != std::string::npos;
  if (inline_value) name.resize(eq);
  static constexpr QtOption kDebugger = {"qmljsdebugger", false};
  if (name == kDebugger.name) return &kDebugger;
  for (const QtOption& option : kQtOptions)
    if (name == option.name) return &option;
  return nullptr;
}

cli::CommandLine StartCommandLine() {
  cli::CommandLine line("Tessera", {"[--no-splash]"},
                        "The desktop program: clustering, modification detection and propagation jobs,\n"
                        "their mass-shift histograms and tables. Qt's own options (-platform NAME, ...)\n"
                        "are accepted as well.");
  line.Add(cli::Flag("no-splash", "start without the splash picture"));
  line.Add(cli::Path("run-cluster", "FILE", "for scripts: run a clustering job from this parameter file"));
  line.Add(cli::Path("run-shiftscan", "FILE", "for scripts: run a Shiftscan job from this configuration"));
  line.Add(cli::Path("screenshot", "PNG", "for scripts: then save a picture of the main window"));
  line.Add(cli::Flag("quit", "for scripts: then end; messages go to standard error"));
  return line;
}

}  // namespace

int AnswerBeforeWindow(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  std::vector<std::string> ours;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    bool inline_value = false;
    if (const QtOption* qt = QtOptionOf(arg, inline_value)) {
      if (qt->takes_value && !inline_value) ++i;
      continue;
    }
    ours.push_back(arg);
  }
  cli::CommandLine line = StartCommandLine();
  cli::Outcome outcome = line.Parse(ours);
  // The window takes no files: a word that is no option is a mistake.
  if (outcome == cli::Outcome::kRun && !line.Positionals().empty()) {
    err << "Tessera: unexpected argument: " << line.Positionals().front() << "\n" << line.Usage();
    return 2;
  }
  return line.Report(outcome, out, err);
}

}  // namespace desktop
