#pragma once
// Partitioned clustering: cut one clustering job into parts that `cluster`
// runs independently (on one machine or on a cluster), then merge the parts'
// files into exactly the files one `cluster` run writes.
//
// Type 0 parts are runs of whole blocks (the engine's own blocks), so each
// part clusters exactly as the whole list would. Type 1 parts own the pairs
// whose lighter spectrum lies in their mass range and carry a halo of
// spectra up to `upper_mass` above it; the merge keeps owned pairs only.

#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "common/Spectrum.h"
#include "common/Types.h"

namespace partition {


// The files of a plan inside the work folder.
inline constexpr const char* kPlanFile = "plan.txt";
inline constexpr const char* kManifestFile = "manifest.tsv";
inline constexpr const char* kOriginalPara = "original.para";
// Type 0: where every spectrum the job loads came from, in load order, and
// its position in the ordered list (empty when the peak filter dropped it):
// what the merge needs for the per-spectrum cluster table.
inline constexpr const char* kOriginsFile = "origins.tsv";
// Inside each part folder.
inline constexpr const char* kPartMgf = "spectra.mgf";
inline constexpr const char* kPartDtas = "spectra.dtas";
inline constexpr const char* kPartPara = "part.para";
inline constexpr const char* kPartResult = "result.txt";
inline constexpr const char* kPartOut = "out";
inline constexpr const char* kPartNames = "names.txt";
// The identifier of the plan that made the part (PlanFiles.h).
inline constexpr const char* kPartPlanId = "plan.id";

// `args`: N, the parameter file, the work folder, optionally "--cuts" and
// the comma-separated positions (in the job's ordered spectrum list) where
// parts must start instead of the balanced ones. Returns the exit status
// (2 for a wrong command line, with the usage on `out`).
int RunPlan(const std::vector<std::string>& args, std::ostream& out);
// `args`: the work folder of a plan whose parts have all run, optionally
// "--px" and an accession for the table's USIs. Writes the
// job's files where its parameter file names them (and "temp.temp" for
// type 1 in the working directory, as `cluster` does).
int RunMerge(const std::vector<std::string>& args, std::ostream& out);

// Splits units 0..n-1 of the given work into at most `parts` runs of
// consecutive units so that the largest run's work is as small as it can
// be. Returns the first unit of every run but the first.
std::vector<std::size_t> BalanceCuts(const std::vector<std::uint64_t>& work, std::size_t parts);

// Writes spectra[begin, end) as MGF in list order, choosing for every
// number the text that our MGF importer reads back as the same double.
// False with `why` when a spectrum cannot be written so (charge 0).
bool WriteMgf(const std::vector<msdata::CSpectrum>& spectra, std::size_t begin, std::size_t end,
              const std::string& path, std::string& why);

// The same as DTAS ("name MH+ charge" headers), which carries the MH+ itself.
bool WriteDtas(const std::vector<msdata::CSpectrum>& spectra, std::size_t begin, std::size_t end,
               const std::string& path, std::string& why);

// Loads `path` with our importer of `type` and checks that it gives back
// spectra[begin, end) with the same names, charges, precursor masses and
// peaks, bit for bit. False with `why` naming the first difference.
bool VerifySpectra(const std::vector<msdata::CSpectrum>& spectra, std::size_t begin,
                   std::size_t end, const std::string& path, MS2FormatType type,
                   std::string& why);

}  // namespace partition
