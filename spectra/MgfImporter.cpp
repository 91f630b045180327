#include "spectra/MgfImporter.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <deque>
#include <future>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "spectra/ImportSupport.h"

namespace {

using spectra::ParseDouble;
using spectra::ParseInt;
using spectra::StartsWithNoCase;
using spectra::TrimView;

// "2+", "3-", "2+ and 3+", "2+,3+", "2": every charge named, in order.
bool ParseCharges(std::string_view text, std::vector<int>& charges) {
  charges.clear();
  std::string_view s = text;
  for (;;) {
    while (!s.empty() && (s[0] == ' ' || s[0] == '\t' || s[0] == ',')) s.remove_prefix(1);
    if (s.empty()) break;
    if (StartsWithNoCase(s, "and")) {
      s.remove_prefix(3);
      continue;
    }
    int z = 0;
    if (!ParseInt(s, z) || !spectra::AsCharge(z, z)) return false;
    if (!s.empty() && (s[0] == '+' || s[0] == '-')) {
      if (s[0] == '-') z = -z;
      s.remove_prefix(1);
    }
    if (z != 0) charges.push_back(z);
  }
  return true;
}

struct PendingSpectrum {
  std::string title;
  double mz = 0.0;
  bool has_mz = false;
  double rt = 0.0;
  int first_scan = -1;
  int last_scan = -1;
  bool has_charge = false;
  std::vector<int> charges;
  msdata::PeakList peaks;
  std::size_t begin_line = 0;
  bool bad = false;

  void Reset(std::size_t line) {
    title.clear();
    mz = 0.0;
    has_mz = false;
    rt = 0.0;
    first_scan = last_scan = -1;
    has_charge = false;
    charges.clear();
    peaks.clear();
    begin_line = line;
    bad = false;
  }
};

std::string_view SkipBlanks(std::string_view s) {
  while (!s.empty() && (s[0] == ' ' || s[0] == '\t')) s.remove_prefix(1);
  return s;
}

// One scan number at the start of `s`: digits only, within int; `s` is
// advanced past it and the blanks after it.
bool TakeScan(std::string_view& s, int& scan) {
  s = SkipBlanks(s);
  if (s.empty() || s[0] < '0' || s[0] > '9') return false;
  const auto result = std::from_chars(s.data(), s.data() + s.size(), scan);
  if (result.ec != std::errc()) return false;
  s = SkipBlanks(s.substr(static_cast<std::size_t>(result.ptr - s.data())));
  return true;
}

// A SCANS value taken whole: "first", "first-last", or a list
// "first,...,last". False for anything else, such as "1e3" or "12abc",
// whose leading digits are another scan than the file meant. A range given
// backwards keeps its first scan only.
bool ParseScans(std::string_view s, int& first, int& last) {
  if (!TakeScan(s, first)) return false;
  last = first;
  if (!s.empty() && s[0] == '-') {
    s.remove_prefix(1);
    if (!TakeScan(s, last)) return false;
  } else {
    while (!s.empty() && s[0] == ',') {
      s.remove_prefix(1);
      if (!TakeScan(s, last)) return false;
    }
  }
  if (!s.empty()) return false;
  if (last < first) last = first;
  return true;
}

// Scan numbers hidden in a title: "scan=123" as in msconvert's native ids.
bool ScanFromTitle(std::string_view title, int& scan) {
  const std::size_t pos = title.find("scan=");
  if (pos == std::string_view::npos) return false;
  std::string_view rest = title.substr(pos + 5);
  return ParseInt(rest, scan) && scan >= 0;
}

// A title such as "run.120.120.2.dta", "run.120.120.2" or
// "run.120.120.2.dta File:..." names the spectrum itself.
bool DtaNameFromTitle(const std::string& title, msdata::DtaNameParts& parts) {
  std::string token = title.substr(0, title.find_first_of(" \t"));
  if (token.empty()) return false;
  if (token.size() < 4 || token.compare(token.size() - 4, 4, ".dta") != 0) {
    if (token.size() >= 4 && (token.compare(token.size() - 4, 4, ".DTA") == 0)) {
      token.replace(token.size() - 4, 4, ".dta");
    } else {
      token += ".dta";
    }
  }
  return msdata::ParseDtaName(token, parts) && !parts.prefix.empty() && parts.first_scan >= 0 &&
         parts.last_scan >= 0;
}

// Peak lines dominate the file and are told apart by their first character.
bool StartsPeakLine(char c) { return (c >= '0' && c <= '9') || c == '.' || c == '+' || c == '-'; }

// Peaks are gathered in one reused buffer and handed on in a vector of
// exactly their size: growing each spectrum's own vector would allocate
// several times per spectrum and leave up to half of the memory unused.
msdata::PeakList ExactCopy(const msdata::PeakList& peaks) {
  return msdata::PeakList(peaks.begin(), peaks.end());
}
msdata::PeakList TakeExact(msdata::PeakList& peaks) {
  if (peaks.capacity() == peaks.size()) return std::move(peaks);
  return ExactCopy(peaks);
}


// Where the reading of a piece of the file hands on what it finds, in file
// order. Lines are counted from the piece's start.
class PieceOutput {
 public:
  virtual ~PieceOutput() = default;
  // A spectrum read whole; `index` is its 1-based position in the piece.
  virtual void Spectrum(PendingSpectrum& spectrum, std::size_t index,
                        const CMS2Input::RecordPlace& place) = 0;
  // A CHARGE line outside the spectra: the default of the spectra after it.
  virtual void DefaultCharges(const std::vector<int>& charges) = 0;
  virtual void Problem(std::size_t line, std::string_view text, const char* why) = 0;
  // A line passed over in a spectrum that is still read.
  virtual void Note(std::size_t line, std::string_view text) = 0;
};

// How a piece ended.
struct PieceEnd {
  std::size_t lines = 0;
  std::size_t begun = 0;  // spectra begun (BEGIN IONS lines)
  bool open = false;      // a readable spectrum still lacked END IONS
  std::size_t open_line = 0;
  bool failed = false;    // a read error
};

// Reads a piece of an MGF file: the lines `reader` gives, which begin at
// byte `begin` of the file, at the file's start or at a BEGIN IONS line, so
// that no spectrum is open when it starts. One spectrum is gathered at a
// time in buffers kept from record to record.
class PieceReader {
 public:
  PieceReader(spectra::LineReader& reader, std::int64_t begin, bool first_piece, PieceOutput& out)
      : reader_(reader), begin_(begin), first_piece_(first_piece), out_(out) {}

