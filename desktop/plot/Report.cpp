#include "desktop/plot/Report.h"

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <ios>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <system_error>

#include "common/CommandLine.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "desktop/plot/PictureFile.h"
#include "resultfiles/unimod/UnimodTable.h"

namespace report {

namespace {

namespace fs = std::filesystem;

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

// One file, by device and inode where both exist, else by the path with
// links and "." and ".." resolved.
bool SamePlace(const std::string& a, const std::string& b) {
  if (safefile::SameFile(a, b)) return true;
  std::error_code failed_a, failed_b;
  const fs::path place_a = fs::weakly_canonical(a, failed_a);
  const fs::path place_b = fs::weakly_canonical(b, failed_b);
  return !failed_a && !failed_b && place_a == place_b;
}

std::string Fixed(double value, int digits) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*f", digits, value);
  return buffer;
}

std::string Str(const QString& text) { return text.toStdString(); }

// A summary value as a cell: whole numbers without decimals, others in
// their shortest form, text as it is.
std::string Cell(const QJsonValue& value) {
  if (value.isBool()) return value.toBool() ? "yes" : "no";
  if (value.isString()) return Str(value.toString());
  if (value.isDouble()) {
    const double v = value.toDouble();
    char buffer[64];
    if (v == std::floor(v) && std::fabs(v) < 1e15)
      std::snprintf(buffer, sizeof buffer, "%.0f", v);
    else
      std::snprintf(buffer, sizeof buffer, "%.10g", v);
    return buffer;
  }
  if (value.isNull()) return "";
  return Str(QString::fromUtf8(QJsonDocument(value.isArray() ? QJsonDocument(value.toArray())
                                                             : QJsonDocument(value.toObject()))
                                   .toJson(QJsonDocument::Compact)));
}

// "spectra_in_clusters_of_two_or_more" -> "spectra in clusters of two or more"
std::string Words(const QString& key) {
  std::string words = Str(key);
  std::replace(words.begin(), words.end(), '_', ' ');
  return words;
}

// One summary as read.
struct Summary {
  std::string path;
  std::string run;  // the run it belongs to in a study ("" when unknown)
  bool in_runs = false;  // below runs/<run>/
  QJsonObject json;

