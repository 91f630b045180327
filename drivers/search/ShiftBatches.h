#pragma once
// The shifts that spectral pairs carried to propagated identifications, as
// variable modifications of Comet searches: Comet takes eight besides the
// oxidation of M, so the shifts are searched in batches of at most eight,
// the shifts of one identification always in one batch and the most
// frequent first.

#include <map>
#include <string>
#include <vector>

#include "scoring/ResidueTable.h"

namespace search {

// One shift on one residue of an identification (several shifts that
// propagation placed on the same residue are summed: Comet puts at most one
// variable modification on a residue).
struct CShift {
  char residue = 0;
  double mass = 0.0;
};

// A row of shift_mods.tsv: a shift searched as a variable modification in
// one batch (1-based), on how many propagated identifications it sits
// (`pairs`), and its mass, the mean of the shifts it stands for.
struct CShiftMod {
  int batch = 0;
  int pairs = 0;
  char residue = 0;
  double mass = 0.0;
};

// Residue masses as the searches weigh them: the project's residue table
// with Comet's static additions (cysteine with its carbamidomethyl group).
// Letters without a mass are left out.
std::map<char, double> SearchedResidueMasses(const CResidueTable& table, const std::map<char, double>& additions);

// The shifts of one propagated identification: its "<site>,<shift>,<mark>"
// items with a determined site, summed per site, in the order of their first
// site. A site on a residue without a mass, or whose shift would leave the
// residue at 0 Da or less (Comet fails on such a modification), is left out.
std::vector<CShift> ShiftsOf(const std::string& sequence, const std::string& modifications,
                             const std::map<char, double>& residue_masses);

struct CShiftPlan {
  std::vector<CShiftMod> mods;  // by batch, in each batch in the order the shifts joined it
  int batches = 0;
  int distinct = 0;             // distinct (residue, mass) modifications searched
  int too_many = 0;             // identifications with more distinct shifts than one search takes, left out
};

// Groups the shifts (one list per identification) into searches of at most
// `slots` modifications. Shifts are the same modification when residue and
// mass to two decimals agree. An identification's set of them goes whole into
// the first batch it fits in; sets are taken by weight (how many shifts of
// all identifications their members stand for), then by how many
// identifications share the set, then by their text.
CShiftPlan PlanBatches(const std::vector<std::vector<CShift>>& identifications, int slots = 8);

// A variable modification of a Comet search: its mass, the residues it
// sits on ("M", "STY"; "n" and "c" for the peptide's ends) and how many of
// it a peptide may carry.
struct CVariableMod {
  double mass = 0.0;
  std::string residues;
  int most = 0;
};

// The variable modifications of a "variable_modNN" value list
// ("15.9949 M 0 3 -1 0 0 0.0"); a mass of 0 is no modification.
std::vector<CVariableMod> ParseVariableMods(const std::vector<std::string>& values);

// Whether a search can give `sequence` `shift` Da more than the first search
// gave it: some modifications the peptide can carry (each on residues it
// has, no more of each than the search allows, `most` in all), less those
// of `first_mods` the first search may have put on it, sum to the shift
// within `tolerance`. Where this fails no hit of the search can confirm the
// identification, so its spectrum need not be searched there.
bool CanCarry(double shift, const std::string& sequence, const std::vector<CVariableMod>& search_mods,
              const std::vector<CVariableMod>& first_mods, int most, double tolerance);

}  // namespace search
