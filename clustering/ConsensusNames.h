#pragma once
// The names consensus spectra are written under. Consensus names of
// different clusters may coincide (equal scan parts): the first cluster in
// list order keeps its name; each later one gets "_2", "_3", ... before
// ".dta", the first suffix that no file of the same output uses and no other
// cluster plans as its own name. One rule for the engine and for the merge
// of partitioned runs, which must name the files as one run does.

#include <set>
#include <string>

class CConsensusNames {
 public:
  // Names of spectrum files written beside the consensus spectra.
  void Reserve(const std::string& name) { reserved_.insert(name); }
  // The plain names of all clusters, before any is claimed.
  void Plan(const std::string& name) { planned_.insert(name); }
  std::string Claim(const std::string& name) {
    if (reserved_.count(name) == 0 && claimed_.insert(name).second) return name;
    const std::string stem = name.substr(0, name.size() - 4);  // without ".dta"
    for (int n = 2;; ++n) {
      std::string candidate = stem + "_" + std::to_string(n) + ".dta";
      if (reserved_.count(candidate) == 0 && planned_.count(candidate) == 0 &&
          claimed_.insert(candidate).second) {
        return candidate;
      }
    }
  }

 private:
  std::set<std::string> reserved_;
  std::set<std::string> planned_;
  std::set<std::string> claimed_;
};