  PieceEnd Read(spectra::Progress* progress) {
    std::string_view line;
    while (reader_.Next(line)) {
      if (progress && (reader_.LineNumber() & 0xffff) == 0) {
        progress->Update(reader_.Consumed(), reader_.Size());
      }
      const std::string_view s = Trimmed(line);
      if (s.empty()) continue;
      if (in_ions_) {
        IonsLine(s);
      } else {
        OutsideLine(s);
      }
    }
    PieceEnd end;
    end.lines = reader_.LineNumber();
    end.begun = index_;
    end.open = in_ions_ && !cur_.bad;
    end.open_line = cur_.begin_line;
    end.failed = reader_.Failed();
    return end;
  }

 private:
  static bool IsComment(char c) { return c == '#' || c == ';' || c == '!' || c == '/'; }
  static bool KeyIs(std::string_view key, std::string_view name) {
    return key.size() == name.size() && StartsWithNoCase(key, name);
  }

  // The line without blanks at its ends, and without the byte-order mark
  // that may open the file.
  std::string_view Trimmed(std::string_view line) const {
    std::string_view s = TrimView(line);
    if (first_piece_ && reader_.LineNumber() == 1 && s.size() >= 3 &&
        s.substr(0, 3) == "\xEF\xBB\xBF") {
      s = TrimView(s.substr(3));
    }
    return s;
  }

  void BadLine(std::string_view text, const char* why) {
    out_.Problem(reader_.LineNumber(), text, why);
  }
  // Marks the spectrum as unusable after a bad line.
  void Spoil(std::string_view text, const char* why) {
    BadLine(text, why);
    cur_.bad = true;
  }

  void BeginSpectrum() {
    ++index_;
    cur_.Reset(reader_.LineNumber());
    record_start_ = begin_ + static_cast<std::int64_t>(reader_.LineStart());
  }

  void FinishSpectrum() {
    if (cur_.bad) return;
    if (!cur_.has_mz) {
      out_.Problem(cur_.begin_line, "BEGIN IONS", "spectrum without PEPMASS");
      return;
    }
    const std::int64_t end = begin_ + static_cast<std::int64_t>(reader_.Consumed());
    out_.Spectrum(cur_, index_, {record_start_, end - record_start_});
  }

