#pragma once
// Whether a search told the pairs' shifts confirms what propagation
// carried: a propagated identification is confirmed when a rank-1 hit of
// its spectrum (in any of the shift-aware searches) is the propagated
// sequence (I and L alike) and weighs, beyond the modifications the first
// search gave that peptide, the propagated shift within 0.02 Da. Counted
// per route (within clusters, through pairs), per band of the transfer
// q-value and per run; beside it, how often the first (closed) search's own
// best hit already names the propagated peptide.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "resultfiles/ResultFile.h"

namespace search {

// A row of the propagated table (`propagate --table`).
struct CPropagatedRow {
  std::string spectrum;
  std::string sequence;
  std::string modifications;  // " <position>,<number>" of the first search, " <site>,<shift>,<mark>" added
  std::string route;          // "cluster" or "pairs"
  std::string source;
  std::string shift;          // sum of the shifts the pairs added; empty for none
  std::optional<double> q;    // transfer q-value; none for "NA"
};

// Reads the table whole; false with `error` naming the file, the line and
// its text for a line that is not a row of it.
bool ReadPropagatedTable(const std::string& path, std::vector<CPropagatedRow>& rows, std::string& error);

// "q <= 1%", "1% < q <= 5%", "5% < q <= 20%", "q > 20%" or "no score".
std::string Band(const std::optional<double>& q);
const std::vector<std::string>& Bands();

// The run a spectrum belongs to: its name's part before the first scan
// number ("BSA2" of "BSA2.565.565.2.dta").
std::string RunOf(const std::string& spectrum);

// What an identification's modifications weigh together; none when one of
// them has no known mass.
using Weight = std::optional<double>;
Weight ModificationWeight(const std::string& identification, const ModificationList& modifications);
// Fills the masses of named modifications that a reader could not weigh
// from "modify.ini" in `directory`.
void FillMasses(ModificationList& modifications, const std::string& directory);

// The first search's identification a propagated row carries: its sequence
// with the first search's own items, without what propagation added.
std::string FirstSearchIdentification(const CPropagatedRow& row);

struct CHit {
  std::string identification;  // as the reader gives it
  Weight weight;
};

struct CVerdict {
  bool confirmed = false;
  const CHit* hit = nullptr;    // the confirming hit, else the first of the peptide, else the first
  std::optional<double> delta;  // hit's weight - first search's weight - shift, when all are known
};

// `first` maps the first search's identifications to their weights.
CVerdict Judge(const CPropagatedRow& row, const std::vector<CHit>& hits, const std::map<std::string, Weight>& first);

struct CTally {
  int propagated = 0;
  int confident = 0;  // transfer q-value <= 1%
  int confirmed = 0;
  int confirmed_confident = 0;
};

struct CConfirmationCounts {
  std::map<std::string, CTally> routes;
  std::map<std::string, CTally> bands;
  std::map<std::string, CTally> runs;
  // Per run, per band: whether the q-value holds on each run by itself.
  std::map<std::string, std::map<std::string, CTally>> run_bands;
  // The closed search's own best hit (any score): agreeing rows per route.
  std::map<std::string, int> agree;
  int no_hit = 0;

  // `best` is the closed search's best hit of the row's spectrum, null when
  // it has none.
  void Add(const CPropagatedRow& row, bool confirmed, const std::string* best);
  CTally Together() const;
};

// The lines the main job prints, from "  Shift-aware search (...)" on.
std::string ShiftAwareText(const CConfirmationCounts& counts);
// "  Comet identified ...", then the closed search's agreement.
std::string ClosedSearchText(const CConfirmationCounts& counts, int identified);

}  // namespace search
