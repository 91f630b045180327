#include "resultfiles/SearchResultFile.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <limits>
#include <map>

#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/OptionTool.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "scoring/Modification.h"

namespace {

struct ScoreName {
  const char* name;  // score name, cvParam name or accession
  int kind;
};

// Names as pepXML search_score elements, mzIdentML cvParams (accession and
// name) and userParams give them.
constexpr ScoreName kScoreNames[] = {
    {"peptideprophet", SCORE_PROPHET_PROBABILITY},
    {"interprophet", SCORE_PROPHET_PROBABILITY},
    {"SpecEValue", SCORE_SPEC_EVALUE},
    {"MS:1002052", SCORE_SPEC_EVALUE},
    {"MS-GF:SpecEValue", SCORE_SPEC_EVALUE},
    {"expect", SCORE_EXPECT},
    {"MS:1002257", SCORE_EXPECT},
    {"Comet:expectation value", SCORE_EXPECT},
    {"MS:1001330", SCORE_EXPECT},
    {"X!Tandem:expect", SCORE_EXPECT},
    {"MS:1001328", SCORE_EXPECT},
    {"OMSSA:evalue", SCORE_EXPECT},
    {"MS:1001172", SCORE_EXPECT},
    {"Mascot:expectation value", SCORE_EXPECT},
    {"EValue", SCORE_EVALUE},
    {"MS:1002053", SCORE_EVALUE},
    {"MS-GF:EValue", SCORE_EVALUE},
    {"ionscore", SCORE_MASCOT},
    {"MS:1001171", SCORE_MASCOT},
    {"Mascot:score", SCORE_MASCOT},
    {"MS:1002466", SCORE_PEPTIDESHAKER},
    {"PeptideShaker PSM score", SCORE_PEPTIDESHAKER},
    {"hyperscore", SCORE_HYPERSCORE},
    {"MS:1001331", SCORE_HYPERSCORE},
    {"X!Tandem:hyperscore", SCORE_HYPERSCORE},
    {"xcorr", SCORE_XCORR},
    {"MS:1002252", SCORE_XCORR},
    {"Comet:xcorr", SCORE_XCORR},
    {"MS:1001155", SCORE_XCORR},
    {"SEQUEST:xcorr", SCORE_XCORR},
    {"MS:1002049", SCORE_MSGF_RAW},
    {"MS-GF:RawScore", SCORE_MSGF_RAW},
    {"MS:1002054", SCORE_QVALUE},
    {"MS-GF:QValue", SCORE_QVALUE},
    {"MS:1001491", SCORE_QVALUE},
    {"percolator:Q value", SCORE_QVALUE},
    {"MS:1002354", SCORE_QVALUE},
    {"PSM-level q-value", SCORE_QVALUE},
};

constexpr const char* kKindNames[SCORE_KIND_COUNT] = {
    "probability", "SpecEValue", "expect", "EValue", "Mascot score",
    "PeptideShaker score", "hyperscore", "xcorr", "MS-GF raw score", "q-value"};

constexpr bool kLowerBetter[SCORE_KIND_COUNT] = {false, true, true, true, false,
                                                 false, false, false, false, true};

bool Better(double a, double b, int kind) { return kLowerBetter[kind] ? a < b : a > b; }

std::string Percent(double fraction) {
  char text[32];
  std::snprintf(text, sizeof text, "%g%%", fraction * 100.0);
  return text;
}

}  // namespace

CSearchHit::CSearchHit() { scores.fill(std::numeric_limits<double>::quiet_NaN()); }

int ScoreKindOf(const std::string& name_or_accession) {
  for (const ScoreName& entry : kScoreNames) {
    if (text::EqualsNoCase(entry.name, name_or_accession)) return entry.kind;
  }
  return -1;
}

const char* ScoreKindName(int kind) {
  return kind >= 0 && kind < SCORE_KIND_COUNT ? kKindNames[kind] : "unknown";
}

bool LowerScoreIsBetter(int kind) { return kind >= 0 && kind < SCORE_KIND_COUNT && kLowerBetter[kind]; }

std::string RunBaseName(const std::string& path_or_location) {
  std::string name = path::FileName(path_or_location);
  // Spectrum-file extensions, compression first; a base name without any
  // (pepXML's usual form) stays whole, dots and all.
  static const char* const kExtensions[] = {".gz", ".bz2", ".zip", ".mzML", ".mzXML", ".mzData",
                                            ".mgf", ".ms2", ".cms2", ".raw", ".wiff", ".d",
                                            ".dta", ".pkl", ".xml"};
  for (const char* extension : kExtensions) {
    const std::string e = extension;
    if (name.size() > e.size() && text::EqualsNoCase(name.substr(name.size() - e.size()), e))
      name.resize(name.size() - e.size());
  }
  return name;
}

