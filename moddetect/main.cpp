// Shiftscan: finds protein modifications from the mass and retention-time
// differences of precursor pairs. One argument: the configuration file.

#include <filesystem>
#include <iostream>
#include <limits>
#include <string>
#include <unistd.h>

#include "common/CommandLine.h"
#include "common/ErrorMarker.h"
#include "common/SafeFile.h"
#include "moddetect/DetectionRun.h"

int main(int argc, char** argv) {
  // --no-wait: fail at once when another run holds this folder.
  bool no_wait = false;
  if (argc > 1 && std::string(argv[1]) == "--no-wait") {
    no_wait = true;
    --argc;
    argv[1] = argv[0];
    ++argv;
  }
  // Asked for help or the version, the program answers and leaves no marker:
  // nothing was run, so nothing failed.
  // An option word that names no file is an option, not a configuration.
  const bool option_given = argc > 1 && std::string(argv[1]).rfind("--", 0) == 0 &&
                            !std::filesystem::exists(CDetectionRun::JoinArguments(argc, argv));
  if (cli::AsksForHelpOrVersion(argc, argv) || option_given) {
    cli::CommandLine line("Shiftscan", {"[--no-wait] <configuration file>"},
                          "Finds protein modifications as precursor mass shifts. Writes the mass-shift\n"
                          "table temp.temp in the current directory; on failure it leaves\n"
                          "error_happened.error there (the exit status is always 0).");
    line.Add({"no-wait", 0, "", "", "fail at once when another run uses the working folder"});
    const cli::Outcome outcome = line.Parse(argc, argv);
    return line.Report(outcome, std::cout, std::cerr) == 0 ? 0 : 2;
  }
  const bool interactive = ::isatty(0) != 0;
  std::string config_path = CDetectionRun::JoinArguments(argc, argv);
  if (config_path.empty()) {
    std::cout << "please input the configuration file name!" << std::flush;
    std::string word;
    if (std::cin >> word) config_path = word;
    std::cout << "Press any key to continue..." << std::endl;
    if (interactive) {
      int ignored = 0;
      std::cin >> ignored;
      std::cin.clear();
      // The final key wait must wait for a new key, not this line's end.
      std::cin.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
    if (config_path.empty()) std::cout << std::endl << "usage: Shiftscan <configuration file>" << std::endl;
  }

  // "raw.file.temp", "raw.data.temp" and "temp.temp" have fixed names that
  // the desktop reads: two runs in one folder would mix each other's data.
  safefile::CFolderLock lock;
  if (!lock.Acquire(".", no_wait ? safefile::CFolderLock::Mode::kNoWait : safefile::CFolderLock::Mode::kWait,
                    [](const std::string&) {
                      std::cout << "Another run is using this working folder; waiting for it to end..."
                                << std::endl;
                    })) {
    std::cout << "Error: another run is using this working folder" << std::endl;
    marker::CreateErrorMarker();
    return 0;
  }
  {
    CDetectionRun run(std::cout, ::isatty(1) != 0);
    run.PrintBanner();
    // Failure reaches the desktop program through the error marker that Run
    // leaves; the exit status of this program is 0 by contract.
    run.Run(config_path);
  }
  std::cout << "Press any key to continue..." << std::endl;
  // Started by another program or in a pipeline there is nobody to press it.
  if (interactive) std::cin.get();
  return 0;
}
