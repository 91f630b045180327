#include "propagation/RunProvenance.h"

#include <fstream>
#include <utility>
#include <vector>

#include "common/DtaName.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"

namespace {

constexpr const char* kClusterTable = "clusters.tsv";

using ClusterAndCharge = std::pair<std::string, std::string>;

// (cluster, charge) -> the origin of the table's one row of them; an
// empty origin where several rows share them.
std::map<ClusterAndCharge, std::pair<int, CSpectrumOrigin>> TableRows(const std::string& table_path) {
  std::map<ClusterAndCharge, std::pair<int, CSpectrumOrigin>> rows;
  std::ifstream in;
  if (!text::OpenInput(in, table_path)) return rows;
  std::string line;
  if (!text::ReadLine(in, line)) return rows;
  const std::vector<std::string> header = text::Split(line, '\t');
  auto column = [&header](const char* name) {
    for (std::size_t c = 0; c < header.size(); ++c)
      if (header[c] == name) return c;
    return header.size();
  };
  const std::size_t cluster = column("cluster"), charge = column("charge"), native_id = column("native_id"),
                    rt = column("rt_seconds");
  if (cluster == header.size() || charge == header.size()) return rows;
  while (text::ReadLine(in, line)) {
    const std::vector<std::string> cells = text::Split(line, '\t');
    if (cells.size() < header.size() || cells[cluster].empty()) continue;
    auto& [count, origin] = rows[{cells[cluster], cells[charge]}];
    if (++count == 1) {
      if (native_id < cells.size()) origin.native_id = cells[native_id];
      if (rt < cells.size()) origin.retention_time = cells[rt];
    } else {
      origin = CSpectrumOrigin();
    }
  }
  return rows;
}

}  // namespace

std::string RunOfSpectrum(const std::string& name) {
  msdata::DtaNameParts parts;
  return msdata::ParseDtaName(name, parts) ? parts.prefix : std::string();
}

std::map<std::string, CSpectrumOrigin> SpectrumOriginsOfJob(const std::string& cluster_file) {
  std::map<std::string, CSpectrumOrigin> origins;
  if (cluster_file.empty()) return origins;
  const auto rows = TableRows(path::Join(path::DirectoryOf(cluster_file), kClusterTable));
  if (rows.empty()) return origins;
  std::ifstream in;
  if (!text::OpenInput(in, cluster_file)) return origins;
  // "<cluster>,<name>,...": the name's charge tells the member's row.
  for (std::string line; text::ReadLine(in, line);) {
    const std::vector<std::string> fields = text::Split(line, ',');
    msdata::DtaNameParts parts;
    if (fields.size() < 2 || !msdata::ParseDtaName(fields[1], parts)) continue;
    const auto found = rows.find({text::Trim(fields[0]), std::to_string(parts.charge)});
    if (found == rows.end() || found->second.first != 1) continue;
    origins[text::ToUpper(fields[1])] = found->second.second;
  }
  return origins;
}
