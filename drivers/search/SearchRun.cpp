#include "drivers/search/SearchRun.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/CommandLine.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/RunSummary.h"
#include "common/StandardOptions.h"
#include "common/TextUtil.h"
#include "resultfiles/Identifications.h"
#include "drivers/search/CometProcess.h"

namespace search {

namespace {

cli::CommandLine SearchCommandLine() {
  cli::CommandLine line("tessera-search", {"RUN --fasta FILE -o DIR [options]"},
                        "Searches one run (mzML, mzXML, MGF, MS2) with Comet against a protein database:\n"
                        "<DIR>/<run>.pep.xml, comet.params, comet.log and <run>.summary.json.");
  line.Add(cli::Path("fasta", "FILE", "the protein database (FASTA); Comet adds reversed decoys unless it has its own"));
  line.Add(cli::standard::Output());
  line.Add(cli::standard::Threads());
  line.Add(cli::Path("comet", "PATH", "the Comet program (default: comet-ms on PATH)"));
  line.Add(cli::standard::Quiet());
  return line;
}

// Rank-1 hits of a result file with a peptide; -1 with `error` set when the
// file cannot be read.
long CountIdentified(const std::string& pepxml, bool all, std::string& error) {
  CIdentificationFilter filter;
  filter.keep_all = all;
  CIdentifications loaded;
  notify::ScopedHandler quiet([](const std::string&) {});
  if (!LoadIdentifications(pepxml, filter, loaded, error)) {
    if (error.empty() && !loaded.report.empty()) error = loaded.report.front();
    return -1;
  }
  long n = 0;
  for (const auto& [key, identification] : loaded.results) n += HasPeptide(identification);
  return n;
}

}  // namespace

int DefaultThreads() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores ? static_cast<int>(cores) : 1;
}

bool MakeSearchParams(const std::string& comet, const std::string& folder, const std::string& fasta, int threads,
                      CCometParams& params, std::string& error) {
  if (!DefaultParams(comet, folder, params, error)) return false;
  SetSearch(params, fasta, threads);
  return true;
}

int RunSearchProgram(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  cli::CommandLine line = SearchCommandLine();
  const cli::Outcome outcome = line.Parse(argc, argv);
  if (outcome == cli::Outcome::kRun &&
      (line.Positionals().size() != 1 || !line.Has("fasta") || !line.Has("output"))) {
    err << "tessera-search: give one run, --fasta FILE and -o DIR\n" << line.Usage();
    return 2;
  }
  const int answered = line.Report(outcome, out, err);
  if (answered >= 0) return answered;

  summary::CRunSummary record("tessera-search", "search");  // its clock starts here
  const std::string run = path::Absolute(line.Positionals()[0]);
  const std::string fasta = path::Absolute(line.Value("fasta"));
  const std::string folder = path::Absolute(line.Value("output"));
  const int threads = static_cast<int>(line.Integer("threads", DefaultThreads()));
  const bool quiet = line.Has("quiet");
  auto fail = [&err](const std::string& message) {
    err << "tessera-search: " << message << "\n";
    return 1;
  };
  if (!path::IsRegularFile(run)) return fail("No such run: " + run);
  const std::string kind = text::ToLower(path::Extension(run));
  if (kind != "mzml" && kind != "mzxml" && kind != "mgf" && kind != "ms2")
    return fail("Comet cannot search " + run + ": give an mzML, mzXML, MGF or MS2 file");
  if (!path::IsRegularFile(fasta)) return fail("No such FASTA file: " + fasta);
  std::string error;
  const char* path_variable = std::getenv("PATH");
  const std::string comet = FindComet(line.Value("comet"), path_variable ? path_variable : "", error);
  if (comet.empty()) return fail(error);
  if (!path::CreateDirectory(folder)) return fail("Cannot create the output folder " + folder);

  CCometParams params;
  if (!MakeSearchParams(comet, folder, fasta, threads, params, error)) return fail(error);
  const std::string params_path = path::Join(folder, "comet.params");
  if (!params.Write(params_path, error)) return fail(error);

  const std::string base = path::BaseName(run);
  CCometRun search;
  search.program = comet;
  search.args = {"-P" + params_path, "-N" + path::Join(folder, base), run};
  search.working_folder = folder;
  search.log = path::Join(folder, "comet.log");
  search.label = "Comet search of " + base;
  if (!quiet) search.progress = [&err](const std::string& progress) { err << progress << std::endl; };
  if (!RunComet(search, error)) return fail("the search of " + run + " failed: " + error);
  const std::string pepxml = path::Join(folder, base + ".pep.xml");
  std::string console;
  {
    std::ifstream in(search.log, std::ios::binary);
    console.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  if (!path::IsRegularFile(pepxml)) {
    const std::string said = CometError(console);
    return fail("Comet wrote no " + pepxml + (said.empty() ? "" : " (\"" + said + "\")") + "; see its log " +
                search.log);
  }
  const long spectra = LoadedSpectra(console);
  const long psms = CountIdentified(pepxml, true, error);
  if (psms < 0) return fail("cannot read Comet's " + pepxml + ": " + error);
  std::string fdr_error;
  const long identified = CountIdentified(pepxml, false, fdr_error);
  if (identified < 0) err << "tessera-search: warning: no identifications at 1% FDR: " << fdr_error << "\n";

  record.AddInput("run", run);
  record.AddInput("fasta", fasta);
  record.Parameters().Set("comet", comet);
  record.Parameters().Set("threads", threads);
  record.Parameters().Set("decoy_search", text::AtoI(params.Get("decoy_search")));
  record.Parameters().Set("fdr", 0.01);
  record.Counts().Set("spectra_searched", spectra);
  record.Counts().Set("psms", psms);
  record.Counts().Set("identified", identified < 0 ? summary::CJson() : summary::CJson(identified));
  record.AddOutput("pepxml", pepxml);
  record.AddOutput("params", params_path);
  record.AddOutput("log", search.log);
  // Named after the run, beside its pepXML, as the other programs' summaries
  // are named after their main output.
  const std::string summary_path = path::Join(folder, base + ".summary.json");
  if (!record.Write(summary_path, &error)) return fail(error);

  out << "Comet searched " << spectra << " spectra of " << run << ": " << psms << " with a rank-1 hit, ";
  if (identified >= 0)
    out << identified << " identified at 1% FDR\n";
  else
    out << "none at 1% FDR (see the warning)\n";
  out << "Output files:\n  " << pepxml << "\n  " << params_path << "\n  " << search.log << "\n  " << summary_path
      << "\n";
  return 0;
}

}  // namespace search