  // A line between BEGIN IONS and END IONS.
  void IonsLine(std::string_view s) {
    const char c0 = s[0];
    // Peak lines dominate the file: test for them first.
    if (StartsPeakLine(c0)) {
      if (!cur_.bad) PeakLine(s);
      return;
    }
    if (StartsWithNoCase(s, "END IONS")) {
      FinishSpectrum();
      in_ions_ = false;
      return;
    }
    if (StartsWithNoCase(s, "BEGIN IONS")) {
      if (!cur_.bad) out_.Problem(cur_.begin_line, "BEGIN IONS", "spectrum without END IONS");
      BeginSpectrum();
      return;
    }
    if (IsComment(c0)) return;
    const std::size_t eq = s.find('=');
    if (eq == std::string_view::npos || eq == 0) {
      if (!cur_.bad) BadLine(s, "is neither a peak nor a parameter");
      cur_.bad = true;
      return;
    }
    if (!cur_.bad) Parameter(s, TrimView(s.substr(0, eq)), TrimView(s.substr(eq + 1)));
  }

  void PeakLine(std::string_view s) {
    double mz = 0.0, intensity = 0.0;
    const char* why = nullptr;
    if (!spectra::ParseMgfPeakLine(s, mz, intensity, why)) {
      Spoil(s, why);
      return;
    }
    cur_.peaks.emplace_back(mz, intensity);
  }

  // A "KEY=value" line of a spectrum; unknown keys are passed over.
  void Parameter(std::string_view s, std::string_view key, std::string_view value) {
    if (KeyIs(key, "TITLE")) {
      cur_.title.assign(value.data(), value.size());
    } else if (KeyIs(key, "PEPMASS")) {
      double mz = 0.0;
      if (!ParseDouble(value, mz) || !std::isfinite(mz) || mz <= 0.0) {
        Spoil(s, "has no usable precursor m/z");
        return;
      }
      if (const char* why = msdata::PrecursorMzProblem(mz)) {
        Spoil(s, why);
        return;
      }
      cur_.mz = mz;
      cur_.has_mz = true;
    } else if (KeyIs(key, "CHARGE")) {
      if (!ParseCharges(value, cur_.charges)) {
        Spoil(s, "has no readable charge");
        return;
      }
      cur_.has_charge = !cur_.charges.empty();
    } else if (KeyIs(key, "RTINSECONDS")) {
      double rt = 0.0;
      if (!ParseDouble(value, rt) || !std::isfinite(rt)) {
        Spoil(s, "has no readable retention time");
        return;
      }
      cur_.rt = rt;
    } else if (KeyIs(key, "SCANS")) {
      Scans(s, value);
    }
  }

  // A SCANS value that is no scan number is passed over (and said): the
  // spectrum is then named as one without SCANS, by a scan= in its title or
  // by its position, rather than after a scan the file did not mean. Its
  // peaks are as good as any.
  void Scans(std::string_view s, std::string_view value) {
    int first = 0, last = 0;
    if (!ParseScans(value, first, last)) {
      out_.Note(reader_.LineNumber(), s);
      return;
    }
    cur_.first_scan = first;
    cur_.last_scan = last;
  }

  // Outside a spectrum: the file's own parameters, comments, or a new spectrum.
  void OutsideLine(std::string_view s) {
    if (StartsWithNoCase(s, "BEGIN IONS")) {
      in_ions_ = true;
      BeginSpectrum();
      return;
    }
    if (IsComment(s[0])) return;
    const std::size_t eq = s.find('=');
    if (eq == std::string_view::npos || eq == 0) {
      BadLine(s, "lies outside BEGIN IONS / END IONS");
      return;
    }
    if (KeyIs(TrimView(s.substr(0, eq)), "CHARGE")) {
      std::vector<int> charges;
      if (ParseCharges(TrimView(s.substr(eq + 1)), charges)) {
        out_.DefaultCharges(charges);
      } else {
        BadLine(s, "has no readable charge");
      }
    }
  }

