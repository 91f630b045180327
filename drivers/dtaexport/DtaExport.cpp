#include "drivers/dtaexport/DtaExport.h"

#include <cstdio>
#include <memory>
#include <sstream>
#include <vector>

#include "common/CommandLine.h"
#include "common/Dta.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/RunSummary.h"
#include "common/StandardOptions.h"
#include "common/SafeFile.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfWriter.h"

namespace dtaexport {

namespace {

cli::CommandLine ExportCommandLine() {
  cli::CommandLine line("dtaexport",
                        {"<spectrum file> [-o <output directory>] [--mgf <MGF file>]",
                         "<spectrum file> <output directory> [--mgf <MGF file>]"},
                        "Writes one DTA file per MS2 spectrum of a spectrum file (mzML, mzXML, MGF,\n"
                        "MS2, DTAS, PKL, or a DTA directory) into the output directory, named\n"
                        "<run>.<first scan>.<last scan>.<charge>.dta, and/or the whole run as one MGF\n"
                        "file with those names as titles. Progress goes to standard error.");
  line.Add(cli::standard::Output("of the DTA files; also the second argument"));
  line.Add(cli::Path("mgf", "FILE", "also (or only) write the run as one MGF file"));
  line.Add(cli::standard::Quiet());
  return line;
}

// Every 1000 files, so that a large run shows it is moving.
constexpr std::size_t kProgressStep = 1000;

// The whole run as one MGF file; false with a message when it cannot be
// written whole.
bool WriteMgf(const std::string& path, const std::vector<msdata::CSpectrum>& spectra, std::ostream& err) {
  std::string error;
  if (spectra::WriteMgfFile(path, spectra, error)) return true;
  err << error << "\n";
  return false;
}

// What one run of the program does.
struct Job {
  std::string input;
  std::string directory;  // empty: no DTA files
  std::string mgf;        // empty: no MGF file
  bool quiet = false;
};

// Reads the command line into `job`; -1 when there is work to do, else the
// exit status (the usage, --help and --version answered).
int ParseJob(int argc, const char* const* argv, std::ostream& out, std::ostream& err, Job& job) {
  cli::CommandLine line = ExportCommandLine();
  const int answered = line.Report(line.Parse(argc, argv), out, err);
  if (answered >= 0) return answered;
  // The output folder as -o, like the other programs, or as the second
  // argument, as it has always been given.
  std::vector<std::string> positional = line.Positionals();
  const bool output_option = line.Has("output");
  if (output_option) positional.push_back(line.Value("output"));
  job.mgf = line.Value("mgf");
  const char* wrong = nullptr;
  if (positional.size() > 2) {
    wrong = output_option ? "the output directory is given twice (-o and an argument)" : "too many arguments";
  } else if (output_option && positional.size() == 1) {
    wrong = "no spectrum file given";
  } else if (!positional.empty() && positional[0].empty()) {
    wrong = "the spectrum file is an empty name";
  } else if (positional.size() == 2 && positional[1].empty()) {
    wrong = "the output directory is an empty name";
  } else if (positional.empty() || (line.Has("mgf") && job.mgf.empty()) ||
             (positional.size() == 1 && job.mgf.empty())) {
    wrong = "give an output directory (-o DIR), --mgf <MGF file>, or both";
  }
  if (wrong) {
    err << "dtaexport: " << wrong << "\n" << line.Usage();
    return 2;
  }
  job.quiet = line.Has("quiet");
  job.input = positional[0];
  job.directory = positional.size() > 1 ? positional[1] : std::string();
  return -1;
}

bool LoadInput(const Job& job, std::vector<msdata::CSpectrum>& spectra, std::ostream& err) {
  MS2FormatType type = MS2_FORMAT_MZML;
  std::string why;
  if (!CMS2InputFactory::FormatFromPath(job.input, type, why)) {
    err << why << "\n";
    return false;
  }
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, !job.quiet));
  if (!job.quiet) err << "dtaexport: reading " << job.input << std::endl;
  if (!importer || !importer->Load(job.input, spectra, true)) {
    err << (importer ? importer->LastError() : "no reader for " + job.input) << "\n";
    return false;
  }
  return true;
}

// The run summary sits beside the DTA folder, or beside the MGF file when
// there is no folder.
std::string SummaryPath(const Job& job) {
  return summary::SummaryPathFor(job.directory.empty() ? job.mgf : path::Join(job.directory, ""));
}