  std::string Kind() const { return Str(json.value("kind").toString()); }
  QJsonObject Counts() const { return json.value("counts").toObject(); }
  QJsonObject Details() const { return json.value("details").toObject(); }
  // The path of the first output of `role`, "" for none.
  std::string Output(const char* role) const {
    for (const QJsonValue& item : json.value("outputs").toArray()) {
      if (item.toObject().value("role").toString() == role) return Str(item.toObject().value("path").toString());
    }
    return {};
  }
  // The first input that holds spectra: the run a step read.
  std::string SpectraInput() const {
    for (const QJsonValue& item : json.value("inputs").toArray()) {
      const QString role = item.toObject().value("role").toString();
      if (role == "spectra" || role == "input") return Str(item.toObject().value("path").toString());
    }
    return {};
  }
};

// Steps in the order a job runs them, with their headings.
const std::pair<const char*, const char*> kSteps[] = {
    {"search", "Comet search"},     {"export", "Spectrum export"},
    {"clustering", "Clustering"},   {"pairs", "Pair search"},
    {"network", "Spectral network"}, {"shiftscan", "Shiftscan"},
    {"propagation", "Propagation"}, {"confirmation", "Shift-aware confirmation"}};

std::string StepTitle(const std::string& kind) {
  for (const auto& [k, title] : kSteps)
    if (kind == k) return title;
  return kind.empty() ? "Other" : kind;
}

int StepOrder(const std::string& kind) {
  for (std::size_t i = 0; i < std::size(kSteps); ++i)
    if (kind == kSteps[i].first) return static_cast<int>(i);
  return static_cast<int>(std::size(kSteps));
}

bool IsPicture(const std::string& path) { return !plot::PictureKind(path).empty(); }

// What the folder tree holds for the report: summaries and pictures, in
// path order, down to kSearchDepth.
struct FolderScan {
  std::vector<std::string> summaries;
  std::vector<std::string> pictures;
};

FolderScan Scan(const std::string& folder) {
  FolderScan scan;
  std::error_code ec;
  fs::recursive_directory_iterator it(folder, fs::directory_options::skip_permission_denied, ec), end;
  for (; !ec && it != end; it.increment(ec)) {
    if (it.depth() >= kSearchDepth) it.disable_recursion_pending();
    std::error_code status_error;
    if (!it->is_regular_file(status_error)) continue;
    const std::string name = it->path().filename().string();
    if (text::EndsWith(name, kSummarySuffix)) scan.summaries.push_back(it->path().string());
    else if (IsPicture(name)) scan.pictures.push_back(it->path().string());
  }
  std::sort(scan.summaries.begin(), scan.summaries.end());
  std::sort(scan.pictures.begin(), scan.pictures.end());
  return scan;
}

// The run a summary below runs/<run>/ belongs to, "" elsewhere.
std::string RunFolderOf(const std::string& root, const std::string& file) {
  const fs::path relative = fs::path(file).lexically_relative(root);
  auto part = relative.begin();
  if (part == relative.end() || *part != "runs") return {};
  if (++part == relative.end()) return {};
  const std::string run = part->string();
  return ++part == relative.end() ? std::string() : run;  // runs/<file> is no run's
}

// The page's look: plain tables and figures, readable printed or on screen.
const char* kStyle() {
  return "body{font-family:'DejaVu Sans',sans-serif;margin:2em;color:#222;max-width:80em}"
         "h1{font-size:1.6em}h2{font-size:1.25em;margin-top:1.6em;border-bottom:1px solid #ccc}"
         "table{border-collapse:collapse;margin:.5em 0}"
         "th,td{border:1px solid #bbb;padding:.2em .6em;text-align:left}"
         "th{background:#eee}td.n{text-align:right}"
         "figure{display:inline-block;margin:.5em 1em .5em 0}figure img{max-width:100%;border:1px solid #ddd}"
         "figcaption{font-size:.9em;color:#444}.note{color:#555}pre{background:#f6f6f6;padding:.5em}";
}

class CPage {
 public:
  explicit CPage(const ReportInputs& inputs) : inputs_(inputs) {
    if (!inputs.unimod_path.empty()) unimod_.Load(inputs.unimod_path);
  }

  bool Build(std::string& page, std::string& error, std::vector<std::string>* warnings);
  bool BuildText(std::string& text, std::string& error, std::vector<std::string>* warnings);

 private:
  bool Load(std::string& error);
  void Heading(const std::string& text) { html_ << "<h2>" << text::XmlEscaped(text) << "</h2>\n"; }
  void Subheading(const std::string& text) { html_ << "<h3>" << text::XmlEscaped(text) << "</h3>\n"; }
  void Note(const std::string& text) { html_ << "<p class=\"note\">" << text::XmlEscaped(text) << "</p>\n"; }
  void Table(const std::string& id, const std::vector<std::string>& header,
             const std::vector<std::vector<std::string>>& rows);
  std::string UnimodNames(double shift) const;

  void Runs();
  void Counts();
  bool Pictures(std::string& error);
  void PairShifts();
  void ShiftscanShifts();
  void Propagated();
  void Calibration();
  void Settings();
  // The summaries the sections show: in a study the pooled ones, else all.
  std::vector<const Summary*> Shown(const std::string& kind = std::string()) const;