  spectra::LineReader& reader_;
  const std::int64_t begin_;
  const bool first_piece_;
  PieceOutput& out_;
  PendingSpectrum cur_;
  std::int64_t record_start_ = -1;  // where cur_'s BEGIN IONS line starts
  bool in_ions_ = false;
  std::size_t index_ = 0;
};

PieceEnd ReadPiece(spectra::LineReader& reader, std::int64_t begin, bool first_piece,
                   PieceOutput& out, spectra::Progress* progress) {
  return PieceReader(reader, begin, first_piece, out).Read(progress);
}

// Where pieces of [0, size) start when the file is read on several
// threads: 0, then the first line "BEGIN IONS" starting at least
// `piece_bytes` after the last start.
std::vector<std::int64_t> PieceStarts(const std::string& path, std::size_t size,
                                      std::size_t piece_bytes) {
  std::vector<std::int64_t> starts{0};
  std::FILE* f = std::fopen(path.c_str(), "rb");
  if (!f) return starts;
  constexpr std::string_view kBegin = "\nBEGIN IONS";
  std::vector<char> window(std::size_t{64} << 10);
  std::int64_t at = static_cast<std::int64_t>(piece_bytes);
  while (at > starts.back() && static_cast<std::size_t>(at) < size) {
    if (std::fseek(f, static_cast<long>(at - 1), SEEK_SET) != 0) break;
    const std::size_t n = std::fread(window.data(), 1, window.size(), f);
    if (n < kBegin.size()) break;
    const std::string_view text(window.data(), n);
    const std::size_t hit = text.find(kBegin);
    if (hit == std::string_view::npos) {
      at += static_cast<std::int64_t>(n - kBegin.size() + 1);
      continue;
    }
    starts.push_back(at - 1 + static_cast<std::int64_t>(hit) + 1);
    at = starts.back() + static_cast<std::int64_t>(piece_bytes);
  }
  std::fclose(f);
  return starts;
}

// What a piece read on another thread found, kept to be taken in order.
class RecordedPiece : public PieceOutput {
 public:
  void Spectrum(PendingSpectrum& spectrum, std::size_t index,
                const CMS2Input::RecordPlace& place) override {
    Event e;
    e.kind = Event::kSpectrum;
    e.spectrum = spectrum;  // a copy: its peaks exactly sized, the reading keeps its buffer
    e.index = index;
    e.place = place;
    events_.push_back(std::move(e));
  }
  void DefaultCharges(const std::vector<int>& charges) override {
    Event e;
    e.kind = Event::kDefaultCharges;
    e.spectrum.charges = charges;
    events_.push_back(std::move(e));
  }
  void Problem(std::size_t line, std::string_view text, const char* why) override {
    Event e;
    e.kind = Event::kProblem;
    e.index = line;
    // DescribeLine shows the start of a line only.
    e.text.assign(text.substr(0, 128));
    e.why = why;
    events_.push_back(std::move(e));
  }
  void Note(std::size_t line, std::string_view text) override {
    Event e;
    e.kind = Event::kNote;
    e.index = line;
    e.text.assign(text.substr(0, 128));
    events_.push_back(std::move(e));
  }
  void Replay(PieceOutput& out) {
    for (Event& e : events_) {
      switch (e.kind) {
        case Event::kSpectrum:
          out.Spectrum(e.spectrum, e.index, e.place);
          break;
        case Event::kDefaultCharges:
          out.DefaultCharges(e.spectrum.charges);
          break;
        case Event::kProblem:
          out.Problem(e.index, e.text, e.why);
          break;
        case Event::kNote:
          out.Note(e.index, e.text);
          break;
      }
    }
    events_.clear();
  }
  PieceEnd end;

 private:
  struct Event {
    enum Kind : unsigned char { kSpectrum, kDefaultCharges, kProblem, kNote } kind = kSpectrum;
    PendingSpectrum spectrum;
    std::size_t index = 0;  // of a spectrum; the line of a problem or note
    CMS2Input::RecordPlace place;
    std::string text;
    const char* why = nullptr;
  };
  std::vector<Event> events_;
};

// Takes in the pieces in file order: names the spectra, applies the
// default charges and numbers spectra and lines across pieces.
class Assembly : public PieceOutput {
 public:
  Assembly(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
           const CMS2Input::Hook& hook)
      : path_(path), base_(path::BaseName(path)), file_(path::FileName(path)), sink_(spectra, false) {
    sink_.SetHook(&hook);
  }
  void SetOriginHook(const CMS2Input::OriginHook* hook) { sink_.SetOriginHook(hook); }
  spectra::SpectrumSink& Sink() { return sink_; }
  spectra::ProblemLog& Problems() { return problems_; }

