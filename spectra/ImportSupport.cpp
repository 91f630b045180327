#include "spectra/ImportSupport.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"

namespace spectra {

double PrecursorMH(double mz, int charge) {
  if (charge < 0) {
    const int z = -charge;
    return (mz + msdata::kProtonMass) * z + msdata::kProtonMass;
  }
  return msdata::MHFromMz(mz, charge);
}

std::string QuotedText(std::string_view text) {
  // Binary junk would garble a message box or a terminal; show it as '?'.
  constexpr std::size_t kShown = 80;
  std::string shown;
  for (std::size_t i = 0; i < text.size() && i < kShown; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    shown += (c < 0x20 && c != '\t') || c >= 0x7f ? '?' : static_cast<char>(c);
  }
  if (text.size() > kShown) shown += "...";
  return "\"" + shown + "\"";
}

std::string DescribeLine(const std::string& file, std::size_t line, std::string_view text) {
  return file + ":" + std::to_string(line) + ": " + QuotedText(text);
}

void ProblemLog::Add(std::string text) {
  if (count_ == 0) first_ = std::move(text);
  ++count_;
}

std::string ProblemLog::Summary(const std::string& file) const {
  if (count_ == 0) return std::string();
  return file + ": skipped " + std::to_string(count_) + (count_ == 1 ? " record" : " records") +
         " that could not be read; first: " + first_;
}

TakenNames::TakenNames(const std::vector<msdata::CSpectrum>& spectra)
    : spectra_(spectra), keys_(0, Hash{this}, Equal{this}) {
  keys_.reserve(spectra.size() * 2 + 1024);
  for (std::size_t i = 0; i < spectra.size(); ++i) keys_.insert(static_cast<std::uint32_t>(i));
}

std::string_view TakenNames::NameOf(std::uint32_t key) const {
  if (key == kProbe) return probe_;
  if (key & kApart) return apart_[key & ~kApart];
  return spectra_[key].name;
}

std::size_t TakenNames::Hash::operator()(std::uint32_t key) const {
  return std::hash<std::string_view>()(names->NameOf(key));
}

bool TakenNames::Equal::operator()(std::uint32_t a, std::uint32_t b) const {
  return names->NameOf(a) == names->NameOf(b);
}

bool TakenNames::Contains(std::string_view name) const {
  probe_ = name;
  return keys_.count(kProbe) != 0;
}

void TakenNames::TakeLast() {
  if (spectra_.size() >= kApart) throw std::length_error("too many spectra in one list");
  keys_.insert(static_cast<std::uint32_t>(spectra_.size() - 1));
}

void TakenNames::TakeApart(std::string name) {
  if (apart_.size() >= kApart - 1) throw std::length_error("too many spectra left out");
  apart_.push_back(std::move(name));
  keys_.insert(static_cast<std::uint32_t>(apart_.size() - 1) | kApart);
}

namespace {
std::vector<msdata::CSpectrum>& Emptied(std::vector<msdata::CSpectrum>& spectra, bool empty) {
  if (empty) spectra.clear();
  return spectra;
}
}  // namespace

SpectrumSink::SpectrumSink(std::vector<msdata::CSpectrum>& out, bool replace)
    : out_(Emptied(out, replace)), names_(out_) {}

std::string SpectrumSink::UniqueName(const std::string& prefix, int first_scan, int last_scan,
                                     int charge) {
  std::string name = msdata::MakeDtaName(prefix, first_scan, last_scan, charge);
  if (!names_.Contains(name)) return name;
  // Repeated titles continue where the last copy of this name stopped, so
  // that thousands of copies cost one look-up each, not one per earlier copy.
  int& n = next_suffix_[name];
  if (n < 2) n = 2;
  for (;; ++n) {
    std::string candidate = msdata::MakeDtaName(prefix + "_" + std::to_string(n), first_scan, last_scan, charge);
    if (!names_.Contains(candidate)) {
      ++n;
      return candidate;
    }
  }
}

void SortPeaksIfNeeded(msdata::PeakList& peaks) {
  auto by_mz = [](const msdata::Peak& a, const msdata::Peak& b) { return a.first < b.first; };
  if (!std::is_sorted(peaks.begin(), peaks.end(), by_mz)) {
    std::stable_sort(peaks.begin(), peaks.end(), by_mz);
  }
}

const char* SpectrumSink::Add(const std::string& prefix, int first_scan, int last_scan,
                              const std::vector<int>& charges, double mz, double retention_time,
                              msdata::PeakList&& peaks) {
  std::vector<int> used(charges);
  if (used.empty()) used.assign(std::begin(kAssumedCharges), std::end(kAssumedCharges));
  if (const char* why = msdata::PrecursorMzProblem(mz)) return why;
  for (int charge : used) {
    if (const char* why = msdata::PrecursorMHProblem(PrecursorMH(mz, charge))) return why;
  }
  SortPeaksIfNeeded(peaks);
  const std::string safe_prefix = msdata::SpectrumNamePrefix(prefix);
  if (msdata::HasUnsafeNameCharacters(prefix))
    NoteRenamed(msdata::MakeDtaName(prefix, first_scan, last_scan, used[0]),
                msdata::MakeDtaName(safe_prefix, first_scan, last_scan, used[0]));
  for (std::size_t i = 0; i < used.size(); ++i) {
    msdata::CSpectrum s;
    s.charge = used[i];
    s.precursor_mz = mz;
    s.precursor_mass = PrecursorMH(mz, used[i]);
    s.retention_time = retention_time;
    s.first_scan = first_scan;
    s.last_scan = last_scan;
    s.name = UniqueName(safe_prefix, first_scan, last_scan, used[i]);
    // The last copy takes the peaks; earlier ones copy them.
    if (i + 1 == used.size()) {
      s.peaks = std::move(peaks);
    } else {
      s.peaks = peaks;
    }
    Store(std::move(s));
  }
  return nullptr;
}

void SpectrumSink::NoteRenamed(std::string_view from, const std::string& to) {
  if (renamed_++ == 0) first_renamed_ = QuotedText(from) + " became " + QuotedText(to);
}

void SpectrumSink::ReportRenamed(const std::string& file) const {
  if (renamed_ == 0) return;
  notify::Message(file + ": " + std::to_string(renamed_) + (renamed_ == 1 ? " spectrum name" : " spectrum names") +
                  " from the file held a path or control characters and were made safe as file names"
                  " (first: " + first_renamed_ + ")");
}

void SpectrumSink::Store(msdata::CSpectrum&& spectrum) {
  ++added_;
  if (origin_hook_ && *origin_hook_) (*origin_hook_)(spectrum, origin_);
  // A name is taken once its spectrum is placed: a name handed out is not
  // in the table until then, and no other name is handed out meanwhile.
  if (hook_ && *hook_ && !(*hook_)(spectrum, place_)) {
    names_.TakeApart(std::move(spectrum.name));
    return;
  }
  out_.push_back(std::move(spectrum));
  names_.TakeLast();
}

const char* SpectrumSink::AddNamed(msdata::CSpectrum&& spectrum) {
  if (const char* why = msdata::PrecursorMHProblem(spectrum.precursor_mass)) return why;
  if (const char* why = msdata::PrecursorMzProblem(spectrum.precursor_mz)) return why;
  SortPeaksIfNeeded(spectrum.peaks);
  if (msdata::HasUnsafeNameCharacters(spectrum.name)) {
    std::string safe = msdata::SafeSpectrumName(spectrum.name);
    NoteRenamed(spectrum.name, safe);
    spectrum.name = std::move(safe);
  }
  if (names_.Contains(spectrum.name)) {
    msdata::DtaNameParts parts;
    if (msdata::ParseDtaName(spectrum.name, parts)) {
      spectrum.name = UniqueName(parts.prefix, parts.first_scan, parts.last_scan, parts.charge);
    } else {
      std::string name = spectrum.name;
      for (int n = 2; names_.Contains(name); ++n) name = spectrum.name + "_" + std::to_string(n);
      spectrum.name = name;
    }
  }
  Store(std::move(spectrum));
  return nullptr;
}

static std::string_view SkipBlanks(std::string_view s) {
  std::size_t i = 0;
  while (i < s.size() && (s[i] == ' ' || s[i] == '\t')) ++i;
  return s.substr(i);
}

namespace {

// Peak lists are mostly plain decimals such as "147.32979". With at most 15
// digits the digits form an exact integer, and dividing it by an exact power
// of ten gives the correctly rounded value: the same double strtod returns.
// Appends the run of decimal digits at q to `digits` and counts them; eight
// at a time while eight bytes are there to read. In a word of eight bytes
// the lowest non-digit ends the run; the carries and borrows of the byte
// arithmetic below only ever run from a non-digit into later bytes, which
// the run does not reach.
inline void ReadDigits(const char*& q, const char* last, std::uint64_t& digits, int& count) {
  while (last - q >= 8) {
    std::uint64_t word = 0;
    std::memcpy(&word, q, sizeof word);
    const std::uint64_t values = word - 0x3030303030303030ULL;
    const std::uint64_t outside = (values | (word + 0x4646464646464646ULL)) & 0x8080808080808080ULL;
    const int run = outside == 0 ? 8 : __builtin_ctzll(outside) / 8;
    if (run > 0) {
      // The run's digits at the top of the word, zeros below, then
      // pairs, fours and eights of digits combined.
      std::uint64_t v = values << (8 * (8 - run));
      v = v * 10 + (v >> 8);
      v = (((v & 0x000000FF000000FFULL) * (100 + (1000000ULL << 32))) +
           (((v >> 16) & 0x000000FF000000FFULL) * (1 + (10000ULL << 32)))) >>
          32;
      static constexpr std::uint64_t kScale[] = {1,      10,      100,      1000,     10000,
                                                 100000, 1000000, 10000000, 100000000};
      digits = digits * kScale[run] + v;
      count += run;
      q += run;
    }
    if (run < 8) return;
  }
  while (q != last && *q >= '0' && *q <= '9') {
    digits = digits * 10 + static_cast<unsigned>(*q - '0');
    ++count;
    ++q;
  }
}

bool ParsePlainDecimal(const char*& p, const char* last, double& value) {
  static constexpr double kPow10[] = {1e0, 1e1, 1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                      1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};
  const char* q = p;
  bool negative = false;
  if (q != last && *q == '-') {
    negative = true;
    ++q;
  }
  std::uint64_t digits = 0;
  int count = 0, fraction = 0;
  const char* start = q;
  ReadDigits(q, last, digits, count);
  const bool integer_part = q != start;
  if (q != last && *q == '.') {
    ++q;
    const char* f = q;
    ReadDigits(q, last, digits, count);
    fraction = static_cast<int>(q - f);
    if (!integer_part && fraction == 0) return false;
  } else if (!integer_part) {
    return false;
  }
  // Exponents, long digit strings, inf and nan take the general road.
  if (count > 15 || (q != last && (*q == 'e' || *q == 'E' || *q == 'x' || *q == 'X')))
    return false;
  const double v = static_cast<double>(digits) / kPow10[fraction];
  value = negative ? -v : v;
  p = q;
  return true;
}

}  // namespace

bool ParseDouble(std::string_view& s, double& value) {
  s = SkipBlanks(s);
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (first != last && *first == '+') ++first;  // from_chars refuses what strtod takes
  const char* p = first;
  if (ParsePlainDecimal(p, last, value)) {
    s = std::string_view(p, static_cast<std::size_t>(last - p));
    return true;
  }
  const auto result = std::from_chars(first, last, value);
  if (result.ec != std::errc()) return false;
  s = std::string_view(result.ptr, static_cast<std::size_t>(last - result.ptr));
  return true;
}

bool ParseInt(std::string_view& s, int& value) {
  s = SkipBlanks(s);
  const char* first = s.data();
  const char* last = s.data() + s.size();
  if (first != last && *first == '+') ++first;
  const auto result = std::from_chars(first, last, value);
  if (result.ec != std::errc()) return false;
  s = std::string_view(result.ptr, static_cast<std::size_t>(last - result.ptr));
  return true;
}

std::string_view TrimView(std::string_view s) {
  std::size_t b = 0, e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t' || s[b] == '\r')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t' || s[e - 1] == '\r')) --e;
  return s.substr(b, e - b);
}

