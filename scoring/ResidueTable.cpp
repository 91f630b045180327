#include "scoring/ResidueTable.h"

#include <cctype>
#include <cmath>
#include <limits>
#include <sstream>

#include "common/OptionTool.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "scoring/IniCount.h"

namespace {

struct BuiltIn {
  char symbol;
  const char* code;
  const char* name;
  double mono;
  double avg;
};

// Single-precision residue masses widened to double: scores computed by
// other installations of the scorer depend on these exact values.
constexpr BuiltIn kBuiltIn[26] = {
    {'A', "Ala", "Alanine", 71.037109375, 71.07879638671875},
    {'B', "Asx", "Avg.Asn_and_Asp", 114.53494262695312, 114.59619903564453},
    {'C', "Cys", "Cysteine", 103.00919342041016, 103.13880157470703},
    {'D', "Asp", "Aspartic", 115.02693939208984, 115.0886001586914},
    {'E', "Glu", "Glutamic", 129.04258728027344, 129.11549377441406},
    {'F', "Phe", "Phenylalanine", 147.0684051513672, 147.17660522460938},
    {'G', "Gly", "Glycine", 57.021461486816406, 57.05189895629883},
    {'H', "His", "Histidine", 137.0589141845703, 137.14109802246094},
    {'I', "Ile", "Isoleucine", 113.08406066894531, 113.1594009399414},
    {'J', "Nul", "Null", 0.0, 0.0},
    {'K', "Lys", "Lysine", 128.09495544433594, 128.17410278320312},
    {'L', "Leu", "Leucine", 113.08406066894531, 113.1594009399414},
    {'M', "Met", "Methionine", 131.04049682617188, 131.19259643554688},
    {'N', "Asn", "Asparagine", 114.04293060302734, 114.10379791259766},
    {'O', "Orn", "Ornithine", 114.07930755615234, 114.14720153808594},
    {'P', "Pro", "Proline", 97.0527572631836, 97.11669921875},
    {'Q', "Gln", "Glutamine", 128.05857849121094, 128.13070678710938},
    {'R', "Arg", "Arginine", 156.10110473632812, 156.1875},
    {'S', "Ser", "Serine", 87.03202819824219, 87.07820129394531},
    {'T', "Thr", "Threonine", 101.04768371582031, 101.1051025390625},
    {'U', "Nul", "Null", 0.0, 0.0},
    {'V', "Val", "Valine", 99.06841278076172, 99.13259887695312},
    {'W', "Trp", "Tryptophan", 186.07931518554688, 186.21319580078125},
    {'X', "Xle", "Leu_or_Ile", 113.08406066894531, 113.1594009399414},
    {'Y', "Tyr", "Tyrosine", 163.06332397460938, 163.17599487304688},
    {'Z', "Glx", "Avg.Gln_and_Glu", 128.5505828857422, 128.6230926513672},
};

constexpr double kFileUnits = 100000.0;

void DeriveIntegers(CResidue& r) {
  r.mono_int = TruncatedUnits(r.mono_mass, kFileUnits);
  r.avg_int = TruncatedUnits(r.avg_mass, kFileUnits);
}

bool IsNull(const std::string& value) { return text::EqualsNoCase(value, "Null"); }

}  // namespace

std::int32_t TruncatedUnits(double mass, double factor) {
  double v = std::trunc(mass * factor);
  if (std::isnan(v)) return 0;
  constexpr double kMax = std::numeric_limits<std::int32_t>::max();
  constexpr double kMin = std::numeric_limits<std::int32_t>::min();
  if (v > kMax) return std::numeric_limits<std::int32_t>::max();
  if (v < kMin) return std::numeric_limits<std::int32_t>::min();
  return static_cast<std::int32_t>(v);
}

CResidueTable::CResidueTable() {
  for (int i = 0; i < 26; ++i) {
    CResidue& r = residues_[i];
    r.symbol = kBuiltIn[i].symbol;
    r.code = kBuiltIn[i].code;
    r.name = kBuiltIn[i].name;
    r.mono_mass = kBuiltIn[i].mono;
    r.avg_mass = kBuiltIn[i].avg;
    r.extra = 0.0;
    DeriveIntegers(r);
  }
  null_residue_ = residues_['J' - 'A'];
  null_residue_.symbol = '\0';
}

const CResidue& CResidueTable::Get(char symbol) const {
  int c = std::toupper(static_cast<unsigned char>(symbol));
  if (c < 'A' || c > 'Z') return null_residue_;
  return residues_[c - 'A'];
}

void CResidueTable::Set(const CResidue& record) {
  int c = std::toupper(static_cast<unsigned char>(record.symbol));
  if (c < 'A' || c > 'Z') return;
  CResidue& r = residues_[c - 'A'];
  r = record;
  r.symbol = static_cast<char>(c);
  DeriveIntegers(r);
}

void CResidueTable::LoadOverrides(const std::string& aa_ini_path) {
  COptionTool options("aa", aa_ini_path);
  const int total = options.GetInteger("total", 0);
  for (const int i : ListedEntryNumbers(total, aa_ini_path)) {
    const std::string key = options.GetString("name" + std::to_string(i), "Null");
    if (key.empty() || IsNull(key)) continue;
    const std::string value = options.GetString(key, "Null");
    if (IsNull(value)) continue;

    CResidue r;
    r.symbol = key[0];
    std::istringstream fields(value);
    fields >> r.code >> r.name >> r.mono_mass >> r.avg_mass >> r.extra;
    Set(r);
  }
}

CResidueTable CResidueTable::FromDirectory(const std::string& directory) {
  CResidueTable table;
  table.LoadOverrides(path::Join(directory, "aa.ini"));
  return table;
}
