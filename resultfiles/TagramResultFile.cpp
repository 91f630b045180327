#include <fstream>
#include <map>

#include "common/Notifier.h"
#include "common/OptionTool.h"
#include "common/TextUtil.h"
#include "resultfiles/ResultFile.h"

namespace {

// The text after the first "=" when the line holds a "=" after its first
// character; `found` is false otherwise.
std::string ValueAfterEquals(const std::string& line, bool& found) {
  found = line.find('=', 1) != std::string::npos;
  return found ? line.substr(line.find('=') + 1) : std::string();
}

// "SEQ score items..." -> "SEQ items...": the second field is dropped.
std::string IdentificationOf(std::string line) {
  if (!line.empty() && (line.back() == ' ' || line.back() == '\t')) line.pop_back();
  bool has_value = false;
  std::string value = ValueAfterEquals(line, has_value);
  if (!has_value) value = line;
  const std::size_t first = value.find(' ');
  if (first == std::string::npos) return std::string();
  const std::size_t second = value.find(' ', first + 1);
  if (second == std::string::npos) return value.substr(0, first);
  return value.substr(0, first) + " " + value.substr(second + 1);
}

void SayRepeatedNames(const std::string& path, const std::map<std::string, int>& records_of,
                      const std::string& first) {
  std::size_t repeated = 0;
  for (const auto& entry : records_of) repeated += entry.second > 1;
  notify::Message("Warning: " + path + " gives " + std::to_string(repeated) +
                  (repeated == 1 ? " spectrum name" : " spectrum names") +
                  " to several records; the last record of each counts (first: " + first + ", " +
                  std::to_string(records_of.at(first)) + " records)");
}

// The header sections: the data path, the modifications and the record
// count. False (said) when the file went away between the checks.
bool ReadHeader(const std::string& path, std::string& data_path, ModificationList& modifications, int& count) {
  try {
    std::string value = COptionTool("FilePath", path).GetString("File_Path", "");
    data_path = value.find("NULL") != std::string::npos ? std::string() : value;

    // One pass over the file for all numbered names: a lookup per number
    // would read the file once per modification.
    const std::map<std::string, std::string> numbered = COptionTool::ReadKeys("Modification", path);
    for (int n = 1;; ++n) {
      const auto it = numbered.find(std::to_string(n));
      if (it == numbered.end() || it->second.empty()) break;
      modifications.emplace_back(it->second, -1.0);
    }
    count = text::AtoI(COptionTool("Total", path).GetString("total", ""));
  } catch (const COptionToolException&) {
    notify::Message("Can not open file:" + path);
    return false;
  }
  return true;
}

// Up to `count` records from the line after "[Spectrum1]": a name line,
// then identification lines of which the last counts. A name given twice
// keeps the last record, which is said.
void ReadRecords(std::istream& in, int count, const std::string& path, ResultMap& results) {
  std::string line;
  bool at_records = false;
  while (text::ReadLine(in, line)) {
    if (line == "[Spectrum1]") {
      at_records = true;
      break;
    }
  }
  if (!at_records) return;

  std::map<std::string, int> records_of;
  std::string first_repeated;
  for (int record = 0; record < count; ++record) {
    if (!text::ReadLine(in, line)) break;
    bool has_name = false;
    const std::string name = ResultSpectrumName(ValueAfterEquals(line, has_name));

    std::string identification;
    while (text::ReadLine(in, line)) {
      if (line.find("[Spectrum") != std::string::npos) break;
      identification = IdentificationOf(line);
    }
    results[name] = identification;
    if (++records_of[name] == 2 && first_repeated.empty()) first_repeated = name;
  }
  if (!first_repeated.empty()) SayRepeatedNames(path, records_of, first_repeated);
}

}  // namespace

void CTagramResultFile::LoadResult(const std::string& path, ResultMap& results,
                                   std::string& data_path, ModificationList& modifications) {
  {
    std::ifstream probe;
    if (!text::OpenInput(probe, path)) {
      notify::Message("Can not open file:" + path);
      return;
    }
  }
  int count = 0;
  if (!ReadHeader(path, data_path, modifications, count)) return;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    notify::Message("Can not open file!");
    return;
  }
  ReadRecords(in, count, path, results);
}