  const ReportInputs& inputs_;
  CUnimodTable unimod_;
  std::vector<Summary> summaries_;
  std::vector<std::string> damaged_;  // "file: JSON error"
  std::vector<std::string> folder_pictures_;
  bool study_ = false;
  std::ostringstream html_;
};

bool CPage::Load(std::string& error) {
  const FolderScan scan = Scan(inputs_.results_folder);
  folder_pictures_ = scan.pictures;
  for (const std::string& file : scan.summaries) {
    std::string text;
    if (std::string unread = ReadWhole(file, text); !unread.empty()) {
      damaged_.push_back(unread);
      continue;
    }
    QJsonParseError parsed;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())), &parsed);
    if (parsed.error != QJsonParseError::NoError || !document.isObject()) {
      damaged_.push_back(file + ": " +
                         (parsed.error != QJsonParseError::NoError
                              ? Str(parsed.errorString()) + " at offset " + std::to_string(parsed.offset)
                              : std::string("not a JSON object")));
      continue;
    }
    Summary summary;
    summary.path = file;
    summary.json = document.object();
    summary.run = RunFolderOf(inputs_.results_folder, file);
    summary.in_runs = !summary.run.empty();
    if (summary.run.empty()) summary.run = path::FileName(summary.SpectraInput());
    summaries_.push_back(std::move(summary));
  }
  if (summaries_.empty()) {
    error = inputs_.results_folder + ": no run summaries (*" + kSummarySuffix +
            ") in this folder or below; the results of this version's programs carry one beside each main output";
    for (const std::string& damaged : damaged_) error += "\n  damaged: " + damaged;
    return false;
  }
  std::stable_sort(summaries_.begin(), summaries_.end(),
                   [](const Summary& a, const Summary& b) { return StepOrder(a.Kind()) < StepOrder(b.Kind()); });
  // A study: runs of their own folders, or one step run on several inputs.
  std::map<std::string, std::set<std::string>> inputs_of_kind;
  for (const Summary& s : summaries_) {
    if (s.in_runs) study_ = true;
    if (!s.SpectraInput().empty()) inputs_of_kind[s.Kind()].insert(s.SpectraInput());
  }
  for (const auto& [kind, inputs] : inputs_of_kind)
    if (inputs.size() > 1) study_ = true;
  return true;
}

void CPage::Table(const std::string& id, const std::vector<std::string>& header,
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

std::string CPage::UnimodNames(double shift) const {
  std::string names;
  std::set<std::string> seen;
  for (const UnimodEntry& hit : unimod_.Matches(shift, inputs_.unimod_tolerance)) {
    if (!seen.insert(hit.interimName).second) continue;
    names += (names.empty() ? "" : ", ") + hit.interimName;
  }
  return names;
}

std::vector<const Summary*> CPage::Shown(const std::string& kind) const {
  std::vector<const Summary*> shown;
  for (const Summary& s : summaries_) {
    if (study_ && s.in_runs) continue;
    if (!kind.empty() && s.Kind() != kind) continue;
    shown.push_back(&s);
  }
  // A study without run folders: every run's summary is its own row, and
  // the sections show them all.
  return shown;
}

// A study: per step, one row per run with its counts.
void CPage::Runs() {
  if (!study_) return;
  Heading("Runs");
  for (const auto& [kind, title] : kSteps) {
    std::vector<const Summary*> of_kind;
    for (const Summary& s : summaries_)
      if (s.Kind() == kind && (s.in_runs || !s.run.empty())) of_kind.push_back(&s);
    if (of_kind.size() < 2 && !(of_kind.size() == 1 && of_kind[0]->in_runs)) continue;
    std::vector<std::string> keys;
    for (const Summary* s : of_kind)
      for (const QString& key : s->Counts().keys())
        if (std::find(keys.begin(), keys.end(), Str(key)) == keys.end()) keys.push_back(Str(key));
    std::vector<std::string> header = {"run"};
    for (const std::string& key : keys) header.push_back(Words(QString::fromStdString(key)));
    std::vector<std::vector<std::string>> rows;
    for (const Summary* s : of_kind) {
      std::vector<std::string> row = {s->run};
      for (const std::string& key : keys) row.push_back(Cell(s->Counts().value(QString::fromStdString(key))));
      rows.push_back(std::move(row));
    }
    Subheading(title);
    Table(std::string("runs-") + kind, header, rows);
  }
  Note("The sections below show the pooled results.");
}

void CPage::Counts() {
  Heading("Counts");
  const std::vector<const Summary*> shown = Shown();
  if (shown.empty()) {
    Note("No pooled results: every summary belongs to one run (see Runs above).");
    return;
  }
  std::vector<std::vector<std::string>> rows;
  for (const Summary* s : shown) {
    const std::string step = StepTitle(s->Kind());
    const QJsonObject counts = s->Counts();
    for (auto it = counts.begin(); it != counts.end(); ++it) rows.push_back({step, Words(it.key()), Cell(it.value())});
  }
  Table("counts", {"step", "what", "count"}, rows);
}

bool CPage::Pictures(std::string& error) {
  // The caller's first, then the summaries', then those lying in the tree;
  // each file once.
  std::vector<std::pair<std::string, std::string>> pictures;
  std::vector<std::string> missing;
  const auto shown = [&](const std::string& file) {
    for (const auto& picture : pictures)
      if (SamePlace(picture.second, file)) return true;
    return false;
  };
  for (const auto& [caption, file] : inputs_.pictures) {
    if (plot::PictureKind(file).empty()) {
      error = file + ": a picture must be a PNG or SVG file";
      return false;
    }
    pictures.emplace_back(caption, file);
  }
  for (const Summary& s : summaries_) {
    for (const QJsonValue& item : s.json.value("outputs").toArray()) {
      const QJsonObject output = item.toObject();
      if (output.value("role").toString() != "picture") continue;
      const std::string file = Str(output.value("path").toString());
      std::string caption = Str(output.value("caption").toString());
      if (caption.empty()) caption = path::FileName(file);
      if (study_ && !s.run.empty()) caption += " (" + s.run + ")";
      if (!path::IsRegularFile(file) || !IsPicture(file)) {
        missing.push_back(file);
        continue;
      }
      if (!shown(file)) pictures.emplace_back(caption, file);
    }
  }
  for (const std::string& file : folder_pictures_)
    if (!shown(file)) pictures.emplace_back(path::FileName(file), file);
  if (pictures.empty() && missing.empty()) return true;
  Heading("Pictures");
  for (const std::string& file : missing) Note("A summary names a picture that is not there: " + file);
  for (std::size_t i = 0; i < pictures.size(); ++i) {
    const auto& [caption, file] = pictures[i];
    const bool given = i < inputs_.pictures.size();
    std::string bytes;
    std::string unread = ReadWhole(file, bytes);
    if (unread.empty() && bytes.empty()) unread = file + ": is empty";
    if (!unread.empty()) {
      // What the caller asked for must be shown; what was found is said.
      if (given) {
        error = unread;
        return false;
      }
      Note(unread);
      continue;
    }
    const std::string kind = plot::PictureKind(file);
    const QByteArray encoded = QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())).toBase64();
    html_ << "<figure><img alt=\"" << text::XmlEscaped(caption) << "\" src=\"data:image/"
          << (kind == "svg" ? "svg+xml" : "png") << ";base64," << encoded.constData() << "\"><figcaption>"
          << text::XmlEscaped(caption) << "</figcaption></figure>\n";
  }
  return true;
}

