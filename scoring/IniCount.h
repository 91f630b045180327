#pragma once
// Which entries of an INI list can exist. A list names its entries
// "name1" ... "name<total>"; "total" may be corrupt (two billion) or larger
// than the entries actually written, and the numbering may have gaps. Looking
// up every number up to "total" would reread the file billions of times, so
// only the numbers that some line of the file actually names are looked up.
// Every other number has no line of its own and would read as the "Null"
// default anyway, so the result is the same as the full walk.

#include <string>
#include <vector>

// The numbers i in [1, total], ascending and without repeats, for which the
// file holds a line beginning "name<i>=" (the name in any case, i written
// without leading zeros). Empty when the file cannot be read.
std::vector<int> ListedEntryNumbers(int total, const std::string& path);
