#pragma once
// Precursor pairs whose MH+ difference lies within 0.48 Da of an integer
// shift, with their mass, retention-time and scan differences.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "moddetect/PrecursorList.h"

class CPairCollector {
 public:
  CPairCollector();

  // Post-search mode: reads the identification result file and marks the
  // last scan number of every identified spectrum title. An unreadable file
  // is reported and leaves no scan identified.
  void LoadIdentifiedSpectra(const std::string& path);
  void LoadIdentifiedSpectra(std::istream& in);
  bool IsIdentified(std::int32_t scan) const;
  std::size_t IdentifiedCount() const { return identified_.size(); }

  // Refills the three lists for shift w from `reduced` (ascending MH+).
  // False when fewer than two records are given. With `post_search` a pair
  // needs at least one identified scan.
  bool CollectPairs(const std::vector<PrecursorRecord>& reduced, std::int32_t w, bool post_search);

  const std::vector<double>& DeltaMasses() const { return delta_mass_; }
  const std::vector<double>& DeltaTimes() const { return delta_time_; }
  const std::vector<std::int32_t>& DeltaScans() const { return delta_scan_; }
  std::size_t PairCount() const { return delta_mass_.size(); }

 private:
  std::vector<double> delta_mass_;
  std::vector<double> delta_time_;
  std::vector<std::int32_t> delta_scan_;
  // Sorted, distinct identified scan numbers. A byte per scan number would
  // let one absurd scan number in a result file claim gigabytes.
  std::vector<std::int32_t> identified_;
};