std::string HitSpectrumName(const std::string& base, int first_scan, int last_scan, int charge) {
  return msdata::MakeDtaName(msdata::SpectrumNamePrefix(base), first_scan, last_scan, charge);
}

// The spectrum name a title gives: a title that is itself one of this
// system's names ("run.120.120.2.dta", or a consensus "10.2-20.2-31.2.dta")
// or a DTA-style name without ".dta" ("run.120.120.2 File:...").
bool SpectrumNameFromTitle(const std::string& title, int charge, std::string& name) {
  const std::string token = title.substr(0, title.find_first_of(" \t"));
  if (token.size() > 4 && text::EqualsNoCase(token.substr(token.size() - 4), ".dta")) {
    name = ResultSpectrumName(token);
    return true;
  }
  msdata::DtaNameParts parts;
  if (!msdata::ParseDtaName(token + ".dta", parts) || parts.prefix.empty() || parts.first_scan < 0)
    return false;
  name = HitSpectrumName(parts.prefix, parts.first_scan, parts.last_scan, charge ? charge : parts.charge);
  return true;
}

std::string MassModificationName(double mass) {
  char name[48];
  std::snprintf(name, sizeof name, "Mod%+.4f", mass);
  return name;
}

bool CModificationNamer::Load(const std::string& directory) {
  records_.clear();
  try {
    for (const CModification& m : LoadModificationsFromDirectory(directory))
      records_.push_back({m.name, m.residues, static_cast<int>(m.terminal), m.mass});
  } catch (const COptionToolException&) {
    return false;
  }
  return true;
}

std::string CModificationNamer::Name(double mass, char residue, char terminus) const {
  const Record* best = nullptr;
  int best_fit = -1;
  double best_error = 0.0;
  for (const Record& r : records_) {
    const double error = std::fabs(r.mass - mass);
    if (error > 0.01) continue;
    // A record whose residues and terminus fit the site beats one that only
    // has the mass (Acetyl on K against Acetyl on the N-terminus).
    const bool residue_fits = r.residues.find("[ALL]") != std::string::npos ||
                              (residue && r.residues.find(residue) != std::string::npos);
    const bool n_record = r.terminal == MOD_TERMINAL_PEP_N || r.terminal == MOD_TERMINAL_PRO_N;
    const bool c_record = r.terminal == MOD_TERMINAL_PEP_C || r.terminal == MOD_TERMINAL_PRO_C;
    const bool terminus_fits = terminus == 'n'   ? n_record
                               : terminus == 'c' ? c_record
                                                 : r.terminal == MOD_TERMINAL_NONE;
    const int fit = (residue_fits ? 2 : 0) + (terminus_fits ? 1 : 0);
    if (fit > best_fit || (fit == best_fit && error < best_error)) {
      best = &r;
      best_fit = fit;
      best_error = error;
    }
  }
  return best ? best->name : MassModificationName(mass);
}

bool CSearchResultFile::IsDecoyAccession(const std::string& accession) const {
  for (const std::string& prefix : filter_.decoy_prefixes) {
    if (!prefix.empty() && text::StartsWith(accession, prefix)) return true;
  }
  return false;
}

std::vector<double> TargetDecoyQValues(const std::vector<CSearchHit>& hits, int kind) {
  std::vector<double> q(hits.size(), std::numeric_limits<double>::quiet_NaN());
  std::vector<std::size_t> order;
  for (std::size_t i = 0; i < hits.size(); ++i) {
    if (!std::isnan(hits[i].scores[kind])) order.push_back(i);
  }
  std::stable_sort(order.begin(), order.end(), [&](std::size_t a, std::size_t b) {
    return Better(hits[a].scores[kind], hits[b].scores[kind], kind);
  });
  // The decoy-to-target ratio after each group of equal scores, then the
  // running minimum from the worst end: a q-value never exceeds the rate of
  // a more generous cut.
  std::vector<double> rate(order.size());
  std::size_t targets = 0, decoys = 0;
  for (std::size_t begin = 0; begin < order.size();) {
    std::size_t end = begin;
    while (end < order.size() &&
           hits[order[end]].scores[kind] == hits[order[begin]].scores[kind]) {
      (hits[order[end]].decoy ? decoys : targets) += 1;
      ++end;
    }
    const double r = targets ? static_cast<double>(decoys) / static_cast<double>(targets)
                             : (decoys ? 1.0 : 0.0);
    for (std::size_t k = begin; k < end; ++k) rate[k] = r;
    begin = end;
  }
  double running = std::numeric_limits<double>::infinity();
  for (std::size_t k = order.size(); k-- > 0;) {
    running = std::min(running, rate[k]);
    q[order[k]] = running;
  }
  return q;
}

