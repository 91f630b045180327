#pragma once
// The Unimod modifications shipped beside the program ("Unimod_xml/
// Unimod_mono.xml"), looked up by mass difference. The file holds one list
// element whose first attribute is the entry count; each entry's fields are
// its child elements, read by position, not by name.

#include <cstddef>
#include <string>
#include <vector>

struct UnimodEntry {
  std::string key;
  std::string psiMsName;
  std::string interimName;
  std::string description;
  std::string composition;
  std::string monoMassText;  // as written in the file
  double monoMass = 0.0;
  double averageMass = 0.0;
  // From the eighth field, one item per specificity; no view reads them.
  std::vector<std::string> sites;
  std::vector<std::string> positions;
  std::vector<std::string> classifications;
  int specificityCount = 0;
};

class CUnimodTable {
 public:
  CUnimodTable() = default;
  explicit CUnimodTable(const std::string& path) { Load(path); }

  // Replaces the table with the file's entries. A missing or unparsable file,
  // or one without the list element, leaves the table empty, answers false and
  // says why in Error().
  bool Load(const std::string& path);
  // The same from text in memory.
  bool Parse(const std::string& xml);

  // Appends the entries whose monoisotopic mass lies within tolerance of the
  // delta mass, in ascending mass, then those matching the negative delta.
  void Lookup(double deltaMass, double tolerance, std::vector<UnimodEntry>& hits) const;
  // The same without Unimod's ten placeholders for user-defined entries
  // (CUSTOM0 to CUSTOM9, 1.00784 Da), which are no modifications: the
  // matches the result list and the histogram pictures name.
  void LookupModifications(double deltaMass, double tolerance, std::vector<UnimodEntry>& hits) const;
  static bool IsPlaceholder(const UnimodEntry& entry);

  std::size_t Size() const { return entries_.size(); }
  const std::vector<UnimodEntry>& Entries() const { return entries_; }
  const std::string& Path() const { return path_; }
  const std::string& Error() const { return error_; }

 private:
  struct MassIndex {
    std::vector<double> masses;      // ascending
    std::vector<std::size_t> where;  // entry position of each mass
  };
  static MassIndex Sorted(const std::vector<UnimodEntry>& entries, std::size_t count,
                          double UnimodEntry::*mass);
  void CollectRange(double low, double high, std::vector<UnimodEntry>& hits) const;
  void Clear();

  std::string path_;
  std::string error_;
  std::vector<UnimodEntry> entries_;
  MassIndex mono_;
  MassIndex average_;
};
