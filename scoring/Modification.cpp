#include "scoring/Modification.h"

#include <sstream>

#include "common/OptionTool.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "scoring/IniCount.h"

namespace {

constexpr const char* kAllResidues = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
// A loss list longer than this is a corrupt count, not chemistry.
constexpr int kMaxLosses = 64;

bool IsNull(const std::string& value) { return text::EqualsNoCase(value, "Null"); }

}  // namespace

Mod_Terminal_Type TerminalTypeFromWord(const std::string& word) {
  if (text::EqualsNoCase(word, "PEP_N")) return MOD_TERMINAL_PEP_N;
  if (text::EqualsNoCase(word, "PEP_C")) return MOD_TERMINAL_PEP_C;
  if (text::EqualsNoCase(word, "PRO_N")) return MOD_TERMINAL_PRO_N;
  if (text::EqualsNoCase(word, "PRO_C")) return MOD_TERMINAL_PRO_C;
  return MOD_TERMINAL_NONE;
}

std::string TerminalTypeWord(int type) {
  switch (type) {
    case MOD_TERMINAL_PEP_N: return "PEP_N";
    case MOD_TERMINAL_PEP_C: return "PEP_C";
    case MOD_TERMINAL_PRO_N: return "PRO_N";
    case MOD_TERMINAL_PRO_C: return "PRO_C";
    default: return "NONE";
  }
}

std::vector<CModification> LoadModifications(const std::string& modify_ini_path) {
  COptionTool options("modify", modify_ini_path);
  const int total = options.GetInteger("total", 0);
  std::vector<CModification> mods;
  for (const int i : ListedEntryNumbers(total, modify_ini_path)) {
    const std::string name = options.GetString("name" + std::to_string(i), "Null");
    if (IsNull(name)) continue;
    const std::string value = options.GetString(name, "Null");
    if (IsNull(value)) continue;

    CModification mod;
    mod.name = name;
    std::istringstream fields(value);
    std::string terminal;
    int losses = 0;
    fields >> mod.residues >> terminal >> mod.mass >> mod.second_mass >> losses;
    if (text::EqualsNoCase(mod.residues, "[ALL]")) mod.residues = kAllResidues;
    mod.terminal = TerminalTypeFromWord(terminal);
    if (losses < 0) losses = 0;
    if (losses > kMaxLosses) losses = kMaxLosses;
    for (int k = 0; k < losses; ++k) {
      // A short list reads its missing masses as 0, like any malformed number.
      double first = 0.0, second = 0.0;
      fields >> first >> second;
      mod.loss_masses.push_back(first);
      mod.second_loss_masses.push_back(second);
    }
    mods.push_back(std::move(mod));
  }
  return mods;
}

std::vector<CModification> LoadModificationsFromDirectory(const std::string& directory) {
  const std::string dir = directory.empty() ? path::ProgramDirectory() : directory;
  return LoadModifications(path::Join(dir, "modify.ini"));
}