  void Spectrum(PendingSpectrum& cur, std::size_t index,
                const CMS2Input::RecordPlace& place) override {
    index += spectra_before_;
    const std::vector<int>& charges = cur.has_charge ? cur.charges : default_charges_;
    sink_.SetPlace(place);
    CMS2Input::Origin origin;
    origin.file = file_;
    origin.run = base_;
    origin.title = cur.title;
    origin.index = index - 1;
    msdata::DtaNameParts parts;
    if (DtaNameFromTitle(cur.title, parts)) {
      origin.scan = parts.first_scan;
      sink_.SetOrigin(origin);
      // The title's charge is what the converter assumed; an explicit CHARGE wins.
      std::vector<int> title_charge;
      if (charges.empty() && parts.charge != 0) title_charge.push_back(parts.charge);
      Refused(cur, sink_.Add(parts.prefix, parts.first_scan, parts.last_scan,
                             charges.empty() ? title_charge : charges, cur.mz, cur.rt, TakeExact(cur.peaks)));
      return;
    }
    int first = cur.first_scan, last = cur.last_scan;
    if (first < 0) {
      int scan = 0;
      if (ScanFromTitle(cur.title, scan)) {
        first = last = scan;
        origin.scan = scan;
      } else {
        first = last = static_cast<int>(index);
      }
    } else {
      origin.scan = first;
    }
    sink_.SetOrigin(origin);
    Refused(cur, sink_.Add(base_, first, last, charges, cur.mz, cur.rt, TakeExact(cur.peaks)));
  }
  void DefaultCharges(const std::vector<int>& charges) override { default_charges_ = charges; }
  void Problem(std::size_t line, std::string_view text, const char* why) override {
    problems_.Add(spectra::DescribeLine(path_, lines_before_ + line, text) + " " + why);
  }
  void Note(std::size_t line, std::string_view text) override {
    if (unread_scans_++ == 0) first_unread_scans_ = spectra::DescribeLine(path_, lines_before_ + line, text);
  }
  // Says once how many SCANS lines were passed over, with the first.
  void ReportNotes() const {
    if (unread_scans_ == 0) return;
    notify::Message("Warning: " + path_ + ": " + std::to_string(unread_scans_) +
                    (unread_scans_ == 1 ? " SCANS line holds" : " SCANS lines hold") +
                    " no scan number and " + (unread_scans_ == 1 ? "was" : "were") +
                    " passed over; such a spectrum is named by a scan= in its title, else by its"
                    " position in the file; first: " + first_unread_scans_);
  }
  // After a piece: `last` says whether it ended the file.
  void EndPiece(const PieceEnd& end, bool last) {
    if (end.open) {
      Problem(end.open_line, "BEGIN IONS",
              last ? "spectrum cut off at the end of the file" : "spectrum without END IONS");
    }
    lines_before_ += end.lines;
    spectra_before_ += end.begun;
  }

 private:
  // A spectrum the sink refused (a precursor no ion has) is a problem of its record.
  void Refused(const PendingSpectrum& cur, const char* why) {
    if (why) Problem(cur.begin_line, "BEGIN IONS", why);
  }

  std::string path_;
  std::string base_;
  std::string file_;
  spectra::SpectrumSink sink_;
  spectra::ProblemLog problems_;
  std::vector<int> default_charges_;
  std::size_t unread_scans_ = 0;
  std::string first_unread_scans_;
  std::size_t lines_before_ = 0;
  std::size_t spectra_before_ = 0;
};

}  // namespace

