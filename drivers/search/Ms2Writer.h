#pragma once
// Spectra as MS2 text, the form Comet reads a handful of spectra in and
// names them by: "<file base>.<scan>.<scan>.<charge>", so a file named like
// the run gives its spectra the run's own names.

#include <map>
#include <ostream>
#include <string>
#include <vector>

#include "common/Spectrum.h"

namespace search {

// One record: "S\t<first scan>\t<last scan>\t<precursor m/z>", "Z\t<charge>\t<MH+>"
// (the m/z from the MH+ and charge), then "<m/z>\t<intensity>" per peak,
// six decimals each. False (nothing written) for a spectrum without a
// charge, which Comet cannot search.
bool WriteMs2Record(const msdata::CSpectrum& spectrum, int first_scan, int last_scan, std::ostream& out);

// The base name of the pooled MS2 file: Comet names its spectra
// "propagated.<scan>.<scan>.<charge>".
constexpr const char* kPooledName = "propagated";

// Spectra of several runs in one MS2 text, numbered 1, 2, ... in the order
// given, so that one Comet search covers them all.
struct CPooledSpectra {
  std::string ms2;
  std::string scan_table;                     // "scan\tspectrum", one row per record
  std::vector<std::string> spectrum_of_scan;  // the key each record was given, by scan - 1

  // The key of the spectrum a search result names ("PROPAGATED.12.12.2.DTA"
  // or however the reader spells it); null for a name of no record.
  const std::string* SpectrumOf(const std::string& result_name) const;
};

// Pools `spectra` (by key; each spectrum's own name goes into the scan
// table). Returns how many were left out for want of a charge.
int PoolSpectra(const std::map<std::string, msdata::CSpectrum>& spectra, CPooledSpectra& pooled);

}  // namespace search