void CPage::PairShifts() {
  Heading("Top mass shifts of the spectral pairs");
  const std::vector<const Summary*> searches = Shown("pairs");
  if (searches.empty()) {
    Note("No pair search in these results.");
    return;
  }
  for (const Summary* s : searches) {
    if (searches.size() > 1) Subheading(s->run.empty() ? s->path : s->run);
    std::vector<std::vector<std::string>> rows;
    for (const QJsonValue& item : s->Details().value("top_shifts").toArray()) {
      if (rows.size() >= static_cast<std::size_t>(inputs_.top_shifts)) break;
      const QJsonObject shift = item.toObject();
      const double mass = shift.value("delta_mass").toDouble();
      rows.push_back({Fixed(mass, 4), Cell(shift.value("pairs")), UnimodNames(mass)});
    }
    if (rows.empty()) Note("The pair search found no mass shift.");
    else Table("pair-shifts", {"mass shift (Da)", "pairs", "Unimod"}, rows);
  }
}

void CPage::ShiftscanShifts() {
  Heading("Top Shiftscan modifications");
  const std::vector<const Summary*> scans = Shown("shiftscan");
  if (scans.empty()) {
    Note("No Shiftscan run in these results.");
    return;
  }
  for (const Summary* s : scans) {
    if (scans.size() > 1) Subheading(s->run.empty() ? s->path : s->run);
    std::vector<std::vector<std::string>> rows;
    for (const QJsonValue& item : s->Details().value("modifications").toArray()) {
      if (rows.size() >= static_cast<std::size_t>(inputs_.top_shifts)) break;
      const QJsonObject m = item.toObject();
      const double mass = m.value("delta_mass").toDouble();
      rows.push_back({Fixed(mass, 4), Cell(m.value("pairs")), Fixed(m.value("delta_time").toDouble(), 2),
                      Fixed(m.value("d_score").toDouble(), 2), Cell(m.value("type")), UnimodNames(mass)});
    }
    Table("shiftscan-shifts", {"mass shift (Da)", "pairs", "delta time", "d-score", "type", "Unimod"}, rows);
  }
}