bool StartsWithNoCase(std::string_view s, std::string_view prefix) {
  if (s.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    // ASCII case only, as the keys are: no locale look-up per character.
    auto upper = [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; };
    if (upper(s[i]) != upper(prefix[i]))
      return false;
  }
  return true;
}

LineReader::~LineReader() {
  if (file_) std::fclose(file_);
}

bool LineReader::Open(const std::string& path) {
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) return false;
  if (std::fseek(file_, 0, SEEK_END) == 0) {
    const long size = std::ftell(file_);
    if (size > 0) size_ = static_cast<std::size_t>(size);
    std::rewind(file_);
  }
  // Sized to the file (within bounds) so that small files cost little; a
  // line longer than the buffer still grows it in Fill.
  buffer_.resize(std::clamp<std::size_t>(size_ + 1, std::size_t{4} << 10, std::size_t{4} << 20));
  return true;
}

bool LineReader::OpenRange(const std::string& path, std::int64_t begin, std::int64_t end) {
  if (begin < 0 || end < begin) return false;
  file_ = std::fopen(path.c_str(), "rb");
  if (!file_) return false;
  if (fseeko(file_, static_cast<off_t>(begin), SEEK_SET) != 0) {
    failed_ = true;
    return false;
  }
  size_ = left_ = static_cast<std::size_t>(end - begin);
  buffer_.resize(std::clamp<std::size_t>(size_ + 1, std::size_t{4} << 10, std::size_t{1} << 20));
  return true;
}

