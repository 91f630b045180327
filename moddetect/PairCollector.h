#pragma once
// Precursor pairs whose MH+ difference lies within 0.48 Da of an integer
// shift, with their mass, retention-time and scan differences.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "moddetect/PrecursorList.h"
#include "resultfiles/SearchResultFile.h"

class CDetectionConfig;

// The filter of search-engine result files that the configuration names
// (fdrlevel=, scorethreshold=, decoyprefix=), read as propagation reads the
// same settings. False with `message` when a value is not what it must be.
bool IdentificationFilterOf(const CDetectionConfig& config, CIdentificationFilter& filter, std::string& message);

class CPairCollector {
 public:
  CPairCollector();

  // Post-search mode: reads the identification result file and marks the
  // last scan number of every identified spectrum. Every format the
  // result-file readers know (Tagram, Kiln, pepXML, mzIdentML, chosen by the
  // extension) is read through its reader, search-engine files after
  // `filter`; a file of any other name is read as Kiln-style lines. False,
  // with the reason reported and no scan identified, when the file cannot be
  // read or its reader fails.
  bool LoadIdentifiedSpectra(const std::string& path, const CIdentificationFilter& filter);
  // Kiln-style lines: the title is the third word of a line that starts
  // with a digit.
  void LoadIdentifiedSpectra(std::istream& in);
  bool IsIdentified(std::int32_t scan) const;
  std::size_t IdentifiedCount() const { return identified_.size(); }
  const std::vector<std::int32_t>& IdentifiedScans() const { return identified_; }
  // What a search-engine file's reader kept and dropped, one line each;
  // empty for the other formats.
  const std::vector<std::string>& Report() const { return report_; }

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
  std::vector<std::string> report_;

  void AddIdentifiedTitle(const std::string& title);
  void FinishIdentified();
};