void CPage::Propagated() {
  Heading("Propagated identifications");
  const std::vector<const Summary*> jobs = Shown("propagation");
  if (jobs.empty()) {
    Note("No propagation in these results.");
    return;
  }
  for (const Summary* s : jobs) {
    if (jobs.size() > 1) Subheading(s->run.empty() ? s->path : s->run);
    const std::string table = s->Output("propagation table");
    std::string text;
    if (table.empty()) {
      Note("The propagation wrote no table of its identifications (propagate --table).");
      continue;
    }
    if (std::string unread = ReadWhole(table, text); !unread.empty()) {
      Note(unread);
      continue;
    }
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      if (!text::Trim(line).empty()) lines.push_back(line);
    }
    if (lines.empty()) continue;
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
}

// How often the shift-aware search bore out each band of transfer q-value,
// run by run: a q-value that holds on the runs it was built on and not on
// the others shows here.
void CPage::Calibration() {
  std::vector<std::vector<std::string>> rows;
  for (const Summary* s : Shown("confirmation")) {
    for (const QJsonValue& item : s->Details().value("run_bands").toArray()) {
      const QJsonObject tally = item.toObject();
      const int propagated = tally.value("propagated").toInt(), confirmed = tally.value("confirmed").toInt();
      rows.push_back({Str(tally.value("run").toString()), Str(tally.value("band").toString()),
                      std::to_string(propagated), std::to_string(confirmed),
                      propagated ? Fixed(100.0 * confirmed / propagated, 1) + "%" : ""});
    }
  }
  if (rows.empty()) return;
  Heading("Transfer q-value against the shift-aware search");
  Note("Per run and band of transfer q-value: the propagated identifications whose spectrum's rank-1 hit in "
       "the shift-aware Comet search is the propagated peptide with its shift.");
  Table("calibration", {"run", "transfer q-value", "propagated", "confirmed", "confirmed share"}, rows);
}

void CPage::Settings() {
  Heading("Settings");
  for (const Summary* s : Shown()) {
    const QJsonObject parameters = s->json.value("parameters").toObject();
    if (parameters.isEmpty()) continue;
    std::vector<std::vector<std::string>> rows;
    for (auto it = parameters.begin(); it != parameters.end(); ++it) rows.push_back({Str(it.key()), Cell(it.value())});
    Subheading(StepTitle(s->Kind()) + " (" + Str(s->json.value("program").toString()) + ", " +
               path::FileName(s->path) + ")");
    Table("settings-" + s->Kind(), {"setting", "value"}, rows);
  }
}

bool CPage::Build(std::string& page, std::string& error, std::vector<std::string>* warnings) {
  if (!Load(error)) return false;
  if (warnings) *warnings = damaged_;
  const std::time_t now = std::time(nullptr);
  char written[64];
  std::strftime(written, sizeof written, "%Y-%m-%d %H:%M UTC", std::gmtime(&now));
  html_ << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Tessera report: "
        << text::XmlEscaped(inputs_.run) << "</title>\n<style>" << kStyle() << "</style>\n</head>\n<body>\n"
        << "<h1>Tessera report</h1>\n<p>Run: <b>" << text::XmlEscaped(inputs_.run) << "</b><br>Results: "
        << text::XmlEscaped(inputs_.results_folder) << "<br>Written " << written << "</p>\n";
  for (const std::string& damaged : damaged_) Note("A damaged summary is left out: " + damaged);
  if (!inputs_.unimod_path.empty() && unimod_.Size() == 0)
    Note("Unimod names are missing: " + inputs_.unimod_path + " could not be read (" + unimod_.Error() + ").");
  Runs();
  Counts();
  if (!Pictures(error)) return false;
  PairShifts();
  ShiftscanShifts();
  Propagated();
  Calibration();
  Settings();
  html_ << "</body>\n</html>\n";
  page = html_.str();
  return true;
}

