#include "rawreader/Vellum.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <sstream>
#include <vector>

#include "common/CommandLine.h"
#include "common/PathUtil.h"
#include "common/StandardOptions.h"
#include "common/TextUtil.h"

namespace vellum {

namespace {

constexpr std::int32_t kOk = 1;

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// A message of the program, and the reason behind it when one is known.
void Say(std::FILE* err, const char* message, const std::string& reason = std::string()) {
  std::fprintf(err, "%s\n", message);
  if (!reason.empty()) std::fprintf(err, "%s\n", reason.c_str());
}

// The temporary file beside the output, removed unless it is kept.
class PartialFile {
 public:
  explicit PartialFile(const std::string& target) : name_(target + ".XXXXXX") {
    const int fd = mkstemp(&name_[0]);
    if (fd < 0) {
      name_.clear();
      return;
    }
    // mkstemp makes the file private; the output is an ordinary file.
    const mode_t mask = umask(0);
    umask(mask);
    fchmod(fd, 0666 & ~mask);
    file_.reset(fdopen(fd, "w"));
    if (!file_) close(fd);
  }
  ~PartialFile() {
    file_.reset();
    if (!name_.empty()) unlink(name_.c_str());
  }
  PartialFile(const PartialFile&) = delete;
  PartialFile& operator=(const PartialFile&) = delete;

  std::FILE* get() const { return file_.get(); }
  const std::string& name() const { return name_; }
  // Closes the file; false when something could not be written.
  bool Close() {
    if (!file_) return false;
    const bool ok = std::ferror(file_.get()) == 0;
    return std::fclose(file_.release()) == 0 && ok;
  }
  // The file is in place; nothing is left to remove.
  void Kept() { name_.clear(); }

 private:
  std::string name_;
  FilePtr file_;
};

enum class Placed { kDone, kExists, kFailed };

// Moves the finished file to `target` unless a file appeared there meanwhile.
Placed PlaceFile(PartialFile& partial, const std::string& target) {
  if (link(partial.name().c_str(), target.c_str()) == 0) return Placed::kDone;  // ~PartialFile unlinks
  if (errno == EEXIST) return Placed::kExists;
  // File systems without hard links: the check and the move are then two steps.
  if (path::Exists(target)) return Placed::kExists;
  if (std::rename(partial.name().c_str(), target.c_str()) != 0) return Placed::kFailed;
  partial.Kept();
  return Placed::kDone;
}

// Reports progress in tenths of the scan range.
class Progress {
 public:
  Progress(std::FILE* out, long long total) : out_(out), total_(total) {}
  void Update(long long done) {
    if (total_ <= 0) return;
    const int tenth = static_cast<int>(done * 10 / total_);
    while (shown_ < tenth && shown_ < 9) {
      ++shown_;
      std::fprintf(out_, "%d0%%..", shown_);
      std::fflush(out_);
    }
  }

