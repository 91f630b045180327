#pragma once
// Residue masses: a built-in table of the 26 one-letter symbols, which an
// "aa.ini" file may override entry by entry.

#include <array>
#include <cstdint>
#include <string>

struct CResidue {
  char symbol = 'J';
  std::string code;  // three-letter code
  std::string name;
  double mono_mass = 0.0;
  double avg_mass = 0.0;
  double extra = 0.0;  // third number of an "aa.ini" entry; 0 in the built-in table
  // Both masses in units of 0.00001 Da (mass * 100000, truncated).
  std::int32_t mono_int = 0;
  std::int32_t avg_int = 0;
};

class CResidueTable {
 public:
  // The built-in table.
  CResidueTable();

  // The residue of a letter (either case); any other character gives the
  // massless "Null" residue.
  const CResidue& Get(char symbol) const;
  // Replaces the residue of record.symbol (A to Z, either case) and derives
  // its integer masses; other symbols are ignored.
  void Set(const CResidue& record);

  // Applies the entries of section "aa" of an "aa.ini" file: "total" gives
  // the count; "name<i>" gives an entry key, whose value holds code, name,
  // monoisotopic mass, average mass and a third number. The first letter of
  // the entry key picks the residue; "Null" keys and values are skipped.
  // Throws COptionToolException when the file cannot be opened.
  void LoadOverrides(const std::string& aa_ini_path);

  // Built-in table plus the overrides of "aa.ini" in `directory`.
  static CResidueTable FromDirectory(const std::string& directory);

 private:
  std::array<CResidue, 26> residues_;
  CResidue null_residue_;
};

// mass * factor truncated toward zero, held inside the 32-bit range.
std::int32_t TruncatedUnits(double mass, double factor);
