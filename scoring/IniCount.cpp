#include "scoring/IniCount.h"

#include <algorithm>
#include <fstream>

#include "common/TextUtil.h"

int BoundedEntryCount(int total, const std::string& path) {
  if (total <= 0) return 0;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  int lines = 0;
  while (lines < total && text::ReadLine(in, line)) ++lines;
  return std::min(total, lines);
}
