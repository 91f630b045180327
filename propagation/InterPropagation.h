#pragma once
// Inter propagation: carries identifications across the spectral pairs of
// one pair file, from the identified end of a pair to the other.

#include <cstdint>
#include <functional>
#include <string>

#include "propagation/PropagationState.h"

class CSiteDeterminer;

// How one pair file is worked through.
struct CPairPassSettings {
  // Place modification sites: per edge, as an identification travels, when
  // `after_inner` is set too; otherwise for every new identification once
  // the passes are done.
  bool determine_sites = false;
  // The identifications are keyed by clusters (inner propagation ran first).
  bool after_inner = false;
  // Most undetermined sites placed together after the passes.
  std::int16_t mod_count = 0;
  // Told each pass ("inter propagation: <pair file>, pass 2"); may be empty.
  std::function<void(const std::string& stage)> progress;
};

// Carries the identifications of `state.results` across the pairs of
// `pair_file`, in passes until nothing changes. In a pass an edge with one
// identified end identifies the other (a spectrum found in this pass is no
// source before the next), adding the item " <site>,<shift>,<mark>" or, when
// the pair takes back the last modification that reached its source,
// dropping that item; an edge whose ends both carry identifications counts
// as agreeing, or as a conflict edge (ends found in the same pass) or makes
// the end found one pass later a conflict node.
// Appends the travelled pair lines, their fifth field replaced by the shift
// in the direction the identification travelled, to `copy`, and the
// "_InterPropagate.txt" report to `report`; records the newly identified
// spectra and the counts in `state`.
void PropagateAcrossPairs(const std::string& pair_file, const CPairPassSettings& settings,
                          CPropagationState& state, CSiteDeterminer& sites, std::string& copy,
                          std::string& report);
