#include "drivers/search/ConfirmRun.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>

#include "common/CommandLine.h"
#include "common/Dta.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/RunSummary.h"
#include "common/SafeFile.h"
#include "common/StandardOptions.h"
#include "common/TextUtil.h"
#include "resultfiles/Identifications.h"
#include "scoring/ResidueTable.h"
#include "drivers/search/CometProcess.h"
#include "drivers/search/Confirmation.h"
#include "drivers/search/Ms2Writer.h"
#include "drivers/search/SearchRun.h"
#include "drivers/search/ShiftBatches.h"
#include "spectra/MS2Input.h"

namespace fs = std::filesystem;

namespace search {

namespace {

cli::CommandLine ConfirmCommandLine() {
  cli::CommandLine line(
      "tessera-confirm",
      {"--propagated FILE --ids FILE [--ids FILE ...] --fasta FILE --spectra DIR|FILE [--spectra ...] -o DIR "
       "[options]"},
      "Searches the propagated spectra with Comet told the shifts that spectral pairs carried, and counts\n"
      "the propagated identifications whose rank-1 hit is the propagated peptide with its shift.");
  line.Add(cli::Path("propagated", "FILE", "propagated identifications (the table of propagate --table)"));
  line.Add(cli::standard::Ids("the first search's; repeat for several runs"));
  line.Add(cli::Path("fasta", "FILE", "the protein database (FASTA); Comet adds reversed decoys unless it has its own"));
  line.Add(cli::Path("spectra", "DIR|FILE",
                     "the propagated spectra: DTA folders or spectrum files, looked in in turn; repeatable"));
  line.Add(cli::standard::Output());
  line.Add(cli::Path("comet-params", "FILE", "the first search's comet.params (default: Comet's own, as tessera-search makes them)"));
  line.Add(cli::standard::Threads());
  line.Add(cli::Path("comet", "PATH", "the Comet program (default: comet-ms on PATH)"));
  line.Add(cli::standard::Quiet());
  return line;
}

// The first search's identifications of every file: their weights, the
// count at 1% FDR, and each spectrum's best hit at any score.
struct CFirstSearch {
  std::map<std::string, Weight> weights;
  std::map<std::string, std::string> best;  // by name upper-cased
  int identified = 0;
};

bool ReadFirstSearch(const std::vector<std::string>& files, CFirstSearch& first, std::string& error) {
  for (const std::string& file : files) {
    for (const bool all : {false, true}) {
      CIdentificationFilter filter;
      filter.keep_all = all;
      filter.modify_ini_directory = path::ProgramDirectory();
      CIdentifications loaded;
      std::string message;
      if (!LoadIdentifications(file, filter, loaded, message)) {
        error = "cannot read the identifications of " + file + ": " +
                (message.empty() && !loaded.report.empty() ? loaded.report.front() : message);
        return false;
      }
      FillMasses(loaded.modifications, path::ProgramDirectory());
      for (const auto& [key, identification] : loaded.results) {
        if (!HasPeptide(identification)) continue;
        if (all) {
          first.best.emplace(key, identification);
        } else {
          ++first.identified;
          first.weights.emplace(identification, ModificationWeight(identification, loaded.modifications));
        }
      }
    }
  }
  return true;
}

// Every rank-1 hit of a shift-aware search's pepXML, appended per spectrum
// under the spectrum's own name.
bool ReadHits(const std::string& pepxml, const CPooledSpectra& pooled, std::map<std::string, std::vector<CHit>>& hits,
              std::string& error) {
  CIdentificationFilter filter;
  filter.keep_all = true;
  filter.modify_ini_directory = path::ProgramDirectory();
  CIdentifications loaded;
  if (!LoadIdentifications(pepxml, filter, loaded, error)) {
    if (error.empty() && !loaded.report.empty()) error = loaded.report.front();
    error = "cannot read " + pepxml + ": " + error;
    return false;
  }
  FillMasses(loaded.modifications, path::ProgramDirectory());
  for (const auto& [key, identification] : loaded.results) {
    if (!HasPeptide(identification)) continue;
    const std::string* spectrum = pooled.SpectrumOf(key);
    if (!spectrum) {
      error = pepxml + " names a spectrum that was not searched: " + key;
      return false;
    }
    hits[*spectrum].push_back({identification, ModificationWeight(identification, loaded.modifications)});
  }
  return true;
}

// A shift's verdict allows 0.02 Da; the shifts searched are the means of
// shifts up to 0.01 Da apart. Wider still, so that no search that could
// confirm is left out.
constexpr double kCarryTolerance = 0.05;

// The variable modifications a parameter file sets.
std::vector<CVariableMod> VariableMods(const CCometParams& params) {
  std::vector<std::string> values;
  for (int slot = 1; slot <= 9; ++slot) {
    char key[32];
    std::snprintf(key, sizeof key, "variable_mod%02d", slot);
    values.push_back(params.Get(key));
  }
  return ParseVariableMods(values);
}

std::string Number(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.6f", value);
  return text;
}

summary::CJson TallyJson(const CTally& tally) {
  summary::CJson json = summary::CJson::Object();
  json.Set("propagated", tally.propagated);
  json.Set("confident", tally.confident);
  json.Set("confirmed", tally.confirmed);
  json.Set("confirmed_confident", tally.confirmed_confident);
  return json;
}

}  // namespace

bool CollectSpectra(const std::vector<std::string>& sources, const std::set<std::string>& wanted,
                    std::map<std::string, msdata::CSpectrum>& found, std::string& error) {
  for (const std::string& source : sources) {
    if (found.size() == wanted.size()) break;
    if (path::IsDirectory(source)) {
      std::error_code failed;
      for (fs::directory_iterator entry(source, failed), end; !failed && entry != end; entry.increment(failed)) {
        const std::string name = entry->path().filename().string();
        const std::string key = text::ToUpper(name);
        if (!wanted.count(key) || found.count(key)) continue;
        msdata::CSpectrum spectrum;
        if (!msdata::ReadDta(entry->path().string(), spectrum, error)) return false;
        spectrum.name = name;
        found.emplace(key, std::move(spectrum));
      }
      if (failed) {
        error = "Cannot read the folder " + source + ": " + failed.message();
        return false;
      }
      continue;
    }
    MS2FormatType type;
    if (!CMS2InputFactory::FormatFromPath(source, type, error)) return false;
    std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, false));
    if (!importer) {
      error = "No reader for " + source;
      return false;
    }
    // Only the spectra asked for are kept: a run holds many more.
    importer->SetHook([&wanted, &found](msdata::CSpectrum& spectrum, const CMS2Input::RecordPlace&) {
      const std::string key = text::ToUpper(spectrum.name);
      return wanted.count(key) && !found.count(key);
    });
    std::vector<msdata::CSpectrum> loaded;
    if (!importer->Load(source, loaded, true)) {
      error = importer->LastError();
      return false;
    }
    for (msdata::CSpectrum& spectrum : loaded) {
      const std::string key = text::ToUpper(spectrum.name);
      if (!found.count(key)) found.emplace(key, std::move(spectrum));
    }
  }
  return true;
}

