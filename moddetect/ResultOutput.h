#pragma once
// The modification table on the console and the result file "temp.temp".

#include <ostream>
#include <string>
#include <vector>

#include "moddetect/ModificationDetector.h"

inline constexpr const char* kResultFile = "temp.temp";

// Header line and one line per record, in list order.
void PrintResultTable(std::ostream& out, const std::vector<ModificationRecord>& results);

// Sorts the records by pair count, descending and stable, then writes them
// to `path`. Partner positions are renumbered to follow the sort, so that
// the two partner masses always name the records found as partners. False
// when the file cannot be written (the records are sorted all the same).
bool WriteResultFile(const std::string& path, std::vector<ModificationRecord>& results);
