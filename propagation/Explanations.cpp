#include "propagation/Explanations.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>

#include "common/TextUtil.h"
#include "resultfiles/ResultFile.h"

std::vector<CObservedShift> GroupShifts(std::vector<CObservedShift> shifts, double tolerance) {
  std::sort(shifts.begin(), shifts.end(),
            [](const CObservedShift& a, const CObservedShift& b) { return a.mass < b.mass; });
  std::vector<CObservedShift> groups;
  double first = 0.0, weighted = 0.0;
  for (const CObservedShift& shift : shifts) {
    if (groups.empty() || shift.mass - first > tolerance) {
      if (!groups.empty() && groups.back().count > 0) groups.back().mass = weighted / groups.back().count;
      groups.push_back({shift.mass, 0});
      first = shift.mass;
      weighted = 0.0;
    }
    groups.back().count += shift.count;
    weighted += shift.mass * shift.count;
  }
  if (!groups.empty() && groups.back().count > 0) groups.back().mass = weighted / groups.back().count;
  return groups;
}

bool ReadShiftTable(const std::string& path, std::vector<CObservedShift>& shifts, std::string& error) {
  std::ifstream in;
  if (!text::OpenInput(in, path)) {
    error = "Can not open file:" + path;
    return false;
  }
  std::string line;
  for (int number = 1; text::ReadLine(in, line); ++number) {
    if (text::Trim(line).empty()) continue;
    double mass = 0.0;
    int count = 0;
    char comma = 0;
    if (std::sscanf(line.c_str(), " %lf %c %d", &mass, &comma, &count) != 3 || comma != ',' ||
        !std::isfinite(mass) || count < 0) {
      error = "File " + path + ", line " + std::to_string(number) + ": not a \"<shift>,<count>\" row: '" +
              line + "'";
      return false;
    }
    shifts.push_back({mass, count});
  }
  return true;
}

std::vector<CObservedShift> PairFileShifts(const std::vector<std::string>& pair_files) {
  std::vector<CObservedShift> shifts;
  for (const std::string& file : pair_files) {
    std::vector<std::string> names;
    std::vector<double> masses;
    std::vector<std::int32_t> marks;
    CResultFileFactory().GetPair_(file, names, masses, marks);
    for (const double mass : masses) shifts.push_back({mass, 1});
  }
  return shifts;
}

std::optional<CIsotopeRelation> IsotopeErrorOf(double shift, const std::vector<CObservedShift>& observed,
                                               double tolerance) {
  // How often the shift itself was seen: an explanation seen less often is
  // rather the isotope error of this one.
  int own = 0;
  for (const CObservedShift& o : observed) {
    if (std::fabs(std::fabs(shift) - o.mass) <= tolerance) own = std::max(own, o.count);
  }
  std::optional<CIsotopeRelation> found;
  int found_count = -1;
  const auto consider = [&](double base, int count) {
    for (const int steps : {-2, -1, 1, 2}) {
      if (std::fabs(shift - (base + steps * kIsotopeStep)) > tolerance) continue;
      if (found && count <= found_count) continue;
      found = CIsotopeRelation{base, steps};
      found_count = count;
    }
  };
  consider(0.0, std::numeric_limits<int>::max());
  for (const CObservedShift& o : observed) {
    if (o.count < own || std::fabs(std::fabs(shift) - o.mass) <= tolerance) continue;
    consider(o.mass, o.count);
    consider(-o.mass, o.count);
  }
  return found;
}
