#pragma once
// Modification records of "modify.ini".

#include <cstdint>
#include <string>
#include <vector>

enum Mod_Terminal_Type : std::int32_t {
  MOD_TERMINAL_NONE = 0,
  MOD_TERMINAL_PEP_N = 1,
  MOD_TERMINAL_PEP_C = 2,
  MOD_TERMINAL_PRO_N = 3,
  MOD_TERMINAL_PRO_C = 4,
};

struct CModification {
  std::string name;
  std::string residues;  // one-letter symbols the modification applies to
  Mod_Terminal_Type terminal = MOD_TERMINAL_NONE;
  double mass = 0.0;         // the mass used for the modification
  double second_mass = 0.0;  // average mass
  // Neutral losses as pairs: loss_masses[i] with second_loss_masses[i].
  std::vector<double> loss_masses;
  std::vector<double> second_loss_masses;
};

// "PEP_N", "PEP_C", "PRO_N", "PRO_C" (any case); any other word gives NONE.
Mod_Terminal_Type TerminalTypeFromWord(const std::string& word);
// The word of a terminal kind; "NONE" for kind 0 and unknown values.
std::string TerminalTypeWord(int type);

// Reads section "modify": "total" gives the count; "name<i>" gives a
// modification name; the value of the key equal to that name holds
// residues, terminal word, two masses, a loss count and that many pairs of
// loss masses. "Null" names and values are skipped; "[ALL]" residues stand
// for every letter. Records stay in file order.
// Throws COptionToolException when the file cannot be opened.
std::vector<CModification> LoadModifications(const std::string& modify_ini_path);

// "modify.ini" in `directory`; an empty directory means the program's
// directory (where the build puts the file).
std::vector<CModification> LoadModificationsFromDirectory(const std::string& directory = std::string());