namespace {

// The primary score: the best-suited kind that the hits carry; -1 for none.
int PrimaryScoreKind(const std::vector<CSearchHit>& hits) {
  for (int k = 0; k < SCORE_KIND_COUNT; ++k) {
    for (const CSearchHit& hit : hits) {
      if (!std::isnan(hit.scores[k])) return k;
    }
  }
  return -1;
}

// One hit per spectrum, in file order: a spectrum met twice keeps its
// better hit by `kind`. `duplicates` counts the further hits.
std::vector<CSearchHit> OneHitPerSpectrum(std::vector<CSearchHit> read, int kind, int& duplicates) {
  std::vector<CSearchHit> hits;
  std::map<std::string, std::size_t> by_name;
  duplicates = 0;
  for (CSearchHit& hit : read) {
    const auto [it, inserted] = by_name.emplace(ResultSpectrumKey(hit.name), hits.size());
    if (inserted) {
      hits.push_back(std::move(hit));
      continue;
    }
    ++duplicates;
    CSearchHit& held = hits[it->second];
    if (kind >= 0 && !std::isnan(hit.scores[kind]) &&
        (std::isnan(held.scores[kind]) || Better(hit.scores[kind], held.scores[kind], kind)))
      held = std::move(hit);
  }
  return hits;
}

// What the filter kept and what it dropped, for the report.
struct FilterOutcome {
  std::vector<bool> keep;
  int decoys = 0;
  int without_score = 0;
  int cut = 0;
  std::string rule;  // the rule applied, in words
};

// The rule of a score threshold or an FDR cut, in words.
std::string RuleText(const CIdentificationFilter& filter, int kind) {
  char threshold[64];
  std::snprintf(threshold, sizeof threshold, "%g", filter.score_threshold);
  return filter.has_score_threshold
             ? std::string(ScoreKindName(kind)) + (LowerScoreIsBetter(kind) ? " <= " : " >= ") +
                   threshold
             : "q-value <= " + Percent(filter.fdr_level) + " FDR on " + ScoreKindName(kind);
}

// Decides which hits stay. False (after saying why) when the file gives no
// way to estimate the false discovery rate.
bool FilterHits(const CIdentificationFilter& filter, const std::string& path,
                const std::vector<CSearchHit>& hits, int kind, FilterOutcome& outcome) {
  for (const CSearchHit& hit : hits) outcome.decoys += hit.decoy;
  outcome.keep.assign(hits.size(), true);
  if (filter.keep_all) {
    outcome.rule = "every rank-1 hit kept, decoys included";
    return true;
  }
  if (hits.empty()) {
    outcome.rule = "the file holds no hits";
    return true;
  }
  if (!filter.has_score_threshold && outcome.decoys == 0) {
    notify::Message("File " + path + ": no decoy hits (no decoy flags, no protein accession "
                    "beginning with a decoy prefix): the false discovery rate cannot be "
                    "estimated; give a score threshold instead");
    return false;
  }
  std::vector<double> q;
  if (!filter.has_score_threshold) q = TargetDecoyQValues(hits, kind);
  for (std::size_t i = 0; i < hits.size(); ++i) {
    const double score = hits[i].scores[kind];
    if (hits[i].decoy) {
      outcome.keep[i] = false;
    } else if (std::isnan(score)) {
      outcome.keep[i] = false;
      ++outcome.without_score;
    } else if (filter.has_score_threshold ? Better(filter.score_threshold, score, kind)
                                          : !(q[i] <= filter.fdr_level)) {
      outcome.keep[i] = false;
      ++outcome.cut;
    }
  }
  outcome.rule = RuleText(filter, kind);
  return true;
}

// "SEQUENCE position,number ...": the hit's identification text, its
// modifications named and numbered in the caller's list (new names added).
std::string IdentificationText(CSearchHit& hit, const CModificationNamer& namer,
                               ModificationList& modifications) {
  std::stable_sort(hit.modifications.begin(), hit.modifications.end(),
                   [](const CHitModification& a, const CHitModification& b) {
                     return a.position < b.position;
                   });
  std::string identification = hit.sequence;
  for (const CHitModification& m : hit.modifications) {
    const char residue = m.position >= 0 && static_cast<std::size_t>(m.position) < hit.sequence.size()
                             ? hit.sequence[static_cast<std::size_t>(m.position)]
                             : 0;
    const std::string name = namer.Name(m.mass, residue, m.terminus);
    auto it = std::find_if(modifications.begin(), modifications.end(),
                           [&name](const auto& entry) { return entry.first == name; });
    if (it == modifications.end()) {
      // Names made from a mass carry it: no table will fill them in.
      const bool from_mass = name == MassModificationName(m.mass);
      modifications.emplace_back(name, from_mass ? m.mass : -1.0);
      it = modifications.end() - 1;
    }
    identification += " " + std::to_string(m.position) + "," +
                      std::to_string(static_cast<long>(it - modifications.begin()) + 1);
  }
  return identification;
}

// What a load found, for its report.
struct LoadTally {
  std::size_t hits = 0;
  int kept = 0;
  int duplicates = 0;
  int kind = -1;
  bool have_table = false;
};

std::string JoinedList(const std::vector<std::string>& items) {
  std::string list;
  for (const std::string& item : items) list += (list.empty() ? "" : ", ") + item;
  return list;
}

// The report of a load: what was kept, what was dropped and why.
std::vector<std::string> LoadReport(const CIdentificationFilter& filter, const std::string& heading,
                                    const LoadTally& tally, const FilterOutcome& outcome,
                                    const std::vector<std::string>& runs) {
  std::vector<std::string> report;
  report.push_back(heading + ": " + std::to_string(tally.hits) + " spectra with a rank-1 hit; " +
                   std::to_string(tally.kept) + " kept (" + outcome.rule + ")");
  if (!filter.keep_all) {
    report.push_back("  dropped: " + std::to_string(outcome.decoys) + " decoy hits, " +
                     std::to_string(outcome.cut) +
                     (filter.has_score_threshold ? " beyond the score threshold, "
                                                 : " above the FDR level, ") +
                     std::to_string(outcome.without_score) + " without the " +
                     ScoreKindName(tally.kind) + " score");
  }
  if (tally.duplicates)
    report.push_back("  " + std::to_string(tally.duplicates) +
                     " further hits for spectra already met (the better hit kept)");
  if (runs.size() > 1)
    report.push_back("  " + std::to_string(runs.size()) +
                     " runs, spectra named per run: " + JoinedList(runs));
  if (!tally.have_table)
    report.push_back("  \"modify.ini\" not found: modifications named after their masses");
  return report;
}

}  // namespace

