#pragma once
// tessera-confirm: the shift-aware confirmation of propagated
// identifications. The shifts that pairs carried become Comet's variable
// modifications (ShiftBatches.h), the propagated spectra are searched in one
// Comet run per batch of shifts, and each propagated identification is
// judged against the rank-1 hits (Confirmation.h).
//
// Writes into the output folder: confirmation.tsv (one row per propagated
// identification), shift_mods.tsv (batch, pairs, residue, mass), the
// searches under batches/<n>/ (every run's spectra as propagated.ms2 with
// scans.tsv naming the spectrum of each scan, comet.params, comet.log,
// propagated.pep.xml) and confirmation.summary.json.

#include <map>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "common/Spectrum.h"

namespace search {

// The spectra named in `wanted` (keys: names upper-cased), looked up in DTA
// folders (files named like the spectra, any case) and spectrum files (the
// spectra their importer names so), the first source holding a name
// winning. False with `error` set when a source cannot be read.
bool CollectSpectra(const std::vector<std::string>& sources, const std::set<std::string>& wanted,
                    std::map<std::string, msdata::CSpectrum>& found, std::string& error);

// The program: 0 on success (and --help, --version), 1 when it failed, 2 for
// a wrong command line. The statistics go to `out`; usage, errors and
// progress to `err`.
int RunConfirmProgram(int argc, const char* const* argv, std::ostream& out, std::ostream& err);

}  // namespace search
