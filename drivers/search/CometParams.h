#pragma once
// Comet's parameter file (comet.params) as lines, with the few changes
// Tessera's searches make: the database, Comet's own decoys unless the
// database has some, the threads, one hit per spectrum; and for the
// shift-aware searches, the shifts as variable modifications.

#include <map>
#include <string>
#include <vector>

namespace search {

class CCometParams {
 public:
  // False with `error` set when the file cannot be read.
  bool Read(const std::string& path, std::string& error);
  void FromText(const std::string& text);
  std::string Text() const;
  bool Write(const std::string& path, std::string& error) const;

  // The value of "key = value" (comment and blanks cut); empty when absent.
  std::string Get(const std::string& key) const;
  // Replaces the line of `key` by "key = value", or appends one.
  void Set(const std::string& key, const std::string& value);

  // Comet's static additions per residue ("add_C_cysteine = 57.021464"):
  // what each residue weighs more in every peptide searched.
  std::map<char, double> StaticAdditions() const;

 private:
  std::vector<std::string> lines_;
};

// True when the FASTA file names a protein with one of the decoy prefixes
// the result readers know ("DECOY_", "rev_", "XXX_").
bool FastaHasDecoys(const std::string& fasta);

// Comet's default parameters, printed by `comet -p` (comet.params.new) in
// `folder`, which it leaves as it found it. False with `error` set.
bool DefaultParams(const std::string& comet, const std::string& folder, CCometParams& params, std::string& error);

// The settings of Tessera's searches on top of `params`: the database
// (absolute path), decoy_search 0 when the database has its own decoys and 1
// (Comet's reversed "DECOY_" proteins) otherwise, `threads`, and one hit per
// spectrum.
void SetSearch(CCometParams& params, const std::string& fasta, int threads);

// The variable modifications of one shift-aware search: at most three per
// peptide, variable_mod02 onwards one shift each ("<mass> <residue> 0 2 -1 0
// 0 0.0": at most two of it per peptide, anywhere), the oxidation of M in
// variable_mod01 kept. At most eight shifts.
struct CShiftMod;
void SetShiftMods(CCometParams& params, const std::vector<CShiftMod>& mods);

}  // namespace search
