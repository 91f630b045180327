#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <string_view>

#include "common/Notifier.h"
#include "common/TextUtil.h"
#include "resultfiles/ResultFile.h"

namespace {

// Spectrum line: "<digits>,<x><rest>": skip through the character after the
// first ",", then through the first space; the name ends at the next space.
std::string SpectrumNameOf(const std::string& line) {
  const std::size_t comma = line.find(',');
  if (comma == std::string::npos || comma + 2 > line.size()) return std::string();
  const std::string rest = line.substr(comma + 2);
  const std::size_t first_space = rest.find(' ');
  if (first_space == std::string::npos) return std::string();
  const std::size_t name_end = rest.find(' ', first_space + 1);
  if (name_end == std::string::npos) return std::string();
  return ResultSpectrumName(rest.substr(first_space + 1, name_end - first_space - 1));
}

}  // namespace

std::string CKilnResultFile::ParseIdentification(const std::string& line,
                                                 ModificationList& modifications) {
  const std::size_t dot = line.find('.');
  const std::string after = dot == std::string::npos ? std::string() : line.substr(dot + 1);
  std::string identification = after.substr(0, after.find('.'));

  // Each modification segment ends at a ")" and looks like
  // " <position> <residue...>(<name>"; the segment starts at the second
  // space before its ")".
  std::size_t begin = 0;
  for (std::size_t close = after.find(')'); close != std::string::npos;
       begin = close + 1, close = after.find(')', begin)) {
    const std::string_view part = std::string_view(after).substr(begin, close - begin);

    const std::size_t last_space = part.rfind(' ');
    if (last_space == std::string::npos || last_space == 0) continue;
    const std::size_t start_space = part.rfind(' ', last_space - 1);
    if (start_space == std::string::npos) continue;  // outside the format
    const std::string_view segment = part.substr(start_space + 1);
    const std::size_t open = segment.find('(');
    if (open == std::string::npos) continue;  // no name to refer to

    const int position = text::AtoI(segment.substr(0, segment.find(' ')));
    const std::string name(segment.substr(open + 1));
    auto it = std::find_if(modifications.begin(), modifications.end(),
                           [&name](const auto& entry) { return entry.first == name; });
    if (it == modifications.end()) {
      modifications.emplace_back(name, -1.0);
      it = modifications.end() - 1;
    }
    const long number = static_cast<long>(it - modifications.begin()) + 1;
    char item[48];
    std::snprintf(item, sizeof item, " %lld,%ld", static_cast<long long>(position) - 1, number);
    identification += item;
  }
  return identification;
}

void CKilnResultFile::LoadResult(const std::string& path, ResultMap& results,
                                 std::string& /*data_path*/, ModificationList& modifications) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    notify::Message("Can not open file:" + path);
    return;
  }
  std::string name;
  std::string line;
  while (text::ReadLine(in, line)) {
    std::replace(line.begin(), line.end(), '\t', ' ');
    if (line.empty()) continue;
    const char first = line[0];
    if (first == '#' || first == '*') {
      results[name] = ParseIdentification(line, modifications);
    } else if (std::isdigit(static_cast<unsigned char>(first))) {
      name = SpectrumNameOf(line);
    }
  }
}
