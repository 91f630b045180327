#pragma once
// DTA-style spectrum names: prefix.firstscan.lastscan.charge.dta. The prefix
// may itself hold dots; only the last four dot-separated fields have meaning.

#include <string>

namespace msdata {

struct DtaNameParts {
  std::string prefix;
  int first_scan = 0;
  int last_scan = 0;
  int charge = 0;
};

std::string MakeDtaName(const std::string& prefix, int first_scan, int last_scan, int charge);

// Splits a name into its parts. Returns false when the name has fewer than
// four dots or its scan and charge fields are not integers.
bool ParseDtaName(const std::string& name, DtaNameParts& parts);

}  // namespace msdata