void CSearchResultFile::LoadResult(const std::string& path, ResultMap& results,
                                   std::string& /*data_path*/, ModificationList& modifications) {
  succeeded_ = false;
  report_.clear();
  score_kind_ = -1;
  kept_scores_.clear();
  runs_.clear();
  unknown_scores_.clear();

  std::vector<CSearchHit> read;
  std::string error;
  if (!ReadHits(path, read, error)) {
    notify::Message(error);
    return;
  }
  LoadTally tally;
  tally.kind = PrimaryScoreKind(read);
  if (tally.kind < 0 && !read.empty() && !filter_.keep_all) {
    const std::string seen = JoinedList(unknown_scores_);
    notify::Message("File " + path + ": no known score in the <" + score_element_ +
                    "> elements (scores found: " + (seen.empty() ? "none" : seen) +
                    "); known are expect, SpecEValue, EValue, hyperscore, xcorr, ionscore, "
                    "PeptideProphet probability and q-values");
    return;
  }
  std::vector<CSearchHit> hits = OneHitPerSpectrum(std::move(read), tally.kind, tally.duplicates);
  FilterOutcome outcome;
  if (!FilterHits(filter_, path, hits, tally.kind, outcome)) return;

  CModificationNamer namer;
  tally.have_table = namer.Load(filter_.modify_ini_directory);
  for (std::size_t i = 0; i < hits.size(); ++i) {
    if (!outcome.keep[i]) continue;
    results[hits[i].name] = IdentificationText(hits[i], namer, modifications);
    if (tally.kind >= 0 && !std::isnan(hits[i].scores[tally.kind])) kept_scores_[hits[i].name] = hits[i].scores[tally.kind];
    ++tally.kept;
  }
  tally.hits = hits.size();
  score_kind_ = tally.kind;
  report_ = LoadReport(filter_, path::FileName(path) + " (" + FormatName() + ")", tally, outcome,
                       runs_);
  succeeded_ = true;
}