bool LineReader::Fill() {
  if (eof_ || failed_) return false;
  // Keep the unfinished line at the front, and grow only when one line fills
  // the whole buffer.
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  if (end_ == buffer_.size()) buffer_.resize(buffer_.size() * 2);
  const std::size_t n =
      std::fread(buffer_.data() + end_, 1, std::min(buffer_.size() - end_, left_), file_);
  left_ -= n;
  if (n == 0) {
    if (std::ferror(file_)) failed_ = true;
    eof_ = true;
    return false;
  }
  end_ += n;
  return true;
}

bool LineReader::Next(std::string_view& line) {
  if (!file_) return false;
  std::size_t scan_from = begin_;
  for (;;) {
    const char* start = buffer_.data() + scan_from;
    const void* nl = std::memchr(start, '\n', end_ - scan_from);
    if (nl) {
      const std::size_t pos = static_cast<std::size_t>(static_cast<const char*>(nl) - buffer_.data());
      std::size_t len = pos - begin_;
      if (len > 0 && buffer_[begin_ + len - 1] == '\r') --len;
      line = std::string_view(buffer_.data() + begin_, len);
      line_start_ = consumed_;
      consumed_ += pos + 1 - begin_;
      begin_ = pos + 1;
      ++line_number_;
      return true;
    }
    const std::size_t pending = end_ - begin_;
    if (!Fill()) {
      if (failed_ || end_ == begin_) return false;
      // Last line without a line end.
      std::size_t len = end_ - begin_;
      if (len > 0 && buffer_[begin_ + len - 1] == '\r') --len;
      line = std::string_view(buffer_.data() + begin_, len);
      line_start_ = consumed_;
      consumed_ += end_ - begin_;
      begin_ = end_;
      ++line_number_;
      return true;
    }
    scan_from = begin_ + pending;
  }
}

