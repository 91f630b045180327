#include "drivers/search/Confirmation.h"

#include <cstdio>
#include <fstream>

#include "common/CommandLine.h"
#include "common/DtaName.h"
#include "common/OptionTool.h"
#include "common/TextUtil.h"
#include "propagation/PeptideText.h"
#include "scoring/Modification.h"

namespace search {

namespace {

const char* const kHeader = "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value";

std::string Share(int part, int whole) {
  char text[96];
  std::snprintf(text, sizeof text, "%d of %d (%.1f%%)", part, whole, whole ? 100.0 * part / whole : 0.0);
  return text;
}

}  // namespace

bool ReadPropagatedTable(const std::string& path, std::vector<CPropagatedRow>& rows, std::string& error) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    error = "Cannot open the propagated table " + path;
    return false;
  }
  std::vector<CPropagatedRow> read;
  std::string line;
  int number = 0;
  std::size_t columns = 8;  // the first eight are fixed; later versions add columns after them
  while (text::ReadLine(in, line)) {
    ++number;
    if (number == 1) {
      columns = text::Split(line, '\t').size();
      if (line.compare(0, std::string(kHeader).size(), kHeader) != 0 ||
          (line.size() > std::string(kHeader).size() && line[std::string(kHeader).size()] != '\t')) {
        error = "File " + path + ", line 1: not the header of a propagated table (propagate --table): '" +
                text::ValidUtf8(line) + "'";
        return false;
      }
      continue;
    }
    if (line.empty()) continue;
    const std::vector<std::string> fields = text::Split(line, '\t');
    double q = 0.0;
    const bool no_score = fields.size() == columns && fields[7] == "NA";
    if (fields.size() != columns || fields[0].empty() || fields[1].empty() ||
        (!no_score && !cli::ParseFiniteNumber(fields[7], q))) {
      error = "File " + path + ", line " + std::to_string(number) + ": not a row of " + std::to_string(columns) +
              " tab-separated fields with a q-value in the eighth: '" + text::ValidUtf8(line) + "'";
      return false;
    }
    CPropagatedRow row{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], std::nullopt};
    if (!no_score) row.q = q;
    read.push_back(std::move(row));
  }
  if (number == 0) {
    error = "File " + path + " is empty: not a propagated table";
    return false;
  }
  rows = std::move(read);
  return true;
}

const std::vector<std::string>& Bands() {
  static const std::vector<std::string> bands = {"q <= 1%", "1% < q <= 5%", "5% < q <= 20%", "q > 20%",
                                                 "no score"};
  return bands;
}

std::string Band(const std::optional<double>& q) {
  if (!q) return Bands()[4];
  return *q <= 0.01 ? Bands()[0] : *q <= 0.05 ? Bands()[1] : *q <= 0.2 ? Bands()[2] : Bands()[3];
}

std::string RunOf(const std::string& spectrum) {
  msdata::DtaNameParts parts;
  if (msdata::ParseDtaName(spectrum, parts)) return parts.prefix;
  return spectrum.substr(0, spectrum.find('.'));
}

Weight ModificationWeight(const std::string& identification, const ModificationList& modifications) {
  double weight = 0.0;
  for (const peptide_text::CItem& item : peptide_text::ParseItems(identification, modifications)) {
    if (!item.has_mass || item.mass == -1.0) return std::nullopt;
    weight += item.mass;
  }
  return weight;
}

void FillMasses(ModificationList& modifications, const std::string& directory) {
  std::vector<CModification> table;
  try {
    table = LoadModificationsFromDirectory(directory);
  } catch (const COptionToolException&) {
    return;  // what has no mass stays unweighed
  }
  peptide_text::WeighModifications(modifications, table);
}

std::string FirstSearchIdentification(const CPropagatedRow& row) {
  std::string text = row.sequence;
  for (const std::string& item : text::Split(row.modifications, ' '))
    if (text::Split(item, ',').size() == 2) text += " " + item;
  return text;
}