 private:
  std::FILE* out_;
  long long total_;
  int shown_ = 0;
};

struct ScanCounts {
  long long written = 0;
  long long skipped = 0;
};

// One scan: its block when it is an MS2 scan. False after a failure, which it
// has reported.
bool ConvertScan(CDXRawfile& raw, std::int32_t scan, std::FILE* file, ScanCounts& counts,
                 std::FILE* err) {
  const std::string where = "scan " + std::to_string(scan);
  auto reason = [&raw, &where]() {
    return raw.LastError().empty() ? where : where + ": " + raw.LastError();
  };
  std::int32_t asked = scan;
  msdata::PeakList peaks;
  std::vector<std::int32_t> flags;
  std::int32_t peak_count = 0;
  if (raw.GetMassListFromScanNum(asked, kMs2Filter, 0, 0, 0, 1, peaks, flags, peak_count) != kOk) {
    Say(err, "Error getting mass list data.", reason());
    return false;
  }
  if (asked != scan) {  // the control moved on: not an MS2 scan
    ++counts.skipped;
    return true;
  }
  double minutes = 0.0;
  if (raw.RTFromScanNum(scan, minutes) != kOk) {
    Say(err, "Error getting retention time", reason());
    return false;
  }
  std::string filter;
  if (raw.GetFilterForScanNum(scan, filter) != kOk) {
    Say(err, "Error getting filter text", reason());
    return false;
  }
  std::vector<DXPrecursorInfo> records;
  std::int32_t record_count = 0;
  if (raw.GetPrecursorInfoFromScanNum(scan, records, record_count) != kOk) {
    Say(err, "Error getting Precursor information", reason());
    return false;
  }
  int precursor_scan = 0;
  int charge = 2;
  double precursor_mz = 0.0;
  if (record_count > 0 && !records.empty()) {
    precursor_mz = records.front().isolation_mz;
    charge = records.front().charge;
    precursor_scan = records.front().scan;
  } else {
    precursor_mz = PrecursorMzFromFilter(filter);
  }

  std::fprintf(file, "H\n%d\t%f\n%s\t%s\n%d\t%d\t%f\nM\n", scan, minutes,
               ActivationText(filter).c_str(), InstrumentText(filter).c_str(), precursor_scan,
               charge, precursor_mz);
  const std::size_t n = std::min(peaks.size(), static_cast<std::size_t>(std::max(peak_count, 0)));
  for (std::size_t i = 0; i < n; ++i) {
    std::fprintf(file, "%.5f\t%.1f\n", peaks[i].first, peaks[i].second);
  }
  ++counts.written;
  return true;
}

}  // namespace

std::string ActivationText(const std::string& filter) {
  const std::size_t at = filter.find('@');
  if (at == std::string::npos) return "unknown";
  std::string word;
  for (std::size_t i = at + 1; i < filter.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(filter[i]);
    if (std::isdigit(c) || std::isspace(c)) break;
    word += filter[i];
  }
  return word.empty() ? "unknown" : text::ToUpper(word);
}

std::string InstrumentText(const std::string& filter) {
  const std::string word = filter.substr(0, filter.find(' '));
  if (word == "+") return "ITMS";
  return word.empty() ? "unknown" : word;
}

double PrecursorMzFromFilter(const std::string& filter) {
  const std::size_t at = filter.find('@');
  if (at == std::string::npos) return 0.0;
  const std::size_t blank = filter.rfind(' ', at);
  const std::size_t begin = blank == std::string::npos ? 0 : blank + 1;
  return text::AtoF(std::string_view(filter).substr(begin, at - begin));
}

std::string OutputPath(const std::string& run_path, const std::string& folder) {
  const std::filesystem::path beside = std::filesystem::path(run_path).replace_extension(".qdx");
  return folder.empty() ? beside.string() : path::Join(folder, beside.filename().string());
}

int Convert(const std::string& run_path, CDXRawfile& raw, std::FILE* out, std::FILE* err,
            const std::string& output_folder) {
  if (!path::Exists(run_path)) {
    Say(err, "Can't find the file.", run_path);
    return 1;
  }
  if (raw.Open(run_path) != kOk) {
    Say(err, "Error openning current file.\nPlease open the file first.",
        raw.LastError().empty() ? run_path : raw.LastError());
    return 1;
  }
  if (raw.SetCurrentController(0, 1) != kOk) {
    Say(err, "Error setting current controller", raw.LastError());
    return 1;
  }
  std::int32_t first = 0, last = 0;
  if (raw.GetFirstSpectrumNumber(first) != kOk) {
    Say(err, "Error getting first scan number", raw.LastError());
    return 1;
  }
  if (raw.GetLastSpectrumNumber(last) != kOk) {
    Say(err, "Error getting last scan number", raw.LastError());
    return 1;
  }

  if (!output_folder.empty() && !path::CreateDirectory(output_folder)) {
    Say(err, "Error: failed to save file.\nThe mass list data has not be saved.",
        "cannot create the output folder " + output_folder);
    return 1;
  }
  const std::string target = OutputPath(run_path, output_folder);
  auto exists = [&]() {
    std::fprintf(out, "%s already exists; it is left as it is.\n", target.c_str());
    return 0;
  };
  if (path::Exists(target)) return exists();

  PartialFile partial(target);
  if (!partial.get()) {
    Say(err, "Error: failed to save file.\nThe mass list data has not be saved.",
        target + ": " + std::strerror(errno));
    return 1;
  }
  ScanCounts counts;
  Progress progress(out, static_cast<long long>(last) - first + 1);
  for (std::int32_t scan = first; scan <= last; ++scan) {
    if (!ConvertScan(raw, scan, partial.get(), counts, err)) return 1;
    progress.Update(static_cast<long long>(scan) - first + 1);
    if (scan == last) break;  // the last scan may be the largest number there is
  }
  std::fprintf(out, "done\n");
  if (!partial.Close()) {
    Say(err, "Error: failed to save file.\nThe mass list data has not be saved.",
        target + ": the disk refused the data");
    return 1;
  }
  switch (PlaceFile(partial, target)) {
    case Placed::kExists:
      return exists();
    case Placed::kFailed:
      Say(err, "Error: failed to save file.\nThe mass list data has not be saved.",
          target + ": " + std::strerror(errno));
      return 1;
    case Placed::kDone:
      break;
  }
  std::fprintf(out, "%lld MS2 scans written to %s; %lld other scans give no block\n",
               counts.written, target.c_str(), counts.skipped);
  return 0;
}

namespace {

cli::CommandLine VellumCommandLine() {
  cli::CommandLine line("Vellum", {"[-o DIR] <run.mzML | run.mzXML>"},
                        "Writes the MS2 peak lists of a run to <run>.qdx beside it, or in the output\n"
                        "folder (an existing .qdx is never overwritten).");
  line.Add(cli::standard::Output("of the .qdx file").Default("beside the run"));
  return line;
}

}  // namespace

int Main(int argc, char** argv, CDXRawfile& raw, std::FILE* out, std::FILE* err) {
  cli::CommandLine line = VellumCommandLine();
  const std::string usage_line = line.Usage().substr(0, line.Usage().find('\n'));
  if (argc < 2) {
    Say(err, "Don't run this program directly.", usage_line);
    return 2;
  }
  std::ostringstream answer_out, answer_err;
  const int answered = line.Report(line.Parse(argc, argv), answer_out, answer_err);
  std::fputs(answer_out.str().c_str(), out);
  std::fputs(answer_err.str().c_str(), err);
  if (answered >= 0) return answered;
  const std::vector<std::string>& runs = line.Positionals();
  if (runs.size() != 1) {
    // A second run would be passed over without a word.
    Say(err, runs.empty() ? "Don't run this program directly." : "Give one run; convert several runs one call each.",
        usage_line);
    return 2;
  }
  if (line.Has("output") && line.Value("output").empty()) {
    Say(err, "option --output: the output folder is an empty name", usage_line);
    return 2;
  }
  return Convert(runs.front(), raw, out, err, line.Value("output"));
}

}  // namespace vellum
