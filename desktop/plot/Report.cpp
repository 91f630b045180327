#include "desktop/plot/Report.h"

#include <QByteArray>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ios>
#include <iterator>
#include <map>
#include <optional>
#include <system_error>
#include <set>
#include <sstream>

#include "common/CommandLine.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "desktop/plot/HistogramPictures.h"
#include "desktop/plot/PictureFile.h"
#include "resultfiles/unimod/UnimodTable.h"

namespace report {

namespace {

// The whole file at `path`; "" or why it cannot be read. A folder is said
// as such (opened as a file, its first read would throw).
std::string ReadWhole(const std::string& path, std::string& text) {
  if (path::IsDirectory(path)) return path + ": is a folder, not a file";
  std::ifstream in;
  if (!text::OpenInput(in, path)) return path + ": cannot be read";
  try {
    text.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  } catch (const std::ios_base::failure& failure) {
    return path + ": cannot be read (" + failure.what() + ")";
  }
  return in.bad() ? path + ": cannot be read" : std::string();
}

// The files of the results folder the page shows, each read once.
std::vector<std::string> ResultFiles() {
  std::vector<std::string> names = {kClusterFile,     kPairFile,       kPairShiftTable,
                                    kShiftscanTable, kPropagatedTable, kPropagationLog};
  names.insert(names.end(), std::begin(kSettingFiles), std::end(kSettingFiles));
  return names;
}

std::string InFolder(const ReportInputs& inputs, const std::string& name) {
  return inputs.results_folder + "/" + name;
}

// One file, by device and inode where both exist, else by the path with
// links and "." and ".." resolved: a page written at a results file's name
// that the folder lacks today would be read as that file by the next report.
bool SamePlace(const std::string& a, const std::string& b) {
  if (safefile::SameFile(a, b)) return true;
  std::error_code failed_a, failed_b;
  const std::filesystem::path place_a = std::filesystem::weakly_canonical(a, failed_a);
  const std::filesystem::path place_b = std::filesystem::weakly_canonical(b, failed_b);
  return !failed_a && !failed_b && place_a == place_b;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!text::Trim(line).empty()) lines.push_back(line);
  }
  return lines;
}

double Number(const std::string& text) {
  double value = 0.0;
  return cli::ParseFiniteNumber(text::Trim(text), value) ? value : 0.0;
}

std::string Fixed(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
  return buffer;
}

class CPage {
 public:
  explicit CPage(const ReportInputs& inputs) : inputs_(inputs) {
    if (!inputs.unimod_path.empty()) unimod_.Load(inputs.unimod_path);
  }

  // Reads every results file there is; a file the folder lacks leaves its
  // section saying so, but one that is there and cannot be read (a folder
  // at its name, no permission) fails the page, which would otherwise look
  // complete and is not.
  bool Load(std::string& error) {
    for (const std::string& name : ResultFiles()) {
      const std::string path = InFolder(inputs_, name);
      std::optional<std::string>& text = files_[name];
      if (!path::Exists(path)) continue;
      text.emplace();
      if (error = ReadWhole(path, *text); !error.empty()) return false;
    }
    return true;
  }

  // The non-blank lines of a file of the folder; false when it is absent.
  bool Read(const std::string& name, std::vector<std::string>& lines) const {
    const std::string* text = Text(name);
    if (!text) return false;
    lines = Lines(*text);
    return true;
  }

  const std::string* Text(const std::string& name) const {
    const auto found = files_.find(name);
    return found != files_.end() && found->second ? &*found->second : nullptr;
  }

  std::string UnimodNames(double shift) const {
    std::string names;
    std::set<std::string> seen;
    for (const UnimodEntry& hit : unimod_.Matches(shift, inputs_.unimod_tolerance)) {
      if (!seen.insert(hit.interimName).second) continue;
      names += (names.empty() ? "" : ", ") + hit.interimName;
    }
    return names;
  }

  void Heading(const std::string& text) { html_ << "<h2>" << text::XmlEscaped(text) << "</h2>\n"; }
  void Note(const std::string& text) { html_ << "<p class=\"note\">" << text::XmlEscaped(text) << "</p>\n"; }

  void Table(const std::string& id, const std::vector<std::string>& header,
             const std::vector<std::vector<std::string>>& rows) {
    html_ << "<table id=\"" << id << "\">\n<thead><tr>";
    for (const std::string& cell : header) html_ << "<th>" << text::XmlEscaped(cell) << "</th>";
    html_ << "</tr></thead>\n<tbody>\n";
    for (const auto& row : rows) {
      html_ << "<tr>";
      for (const std::string& cell : row) html_ << "<td>" << text::XmlEscaped(cell) << "</td>";
      html_ << "</tr>\n";
    }
    html_ << "</tbody>\n</table>\n";
  }

  bool Build(std::string& page, std::string& error);

 private:
  void Counts();
  bool Pictures(std::string& error);
  void PairShifts();
  void ShiftscanShifts();
  void Propagated();
  void Settings();

