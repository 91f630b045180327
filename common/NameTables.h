#pragma once
// Display names shared by the engine, the result-file readers and the
// desktop program; the index of a name is its enumeration value.

#include <array>
#include <string>

namespace names {

inline constexpr std::array<const char*, 2> kToleranceTypeNames = {"Da", "ppm"};

inline constexpr std::array<const char*, 8> kSimilarMethodNames = {
    "Intensity Score", "Dot Product", "Dot Product Mod", "Dot Product Half",
    "Dot Product X",   "Peak Count",  "Bonanza",         "Comprehensive"};

// Name of a tolerance type, "" for a value outside the table.
std::string ToleranceTypeName(int type);
// Name of a similarity method, "" for a value outside the table.
std::string SimilarMethodName(int method);
// Index of the method whose name equals `name` (case-insensitive), -1 if none.
int SimilarMethodIndex(const std::string& name);

}  // namespace names
