#pragma once
// Bound for the "total" count of an INI list: each entry needs a line of its
// own, so a count above the file's line count only names missing entries.
// Keeps a corrupt count from turning into billions of lookups.

#include <string>

int BoundedEntryCount(int total, const std::string& path);
