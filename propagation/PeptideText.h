#pragma once
// Helpers over identification texts: "<sequence>[ <item>]*", where an item
// is "<position>,<modification number>" as read from a result file, or
// "<site>,<mass shift>,<mark>" when propagation added it.

#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "resultfiles/ResultFile.h"
#include "scoring/Modification.h"

namespace peptide_text {

// The sequence: the text before the first space (the whole text without one).
std::string Sequence(const std::string& identification);

// The sequence with every "L" read as "I", so that isobaric readings of the
// same peptide compare equal.
std::string PeptideKey(const std::string& identification);

// True when two identifications name the same peptide: equal keys, one key
// inside the other, or keys of the same non-zero length that differ in one
// position.
bool SamePeptide(const std::string& a, const std::string& b);

// A spectrum name without its 4-character extension, from the text after its
// second "." on ("A.100.101.2.DTA" -> "101.2"). Names with fewer than two
// dots keep their whole stem.
std::string NameTail(const std::string& name);

// "<tail of first>-<tail of middle>-<tail of last>.DTA" for a cluster of at
// least two members, in the order the cluster file listed them.
std::string ClusterLabel(const std::vector<std::string>& members);

// One modification item of an identification text.
struct CItem {
  std::string text;        // the item as written, without its leading space
  std::size_t offset = 0;  // where `text` starts in the identification
  int position = 0;        // 0-based residue; -1 when not determined yet
  double mass = 0.0;       // meaningful only when has_mass
  bool has_mass = false;   // false for a modification number outside the list
  std::int32_t mark = -1;  // third field; -1 when the item has none
};

// Parses the items after the sequence. A second field holding "." is a mass;
// otherwise it is a 1-based index into `modifications`.
std::vector<CItem> ParseItems(const std::string& identification,
                              const ModificationList& modifications);

// The identification with the position field (the text before the first
// comma) of some of its items replaced; `sites` pairs an index into `items`
// (as ParseItems gave them for this identification) with its new position.
// Everything else stays as written, spacing included.
std::string WithPositions(const std::string& identification, const std::vector<CItem>& items,
                          const std::vector<std::pair<std::size_t, int>>& sites);

// The path of a spectrum file: the data directory, a separator unless it
// already ends in one ("/" or "\"), then the name. An empty directory gives
// the name alone (relative to the working directory).
std::string SpectrumPath(const std::string& data_path, const std::string& name);

// The site chosen from per-position scores: 0 when the first position holds
// the best score, else the last position when it does, else the first that
// does. -1 for an empty list. `ties` receives every position holding the best.
int ChooseSite(const std::vector<double>& scores, std::vector<int>* ties = nullptr);

// Gives each modification a reader named but could not weigh (mass -1)
// the mass its name has in `table`; a name not there stays unweighed.
void WeighModifications(ModificationList& modifications, const std::vector<CModification>& table);

}  // namespace peptide_text