// "spectra 1120, clusters 911" of a summary's counts.
std::string CountsLine(const QJsonObject& counts) {
  std::string line;
  for (auto it = counts.begin(); it != counts.end(); ++it) {
    if (it.value().isObject() || it.value().isArray()) continue;
    line += (line.empty() ? "" : ", ") + Words(it.key()) + " " + Cell(it.value());
  }
  return line;
}

bool CPage::BuildText(std::string& text, std::string& error, std::vector<std::string>* warnings) {
  if (!Load(error)) return false;
  if (warnings) *warnings = damaged_;
  std::ostringstream out;
  out << "Summary of " << inputs_.results_folder << "\n";
  if (study_) {
    out << "Per run:\n";
    for (const auto& [kind, title] : kSteps) {
      bool any = false;
      for (const Summary& s : summaries_) {
        if (s.Kind() != kind || !s.in_runs) continue;
        if (!any) out << "  " << title << "\n";
        any = true;
        out << "    " << s.run << ": " << CountsLine(s.Counts()) << "\n";
      }
    }
    out << "Pooled:\n";
  }
  for (const Summary* s : Shown()) {
    out << "  " << StepTitle(s->Kind()) << ": " << CountsLine(s->Counts()) << "\n";
    const QJsonObject details = s->Details();
    // Where identifications went between runs, and how the shift-aware
    // search bore them out per run and per band of transfer q-value.
    for (const QJsonValue& item : details.value("transfers_between_runs").toArray()) {
      const QJsonObject t = item.toObject();
      QJsonObject counts = t;
      counts.remove("from");
      counts.remove("to");
      out << "    " << Str(t.value("from").toString()) << " -> " << Str(t.value("to").toString()) << ": "
          << CountsLine(counts) << "\n";
    }
    for (const char* table : {"runs", "bands"}) {
      const QJsonObject rows = details.value(table).toObject();
      for (auto it = rows.begin(); it != rows.end(); ++it)
        out << "    " << Str(it.key()) << ": " << CountsLine(it.value().toObject()) << "\n";
    }
    for (const QJsonValue& item : details.value("run_bands").toArray()) {
      QJsonObject counts = item.toObject();
      out << "    " << Str(counts.take("run").toString()) << ", " << Str(counts.take("band").toString()) << ": "
          << CountsLine(counts) << "\n";
    }
  }
  for (const std::string& damaged : damaged_) out << "  (a damaged summary is left out: " << damaged << ")\n";
  text = out.str();
  return true;
}

}  // namespace

std::string CheckReportOutput(const ReportInputs& inputs, const std::string& output) {
  std::vector<std::string> read;
  const FolderScan scan = Scan(inputs.results_folder);
  read.insert(read.end(), scan.summaries.begin(), scan.summaries.end());
  read.insert(read.end(), scan.pictures.begin(), scan.pictures.end());
  for (const auto& picture : inputs.pictures) read.push_back(picture.second);
  if (!inputs.unimod_path.empty()) read.push_back(inputs.unimod_path);
  // What the summaries name (tables, pictures) is read too.
  for (const std::string& file : scan.summaries) {
    std::string text;
    if (!ReadWhole(file, text).empty()) continue;
    const QJsonDocument document =
        QJsonDocument::fromJson(QByteArray(text.data(), static_cast<qsizetype>(text.size())));
    for (const QJsonValue& item : document.object().value("outputs").toArray())
      read.push_back(Str(item.toObject().value("path").toString()));
  }
  for (const std::string& input : read) {
    if (!input.empty() && SamePlace(input, output)) return output + " would replace a file the report reads: " + input;
  }
  if (text::EndsWith(path::FileName(output), kSummarySuffix))
    return output + ": the page would be read as a run summary by the next report";
  if (path::IsDirectory(output)) return output + ": is a folder, not a file";
  return std::string();
}

bool BuildReport(const ReportInputs& inputs, std::string& html, std::string& error,
                 std::vector<std::string>* warnings) {
  CPage page(inputs);
  return page.Build(html, error, warnings);
}

bool BuildTextSummary(const ReportInputs& inputs, std::string& text, std::string& error,
                      std::vector<std::string>* warnings) {
  CPage page(inputs);
  return page.BuildText(text, error, warnings);
}

}  // namespace report
