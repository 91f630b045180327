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
  // True for a name PairFileName gives ("pair_m<digits>.<6 digits>_p<digits>.<2
  // digits>.csv", the mass may carry a "-"), and for nothing else.
  static bool IsPairFileName(const std::string& name);
  // Removes the pair files of an earlier run from `pairpath` (the current
  // directory for an empty one): entries named as PairFileName names them
  // that are files or links (a link itself, never what it points to).
  // Anything else there stays. A later reader of the folder then sees one
  // run's pairs only. Answers how many were removed.
  static int RemoveEarlierPairFiles(const std::string& pairpath);
  // The path of a pair file in `pairpath`: the current directory for an
  // empty one, and a trailing "\" (from the desktop program) taken as a
  // separator.
  static std::string PairFilePath(const std::string& pairpath, const std::string& name);

 private:
  std::string failed_file_;
};
