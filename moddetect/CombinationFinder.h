#pragma once
// Marks modifications that are the sum of two others (type 1) or that are
// explained by another one (type 2), from the precursor chains that support
// them.

#include <cstdint>
#include <vector>

#include "moddetect/ModificationDetector.h"
#include "moddetect/PrecursorList.h"

class CCombinationFinder {
 public:
  void FindCombinations(const std::vector<PrecursorRecord>& reduced, std::vector<ModificationRecord>& results) const;

  // Positions of the precursors of each pair that supports a modification:
  // heavy[n] and light[n] form pair n.
  struct Support {
    std::vector<std::int32_t> heavy;
    std::vector<std::int32_t> light;
  };
  static Support SupportingPairs(const std::vector<PrecursorRecord>& reduced, const ModificationRecord& mod);

  // For the distinct values found in both lists, the first position in `a`
  // (positions ascending) at which each occurs; their count is the size.
  static std::vector<std::int32_t> CommonPositions(const std::vector<std::int32_t>& a,
                                                   const std::vector<std::int32_t>& b);
};
