#pragma once
// The tryptic peptides of a protein database, indexed by mass: the other
// peptides a propagated spectrum could be, with the job's fixed
// modifications.

#include <cstddef>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "resultfiles/ResultFile.h"

class CResidueTable;

class CPeptideDatabase {
 public:
  // Reads the target entries of FASTA files (an entry whose accession
  // begins with one of `decoy_prefixes`, in any case, is a decoy and left
  // out; a file named twice, however spelled, is read once) and digests
  // them: cleaved after K or R unless P follows, up to two sites left
  // uncut, 6 to 40 residues, only residues with a mass. False with `error`
  // naming the file (and line) when one cannot be read or holds no protein.
  bool Read(const std::vector<std::string>& fasta_files, const std::vector<std::string>& decoy_prefixes,
            std::string& error);

  // Orders the peptides by neutral mass with `fixed` added to every residue
  // it names (residue -> daltons); needed before Within.
  void Index(const CResidueTable& residues, const std::map<char, double>& fixed);

  // The peptides whose neutral mass lies in [low, high], lightest first:
  // (sequence, mass) pointers into the index, valid until the next Index.
  std::pair<std::size_t, std::size_t> Within(double low, double high) const;
  const std::string& Sequence(std::size_t i) const { return peptides_[order_[i]]; }
  double Mass(std::size_t i) const { return masses_[i]; }

  std::size_t size() const { return peptides_.size(); }
  std::size_t proteins() const { return proteins_; }
  const std::vector<std::string>& files() const { return files_; }

 private:
  std::vector<std::string> peptides_;  // unique
  std::vector<std::size_t> order_;     // by mass
  std::vector<double> masses_;         // in that order
  std::size_t proteins_ = 0;
  std::vector<std::string> files_;
};

// The job's fixed modifications: each residue that carries a modification
// of one mass wherever it occurs in the identifications read (the search's
// own items, not shifts that propagation added), at least `least` times.
std::map<char, double> FixedModificationsOf(const ResultMap& results, const ModificationList& modifications,
                                            int least = 3);
