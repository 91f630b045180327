#include "Tables.h"

#include <pybind11/numpy.h>
#include <pybind11/stl.h>

#include <charconv>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace py = pybind11;

namespace tessera_py {

namespace {

// One column as read: whole numbers (with the cells that were empty),
// reals (NaN where empty or "NA"), or text as it stands in the file.
struct Column {
  std::string name;
  char kind = 't';  // 'i', 'f' or 't'
  std::vector<std::int64_t> whole;
  std::vector<bool> empty;
  std::vector<double> real;
  std::vector<std::string_view> text;
};

bool ReadWhole(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return false;
  const std::streamoff size = in.tellg();
  if (size < 0) return false;
  content.resize(static_cast<std::size_t>(size));
  in.seekg(0);
  return static_cast<bool>(in.read(content.data(), size));
}

// A cell after the blanks that follow its separator, as the general reader
// skips them.
std::string_view Trimmed(std::string_view cell) {
  const std::size_t first = cell.find_first_not_of(' ');
  return first == std::string_view::npos ? std::string_view() : cell.substr(first);
}

bool PlainNumber(std::string_view cell) {
  return cell.find_first_not_of("0123456789.eE-") == std::string_view::npos;
}

// Adds one cell; false where the cell is not plainly of its column's kind.
bool Add(Column& column, std::string_view cell) {
  switch (column.kind) {
    case 'i': {
      std::int64_t value = 0;
      if (cell.empty()) {
        column.whole.push_back(0);
        column.empty.push_back(true);
        return true;
      }
      const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
      if (ec != std::errc() || end != cell.data() + cell.size()) return false;
      column.whole.push_back(value);
      column.empty.push_back(false);
      return true;
    }
    case 'f': {
      double value = std::nan("");
      if (!cell.empty() && cell != "NA") {
        if (!PlainNumber(cell)) return false;
        const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
        if (ec != std::errc() || end != cell.data() + cell.size()) return false;
      }
      column.real.push_back(value);
      return true;
    }
    default:
      column.text.push_back(cell);
      return true;
  }
}

// Splits `content` into the columns; false where the table is not plainly
// regular (a row of another width, a byte-order mark, a blank-looking line,
// an odd cell, no row at all), which the general reader then handles as it
// always has.
bool Split(std::string_view content, char separator, std::vector<Column>& columns, bool header) {
  if (content.substr(0, 3) == "\xEF\xBB\xBF") return false;
  std::size_t at = 0;
  bool first = true;
  std::vector<std::string_view> cells;
  while (at < content.size()) {
    std::size_t end = content.find('\n', at);
    if (end == std::string_view::npos) end = content.size();
    std::string_view line = content.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    if (line.empty()) continue;
    if (line.find('\r') != std::string_view::npos || Trimmed(line).empty()) return false;
    cells.clear();
    for (std::size_t from = 0;;) {
      const std::size_t to = line.find(separator, from);
      cells.push_back(Trimmed(line.substr(from, to == std::string_view::npos ? std::string_view::npos : to - from)));
      if (to == std::string_view::npos) break;
      from = to + 1;
    }
    if (first && header) {
      std::set<std::string_view> seen;
      for (std::size_t k = 0; k < columns.size() && k < cells.size(); ++k) {
        if (columns[k].name != cells[k] || !seen.insert(cells[k]).second) return false;
      }
      if (cells.size() != columns.size()) return false;
      first = false;
      continue;
    }
    first = false;
    if (cells.size() != columns.size()) return false;
    for (std::size_t k = 0; k < cells.size(); ++k) {
      if (!Add(columns[k], cells[k])) return false;
    }
  }
  // A table without rows is the general reader's: its frame has its own kind of index.
  return !columns.empty() && (columns[0].whole.size() + columns[0].real.size() + columns[0].text.size()) > 0;
}

template <typename T>
py::array_t<T> ToArray(const std::vector<T>& values) {
  return py::array_t<T>(static_cast<py::ssize_t>(values.size()), values.data());
}

// (path, separator, names, kinds, header) -> [(name, kind, values[, empty])],
// or None when the table needs the general reader.
py::object ReadTable(const std::string& path, const std::string& separator, const std::vector<std::string>& names,
                     const std::string& kinds, bool header) {
  if (separator.size() != 1 || names.size() != kinds.size()) throw py::value_error("one separator, a kind per name");
  std::vector<Column> columns(names.size());
  for (std::size_t k = 0; k < names.size(); ++k) {
    columns[k].name = names[k];
    columns[k].kind = kinds[k];
  }
  std::string content;
  bool plain = false;
  {
    py::gil_scoped_release free;
    plain = ReadWhole(path, content) && Split(content, separator[0], columns, header);
  }
  if (!plain) return py::none();
  py::list out;
  for (const Column& column : columns) {
    if (column.kind == 'i') {
      py::array_t<bool> empty(static_cast<py::ssize_t>(column.empty.size()));
      bool* mask = empty.mutable_data();
      for (std::size_t i = 0; i < column.empty.size(); ++i) mask[i] = column.empty[i];
      out.append(py::make_tuple(column.name, "i", ToArray(column.whole), empty));
    } else if (column.kind == 'f') {
      out.append(py::make_tuple(column.name, "f", ToArray(column.real)));
    } else {
      // A run of equal cells (the file of every row) shares one string.
      py::list text(column.text.size());
      PyObject* last = nullptr;
      for (std::size_t i = 0; i < column.text.size(); ++i) {
        PyObject* value = nullptr;
        if (last && column.text[i] == column.text[i - 1]) {
          Py_INCREF(last);
          value = last;
        } else {
          value = PyUnicode_DecodeUTF8(column.text[i].data(), static_cast<py::ssize_t>(column.text[i].size()),
                                       "strict");
        }
        if (!value) {  // not UTF-8: the general reader says so
          PyErr_Clear();
          return py::none();
        }
        PyList_SET_ITEM(text.ptr(), static_cast<py::ssize_t>(i), value);
        last = value;
      }
      out.append(py::make_tuple(column.name, "t", text));
    }
  }
  return out;
}

}  // namespace

void RegisterTables(py::module_& m) {
  m.def("read_table", &ReadTable, py::arg("path"), py::arg("separator"), py::arg("names"), py::arg("kinds"),
        py::arg("header"),
        "A plainly regular table as columns [(name, kind, values[, empty])], kind 'i', 'f' or 't'; None when the "
        "table needs the general reader.");
}

}  // namespace tessera_py
