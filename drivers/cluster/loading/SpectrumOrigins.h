#pragma once
// Where every loaded spectrum came from (file, scan, native id, MGF title,
// precursor, retention time), kept out of the spectrum records: a run of a
// million spectra would otherwise hold a million more strings. The rows are
// streamed to a scratch file as the spectra load, one line each in load
// order, and joined with the clustering when the per-spectrum table
// "clusters.tsv" is written beside the cluster file.
//
// A row (scratch line) is nine tab-separated fields:
//   file, scan, native_id, title, precursor_mz, charge, rt_seconds,
//   run, locator
// the first seven as the table prints them; `run` and `locator`
// ("scan:N", "nativeId:V1,V2,..." or "index:N") make the spectrum's USI.

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "common/Spectrum.h"
#include "spectra/MS2Input.h"

namespace clusterjob {

inline constexpr const char* kClusterTableName = "clusters.tsv";

// "" when `accession` can name a dataset in a USI (PXD or PXL and six
// digits, MSV and nine), else why not.
std::string CheckAccession(const std::string& accession);

// The table's path: beside the cluster file.
std::string ClusterTablePath(const std::string& cluster_file);

// The scratch line of one spectrum (with its line end).
std::string OriginRow(const msdata::CSpectrum& spectrum, const CMS2Input::Origin& origin);

class COriginTable {
 public:
  COriginTable() = default;
  ~COriginTable();
  COriginTable(const COriginTable&) = delete;
  COriginTable& operator=(const COriginTable&) = delete;

  // The scratch file, in `folder` and unlinked at once, so that nothing is
  // left behind whatever ends the run. False with `error` set when it
  // cannot be made.
  bool Open(const std::string& folder, std::string& error);
  void Add(const msdata::CSpectrum& spectrum, const CMS2Input::Origin& origin);
  // A row made earlier (OriginRow, with its line end), such as the one a
  // spectrum had in its own run before several runs were pooled.
  void AddRow(const std::string& row);
  std::size_t Rows() const { return rows_; }
  bool Failed() const { return failed_; }

  // The loading's books: which rows reached the spectrum list (in list
  // order before filtering), then where each went.
  void MarkLast(bool kept);   // the row just added; unmarked rows count as kept
  // Rows whose spectrum the peak filter dropped: `kept[i]` for the i-th row
  // still in the list; empty when the filter left every one.
  void Filter(const std::vector<unsigned char>& kept);
  // The list reordered: order[p] is the list index that went to p.
  void Reorder(const std::vector<std::uint32_t>& order);
  // Position of each row in the ordered list, -1 for a dropped spectrum.
  const std::vector<std::int32_t>& Positions() const { return position_; }

  // Reads the rows back in load order: Rewind, then NextRow gives each
  // line without its line end until it answers false (at the end, or when
  // the scratch file cannot be read: Failed() then says so).
  bool Rewind();
  bool NextRow(std::string& line);

 private:
  std::FILE* file_ = nullptr;
  std::size_t rows_ = 0;
  bool failed_ = false;
  std::vector<std::int32_t> position_;  // during loading: index in the list, -1 left out
  std::size_t read_ = 0;
  char* buffer_ = nullptr;
  std::size_t capacity_ = 0;
};

// What the clustering says of each position of the ordered list.
struct ClusterCells {
  const std::vector<int>* cluster_of = nullptr;        // per position, 1-based
  const std::vector<int>* size_of_cluster = nullptr;   // per cluster number
  const std::vector<unsigned char>* representative = nullptr;  // per position, 1 or 0
};

// The next scratch line and its position (-1: dropped); false at the end.
using RowSource = std::function<bool(std::string& line, std::int32_t& position)>;

// Writes the table whole (temporary name, renamed): a header, then one
// line per row with the cluster, its size and the representative flag
// (empty for a dropped spectrum), and with an accession the USI. False
// with `error` set otherwise.
bool WriteClusterTable(const std::string& path, const RowSource& rows, const ClusterCells& cells,
                       const std::string& accession, std::string& error);

// The same from a table and the clustering of one run.
bool WriteClusterTable(const std::string& path, COriginTable& origins, const ClusterCells& cells,
                       const std::string& accession, std::string& error);

// The fields of a scratch line (nine, the last ones may be missing).
std::vector<std::string_view> RowFields(std::string_view line);
// The USI of a row, "" without an accession.
std::string RowUsi(const std::vector<std::string_view>& fields, const std::string& accession);

}  // namespace clusterjob
