#include "desktop/shell/core/TesseraDoc.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include <QString>

#include "common/TextUtil.h"
#include "desktop/shell/core/Numbers.h"

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

namespace {

// The fields after the pair count: delta time, d-score, type, mass 1, mass 2.
constexpr std::size_t kMostFields = 7;

bool IsTableLine(const std::string& line) {
  const std::vector<std::string> fields = text::Split(line, ',');
  if (fields.size() < 2 || fields.size() > kMostFields) return false;
  double number = 0.0;
  int count = 0;
  if (!desktop::ReadWhole(QString::fromStdString(fields[1]), count) || count < 0) return false;
  for (std::size_t i = 0; i < fields.size(); ++i)
    if (i != 1 && !desktop::ReadDecimal(QString::fromStdString(fields[i]), number)) return false;
  return true;
}

}  // namespace

bool IsMassShiftTable(const std::string& path, std::string& why) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    why = "Can not open file: " + path;
    return false;
  }
  std::string line;
  for (int number = 1; text::ReadLine(in, line); ++number) {
    if (text::Trim(line).empty() || IsTableLine(line)) continue;
    constexpr std::size_t kShown = 60;
    const std::string shown = line.size() > kShown ? line.substr(0, kShown) + "..." : line;
    why = path + " is not a mass-shift table: line " + std::to_string(number) + " (\"" + shown +
          "\") does not hold a delta mass, a pair count and at most five further numbers.";
    return false;
  }
  return true;
}
