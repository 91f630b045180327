// Shiftscan: finds protein modifications from the mass and retention-time
// differences of precursor pairs.
//
//   Shiftscan [--no-wait] [--plot PICTURE] <configuration file>   (the desktop's contract)
//   Shiftscan [options] <run file> -o <output folder>
//   Shiftscan --write-config FILE [options] <run file>   (the file alone)

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <limits>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/ErrorMarker.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/PlotProgram.h"
#include "common/SafeFile.h"
#include "common/SpectrumFileKind.h"
#include "common/TextUtil.h"
#include "moddetect/DetectionRun.h"
#include "moddetect/ResultOutput.h"
#include "moddetect/ShiftscanOptions.h"
#include "moddetect/ShiftscanSummary.h"

namespace {

// "raw.file.temp", "raw.data.temp" and "temp.temp" have fixed names that the
// desktop reads: two runs in one folder would mix each other's data.
bool LockWorkingFolder(safefile::CFolderLock& lock, bool no_wait, std::ostream& out) {
  return safefile::LockWorkingFolder(lock, no_wait) ||
         (out << "Error: another run is using this working folder" << std::endl, false);
}

constexpr const char* kPictureName = "mass-shift histogram picture";
constexpr const char* kPictureCaption = "Mass-shift histogram";

// Writes the run summary of a run that has written everything else; "" or
// why not.
std::string WriteSummary(const summary::CRunSummary& summary, const std::string& path) {
  std::string error;
  return summary.Write(path, &error) ? std::string() : "Cannot write the run summary: " + path + " (" + error + ")";
}

// True when the mass-shift table `table` holds a shift with pairs: the
// histogram's bars are pair counts, all 0 when no pair files were written.
bool TableHasPairs(const std::string& table) {
  std::ifstream in(table);
  std::string line;
  while (text::ReadLine(in, line)) {
    const std::vector<std::string> fields = text::Split(line, ',');
    if (fields.size() >= 2 && text::AtoI(fields[1]) > 0) return true;
  }
  return false;
}

// Says so when the histogram of `table` would show no bar.
void SayWhenHistogramEmpty(const std::string& table, bool pair_files, std::ostream& out) {
  if (TableHasPairs(table)) return;
  out << "Note: the mass-shift histogram is empty: "
      << (pair_files ? "no accepted shift has a pair above the probability threshold (ppthres, --pp-threshold)"
                     : "pairs are counted only while pair files are written (findpair=1, --find-pairs)")
      << std::endl;
}

// The picture of the mass-shift table `table`; "" or why it was not drawn.
std::string DrawHistogram(const std::string& table, const std::string& picture) {
  return plotprogram::Draw({"histogram", table, picture}, "Cannot draw the " + std::string(kPictureName) + ": " + picture);
}

// The contract with the desktop program: one configuration file, the marker
// on failure, exit status 0, a key wait at the end when someone can press it.
// A picture (`picture`, never asked by the desktop) is checked before the
// run and drawn after it; with one, any failure exits 1.
int RunFromConfigFile(int argc, char** argv, bool no_wait, const std::string& picture) {
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
  const int failed = picture.empty() ? 0 : 1;
  if (!picture.empty()) {
    if (std::string refused = plotprogram::CheckPictureTarget(picture, kPictureName, "Shiftscan"); !refused.empty()) {
      std::cout << "Error: " << refused << std::endl;
      marker::CreateErrorMarker();
      return failed;
    }
  }
  safefile::CFolderLock lock;
  if (!LockWorkingFolder(lock, no_wait, std::cout)) {
    marker::CreateErrorMarker();
    return failed;
  }
  int status = 0;
  summary::CRunSummary summary("Shiftscan", "shiftscan");
  const std::string summary_path = summary::SummaryPathFor(config_path);
  {
    CDetectionRun run(std::cout, ::isatty(1) != 0);
    run.SetSummaryPath(summary_path);
    run.PrintBanner();
    // Failure reaches the desktop program through the error marker that Run
    // leaves; the exit status of this program is 0 by contract.
    status = run.Run(config_path);
    if (status == 0) FillShiftscanSummary(run, config_path, kResultFile, summary);
  }
  if (status == 0 && !picture.empty()) {
    CDetectionConfig config;
    {
      // Read again only for the switch; the run has said what it thought of the file.
      notify::ScopedHandler silent([](const std::string&) {});
      if (!config.ReadConfigFile(config_path)) config = CDetectionConfig();
    }
    SayWhenHistogramEmpty("temp.temp", config.WritePairFiles(), std::cout);
    if (std::string refused = DrawHistogram("temp.temp", picture); !refused.empty()) {
      std::cout << "Error: " << refused << std::endl;
      marker::CreateErrorMarker();
      status = 1;
    } else {
      std::cout << "Mass-shift histogram picture: " << picture << std::endl;
      summary.AddPicture(picture, kPictureCaption);
    }
  }
  if (status == 0) {
    if (std::string refused = WriteSummary(summary, summary_path); !refused.empty()) {
      std::cout << "Error: " << refused << std::endl;
      marker::CreateErrorMarker();
      status = 1;
    }
  }
  // Started by another program or in a pipeline there is nobody to press a
  // key, and a failed run's last line must stay its reason: the caller shows
  // the end of this console as the cause.
  if (status == 0 || interactive) std::cout << "Press any key to continue..." << std::endl;
  if (interactive) std::cin.get();
  return status == 0 ? 0 : failed;
}

// The options form's files, written once the output folder is ours: the
// --write-config copy (when asked for) and the configuration of the run.
bool WriteConfigurations(const CDetectionConfig& config, const std::string& copy_path,
                         const std::string& config_path) {
  for (const std::string& file : {copy_path, config_path}) {
    if (!file.empty() && !config.WriteConfigFile(file)) {
      std::cerr << "Shiftscan: cannot write " << file << std::endl;
      return false;
    }
  }
  return true;
}

// Creates the output folder when missing and makes it the working folder.
bool EnterOutputFolder(const std::string& output) {
  if (!path::CreateDirectory(output)) {
    std::cerr << "Shiftscan: cannot create the output folder: " << output << std::endl;
    return false;
  }
  std::error_code ec;
  std::filesystem::current_path(output, ec);
  if (ec) std::cerr << "Shiftscan: cannot work in " << output << ": " << ec.message() << std::endl;
  return !ec;
}

// The run itself, in the locked output folder: progress on standard error
// unless `quiet`; messages, warnings and the reason of a failure there
// always. Answers the run's status.
int RunInOutputFolder(const std::string& config_path, bool quiet, const std::string& summary_path,
                      summary::CRunSummary& summary) {
  notify::ScopedHandler to_errors([](const std::string& m) { std::cerr << m << std::endl; });
  std::ostream silent(nullptr);
  int status = 0;
  {
    // The dumper started on the way writes its report to our standard
    // output (its failures to standard error).
    cli::CDivertedStandardOutput diverted(quiet);
    CDetectionRun run(quiet ? silent : std::cerr);
    run.SetReasonStream(std::cerr);
    run.SetSummaryPath(summary_path);
    status = run.Run(config_path);
    if (status == 0) FillShiftscanSummary(run, config_path, kResultFile, summary);
  }
  marker::RemoveErrorMarker();  // the exit status says it here
  return status;
}

// A run made from options: the places of the results go to standard output,
// failure is the exit status. Nothing is written before the output folder's
// lock is held.
int RunFromOptions(int argc, char** argv) {
  cli::CommandLine line = ShiftscanCommandLine();
  const int answered = line.Report(line.Parse(argc, argv), std::cout, std::cerr);
  if (answered >= 0) return answered;
  CDetectionConfig config;
  std::string output, error;
  if (!ConfigFromOptions(line, config, output, error)) {
    std::cerr << "Shiftscan: " << error << "\n" << line.Usage();
    return 2;
  }
  // Named from where the program was started, before it moves to the output.
  const std::string copy_path = line.Has("write-config") ? path::Absolute(line.Value("write-config")) : "";
  const std::string picture = line.Has("plot") ? path::Absolute(line.Value("plot")) : "";
  if (line.Has("plot") && output.empty()) {
    std::cerr << "Shiftscan: option --plot: the picture is drawn from a run's table: give an output folder (-o)\n"
              << line.Usage();
    return 2;
  }
  if (!picture.empty()) {
    if (std::string refused = plotprogram::CheckPictureTarget(picture, kPictureName, "Shiftscan"); !refused.empty()) {
      std::cerr << "Shiftscan: " << refused << std::endl;
      return 1;
    }
  }
  // Without an output folder the file is all that was asked for.
  if (output.empty()) {
    if (!WriteConfigurations(config, copy_path, std::string())) return 1;
    std::cout << "Configuration: " << copy_path << "\n";
    return 0;
  }
  if (!EnterOutputFolder(output)) return 1;
  safefile::CFolderLock lock;
  if (!LockWorkingFolder(lock, line.Has("no-wait"), std::cerr)) return 1;
  const std::string config_path = path::Join(output, kShiftscanConfigName);
  if (!WriteConfigurations(config, copy_path, config_path)) return 1;
  summary::CRunSummary summary("Shiftscan", "shiftscan");
  const std::string summary_path = path::Join(output, kShiftscanSummaryName);
  if (RunInOutputFolder(config_path, line.Has("quiet"), summary_path, summary) != 0) {
    std::cerr << "Shiftscan: the run failed; see the messages above" << std::endl;
    return 1;
  }
  if (!picture.empty()) {
    SayWhenHistogramEmpty(path::Join(output, "temp.temp"), config.WritePairFiles(), std::cerr);
    if (std::string refused = DrawHistogram(path::Join(output, "temp.temp"), picture); !refused.empty()) {
      std::cerr << "Shiftscan: " << refused << std::endl;
      return 1;
    }
    summary.AddPicture(picture, kPictureCaption);
  }
  if (std::string refused = WriteSummary(summary, summary_path); !refused.empty()) {
    std::cerr << "Shiftscan: " << refused << std::endl;
    return 1;
  }
  std::cout << "Configuration: " << config_path << "\n"
            << "Mass-shift table: " << path::Join(output, "temp.temp") << "\n";
  if (config.WritePairFiles()) std::cout << "Pair files: " << config.PairFolder() << "\n";
  if (!picture.empty()) std::cout << "Mass-shift histogram picture: " << picture << "\n";
  return 0;
}

bool BeginsWithDash(const char* arg) { return arg[0] == '-' && arg[1] != '\0'; }

}  // namespace