  const ReportInputs& inputs_;
  CUnimodTable unimod_;
  std::map<std::string, std::optional<std::string>> files_;
  std::ostringstream html_;
};

constexpr const char* kStyle =
    "body{font-family:'DejaVu Sans',sans-serif;margin:2em;color:#222;max-width:80em}"
    "h1{font-size:1.6em}h2{font-size:1.25em;margin-top:1.6em;border-bottom:1px solid #ccc}"
    "table{border-collapse:collapse;margin:.5em 0}"
    "th,td{border:1px solid #bbb;padding:.2em .6em;text-align:left}"
    "th{background:#eee}td.n{text-align:right}"
    "figure{display:inline-block;margin:.5em 1em .5em 0}figure img{max-width:100%;border:1px solid #ddd}"
    "figcaption{font-size:.9em;color:#444}.note{color:#555}pre{background:#f6f6f6;padding:.5em}";

void CPage::Counts() {
  std::vector<std::vector<std::string>> rows;
  std::vector<std::string> lines;
  std::vector<std::pair<int, int>> sizes;  // (size, clusters of that size)
  std::string error;
  if (const std::string* text = Text(kClusterFile); text && plot::ReadClusterSizes(*text, sizes, error)) {
    long spectra = 0, clusters = 0, clustered = 0;
    for (const auto& [size, count] : sizes) {
      spectra += static_cast<long>(size) * count;
      clusters += count;
      if (size >= 2) clustered += static_cast<long>(size) * count;
    }
    rows.push_back({"spectra clustered", std::to_string(spectra)});
    rows.push_back({"clusters", std::to_string(clusters)});
    rows.push_back({"spectra in clusters of 2 or more", std::to_string(clustered)});
  }
  if (Read(kPairFile, lines)) rows.push_back({"spectral pairs", std::to_string(lines.size())});
  if (Read(kPairShiftTable, lines)) rows.push_back({"mass shifts of the spectral pairs", std::to_string(lines.size())});
  if (Read(kShiftscanTable, lines)) rows.push_back({"Shiftscan modifications", std::to_string(lines.size())});
  if (Read(kPropagationLog, lines)) {
    const std::string key = "Identified before propagation: ";
    for (const std::string& line : lines) {
      const std::string trimmed = text::Trim(line);
      if (trimmed.rfind(key, 0) == 0) rows.push_back({"identified before propagation", trimmed.substr(key.size())});
    }
  }
  if (Read(kPropagatedTable, lines) && !lines.empty()) {
    const std::vector<std::string> header = text::Split(lines[0], '\t');
    const auto q_column = std::find(header.begin(), header.end(), "q_value") - header.begin();
    int confident = 0;
    for (std::size_t i = 1; i < lines.size(); ++i) {
      const std::vector<std::string> fields = text::Split(lines[i], '\t');
      double q = 0.0;
      if (static_cast<std::size_t>(q_column) < fields.size() && cli::ParseFiniteNumber(fields[q_column], q) &&
          q <= 0.01)
        ++confident;
    }
    rows.push_back({"identified by propagation", std::to_string(lines.size() - 1)});
    rows.push_back({"of those at 1% transfer FDR", std::to_string(confident)});
  }
  Heading("Counts");
  if (rows.empty()) {
    Note("No result files of a clustering, pair search, Shiftscan or propagation in this folder.");
    return;
  }
  Table("counts", {"what", "count"}, rows);
}

bool CPage::Pictures(std::string& error) {
  if (inputs_.pictures.empty()) return true;
  Heading("Pictures");
  for (const auto& [caption, file] : inputs_.pictures) {
    std::string bytes;
    const std::string kind = plot::PictureKind(file);
    if (kind.empty()) {
      error = file + ": a picture must be a PNG or SVG file";
      return false;
    }
    if (error = ReadWhole(file, bytes); !error.empty()) return false;
    if (bytes.empty()) {
      error = file + ": is empty";
      return false;
    }
    const QByteArray encoded = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64();
    html_ << "<figure><img alt=\"" << text::XmlEscaped(caption) << "\" src=\"data:image/"
          << (kind == "svg" ? "svg+xml" : "png") << ";base64," << encoded.constData() << "\"><figcaption>"
          << text::XmlEscaped(caption) << "</figcaption></figure>\n";
  }
  return true;
}

void CPage::PairShifts() {
  Heading("Top mass shifts of the spectral pairs");
  const std::string* text = Text(kPairShiftTable);
  if (!text) {
    Note("No pair search in this folder.");
    return;
  }
  std::vector<plot::ShiftRow> shifts;
  plot::ShiftTableKind kind;
  std::string error;
  if (!plot::ReadShiftTable(*text, shifts, kind, error)) {
    Note(std::string(kPairShiftTable) + ": " + error);
    return;
  }
  std::stable_sort(shifts.begin(), shifts.end(), [](const auto& a, const auto& b) { return a.pairs > b.pairs; });
  if (shifts.size() > static_cast<std::size_t>(inputs_.top_shifts)) shifts.resize(inputs_.top_shifts);
  std::vector<std::vector<std::string>> rows;
  for (const plot::ShiftRow& shift : shifts)
    rows.push_back({Fixed(shift.mass, 4), std::to_string(shift.pairs), UnimodNames(shift.mass)});
  Table("pair-shifts", {"mass shift (Da)", "pairs", "Unimod"}, rows);
}

