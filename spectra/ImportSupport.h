#pragma once
// Pieces shared by the importers: naming, the charge rule for spectra without
// a precursor charge, problem collection, and the file reader of the text
// formats. Internal to the spectra library.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "common/Spectrum.h"
#include "spectra/MS2Input.h"

namespace spectra {

// Charges given to a spectrum whose file states none. DTA converters write one
// file per likely charge of an unassigned low-resolution precursor; we do the
// same so that such spectra still take part in mass comparisons.
inline constexpr int kAssumedCharges[] = {2, 3};

// MH+ from m/z and charge. Negative charges are negative-mode ions [M-zH]z-;
// their MH+ is the neutral mass plus one proton.
double PrecursorMH(double mz, int charge);

// "file:line: text" with the text shortened and control and non-ASCII bytes shown as '?'.
std::string DescribeLine(const std::string& file, std::size_t line, std::string_view text);
// The text in double quotes, shortened, with control and non-ASCII bytes as '?'.
std::string QuotedText(std::string_view text);

// Records skipped lines and spectra so that one bad record does not cost the
// whole file, while the caller still learns what was dropped.
class ProblemLog {
 public:
  void Add(std::string text);
  std::size_t Count() const { return count_; }
  const std::string& First() const { return first_; }
  // One line for the notifier: how many problems, and the first of them.
  std::string Summary(const std::string& file) const;

 private:
  std::size_t count_ = 0;
  std::string first_;
};

// The names given so far, kept as positions in the list of the spectra
// that hold them: a million spectra would otherwise hold every name twice.
// Names of spectra left out of the list are kept apart.
class TakenNames {
 public:
  explicit TakenNames(const std::vector<msdata::CSpectrum>& spectra);
  bool Contains(std::string_view name) const;
  // The name of the list's last spectrum, just added.
  void TakeLast();
  // A name whose spectrum is not in the list.
  void TakeApart(std::string name);
  void Reserve(std::size_t count) { keys_.reserve(count); }

 private:
  static constexpr std::uint32_t kApart = std::uint32_t{1} << 31;
  static constexpr std::uint32_t kProbe = ~std::uint32_t{0};
  std::string_view NameOf(std::uint32_t key) const;
  // Not declared noexcept, so that the table keeps each hash beside its key
  // instead of looking names up again to find buckets.
  struct Hash {
    const TakenNames* names;
    std::size_t operator()(std::uint32_t key) const;
  };
  struct Equal {
    const TakenNames* names;
    bool operator()(std::uint32_t a, std::uint32_t b) const;
  };

  const std::vector<msdata::CSpectrum>& spectra_;
  std::vector<std::string> apart_;
  mutable std::string_view probe_;  // the name a look-up asks for
  mutable std::unordered_set<std::uint32_t, Hash, Equal> keys_;
};

// Appends spectra to the caller's vector. Names pass through the naming
// rule of common/DtaName.h (a prefix through SpectrumNamePrefix, a whole
// name through SafeSpectrumName) and are kept unique within the vector: a
// name already present gets "_2", "_3", ... on its prefix, so that two
// titles that come to one name still give two files. The suffix has no dot
// so that the name still splits into its four fields. Precursors that no
// ion has (common/Spectrum.h) are refused.
class SpectrumSink {
 public:
  SpectrumSink(std::vector<msdata::CSpectrum>& out, bool replace);
  // Every spectrum added passes through `hook` (see CMS2Input::Hook) with
  // the place last given to SetPlace.
  void SetHook(const CMS2Input::Hook* hook) { hook_ = hook; }
  void SetPlace(const CMS2Input::RecordPlace& place) { place_ = place; }
  // Every spectrum added is told to `hook` (see CMS2Input::OriginHook) with
  // the origin last given to SetOrigin.
  void SetOriginHook(const CMS2Input::OriginHook* hook) { origin_hook_ = hook; }
  void SetOrigin(const CMS2Input::Origin& origin) { origin_ = origin; }

  // Adds one spectrum per charge in `charges`, or per assumed charge when it is
  // empty. Peaks are sorted ascending when they are not. Returns nullptr, or
  // why nothing was added (a precursor no ion has), for the caller to say
  // with the record.
  const char* Add(const std::string& prefix, int first_scan, int last_scan, const std::vector<int>& charges,
                  double mz, double retention_time, msdata::PeakList&& peaks);
  // Adds a spectrum whose fields are all set; only its name is made safe
  // and unique. Returns nullptr or why it was refused, as Add.
  const char* AddNamed(msdata::CSpectrum&& spectrum);

  std::size_t Added() const { return added_; }
  // Says through the notifier how many names taken from `file` the naming
  // rule changed beyond their blanks, with the first of them; nothing when
  // none was.
  void ReportRenamed(const std::string& file) const;
  // Expected number of spectra, so that the name table is sized once.
  void Expect(std::size_t count) { names_.Reserve(out_.size() + count); }

 private:
  std::string UniqueName(const std::string& prefix, int first_scan, int last_scan, int charge);
  void Store(msdata::CSpectrum&& spectrum);
  void NoteRenamed(std::string_view from, const std::string& to);

