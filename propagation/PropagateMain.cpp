// propagate: runs one propagation job and prints what it found.
//
//   propagate <job.para> [--sites] [--fdr LEVEL] [--threshold SCORE]
//             [--decoy-prefix P[,P...]] [--added FILE]
//   propagate --pairs FILE|DIR --ids FILE [--clusters FILE] [--spectra DIR] [--mod-count N]
//             [--sites] [-o DIR] [--name JOB] [...]
//
// Modification sites are placed when --sites is given or when the file says
// IsModSiteDetermined=1 (the desktop passes its check box, whose state the
// file records). --fdr, --threshold and --decoy-prefix replace the file's
// FdrLevel, ScoreThreshold and DecoyPrefix for search-engine result files.
// --added writes every spectrum that propagation identified, one
// "<name>\t<identification>\t<cluster|pairs>" line each. --table writes
// them with their transfer confidence (a KSDP score against decoys and a
// q-value), --max-q keeps only those at or below a q-value there and in the
// summary; either asks for the scoring.
//
// Standard output holds the summary only; messages and progress go to
// standard error, so that the summary can be piped.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <string>
#include <system_error>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/StandardOptions.h"
#include "common/TextUtil.h"
#include "propagation/PeptideDatabase.h"
#include "propagation/PropagateOptions.h"
#include "propagation/Propagation.h"
#include "propagation/PropagationPara.h"
#include "propagation/PropagationSummaryFile.h"

