// idlist: prints the identifications propagation would read from a result
// file, one "<spectrum name>\t<identification>" line each, after the same
// filter; what the reader kept and dropped goes to standard error.
//
//   idlist <result file> [--fdr LEVEL] [--threshold SCORE]
//          [--decoy-prefix P[,P...]] [--all]
//
// --all lists the rank-1 hit of every spectrum at any score, decoys
// included (for comparing propagated identifications with the engine's own
// best guesses). --masses adds a third field, the modifications with their
// masses ("<position>,<mass>" items), so that lists of two searches compare
// by mass whatever each numbered its modifications. Standard output holds
// the list only: errors and the readers' messages go to standard error.

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "common/CommandLine.h"
#include "common/OptionTool.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/StandardOptions.h"
#include "propagation/PeptideText.h"
#include "propagation/PropagateOptions.h"
#include "propagation/PropagationPara.h"
#include "resultfiles/Identifications.h"
#include "resultfiles/SearchResultFile.h"
#include "scoring/Modification.h"

namespace {

cli::CommandLine IdListCommandLine() {
  cli::CommandLine line("idlist", {"<result file> [options]"},
                        "Prints the identifications propagation would read from a result file, one\n"
                        "\"<spectrum name>\\t<identification>\" line each; what the reader kept and dropped\n"
                        "goes to standard error.");
  line.Add(cli::standard::Fdr());
  line.Add(cli::standard::IdThreshold().Alias("threshold"));
  line.Add(cli::standard::DecoyPrefix());
  line.Add(cli::Flag("all", "the rank-1 hit of every spectrum at any score, decoys included"));
  line.Add(cli::Flag("masses", "a third field: the modifications as <position>,<mass> items"));
  return line;
}

// The modifications of an identification as "<position>,<mass>" items, the
// masses from the reader or "modify.ini"; an item without a known mass
// keeps its number and says "?".
std::string WithMasses(const std::string& identification, const ModificationList& modifications) {
  std::string text;
  for (const peptide_text::CItem& item : peptide_text::ParseItems(identification, modifications)) {
    if (!text.empty()) text += ' ';
    char value[64];
    if (item.has_mass && item.mass != -1.0)
      std::snprintf(value, sizeof value, "%d,%.6f", item.position, item.mass);
    else
      std::snprintf(value, sizeof value, "%s?", item.text.c_str());
    text += value;
  }
  return text;
}

// The masses of the modifications a reader named but could not weigh.
void FillMasses(ModificationList& modifications) {
  std::vector<CModification> table;
  try {
    table = LoadModificationsFromDirectory(path::ProgramDirectory());
  } catch (const COptionToolException& e) {
    std::cerr << "Can not open file:" << e.path() << "\n";
    return;
  }
  peptide_text::WeighModifications(modifications, table);
}

// Reads the file through its reader, after the filter of `para` (every
// rank-1 hit with `all`), and prints the list; the exit status.
int PrintIdentifications(const CPropagationPara& para, bool all, bool masses) {
  CIdentificationFilter filter;
  std::string message;
  if (!FilterFromPara(para, filter, message)) {
    std::cerr << message << "\n";
    return 1;
  }
  filter.keep_all = all;
  filter.modify_ini_directory = path::ProgramDirectory();
  CIdentifications loaded;
  const bool read = LoadIdentifications(para.result_file, filter, loaded, message);
  for (const std::string& line : loaded.report) std::fprintf(stderr, "%s\n", line.c_str());
  if (!read) {
    if (loaded.report.empty()) std::cerr << message << "\n";
    return 1;
  }
  if (masses) FillMasses(loaded.modifications);
  // In the order of the keys that names are matched by; each name as the
  // file gave it, which is how the run's spectra are named.
  for (const auto& [key, identification] : loaded.results) {
    const std::string& name = SpelledName(loaded.spellings, key);
    if (masses)
      std::printf("%s\t%s\t%s\n", name.c_str(), identification.c_str(),
                  WithMasses(identification, loaded.modifications).c_str());
    else
      std::printf("%s\t%s\n", name.c_str(), identification.c_str());
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  cli::CommandLine line = IdListCommandLine();
  const cli::Outcome outcome = line.Parse(argc, argv);
  if (outcome == cli::Outcome::kRun && line.Positionals().size() != 1) {
    std::cerr << "idlist: give one result file\n" << line.Usage();
    return 2;
  }
  const int answered = line.Report(outcome, std::cout, std::cerr);
  if (answered >= 0) return answered;
  std::string filter_error;
  if (!FilterOptionsUsable(line, filter_error)) {
    std::cerr << "idlist: " << filter_error << "\n" << line.Usage();
    return 2;
  }
  // Standard output is the list's alone.
  notify::ScopedHandler to_stderr([](const std::string& m) { std::cerr << m << std::endl; });
  CPropagationPara para;
  para.result_file = line.Positionals()[0];
  para.fdr_level = line.Value("fdr");
  para.score_threshold = line.Value("id-threshold");
  para.decoy_prefix = line.Value("decoy-prefix");
  return PrintIdentifications(para, line.Has("all"), line.Has("masses"));
}
