#include "scoring/PeptideScore.h"

CPeptideScore::~CPeptideScore() = default;

void CScoreSettings::SetResidues(const CResidueTable& table) {
  for (int i = 0; i < 26; ++i) {
    residue_masses[i] =
        TruncatedUnits(table.Get(static_cast<char>('A' + i)).mono_mass, mass_units::kPerDalton);
  }
}

void CScoreSettings::SetDefaultSeries() {
  series = {{true, 1, 0}, {true, 2, 0}, {false, 2, 0}, {false, 1, 0}};
}
