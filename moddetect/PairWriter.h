#pragma once
// Spectral-pair files: for every signal state of a fitted mixture, the
// precursor pairs that the state explains with high posterior probability.

#include <string>
#include <vector>

#include "moddetect/GaussianMixture.h"
#include "moddetect/ModificationDetector.h"
#include "moddetect/PrecursorList.h"

class CPairWriter {
 public:
  // Writes one "pair_m<delta mass>_p<ppthres>.csv" per signal state into
  // `pairpath` (created when missing) and stores each file's line count as
  // the pair count of the matching record in `results`. Nothing is written
  // for fewer than two precursors. Answers the number of files written, or
  // -1 when a file could not be written whole (LastFailedFile names it; no
  // partial file is left under its name).
  int WritePairs(const std::vector<PrecursorRecord>& reduced, const CGaussianMixture& mixture,
                 const std::string& pairpath, double ppthres, std::vector<ModificationRecord>& results);
  const std::string& LastFailedFile() const { return failed_file_; }

  static std::string PairFileName(double delta_mass, double ppthres);
  // The path of a pair file in `pairpath`: the current directory for an
  // empty one, and a trailing "\" (from the desktop program) taken as a
  // separator.
  static std::string PairFilePath(const std::string& pairpath, const std::string& name);

 private:
  std::string failed_file_;
};
