// propagate: runs one propagation job and prints what it found.
//
//   propagate <job.para> [--sites] [--fdr LEVEL] [--threshold SCORE]
//             [--decoy-prefix P[,P...]] [--added FILE]
//   propagate --pairs P --ids F [--clusters C] [--spectra D] [--mod-count N]
//             [--sites] [--out-dir DIR] [--name JOB] [...]
//
// Modification sites are placed when --sites is given or when the file says
// IsModSiteDetermined=1 (the desktop passes its check box, whose state the
// file records). --fdr, --threshold and --decoy-prefix replace the file's
// FdrLevel, ScoreThreshold and DecoyPrefix for search-engine result files.
// --added writes every spectrum that propagation identified, one
// "<name>\t<identification>\t<cluster|pairs>" line each.
//
// Standard output holds the summary only; messages and progress go to
// standard error, so that the summary can be piped.

#include <cstdio>
#include <filesystem>
#include <iostream>
#include <string>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "propagation/PropagateOptions.h"
#include "propagation/Propagation.h"
#include "propagation/PropagationPara.h"

namespace {

int WrongUse(const cli::CommandLine& line, const std::string& error) {
  std::cerr << "propagate: " << error << "\n" << line.Usage();
  return 2;
}

// The --added list, refused when it would replace one of the job's files.
bool WriteAdded(const CPropagation& job, const std::string& path) {
  std::string text;
  for (const auto& [name, added] : job.added())
    text += name + "\t" + added.identification + "\t" + added.via + "\n";
  std::string error;
  if (!safefile::WriteWholeFile(path, text, &error)) {
    std::cerr << "Can not save file:" << path << " (" << error << ")\n";
    return false;
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  cli::CommandLine line = PropagateCommandLine();
  const int answered = line.Report(line.Parse(argc, argv), std::cout, std::cerr);
  if (answered >= 0) return answered;
  for (const char* name : {"fdr", "threshold", "decoy-prefix", "added"}) {
    if (line.Has(name) && line.Value(name).empty())
      return WrongUse(line, std::string("option --") + name + ": empty value");
  }

  // Messages of the job go with the progress, away from the summary.
  notify::ScopedHandler to_stderr([](const std::string& m) { std::cerr << m << std::endl; });
  const bool quiet = line.Has("quiet");

  const bool from_options = JobFromOptions(line);
  std::string added_path = line.Value("added");
  std::string para_path;
  CPropagationPara para;
  bool sites = line.Has("sites");
  if (from_options) {
    std::string error;
    if (!ParaFromOptions(line, para, para_path, error)) return WrongUse(line, error);
    // The job's inputs are checked before anything is created.
    const std::string problem = CheckJobInputs(para);
    if (!problem.empty()) {
      std::cerr << problem << "\nNothing was written.\n";
      return 1;
    }
    // Given paths are the caller's: taken before the move into the output folder.
    if (!added_path.empty()) {
      std::error_code ec;
      const std::filesystem::path full = std::filesystem::absolute(added_path, ec);
      if (!ec) added_path = full.lexically_normal().string();
    }
    const std::string out_dir = path::DirectoryOf(para_path);
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
    std::string refused = CheckJobOutputs(para, "", {para_path});
    if (!refused.empty()) {
      std::cerr << refused << "\n";
      return 1;
    }
    if (!WritePropagationParaFile(para_path, para)) {
      std::cerr << "Can not save file:" << para_path << "\n";
      return 1;
    }
  } else {
    if (line.Positionals().size() != 1)
      return WrongUse(line, line.Positionals().empty() ? "no parameter file given"
                                                       : "give one parameter file");
    para_path = line.Positionals()[0];
    if (ReadPropagationParaFile(para_path, para) && para.is_mod_site_determined != 0) sites = true;
  }

  if (!added_path.empty()) {
    std::vector<std::string> outputs = JobOutputs(para, para_path);
    outputs.push_back(para_path);
    for (const std::string& output : outputs) {
      if (safefile::SameFile(added_path, output)) {
        std::cerr << "Output file " << added_path << " is the job's file " << output
                  << "; it would be overwritten. Choose another name or folder.\n";
        return 1;
      }
    }
    const std::string refused = CheckJobOutputs(para, para_path, {added_path});
    if (!refused.empty()) {
      std::cerr << refused << "\n";
      return 1;
    }
  }

  CPropagation job;
  if (!from_options)
    job.OverrideFilter(line.Value("fdr"), line.Value("threshold"), line.Value("decoy-prefix"));
  if (!quiet) job.SetProgress([](const std::string& stage) { std::cerr << "propagate: " << stage << std::endl; });
  const bool ok = job.Run(para_path, sites);
  const CPropagationSummary& summary = job.summary();
  for (const std::string& report_line : summary.result_report) std::printf("%s\n", report_line.c_str());
  if (!ok) {
    std::printf("Propagation failed: %s\n", para_path.c_str());
    return 1;
  }

  if (from_options) std::printf("Parameter file: %s\n", para_path.c_str());
  std::fputs(FormatSummary(job, from_options).c_str(), stdout);
  if (!added_path.empty()) {
    if (!WriteAdded(job, added_path)) return 1;
    std::printf("  %s\n", added_path.c_str());
  }
  return std::fflush(stdout) == 0 ? 0 : 1;
}
