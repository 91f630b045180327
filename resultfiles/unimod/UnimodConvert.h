#pragma once
// Turns the official Unimod XML (schema unimod_2, as published by unimod.org
// and shipped by OpenMS) into the compact file the result list reads: one
// list element whose first attribute is the entry count, entries in ascending
// monoisotopic mass, fields by position.

#include <string>

namespace unimod {

struct ConvertResult {
  bool ok = false;
  std::string error;     // why it failed
  int written = 0;       // modifications in the output
  int skipped = 0;       // modifications without a mass delta
  std::string newest;    // latest modification date among the records
};

ConvertResult ConvertText(const std::string& officialXml, std::string& monoXml);
ConvertResult ConvertFile(const std::string& officialPath, const std::string& monoPath);

}  // namespace unimod