int main(int argc, char** argv) {
  // The configuration-file form's own words come first, in either order:
  // --no-wait and --plot PICTURE.
  bool no_wait = false;
  bool plot_given = false;
  std::string picture;
  std::vector<char*> rest = {argv[0]};
  int i = 1;
  for (; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "--no-wait") {
      no_wait = true;
    } else if (word == "--plot" && i + 1 < argc) {
      plot_given = true;
      picture = argv[++i];
    } else {
      break;
    }
  }
  for (; i < argc; ++i) rest.push_back(argv[i]);
  const int rest_count = static_cast<int>(rest.size());
  // A configuration path is never an option word; a path that exists is
  // taken as it stands, dashes and all.
  bool options = false;
  for (int k = 1; k < rest_count; ++k) options = options || BeginsWithDash(rest[k]);
  if (options && std::filesystem::is_regular_file(CDetectionRun::JoinArguments(rest_count, rest.data())))
    options = false;
  if (options) return RunFromOptions(argc, argv);
  if (plot_given && plotprogram::PictureKind(picture).empty()) {
    std::cerr << "Shiftscan: option --plot: " << picture << " is not a .png or .svg name\n"
              << ShiftscanCommandLine().Usage();
    return 2;
  }
  // A run given where the configuration belongs is the options form without
  // its output folder: read as settings it gives only unknown keys.
  if (const std::string given = CDetectionRun::JoinArguments(rest_count, rest.data());
      spectrumfile::IsSpectrumFile(given)) {
    std::cerr << "Shiftscan: " << given << " is a spectrum file: give -o FOLDER\n"
              << ShiftscanCommandLine().Usage();
    return 2;
  }
  return RunFromConfigFile(rest_count, rest.data(), no_wait, picture);
}