bool CMgfImporter::Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                        bool replace) {
  spectra::LineReader reader;
  if (!spectra::BeginTextLoad(path, spectra, replace, reader, last_error_)) return false;
  Assembly assembly(path, spectra, hook_);
  assembly.SetOriginHook(&origin_hook_);
  // Real MGF spectra take a few kilobytes each; a rough guess spares rehashing.
  assembly.Sink().Expect(std::min<std::size_t>(reader.Size() / 2048, std::size_t{1} << 24));
  spectra::Progress progress(verbose_, path);

  const std::vector<std::int64_t> starts =
      threads_ > 1 ? PieceStarts(path, reader.Size(), piece_bytes_) : std::vector<std::int64_t>{0};
  bool failed = false;
  if (starts.size() == 1) {
    const PieceEnd end = ReadPiece(reader, 0, true, assembly, &progress);
    assembly.EndPiece(end, true);
    failed = end.failed;
  } else {
    // Pieces are read on other threads, a few ahead, and taken in order.
    const std::size_t pieces = starts.size();
    auto read = [&path, &starts, pieces, size = reader.Size()](std::size_t p) {
      auto piece = std::make_unique<RecordedPiece>();
      const std::int64_t end = p + 1 < pieces ? starts[p + 1] : static_cast<std::int64_t>(size);
      spectra::LineReader part;
      if (!part.OpenRange(path, starts[p], end)) {
        piece->end.failed = true;
        return piece;
      }
      piece->end = ReadPiece(part, starts[p], p == 0, *piece, nullptr);
      return piece;
    };
    std::deque<std::future<std::unique_ptr<RecordedPiece>>> ahead;
    std::size_t next = 0;
    const std::size_t depth = static_cast<std::size_t>(threads_) + 1;
    for (std::size_t p = 0; p < pieces; ++p) {
      while (next < pieces && ahead.size() < depth) {
        ahead.push_back(std::async(std::launch::async, read, next++));
      }
      std::unique_ptr<RecordedPiece> piece = ahead.front().get();
      ahead.pop_front();
      piece->Replay(assembly);
      assembly.EndPiece(piece->end, p + 1 == pieces);
      progress.Update(static_cast<std::size_t>(p + 1 < pieces ? starts[p + 1] : static_cast<std::int64_t>(reader.Size())),
                      reader.Size());
      if (piece->end.failed) {
        failed = true;
        break;
      }
    }
    for (auto& f : ahead) f.wait();
  }
  const bool loaded = spectra::FinishTextLoad(path, failed, assembly.Sink(), assembly.Problems(), last_error_);
  if (loaded) assembly.ReportNotes();
  return loaded;
}

CMgfPeakReader::~CMgfPeakReader() {
  if (fd_ >= 0) ::close(fd_);
}

bool CMgfPeakReader::Open(const std::string& path) {
  if (fd_ >= 0) ::close(fd_);
  fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd_ >= 0;
}

bool CMgfPeakReader::Read(const RecordPlace& place, msdata::PeakList& peaks) const {
  peaks.clear();
  if (fd_ < 0 || place.offset < 0) return false;
  // The record is read whole where its length is known; otherwise, or when
  // it is not all there, in pieces of a few pages, keeping an unfinished
  // line and reading on.
  std::size_t piece = std::size_t{8} << 10;
  if (place.length > 0 && static_cast<std::uint64_t>(place.length) < (std::uint64_t{1} << 30)) {
    piece = static_cast<std::size_t>(place.length);
  }
  thread_local std::vector<char> buffer;
  if (buffer.size() < piece) buffer.resize(piece);
  std::size_t begin = 0, end = 0;
  off_t at = static_cast<off_t>(place.offset);
  bool first_line = true;
  for (;;) {
    const char* nl = static_cast<const char*>(std::memchr(buffer.data() + begin, '\n', end - begin));
    std::string_view line;
    bool last = false;
    if (nl) {
      line = std::string_view(buffer.data() + begin, static_cast<std::size_t>(nl - buffer.data()) - begin);
      begin = static_cast<std::size_t>(nl - buffer.data()) + 1;
    } else {
      if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, end - begin);
        end -= begin;
        begin = 0;
      }
      if (end == buffer.size()) buffer.resize(buffer.size() * 2);
      const ssize_t n = ::pread(fd_, buffer.data() + end, std::min(piece, buffer.size() - end), at);
      if (n < 0) return false;
      piece = std::size_t{8} << 10;
      if (n > 0) {
        at += n;
        end += static_cast<std::size_t>(n);
        continue;
      }
      if (end == begin) return false;  // cut off before END IONS
      line = std::string_view(buffer.data() + begin, end - begin);
      begin = end;
      last = true;
    }
    std::string_view s = TrimView(line);
    if (first_line) {
      if (s.size() >= 3 && s.substr(0, 3) == "\xEF\xBB\xBF") s = TrimView(s.substr(3));
      if (!StartsWithNoCase(s, "BEGIN IONS")) return false;
      first_line = false;
    } else if (!s.empty()) {
      const char c0 = s[0];
      if (StartsPeakLine(c0)) {
        double mz = 0.0, intensity = 0.0;
        const char* why = nullptr;
        if (!spectra::ParseMgfPeakLine(s, mz, intensity, why)) return false;
        peaks.emplace_back(mz, intensity);
      } else if (StartsWithNoCase(s, "END IONS")) {
        spectra::SortPeaksIfNeeded(peaks);
        return true;
      } else if (StartsWithNoCase(s, "BEGIN IONS")) {
        return false;
      }
    }
    if (last) return false;
  }
}
