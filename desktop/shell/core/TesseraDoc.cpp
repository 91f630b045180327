#include "desktop/shell/core/TesseraDoc.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "common/TextUtil.h"

CTesseraDoc::CTesseraDoc(QObject* parent) : QObject(parent) {
  std::error_code error;
  SetWorkingDirectory(std::filesystem::current_path(error).string());
}

void CTesseraDoc::SetWorkingDirectory(std::string directory) {
  const char separator = static_cast<char>(std::filesystem::path::preferred_separator);
  if (directory.empty() || directory.back() != separator) directory.push_back(separator);
  workingDirectory_ = std::move(directory);
}

bool CTesseraDoc::LoadHistogramData(const std::string& path) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) return false;

  std::vector<CHistogramPoint> points;
  std::vector<CResultRow> rows;
  double mass = 0.0;
  int count = 0;
  std::string line;
  while (text::ReadLine(in, line)) {
    // Values persist from line to line: what a line does not give, the line
    // before it did.
    std::sscanf(line.c_str(), "%lf,%d", &mass, &count);
    rows.push_back({mass, line + "\n"});
    points.push_back({count, mass});
  }
  std::stable_sort(rows.begin(), rows.end(),
                   [](const CResultRow& a, const CResultRow& b) { return a.mass < b.mass; });
  points_ = std::move(points);
  rows_ = std::move(rows);
  return true;
}