// A finished export's summary; false (with a message) when it cannot be written.
bool WriteSummary(const Job& job, std::size_t spectra, summary::CRunSummary& run, std::ostream& err) {
  run.AddInput("spectra", job.input);
  run.Counts().Set("spectra", spectra);
  if (!job.directory.empty()) run.AddOutput("DTA folder", job.directory);
  if (!job.mgf.empty()) run.AddOutput("MGF file", job.mgf);
  std::string error;
  if (run.Write(SummaryPath(job), &error)) return true;
  err << "Cannot write file: " << SummaryPath(job) << " (" << error << ")\n";
  return false;
}

// True (with a message) when an output would replace the input: a DTA file
// exported into its own directory, a DTA directory exported into itself,
// or the MGF written over the spectrum file. The paths are compared as
// files (device and inode), whatever their spelling.
bool WouldReplaceInput(const Job& job, const std::vector<msdata::CSpectrum>& spectra,
                       std::ostream& err) {
  const std::string& input = job.input;
  if (!job.mgf.empty() && safefile::SameFile(job.mgf, input)) {
    err << "Cannot write file: " << job.mgf << " (it is the input " << input << ")\n";
    return true;
  }
  const std::string summary_path = SummaryPath(job);
  if (safefile::SameFile(summary_path, input) || (!job.mgf.empty() && safefile::SameFile(summary_path, job.mgf))) {
    err << "Cannot write the run summary: " << summary_path << " (it is the input " << input << " or the MGF file)\n";
    return true;
  }
  if (job.directory.empty()) return false;
  if (path::IsDirectory(input) && safefile::SameFile(job.directory, input)) {
    err << "Cannot write into " << job.directory << ": it is the input directory " << input << "\n";
    return true;
  }
  for (const msdata::CSpectrum& spectrum : spectra) {
    const std::string target = path::Join(job.directory, spectrum.name);
    if (safefile::SameFile(target, input) || (!job.mgf.empty() && safefile::SameFile(target, job.mgf))) {
      err << "Cannot write file: " << target << " (it is the input " << input << ")\n";
      return true;
    }
  }
  return false;
}

// One DTA file per spectrum, each written whole or not at all.
bool WriteDtaFiles(const Job& job, const std::vector<msdata::CSpectrum>& spectra,
                   std::ostream& err) {
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    if (!job.quiet && i % kProgressStep == 0)
      err << "dtaexport: writing DTA files " << i << " of " << spectra.size() << std::endl;
    const std::string target = path::Join(job.directory, spectra[i].name);
    std::ostringstream text;
    msdata::WriteDta(spectra[i], text);
    std::string error;
    if (!safefile::WriteWholeFile(target, text.str(), &error)) {
      err << "Cannot write file: " << target << " (" << error << ")\n";
      return false;
    }
  }
  return true;
}

}  // namespace

int Run(int argc, const char* const* argv, std::ostream& out) { return Run(argc, argv, out, out); }

int Run(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  Job job;
  const int answered = ParseJob(argc, argv, out, err, job);
  if (answered >= 0) return answered;
  summary::CRunSummary run("dtaexport", "export");
  // The importer's progress and notes go with ours, never onto the results.
  notify::ScopedHandler to_err([&err](const std::string& message) { err << message << std::endl; });
  std::vector<msdata::CSpectrum> spectra;
  if (!LoadInput(job, spectra, err) || WouldReplaceInput(job, spectra, err)) return 1;
  path::RemoveFile(SummaryPath(job));

  if (!job.directory.empty() && !path::CreateDirectory(job.directory)) {
    err << "Cannot create directory: " << job.directory << "\n";
    return 1;
  }
  if (!job.mgf.empty()) {
    if (!job.quiet) err << "dtaexport: writing " << job.mgf << std::endl;
    if (!WriteMgf(job.mgf, spectra, err)) return 1;
    out << spectra.size() << " spectra of " << job.input << " written to " << job.mgf << "\n";
  }
  if (!job.directory.empty()) {
    if (!WriteDtaFiles(job, spectra, err)) return 1;
    out << spectra.size() << " spectra of " << job.input << " written to " << job.directory << "\n";
  }
  return WriteSummary(job, spectra.size(), run, err) ? 0 : 1;
}

}  // namespace dtaexport
