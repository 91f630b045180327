#include "scoring/IniCount.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>

#include "common/TextUtil.h"

namespace {

// The number of a line "name<digits>=...", or 0 when the line is not one.
long EntryNumberOf(const std::string& line) {
  constexpr std::size_t kPrefix = 4;  // "name"
  if (line.size() < kPrefix + 2) return 0;
  if (!text::EqualsNoCase(std::string_view(line).substr(0, kPrefix), "name")) return 0;
  // A key is written as std::to_string gives it: no sign, no leading zero.
  if (line[kPrefix] == '0') return 0;
  long number = 0;
  std::size_t i = kPrefix;
  for (; i < line.size() && std::isdigit(static_cast<unsigned char>(line[i])); ++i) {
    number = number * 10 + (line[i] - '0');
    if (number > 2147483647L) return 0;
  }
  if (i == kPrefix || i >= line.size() || line[i] != '=') return 0;
  return number;
}

}  // namespace

std::vector<int> ListedEntryNumbers(int total, const std::string& path) {
  std::vector<int> numbers;
  if (total <= 0) return numbers;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (text::ReadLine(in, line)) {
    const long number = EntryNumberOf(line);
    if (number >= 1 && number <= total) numbers.push_back(static_cast<int>(number));
  }
  std::sort(numbers.begin(), numbers.end());
  numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
  return numbers;
}