  std::vector<msdata::CSpectrum>& out_;
  const CMS2Input::Hook* hook_ = nullptr;
  CMS2Input::RecordPlace place_;
  const CMS2Input::OriginHook* origin_hook_ = nullptr;
  CMS2Input::Origin origin_;
  TakenNames names_;
  std::unordered_map<std::string, int> next_suffix_;
  std::size_t added_ = 0;
  std::size_t renamed_ = 0;
  std::string first_renamed_;  // "\"from\" became \"to\""
};

void SortPeaksIfNeeded(msdata::PeakList& peaks);

// Number parsing over string views with the values strtod/strtol give;
// leading blanks are skipped, and the view is advanced past the number.
bool ParseDouble(std::string_view& s, double& value);
bool ParseInt(std::string_view& s, int& value);
std::string_view TrimView(std::string_view s);
bool StartsWithNoCase(std::string_view s, std::string_view prefix);
// An MGF peak line (trimmed): "m/z [intensity [charge]]", both numbers
// finite. False with `why` set otherwise.
bool ParseMgfPeakLine(std::string_view s, double& mz, double& intensity, const char*& why);

// Reads a text file in large blocks and hands out whole lines (without line
// end, carriage return dropped). Lines may be of any length.
class LineReader {
 public:
  LineReader() = default;
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool Open(const std::string& path);
  // Reads bytes [begin, end) of the file only; offsets and sizes are then
  // counted from `begin`.
  bool OpenRange(const std::string& path, std::int64_t begin, std::int64_t end);
  // False at end of file or on a read error (see Failed).
  bool Next(std::string_view& line);
  std::size_t LineNumber() const { return line_number_; }
  // Byte offset of the first character of the line Next gave last.
  std::size_t LineStart() const { return line_start_; }
  bool Failed() const { return failed_; }
  // Bytes consumed so far and file size, for progress reports.
  std::size_t Consumed() const { return consumed_; }
  std::size_t Size() const { return size_; }

 private:
  bool Fill();

  std::FILE* file_ = nullptr;
  std::vector<char> buffer_;
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
  std::size_t line_number_ = 0;
  std::size_t consumed_ = 0;
  std::size_t line_start_ = 0;
  std::size_t size_ = 0;
  std::size_t left_ = static_cast<std::size_t>(-1);  // bytes still to read
  bool eof_ = false;
  bool failed_ = false;
};

// The common start of a text-format load: clears `spectra` when `replace` is
// set and opens `path` in `reader`. A directory or unreadable path fails with
// `error` = "Cannot open file: <path>"; otherwise `error` is cleared.
bool BeginTextLoad(const std::string& path, std::vector<msdata::CSpectrum>& spectra, bool replace,
                   LineReader& reader, std::string& error);


// Reports progress in tenths of a file through the notifier.
class Progress {
 public:
  Progress(bool enabled, std::string file) : enabled_(enabled), file_(std::move(file)) {}
  void Update(std::size_t done, std::size_t total);

 private:
  bool enabled_;
  std::string file_;
  int last_tenth_ = 0;
};

// The spectra of a text format made of blocks separated by blank lines
// (DTAS, PKL): a header line, then "m/z intensity" peak lines. A format
// reads its header and adds the block's spectrum; the lines, the bad
// blocks and the problems are handled here.
class PeakBlocks {
 public:
  PeakBlocks(const std::string& path, SpectrumSink& sink, ProblemLog& problems)
      : path_(path), sink_(sink), problems_(problems) {}
  virtual ~PeakBlocks() = default;

  // Reads the whole file: every line that is not blank, then the end of
  // the last block unless the file could not be read to its end.
  void Read(LineReader& reader, Progress& progress);

 protected:
  // The first line of a block (trimmed); Refuse when it is no header.
  virtual void Header(std::string_view s, std::size_t line_number) = 0;
  // Adds the spectrum of a block read whole, with the peaks in `peaks_`.
  virtual void Add() = 0;

  // Drops the block, with a problem naming the line.
  void Refuse(std::string_view s, std::size_t line_number, const char* why);
  // A spectrum the sink refused (`why` not null) is a problem of its header line.
  void SayRefused(const char* why);

  const std::string& path_;
  SpectrumSink& sink_;
  std::size_t index_ = 0;  // 1-based position of the block in the file
  msdata::PeakList peaks_;

 private:
  void Line(std::string_view s, std::size_t line_number);
  void EndBlock();

  ProblemLog& problems_;
  bool in_block_ = false;
  bool bad_ = false;
  std::string header_;  // the block's header line, for messages
  std::size_t header_line_ = 0;
};

// The common end of a text-format load: false with `error` set when the
// file could not be read to its end (`read_failed`) or gave no spectrum
// (naming the first problem); otherwise says through the notifier which
// names the load made safe and which records it skipped.
bool FinishTextLoad(const std::string& path, bool read_failed, const SpectrumSink& sink,
                    const ProblemLog& problems, std::string& error);

}  // namespace spectra

namespace spectra {
// Splits a line of blank-separated numbers into `values` (at most `max`).
// Returns the count, or -1 when a field is not a finite number or there are
// more than `max` fields.
int SplitNumbers(std::string_view line, double* values, int max);
// A charge read as a number: integral and of a plausible size.
bool AsCharge(double value, int& charge);
}  // namespace spectra
