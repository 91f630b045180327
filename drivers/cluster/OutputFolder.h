#pragma once
// The output folder of the options form (`cluster ... -o DIR`), the run's
// own folder: it is locked for the whole run before anything is written
// into it, and what an earlier run left there is cleared first, so that
// after the run it holds what this run wrote and nothing of an older one.

#include <cstddef>
#include <string>
#include <vector>

#include "common/SafeFile.h"

namespace clusterjob {

// The names the options form gives its outputs inside the folder.
inline constexpr const char* kParaName = "cluster.para";
inline constexpr const char* kCombinedInput = "inputs.mgf";
inline constexpr const char* kClusterFile = "clusters.csv";
inline constexpr const char* kPairFile = "pairs.csv";
inline constexpr const char* kSpectraFolder = "spectra";
inline constexpr const char* kSpectraMgf = "spectra.mgf";

// Takes the lock of `folder`, waiting for another run (saying so once on
// standard error) unless `no_wait`. False when another run holds it.
bool LockOutputFolder(safefile::CFolderLock& lock, const std::string& folder, bool no_wait);

// Removes what an earlier run of the options form left in `folder`: the
// files of fixed name (cluster file, cluster table, pair file, their run
// summaries, "temp.temp", "score.txt", the pooled inputs, the spectra's
// MGF file, the error marker) and, in the spectra folder, the spectrum files: names ending in ".dta", names the earlier cluster file
// lists, and the temporary files of writes that were cut short. Files of
// other names, folders, links' targets and the run's own `inputs` are left
// alone. Answers how many files went.
std::size_t ClearEarlierOutputs(const std::string& folder, const std::vector<std::string>& inputs);

// Takes away what a run made of a folder that did not exist before it (the
// lock file, an empty spectra folder, the folder itself, each only when it
// holds nothing else) when the run is refused before any work.
void RemoveFreshFolder(const std::string& folder);

}  // namespace clusterjob
