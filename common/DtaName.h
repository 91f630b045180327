#pragma once
// DTA-style spectrum names: prefix.firstscan.lastscan.charge.dta. The prefix
// may itself hold dots; only the last four dot-separated fields have meaning.

#include <string>
#include <string_view>

namespace msdata {

struct DtaNameParts {
  std::string prefix;
  int first_scan = 0;
  int last_scan = 0;
  int charge = 0;
};

std::string MakeDtaName(const std::string& prefix, int first_scan, int last_scan, int charge);

// Names taken from input files (MGF titles, DTAS headers, DTA file names,
// the base names of run files, the titles and run names of search results)
// become the names of the files written for the spectra and the keys that
// cluster files, pair files and identifications are matched by. Every
// importer and reader passes them through one rule, so that all of them see
// the same name and no name written as a file leaves its output folder:
//  - of a path-like text only the part after its last "/" or "\" stays;
//  - control characters (bytes 0 to 31 and 127, NUL among them) become "_";
//  - in a name prefix (a run's base name, the part of a title before its
//    scans) blanks become "_" as well: names travel through lists split at
//    blanks ("BSA1 copy.mzML" gives "BSA1_copy.<scan>.<scan>.<z>.dta").
// A name that is safe already comes back unchanged.

// A whole spectrum name. What cannot be a file name even then (nothing
// left, "." or "..") becomes "_", "_" or "__".
std::string SafeSpectrumName(std::string_view name);
// The prefix of a spectrum name; may be empty (the name then still has its
// scans, charge and extension).
std::string SpectrumNamePrefix(std::string_view text);
// True when `text` holds a path separator or a control character: the rule
// above changes it beyond its blanks.
bool HasUnsafeNameCharacters(std::string_view text);

// Splits a name into its parts. Returns false when the name has fewer than
// four dots or its scan and charge fields are not integers.
bool ParseDtaName(const std::string& name, DtaNameParts& parts);

}  // namespace msdata