void CPage::ShiftscanShifts() {
  Heading("Top Shiftscan modifications");
  std::vector<std::string> lines;
  if (!Read(kShiftscanTable, lines)) {
    Note("No Shiftscan run in this folder.");
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const std::string& line : lines) {
    if (rows.size() >= static_cast<std::size_t>(inputs_.top_shifts)) break;
    const std::vector<std::string> fields = text::Split(line, ',');
    if (fields.size() < 5) continue;
    const double shift = Number(fields[0]);
    rows.push_back({Fixed(shift, 4), text::Trim(fields[1]), text::Trim(fields[2]), text::Trim(fields[3]),
                    text::Trim(fields[4]) == "0" ? "single" : "combination", UnimodNames(shift)});
  }
  Table("shiftscan-shifts", {"mass shift (Da)", "pairs", "delta time", "d-score", "type", "Unimod"}, rows);
}

void CPage::Propagated() {
  Heading("Propagated identifications");
  std::vector<std::string> lines;
  if (!Read(kPropagatedTable, lines) || lines.empty()) {
    Note("No propagation in this folder.");
    return;
  }
  const std::vector<std::string> header = text::Split(lines[0], '\t');
  const auto column = [&](const char* name) {
    return static_cast<std::size_t>(std::find(header.begin(), header.end(), name) - header.begin());
  };
  const std::size_t spectrum = column("spectrum"), sequence = column("sequence"), route = column("route"),
                    shift = column("shift"), score = column("score"), q_value = column("q_value");
  std::vector<std::vector<std::string>> rows;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = text::Split(lines[i], '\t');
    const auto at = [&](std::size_t c) { return c < fields.size() ? fields[c] : std::string(); };
    double mass = 0.0;
    const bool shifted = cli::ParseFiniteNumber(at(shift), mass) && mass != 0.0;
    rows.push_back({at(spectrum), at(sequence), at(route), shifted ? Fixed(mass, 4) : "",
                    shifted ? UnimodNames(mass) : "", at(score), at(q_value)});
  }
  Note("The q-value is the transfer FDR: each propagated peptide scored (KSDP) on its spectrum against "
       "decoy peptides carrying the same shift.");
  Table("propagated", {"spectrum", "peptide", "route", "shift (Da)", "Unimod", "score", "q-value"}, rows);
}

void CPage::Settings() {
  Heading("Settings");
  bool any = false;
  for (const char* name : kSettingFiles) {
    const std::string* text = Text(name);
    if (!text) continue;
    any = true;
    html_ << "<h3>" << text::XmlEscaped(name) << "</h3>\n<pre>" << text::XmlEscaped(*text) << "</pre>\n";
  }
  if (!any) Note("No parameter files in this folder.");
}

bool CPage::Build(std::string& page, std::string& error) {
  if (!Load(error)) return false;
  const std::time_t now = std::time(nullptr);
  char written[64];
  std::strftime(written, sizeof written, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
  html_ << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Tessera report: "
        << text::XmlEscaped(inputs_.run) << "</title>\n<style>" << kStyle << "</style>\n</head>\n<body>\n"
        << "<h1>Tessera report</h1>\n<p>Run: <b>" << text::XmlEscaped(inputs_.run) << "</b><br>Results: "
        << text::XmlEscaped(inputs_.results_folder) << "<br>Written " << written << "</p>\n";
  if (!inputs_.unimod_path.empty() && unimod_.Size() == 0)
    Note("Unimod names are missing: " + inputs_.unimod_path + " could not be read (" + unimod_.Error() + ").");
  Counts();
  if (!Pictures(error)) return false;
  PairShifts();
  ShiftscanShifts();
  Propagated();
  Settings();
  html_ << "</body>\n</html>\n";
  page = html_.str();
  return true;
}

}  // namespace

std::string CheckReportOutput(const ReportInputs& inputs, const std::string& output) {
  std::vector<std::string> read;
  for (const std::string& name : ResultFiles()) read.push_back(InFolder(inputs, name));
  for (const auto& picture : inputs.pictures) read.push_back(picture.second);
  if (!inputs.unimod_path.empty()) read.push_back(inputs.unimod_path);
  for (const std::string& input : read) {
    if (SamePlace(input, output)) return output + " would replace a file the report reads: " + input;
  }
  if (path::IsDirectory(output)) return output + ": is a folder, not a file";
  return std::string();
}

bool BuildReport(const ReportInputs& inputs, std::string& html, std::string& error) {
  CPage page(inputs);
  return page.Build(html, error);
}

}  // namespace report