void Progress::Update(std::size_t done, std::size_t total) {
  if (!enabled_ || total == 0) return;
  const int tenth = static_cast<int>(static_cast<double>(done) * 10.0 / static_cast<double>(total));
  if (tenth > last_tenth_ && tenth <= 10) {
    last_tenth_ = tenth;
    notify::Message(file_ + ": " + std::to_string(tenth * 10) + "%");
  }
}

}  // namespace spectra

namespace spectra {

bool ParseMgfPeakLine(std::string_view s, double& mz, double& intensity, const char*& why) {
  why = "is not a peak";
  mz = 0.0;
  intensity = 0.0;
  if (!ParseDouble(s, mz)) return false;
  if (!s.empty() && s[0] != ' ' && s[0] != '\t') return false;
  s = TrimView(s);
  if (!s.empty()) {
    if (!ParseDouble(s, intensity) || (!s.empty() && s[0] != ' ' && s[0] != '\t')) return false;
    // A third column (fragment charge) is allowed and not kept.
  }
  if (!std::isfinite(mz) || !std::isfinite(intensity)) {
    why = "holds a number out of range";
    return false;
  }
  return true;
}

int SplitNumbers(std::string_view line, double* values, int max) {
  int n = 0;
  std::string_view s = TrimView(line);
  while (!s.empty()) {
    if (n == max) return -1;
    double v = 0.0;
    if (!ParseDouble(s, v) || !std::isfinite(v)) return -1;
    if (!s.empty() && s[0] != ' ' && s[0] != '\t') return -1;
    values[n++] = v;
    s = TrimView(s);
  }
  return n;
}

bool AsCharge(double value, int& charge) { return msdata::ChargeFromNumber(value, charge); }

void PeakBlocks::Read(LineReader& reader, Progress& progress) {
  std::string_view line;
  while (reader.Next(line)) {
    if ((reader.LineNumber() & 0xffff) == 0) progress.Update(reader.Consumed(), reader.Size());
    const std::string_view s = TrimView(line);
    if (s.empty()) {
      EndBlock();
    } else {
      Line(s, reader.LineNumber());
    }
  }
  if (!reader.Failed()) EndBlock();
}

void PeakBlocks::Line(std::string_view s, std::size_t line_number) {
  if (!in_block_) {
    in_block_ = true;
    bad_ = false;
    ++index_;
    peaks_.clear();
    header_.assign(s.data(), s.size());
    header_line_ = line_number;
    Header(s, line_number);
    return;
  }
  if (bad_) return;
  double v[2];
  if (SplitNumbers(s, v, 2) != 2) {
    Refuse(s, line_number, " is not a peak");
    return;
  }
  peaks_.emplace_back(v[0], v[1]);
}

void PeakBlocks::EndBlock() {
  if (in_block_ && !bad_) Add();
  in_block_ = false;
}

void PeakBlocks::Refuse(std::string_view s, std::size_t line_number, const char* why) {
  problems_.Add(DescribeLine(path_, line_number, s) + why);
  bad_ = true;
}

void PeakBlocks::SayRefused(const char* why) {
  if (why) problems_.Add(DescribeLine(path_, header_line_, header_) + " " + why);
}

bool FinishTextLoad(const std::string& path, bool read_failed, const SpectrumSink& sink,
                    const ProblemLog& problems, std::string& error) {
  if (read_failed) {
    error = "Error reading file: " + path;
    return false;
  }
  if (sink.Added() == 0) {
    error = path + ": no spectrum could be read";
    if (problems.Count() > 0) error += "; first problem: " + problems.First();
    return false;
  }
  sink.ReportRenamed(path);
  if (problems.Count() > 0) notify::Message(problems.Summary(path));
  return true;
}

bool BeginTextLoad(const std::string& path, std::vector<msdata::CSpectrum>& spectra, bool replace,
                   LineReader& reader, std::string& error) {
  error.clear();
  if (replace) spectra.clear();
  if (path::IsDirectory(path) || !reader.Open(path)) {
    error = "Cannot open file: " + path;
    return false;
  }
  return true;
}

}  // namespace spectra