int RunConfirmProgram(int argc, const char* const* argv, std::ostream& out, std::ostream& err) {
  cli::CommandLine line = ConfirmCommandLine();
  const cli::Outcome outcome = line.Parse(argc, argv);
  if (outcome == cli::Outcome::kRun &&
      (!line.Positionals().empty() || !line.Has("propagated") || !line.Has("ids") || !line.Has("fasta") ||
       !line.Has("spectra") || !line.Has("output"))) {
    err << "tessera-confirm: give --propagated, --ids, --fasta, --spectra and -o (and nothing else)\n"
        << line.Usage();
    return 2;
  }
  const int answered = line.Report(outcome, out, err);
  if (answered >= 0) return answered;
  auto fail = [&err](const std::string& message) {
    err << "tessera-confirm: " << message << "\n";
    return 1;
  };
  summary::CRunSummary record("tessera-confirm", "confirmation");  // its clock starts here
  const bool quiet = line.Has("quiet");
  auto progress = [&err, quiet](const std::string& text) {
    if (!quiet) err << text << std::endl;
  };
  const std::string propagated = path::Absolute(line.Value("propagated"));
  const std::string fasta = path::Absolute(line.Value("fasta"));
  const std::string folder = path::Absolute(line.Value("output"));
  std::vector<std::string> ids, sources;
  for (const std::string& file : line.Values("ids")) ids.push_back(path::Absolute(file));
  for (const std::string& source : line.Values("spectra")) sources.push_back(path::Absolute(source));
  for (const std::string& file : ids)
    if (!path::IsRegularFile(file)) return fail("No such identification file: " + file);
  if (!path::IsRegularFile(fasta)) return fail("No such FASTA file: " + fasta);
  for (const std::string& source : sources)
    if (!path::Exists(source)) return fail("No such spectrum folder or file: " + source);
  const std::string given_params = line.Has("comet-params") ? path::Absolute(line.Value("comet-params")) : "";
  if (!given_params.empty() && !path::IsRegularFile(given_params))
    return fail("No such Comet parameter file: " + given_params);

  std::string error;
  std::vector<CPropagatedRow> rows;
  if (!ReadPropagatedTable(propagated, rows, error)) return fail(error);
  CFirstSearch first;
  {
    notify::ScopedHandler quiet_readers([](const std::string&) {});
    if (!ReadFirstSearch(ids, first, error)) return fail(error);
  }
  if (!path::CreateDirectory(folder)) return fail("Cannot create the output folder " + folder);

  // Comet's parameters: the first search's, or Comet's own with Tessera's
  // settings; needed only when there is something to search.
  CCometParams params;
  std::string comet;
  auto prepare_comet = [&]() {
    const char* path_variable = std::getenv("PATH");
    comet = FindComet(line.Value("comet"), path_variable ? path_variable : "", error);
    if (comet.empty()) return false;
    if (given_params.empty())
      return MakeSearchParams(comet, folder, fasta, static_cast<int>(line.Integer("threads", DefaultThreads())),
                              params, error);
    if (!params.Read(given_params, error)) return false;
    params.Set("database_name", fasta);
    if (line.Has("threads")) params.Set("num_threads", std::to_string(line.Integer("threads")));
    return true;
  };

  // The shifts of the pair-propagated identifications, in batches.
  std::vector<std::vector<CShift>> shifts;
  int pair_rows = 0;
  const bool searching = std::any_of(rows.begin(), rows.end(), [](const CPropagatedRow& r) { return r.route == "pairs"; });
  if (searching && !prepare_comet()) return fail(error);
  const std::map<char, double> residue_masses = SearchedResidueMasses(
      CResidueTable::FromDirectory(path::ProgramDirectory()), params.StaticAdditions());
  for (const CPropagatedRow& row : rows) {
    if (row.route != "pairs") continue;
    ++pair_rows;
    shifts.push_back(ShiftsOf(row.sequence, row.modifications, residue_masses));
  }
  const CShiftPlan plan = PlanBatches(shifts);

  std::string mods_text = "batch\tpairs\tresidue\tmass\n";
  for (const CShiftMod& mod : plan.mods)
    mods_text += std::to_string(mod.batch) + "\t" + std::to_string(mod.pairs) + "\t" + mod.residue + "\t" +
                 Number(mod.mass) + "\n";
  const std::string mods_path = path::Join(folder, "shift_mods.tsv");
  if (!safefile::WriteWholeFile(mods_path, mods_text, &error)) return fail(error);

  // The propagated spectra of every run go into one MS2 text per search,
  // numbered afresh: Comet reads the whole database once per input file,
  // and that reading, with eight shifts as variable modifications, is most
  // of what a search costs. Each search takes only the spectra it could
  // confirm (CanCarry), which keeps the rest of the cost, scoring the
  // spectra, from growing with the number of searches; the verdicts are
  // those of searching every spectrum in every search.
  std::map<std::string, msdata::CSpectrum> found;
  int not_found = 0;
  if (plan.batches > 0) {
    std::set<std::string> wanted;
    for (const CPropagatedRow& row : rows) wanted.insert(text::ToUpper(row.spectrum));
    {
      notify::ScopedHandler quiet_readers([](const std::string&) {});
      if (!CollectSpectra(sources, wanted, found, error)) return fail(error);
    }
    not_found = static_cast<int>(wanted.size() - found.size());
    for (auto it = found.begin(); it != found.end();) {
      if (it->second.charge >= 1) {
        ++it;
        continue;
      }
      ++not_found;  // Comet cannot search a spectrum without a charge
      it = found.erase(it);
    }
    if (not_found > 0)
      err << "tessera-confirm: warning: " << not_found << " of " << wanted.size()
          << " propagated spectra were not found in the --spectra sources (or have no precursor charge)\n";
  }

  // One Comet run per batch, on every run's spectra at once.
  std::map<std::string, std::vector<CHit>> hits;
  const std::string batches_folder = path::Join(folder, "batches");
  const bool search_any = plan.batches > 0 && !found.empty();
  int spectra_searched = 0;
  // The first search's own modifications (the parameters it ran with): a
  // hit may carry fewer of them than the first search's peptide did.
  const std::vector<CVariableMod> first_mods = VariableMods(params);
  for (int b = 1; b <= plan.batches && search_any; ++b) {
    const std::string here = path::Join(batches_folder, std::to_string(b));
    if (!path::CreateDirectory(here)) return fail("Cannot create the folder " + here);
    CCometParams batch = params;
    std::vector<CShiftMod> mods;
    for (const CShiftMod& mod : plan.mods)
      if (mod.batch == b) mods.push_back(mod);
    SetShiftMods(batch, mods);
    const std::vector<CVariableMod> search_mods = VariableMods(batch);
    const int most = static_cast<int>(text::AtoI(batch.Get("max_variable_mods_in_peptide")));
    std::map<std::string, msdata::CSpectrum> chosen;
    for (const CPropagatedRow& row : rows) {
      const auto spectrum = found.find(text::ToUpper(row.spectrum));
      if (spectrum == found.end() || chosen.count(spectrum->first)) continue;
      const double shift = row.shift.empty() ? 0.0 : text::AtoF(row.shift);
      if (CanCarry(shift, row.sequence, search_mods, first_mods, most, kCarryTolerance)) chosen.insert(*spectrum);
    }
    if (chosen.empty()) continue;
    CPooledSpectra pooled;
    PoolSpectra(chosen, pooled);
    spectra_searched += static_cast<int>(chosen.size());
    CCometRun run;
    run.program = comet;
    run.working_folder = here;
    run.args = {"-P" + path::Join(here, "comet.params")};
    if (!batch.Write(run.args.front().substr(2), error)) return fail(error);
    const std::string ms2_path = path::Join(here, std::string(kPooledName) + ".ms2");
    if (!safefile::WriteWholeFile(ms2_path, pooled.ms2, &error) ||
        !safefile::WriteWholeFile(path::Join(here, "scans.tsv"), pooled.scan_table, &error))
      return fail(error);
    run.args.push_back(ms2_path);
    run.log = path::Join(here, "comet.log");
    run.label = "shift-aware search " + std::to_string(b) + " of " + std::to_string(plan.batches) + " (" +
                std::to_string(chosen.size()) + " spectra)";
    run.progress = progress;
    if (!RunComet(run, error)) return fail("the shift-aware search failed: " + error);
    const std::string pepxml = path::Join(here, std::string(kPooledName) + ".pep.xml");
    if (!path::IsRegularFile(pepxml)) return fail("Comet wrote no " + pepxml + " (see its log " + run.log + ")");
    notify::ScopedHandler quiet_readers([](const std::string&) {});
    if (!ReadHits(pepxml, pooled, hits, error)) return fail(error);
  }

  // The verdicts.
  CConfirmationCounts counts;
  std::string table = "spectrum\tsequence\troute\tq_value\tband\tconfirmed\trank1_hit\tmass_delta\n";
  static const std::vector<CHit> kNone;
  for (const CPropagatedRow& row : rows) {
    const std::string key = text::ToUpper(row.spectrum);
    const auto found = hits.find(key);
    const CVerdict verdict = Judge(row, found == hits.end() ? kNone : found->second, first.weights);
    const auto best = first.best.find(key);
    counts.Add(row, verdict.confirmed, best == first.best.end() ? nullptr : &best->second);
    table += row.spectrum + "\t" + row.sequence + "\t" + row.route + "\t" + (row.q ? Number(*row.q) : "NA") + "\t" +
             Band(row.q) + "\t" + (verdict.confirmed ? "yes" : "no") + "\t" +
             (verdict.hit ? verdict.hit->identification : "") + "\t" +
             (verdict.delta ? Number(*verdict.delta) : "NA") + "\n";
  }
  const std::string table_path = path::Join(folder, "confirmation.tsv");
  if (!safefile::WriteWholeFile(table_path, table, &error)) return fail(error);

  record.AddInput("propagated", propagated);
  for (const std::string& file : ids) record.AddInput("ids", file);
  record.AddInput("fasta", fasta);
  for (const std::string& source : sources) record.AddInput("spectra", source);
  if (!given_params.empty()) record.AddInput("comet_params", given_params);
  record.Parameters().Set("mass_tolerance_da", 0.02);
  record.Parameters().Set("modifications_per_search", 8);
  record.Parameters().Set("confident_q", 0.01);
  const CTally together = counts.Together();
  record.Counts().Set("propagated", static_cast<int>(rows.size()));
  record.Counts().Set("pair_propagated", pair_rows);
  record.Counts().Set("confident", together.confident);
  record.Counts().Set("confirmed", together.confirmed);
  record.Counts().Set("confirmed_confident", together.confirmed_confident);
  record.Counts().Set("shifts", plan.distinct);
  record.Counts().Set("searches", search_any ? plan.batches : 0);
  record.Counts().Set("spectra_not_found", not_found);
  record.Counts().Set("spectra_searched", spectra_searched);
  record.Counts().Set("identified_first_search", first.identified);
  summary::CJson& routes = record.Details()["routes"];
  for (const char* route : {"cluster", "pairs"})
    routes.Set(route, TallyJson(counts.routes.count(route) ? counts.routes.at(route) : CTally()));
  routes.Set("together", TallyJson(together));
  summary::CJson& bands = record.Details()["bands"];
  for (const std::string& band : Bands())
    bands.Set(band, TallyJson(counts.bands.count(band) ? counts.bands.at(band) : CTally()));
  summary::CJson& runs = record.Details()["runs"];
  for (const auto& [run, tally] : counts.runs) runs.Set(run, TallyJson(tally));
  // A list rather than an object: readers that sort keys keep the bands' order.
  summary::CJson& run_bands = record.Details().Set("run_bands", summary::CJson::Array());
  for (const auto& [run, per_band] : counts.run_bands)
    for (const std::string& band : Bands()) {
      if (!per_band.count(band)) continue;
      summary::CJson row = TallyJson(per_band.at(band));
      row.Set("run", run);
      row.Set("band", band);
      run_bands.Append(std::move(row));
    }
  summary::CJson& closed = record.Details()["closed_search"];
  for (const char* route : {"cluster", "pairs"}) closed.Set(std::string("agree_") + route, counts.agree.count(route) ? counts.agree.at(route) : 0);
  closed.Set("no_hit", counts.no_hit);
  record.AddOutput("confirmation", table_path);
  record.AddOutput("shift_mods", mods_path);
  if (search_any) record.AddOutput("searches", batches_folder);
  const std::string summary_path = summary::SummaryPathFor(table_path);
  if (!record.Write(summary_path, &error)) return fail(error);

  if (pair_rows == 0)
    out << "   no pair-propagated identifications: no shift-aware search\n";
  else
    out << "   " << plan.distinct << " shifts searched as variable modifications in " << plan.batches
        << " searches of at most 8\n";
  if (plan.too_many > 0)
    out << "   " << plan.too_many << " identifications carry more shifts than one search takes and were not searched\n";
  out << ClosedSearchText(counts, first.identified) << ShiftAwareText(counts);
  return 0;
}

}  // namespace search