CVerdict Judge(const CPropagatedRow& row, const std::vector<CHit>& hits, const std::map<std::string, Weight>& first) {
  CVerdict verdict;
  const std::string peptide = peptide_text::PeptideKey(row.sequence);
  const double shift = row.shift.empty() ? 0.0 : text::AtoF(row.shift);
  const auto base = first.find(FirstSearchIdentification(row));
  for (const CHit& hit : hits) {
    if (peptide_text::PeptideKey(hit.identification) != peptide) continue;
    if (base == first.end() || !base->second || !hit.weight) {
      if (!verdict.hit) verdict.hit = &hit;
      continue;
    }
    const double delta = *hit.weight - *base->second - shift;
    if (!verdict.delta) {
      verdict.hit = &hit;
      verdict.delta = delta;
    }
    if (delta <= 0.02 && delta >= -0.02) {
      verdict.confirmed = true;
      verdict.hit = &hit;
      verdict.delta = delta;
      return verdict;
    }
  }
  if (!verdict.hit && !hits.empty()) verdict.hit = &hits.front();
  return verdict;
}

void CConfirmationCounts::Add(const CPropagatedRow& row, bool confirmed, const std::string* best) {
  const bool confident = row.q && *row.q <= 0.01;
  const std::string run = RunOf(row.spectrum), band = Band(row.q);
  for (CTally* tally : {&routes[row.route], &bands[band], &runs[run], &run_bands[run][band]}) {
    ++tally->propagated;
    tally->confident += confident;
    tally->confirmed += confirmed;
    tally->confirmed_confident += confirmed && confident;
  }
  if (!best)
    ++no_hit;
  else if (peptide_text::PeptideKey(*best) == peptide_text::PeptideKey(row.sequence))
    ++agree[row.route];
}

CTally CConfirmationCounts::Together() const {
  CTally together;
  for (const char* route : {"cluster", "pairs"}) {
    const auto found = routes.find(route);
    if (found == routes.end()) continue;
    together.propagated += found->second.propagated;
    together.confident += found->second.confident;
    together.confirmed += found->second.confirmed;
    together.confirmed_confident += found->second.confirmed_confident;
  }
  return together;
}

std::string ShiftAwareText(const CConfirmationCounts& counts) {
  std::string text =
      "  Shift-aware search (Comet told the pairs' shifts): rank-1 hit is the propagated peptide with its shift\n";
  auto line = [&text](const char* label, const CTally& t) {
    char head[160];
    std::snprintf(head, sizeof head, "    %s: %d propagated, %d confident at 1%% transfer FDR, ", label,
                  t.propagated, t.confident);
    text += head + Share(t.confirmed, t.propagated) + " confirmed; of the confident " +
            Share(t.confirmed_confident, t.confident) + "\n";
  };
  const auto tally = [&counts](const char* route) {
    const auto found = counts.routes.find(route);
    return found == counts.routes.end() ? CTally() : found->second;
  };
  line("within clusters", tally("cluster"));
  line("through pairs", tally("pairs"));
  line("together", counts.Together());
  text += "    confirmed by transfer q-value:";
  for (const std::string& band : Bands()) {
    const auto found = counts.bands.find(band);
    if (found == counts.bands.end() || found->second.propagated == 0) continue;
    text += " " + band + " " + Share(found->second.confirmed, found->second.propagated) + ";";
  }
  return text + "\n";
}

std::string ClosedSearchText(const CConfirmationCounts& counts, int identified) {
  const auto routes = [&counts](const char* route) {
    const auto found = counts.routes.find(route);
    return found == counts.routes.end() ? 0 : found->second.propagated;
  };
  const auto agreeing = [&counts](const char* route) {
    const auto found = counts.agree.find(route);
    return found == counts.agree.end() ? 0 : found->second;
  };
  int total = 0, all = 0;
  for (const auto& [route, tally] : counts.routes) total += tally.propagated;
  for (const auto& [route, n] : counts.agree) all += n;
  return "  Comet identified " + std::to_string(identified) + " spectra at 1% FDR; propagation identified " +
         std::to_string(total) + " more.\n" +
         "  The closed search's own best hit measures agreement without the pairs' shifts, which a closed\n"
         "  search cannot see; the shift-aware search below measures whether the shifted peptide is right.\n"
         "  Closed search: Comet's own best hit (any score) agrees with propagation for " +
         Share(all, total) + ";\n    within clusters " + Share(agreeing("cluster"), routes("cluster")) +
         ", through spectral pairs " + Share(agreeing("pairs"), routes("pairs")) + "; " +
         std::to_string(counts.no_hit) + " spectra have no Comet hit.\n";
}

}  // namespace search