namespace {

constexpr int kGoOn = -1;

// "" when `folder` is a folder whose files can be listed, else why not.
std::string UnreadableFolder(const std::string& folder) {
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(folder, ec);
  if (!std::filesystem::exists(status)) return "the folder " + folder + " does not exist";
  if (!std::filesystem::is_directory(status)) return folder + " is not a folder";
  std::filesystem::directory_iterator listing(folder, ec);
  if (ec) return "the folder " + folder + " cannot be read (" + ec.message() + ")";
  return std::string();
}

int WrongUse(const cli::CommandLine& line, const std::string& error) {
  std::cerr << "propagate: " << error << "\n" << line.Usage();
  return 2;
}

// What the command line asks for.
struct CJobRequest {
  std::string para_path;
  CPropagationPara para;
  std::string added_path;  // --added, "" for none
  std::string table_path;  // --table, "" for none
  std::vector<std::string> score_spectra;  // every --score-spectra, in order
  std::vector<CObservedShift> table_shifts;  // of every --shifts table
  std::unique_ptr<CPeptideDatabase> database;  // of the --fasta files
  bool assess = false;     // score the propagated identifications
  bool sites = false;
  bool from_options = false;
};

// A job given as options: its inputs checked before anything is created,
// then its parameter file written into the output folder, which becomes the
// working folder. The exit status when the job cannot start, else kGoOn.
int PrepareJobFromOptions(const cli::CommandLine& line, CJobRequest& request) {
  std::string error;
  if (!ParaFromOptions(line, request.para, request.para_path, error)) return WrongUse(line, error);
  const std::string problem = CheckJobInputs(request.para);
  if (!problem.empty()) {
    std::cerr << problem << "\nNothing was written.\n";
    return 1;
  }
  // Given paths are the caller's: taken before the move into the output folder.
  std::vector<std::string*> given_paths = {&request.added_path, &request.table_path};
  for (std::string& folder : request.score_spectra) given_paths.push_back(&folder);
  for (std::string* given : given_paths) {
    if (given->empty()) continue;
    std::error_code ec;
    const std::filesystem::path full = std::filesystem::absolute(*given, ec);
    if (!ec) *given = full.lexically_normal().string();
  }
  const std::string out_dir = path::DirectoryOf(request.para_path);
  if (!path::CreateDirectory(out_dir)) {
    std::cerr << "Can not create the output folder: " << out_dir << "\n";
    return 1;
  }
  // "pair_with_result.txt" is written in the working directory: here, the
  // output folder, beside the other reports.
  std::error_code ec;
  std::filesystem::current_path(out_dir, ec);
  if (ec) {
    std::cerr << "Can not work in " << out_dir << ": " << ec.message() << "\n";
    return 1;
  }
  const std::string refused = CheckJobOutputs(request.para, "", {request.para_path});
  if (!refused.empty()) {
    std::cerr << refused << "\n";
    return 1;
  }
  if (!WritePropagationParaFile(request.para_path, request.para)) {
    std::cerr << "Can not save file:" << request.para_path << "\n";
    return 1;
  }
  return kGoOn;
}

// A job of a parameter file; its IsModSiteDetermined=1 asks for sites.
int PrepareJobFromFile(const cli::CommandLine& line, CJobRequest& request) {
  if (line.Positionals().size() != 1)
    return WrongUse(line, line.Positionals().empty() ? "no parameter file given" : "give one parameter file");
  request.para_path = line.Positionals()[0];
  if (ReadPropagationParaFile(request.para_path, request.para) && request.para.is_mod_site_determined != 0)
    request.sites = true;
  for (const std::string& ids : line.Values("ids")) request.para.more_result_files.push_back(ids);
  return kGoOn;
}

// False (with a message) when a list the program writes (--added, --table)
// would replace one of the job's files or the other list.
bool ListFileIsFree(const CJobRequest& request, const std::string& path, const std::string& other) {
  std::vector<std::string> outputs = JobOutputs(request.para, request.para_path);
  outputs.push_back(request.para_path);
  if (!other.empty()) outputs.push_back(other);
  for (const std::string& output : outputs) {
    if (safefile::SameFile(path, output)) {
      std::cerr << "Output file " << path << " is the job's file " << output
                << "; it would be overwritten. Choose another name or folder.\n";
      return false;
    }
  }
  const std::string refused = CheckJobOutputs(request.para, request.para_path, {path});
  if (!refused.empty()) {
    std::cerr << refused << "\n";
    return false;
  }
  return true;
}

// The --added list.
bool WriteAdded(const CPropagation& job, const std::string& path) {
  std::string text;
  for (const auto& [name, added] : job.added())
    text += job.PrintedName(name) + "\t" + added.identification + "\t" + added.via + "\n";
  std::string error;
  if (!safefile::WriteWholeFile(path, text, &error)) {
    std::cerr << "Can not save file:" << path << " (" << error << ")\n";
    return false;
  }
  return true;
}

bool WriteList(const std::string& path, const std::string& text) {
  std::string error;
  if (!safefile::WriteWholeFile(path, text, &error)) {
    std::cerr << "Can not save file:" << path << " (" << error << ")\n";
    return false;
  }
  return true;
}

// The run summary beside the parameter file, once every file is written;
// false (with a message) when it cannot be written.
bool WriteRunSummary(const CJobRequest& request, const CPropagation& job, const CTransferSettings& transfer,
                     summary::CRunSummary& run) {
  PropagationRun facts;
  facts.para_path = request.para_path;
  facts.para = &request.para;
  facts.sites = request.sites;
  facts.score_spectra = request.score_spectra;
  facts.added_path = request.added_path;
  facts.table_path = request.table_path;
  if (request.assess) facts.transfer = &transfer;
  FillPropagationSummary(facts, job.summary(), job.transfers(), run);
  const std::string path = summary::SummaryPathFor(request.para_path);
  std::string error;
  if (run.Write(path, &error)) return true;
  std::cerr << "Can not save file:" << path << " (" << error << ")\n";
  return false;
}

// Runs the job and prints its summary; the exit status.
int RunJob(const cli::CommandLine& line, const CJobRequest& request) {
  summary::CRunSummary run("propagate", "propagation");
  // An earlier job's summary must not stand for this one when it fails.
  path::RemoveFile(summary::SummaryPathFor(request.para_path));
  CPropagation job;
  if (!request.from_options)
    job.OverrideFilter(line.Value("fdr"), line.Value("id-threshold"), line.Value("decoy-prefix"));
  // The parameter file names one result file; the others ride along.
  job.AddResultFiles(request.para.more_result_files);
  if (!line.Has("quiet"))
    job.SetProgress([](const std::string& stage) { std::cerr << "propagate: " << stage << std::endl; });
  const bool ok = job.Run(request.para_path, request.sites);
  const CPropagationSummary& summary = job.summary();
  for (const std::string& report_line : summary.result_report) std::printf("%s\n", report_line.c_str());
  if (!ok) {
    std::printf("Propagation failed: %s\n", request.para_path.c_str());
    return 1;
  }

  CTransferSettings transfer;
  if (request.assess) {
    transfer.spectrum_folders = request.score_spectra;
    transfer.table_shifts = request.table_shifts;
    transfer.database = request.database.get();
    if (line.Has("max-q")) transfer.max_q = line.Real("max-q");
    job.AssessTransfers(transfer);
  }
  if (request.from_options) std::printf("Parameter file: %s\n", request.para_path.c_str());
  std::fputs(FormatSummary(job, request.from_options).c_str(), stdout);
  // The lists may go to standard output themselves ("/dev/stdout"): after the summary.
  if (!request.added_path.empty()) {
    std::fflush(stdout);
    if (!WriteAdded(job, request.added_path)) return 1;
    std::printf("  %s\n", request.added_path.c_str());
  }
  if (!request.table_path.empty()) {
    std::fflush(stdout);
    if (!WriteList(request.table_path, TransferTableText(job.transfers(), transfer))) return 1;
    std::printf("  %s\n", request.table_path.c_str());
  }
  if (!WriteRunSummary(request, job, transfer, run)) return 1;
  return std::fflush(stdout) == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  cli::CommandLine line = PropagateCommandLine();
  const int answered = line.Report(line.Parse(argc, argv), std::cout, std::cerr);
  if (answered >= 0) return answered;
  for (const char* name : {"fdr", "decoy-prefix"}) {
    if (line.Has(name) && line.Value(name).empty())
      return WrongUse(line, std::string("option --") + name + ": empty value");
  }
  // Values out of range are a wrong command line, said before anything is
  // read or written.
  std::string filter_error;
  if (!FilterOptionsUsable(line, filter_error)) return WrongUse(line, filter_error);
  // The spectra are read only to score: alone the folder would be ignored.
  if (line.Has("score-spectra") && !line.Has("table") && !line.Has("max-q"))
    return WrongUse(line, "option --score-spectra goes with --table or --max-q (the spectra are read to score)");
  for (const char* name : {"shifts", "fasta"}) {
    if (line.Has(name) && !line.Has("table") && !line.Has("max-q"))
      return WrongUse(line, std::string("option --") + name + " goes with --table or --max-q (it serves the scoring)");
  }
  // A folder that is not there would leave every member to be scored on its
  // cluster's consensus spectrum, which changes the q-values without a word.
  for (const std::string& folder : line.Values("score-spectra")) {
    const std::string why = UnreadableFolder(folder);
    if (!why.empty()) {
      std::cerr << "propagate: option --score-spectra: " << why << "\nNothing was written.\n";
      return 1;
    }
  }

  // Messages of the job go with the progress, away from the summary.
  notify::ScopedHandler to_stderr([](const std::string& m) { std::cerr << m << std::endl; });

  CJobRequest request;
  // Read before any work, so that a bad table costs nothing.
  for (const std::string& table : line.Values("shifts")) {
    std::string error;
    if (!ReadShiftTable(table, request.table_shifts, error)) {
      std::cerr << "propagate: option --shifts: " << error << "\nNothing was written.\n";
      return 1;
    }
  }
  request.from_options = JobFromOptions(line);
  if (line.Has("fasta")) {
    std::string prefixes = line.Value("decoy-prefix");
    if (prefixes.empty()) prefixes = cli::standard::kDecoyPrefixDefault;
    request.database = std::make_unique<CPeptideDatabase>();
    std::string error;
    if (!request.database->Read(line.Values("fasta"), text::Split(prefixes, ','), error)) {
      std::cerr << "propagate: option --fasta: " << error << "\nNothing was written.\n";
      return 1;
    }
  }
  request.added_path = line.Value("added");
  request.table_path = line.Value("table");
  request.score_spectra = line.Values("score-spectra");
  request.assess = line.Has("table") || line.Has("max-q");
  request.sites = line.Has("sites");
  const int prepared =
      request.from_options ? PrepareJobFromOptions(line, request) : PrepareJobFromFile(line, request);
  if (prepared != kGoOn) return prepared;
  if (!request.added_path.empty() && !ListFileIsFree(request, request.added_path, request.table_path))
    return 1;
  if (!request.table_path.empty() && !ListFileIsFree(request, request.table_path, request.added_path))
    return 1;
  // The run summary is a file of the job like the lists.
  const std::string summary_path = summary::SummaryPathFor(request.para_path);
  for (const std::string& list : {request.added_path, request.table_path}) {
    if (!list.empty() && safefile::SameFile(list, summary_path)) {
      std::cerr << "Output file " << list << " is the job's file " << summary_path
                << "; it would be overwritten. Choose another name or folder.\n";
      return 1;
    }
  }
  if (const std::string refused = CheckJobOutputs(request.para, request.para_path, {summary_path});
      !refused.empty()) {
    std::cerr << refused << "\n";
    return 1;
  }
  return RunJob(line, request);
}
