#include "drivers/cluster/loading/SpectrumOrigins.h"

#include <stdlib.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>

#include "common/PathUtil.h"
#include "common/SafeFile.h"

namespace clusterjob {

namespace {

// A table cell: tabs and line ends would split the row, other control
// characters have no place in a name either.
void PutCell(std::string& out, std::string_view text) {
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    out += (u < 32 || u == 127) ? '_' : c;
  }
}

bool AllDigits(std::string_view s, std::size_t count) {
  if (s.size() != count) return false;
  for (char c : s) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

std::string Number(const char* format, double value) {
  char text[400];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A native id as a USI names it: the values of its "key=value" fields,
// each a whole number, joined by commas ("spectrum=2442" gives "2442",
// WIFF's "sample=1 period=1 cycle=56 experiment=2" gives "1,1,56,2");
// empty when the id has another form.
std::string UsiNativeIdValues(std::string_view native_id) {
  std::string values;
  std::size_t start = 0;
  while (start < native_id.size()) {
    std::size_t end = native_id.find(' ', start);
    if (end == std::string_view::npos) end = native_id.size();
    const std::string_view field = native_id.substr(start, end - start);
    start = end + 1;
    if (field.empty()) continue;
    const std::size_t equals = field.find('=');
    if (equals == std::string_view::npos || !AllDigits(field.substr(equals + 1), field.size() - equals - 1) ||
        equals + 1 == field.size())
      return {};
    values += (values.empty() ? "" : ",") + std::string(field.substr(equals + 1));
  }
  return values;
}

}  // namespace

std::string CheckAccession(const std::string& accession) {
  const std::string_view a = accession;
  if (a.size() > 3) {
    const std::string_view prefix = a.substr(0, 3);
    if ((prefix == "PXD" || prefix == "PXL") && AllDigits(a.substr(3), 6)) return {};
    if (prefix == "MSV" && AllDigits(a.substr(3), 9)) return {};
  }
  return "\"" + accession +
         "\" is not a ProteomeXchange accession (PXD or PXL and six digits, or MSV and nine: PXD000561)";
}

std::string ClusterTablePath(const std::string& cluster_file) {
  return path::Join(path::DirectoryOf(path::Absolute(cluster_file)), kClusterTableName);
}

std::string OriginRow(const msdata::CSpectrum& spectrum, const CMS2Input::Origin& origin) {
  std::string row;
  PutCell(row, origin.file);
  row += '\t';
  if (origin.scan >= 0) row += std::to_string(origin.scan);
  row += '\t';
  PutCell(row, origin.native_id);
  row += '\t';
  PutCell(row, origin.title);
  row += '\t';
  row += Number("%.6f", spectrum.precursor_mz);
  row += '\t';
  row += std::to_string(spectrum.charge);
  row += '\t';
  // The record keeps 0 where its format has no time (DTA files); a time of
  // 0 would read as a measurement.
  if (spectrum.retention_time != 0.0) row += Number("%.3f", spectrum.retention_time);
  row += '\t';
  PutCell(row, origin.run);
  row += '\t';
  if (origin.scan >= 0) {
    row += "scan:" + std::to_string(origin.scan);
  } else if (const std::string values = UsiNativeIdValues(origin.native_id); !values.empty()) {
    row += "nativeId:" + values;
  } else {
    row += "index:" + std::to_string(origin.index);
  }
  row += '\n';
  return row;
}

COriginTable::~COriginTable() {
  if (file_) std::fclose(file_);
  std::free(buffer_);
}

bool COriginTable::Open(const std::string& folder, std::string& error) {
  std::string name = path::Join(folder.empty() ? "." : folder, ".origins-XXXXXX");
  const int fd = ::mkstemp(&name[0]);
  if (fd < 0) {
    error = "Cannot create a scratch file in " + folder + ": " + std::strerror(errno);
    return false;
  }
  ::unlink(name.c_str());
  file_ = ::fdopen(fd, "w+b");
  if (!file_) {
    ::close(fd);
    error = "Cannot create a scratch file in " + folder;
    return false;
  }
  return true;
}

void COriginTable::Add(const msdata::CSpectrum& spectrum, const CMS2Input::Origin& origin) {
  AddRow(OriginRow(spectrum, origin));
}

void COriginTable::AddRow(const std::string& row) {
  if (!file_ || std::fwrite(row.data(), 1, row.size(), file_) != row.size()) failed_ = true;
  position_.push_back(0);  // kept unless MarkLast says otherwise; numbered below
  ++rows_;
}

void COriginTable::MarkLast(bool kept) {
  if (!position_.empty() && !kept) position_.back() = -1;
}

void COriginTable::Filter(const std::vector<unsigned char>& kept) {
  // Rows left in the list are numbered in order, then the filter applied.
  std::int32_t index = 0;
  std::int32_t after = 0;
  for (std::int32_t& p : position_) {
    if (p < 0) continue;
    const std::int32_t at = index++;
    p = (kept.empty() || (static_cast<std::size_t>(at) < kept.size() && kept[at])) ? after++ : -1;
  }
}

void COriginTable::Reorder(const std::vector<std::uint32_t>& order) {
  std::vector<std::int32_t> goes_to(order.size(), -1);
  for (std::size_t p = 0; p < order.size(); ++p) goes_to[order[p]] = static_cast<std::int32_t>(p);
  for (std::int32_t& p : position_) {
    if (p >= 0) p = static_cast<std::size_t>(p) < goes_to.size() ? goes_to[p] : -1;
  }
}

bool COriginTable::Rewind() {
  read_ = 0;
  return file_ && !failed_ && std::fflush(file_) == 0 && std::fseek(file_, 0, SEEK_SET) == 0;
}

bool COriginTable::NextRow(std::string& line) {
  if (read_ >= rows_) return false;
  const ssize_t length = ::getline(&buffer_, &capacity_, file_);
  if (length <= 0) {
    failed_ = true;
    return false;
  }
  line.assign(buffer_, static_cast<std::size_t>(length));
  if (!line.empty() && line.back() == '\n') line.pop_back();
  ++read_;
  return true;
}

std::vector<std::string_view> RowFields(std::string_view line) {
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  for (;;) {
    const std::size_t tab = line.find('\t', start);
    fields.push_back(line.substr(start, tab == std::string_view::npos ? std::string_view::npos : tab - start));
    if (tab == std::string_view::npos) break;
    start = tab + 1;
  }
  return fields;
}

std::string RowUsi(const std::vector<std::string_view>& fields, const std::string& accession) {
  if (accession.empty() || fields.size() < 9) return {};
  std::string usi = "mzspec:" + accession + ":";
  usi += fields[7];
  usi += ':';
  usi += fields[8];
  return usi;
}

bool WriteClusterTable(const std::string& path, const RowSource& rows, const ClusterCells& cells,
                       const std::string& accession, std::string& error) {
  safefile::CSafeFile file;
  if (!file.Open(path, "wb")) {
    error = "Cannot write the cluster table: " + path + " (" + file.Error() + ")";
    return false;
  }
  std::string out =
      "file\tscan\tnative_id\ttitle\tprecursor_mz\tcharge\trt_seconds\tcluster\tcluster_size\tis_representative";
  out += accession.empty() ? "\n" : "\tusi\n";
  std::string line;
  std::int32_t position = -1;
  bool ok = true;
  while (ok && rows(line, position)) {
    const std::vector<std::string_view> fields = RowFields(line);
    if (fields.size() < 9) {
      error = "Cannot write the cluster table: " + path + " (a damaged origin row: " + line.substr(0, 80) + ")";
      return false;
    }
    for (std::size_t f = 0; f < 7; ++f) {
      out += fields[f];
      out += '\t';
    }
    const std::size_t p = static_cast<std::size_t>(position);
    if (position >= 0 && p < cells.cluster_of->size()) {
      const int cluster = (*cells.cluster_of)[p];
      out += std::to_string(cluster);
      out += '\t';
      out += std::to_string((*cells.size_of_cluster)[cluster]);
      out += '\t';
      out += (cells.representative && p < cells.representative->size() && (*cells.representative)[p]) ? '1' : '0';
    } else {
      out += "\t\t";
    }
    if (!accession.empty()) {
      out += '\t';
      out += RowUsi(fields, accession);
    }
    out += '\n';
    if (out.size() > (1u << 16)) {
      ok = std::fwrite(out.data(), 1, out.size(), file.Get()) == out.size();
      out.clear();
    }
  }
  ok = ok && std::fwrite(out.data(), 1, out.size(), file.Get()) == out.size();
  if (!ok || !file.Commit()) {
    error = "Cannot write the cluster table: " + path + (file.Error().empty() ? "" : " (" + file.Error() + ")");
    return false;
  }
  return true;
}

bool WriteClusterTable(const std::string& path, COriginTable& origins, const ClusterCells& cells,
                       const std::string& accession, std::string& error) {
  if (!origins.Rewind()) {
    error = "Cannot write the cluster table: " + path + " (the scratch file of the spectrum origins failed)";
    return false;
  }
  const std::vector<std::int32_t>& positions = origins.Positions();
  std::size_t row = 0;
  const RowSource source = [&](std::string& line, std::int32_t& position) {
    if (!origins.NextRow(line)) return false;
    position = row < positions.size() ? positions[row] : -1;
    ++row;
    return true;
  };
  if (!WriteClusterTable(path, source, cells, accession, error)) return false;
  if (row != origins.Rows()) {
    path::RemoveFile(path);
    error = "Cannot write the cluster table: " + path + " (the scratch file of the spectrum origins cannot be read)";
    return false;
  }
  return true;
}

}  // namespace clusterjob
