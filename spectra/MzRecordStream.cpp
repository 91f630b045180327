#include "spectra/MzRecordStream.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace mzstream {

namespace {

constexpr char kMagic[8] = {'T', 'S', 'M', 'Z', 'R', 'E', 'C', '2'};
constexpr std::int64_t kRecordTag = 1;
constexpr std::int64_t kEndTag = 0;

// Bounds that no real scan reaches: a length beyond them is damage.
constexpr std::int64_t kMaxWord = 4096;
constexpr std::int64_t kMaxCharges = 64;
constexpr std::int64_t kMaxPeaks = std::int64_t{1} << 32;

static_assert(sizeof(msdata::Peak) == 2 * sizeof(double),
              "peaks travel as pairs of doubles, written as one block");

}  // namespace

// ---- writing ----

CRecordWriter::CRecordWriter(std::FILE* out) : out_(out) { PutBytes(kMagic, sizeof kMagic); }

void CRecordWriter::PutBytes(const void* data, std::size_t size) {
  if (ok_ && size > 0 && std::fwrite(data, 1, size, out_) != size) ok_ = false;
}
void CRecordWriter::PutInt(std::int64_t value) { PutBytes(&value, sizeof value); }
void CRecordWriter::PutDouble(double value) { PutBytes(&value, sizeof value); }
void CRecordWriter::PutString(const std::string& s) {
  PutInt(static_cast<std::int64_t>(s.size()));
  PutBytes(s.data(), s.size());
}

void CRecordWriter::Put(const ScanRecord& r) {
  PutInt(kRecordTag);
  PutInt(r.scan);
  PutInt(r.last_scan);
  PutInt(r.precursor_scan);
  PutDouble(r.rt_seconds);
  PutDouble(r.mz);
  PutInt(static_cast<std::int64_t>(r.charges.size()));
  for (int z : r.charges) PutInt(z);
  PutString(r.instrument);
  PutString(r.activation);
  PutString(r.native_id);
  PutInt(r.index);
  PutInt(static_cast<std::int64_t>(r.peaks.size()));
  PutBytes(r.peaks.data(), r.peaks.size() * sizeof(msdata::Peak));
}

bool CRecordWriter::Finish() {
  PutInt(kEndTag);
  if (std::fflush(out_) != 0) ok_ = false;
  return ok_;
}

// ---- reading ----

bool CRecordReader::Fill() {
  if (begin_ > 0) {
    std::memmove(buffer_.data(), buffer_.data() + begin_, end_ - begin_);
    end_ -= begin_;
    begin_ = 0;
  }
  for (;;) {
    const ssize_t n = ::read(fd_, buffer_.data() + end_, buffer_.size() - end_);
    if (n > 0) {
      end_ += static_cast<std::size_t>(n);
      return true;
    }
    if (n < 0 && errno == EINTR) continue;
    return false;  // the writer's end, or a read error
  }
}

bool CRecordReader::GetBytes(void* data, std::size_t size) {
  char* to = static_cast<char*>(data);
  while (size > 0) {
    if (begin_ == end_ && !Fill()) return false;
    const std::size_t n = std::min(size, end_ - begin_);
    std::memcpy(to, buffer_.data() + begin_, n);
    begin_ += n;
    to += n;
    size -= n;
  }
  return true;
}

bool CRecordReader::GetInt(std::int64_t& value) { return GetBytes(&value, sizeof value); }
bool CRecordReader::GetInt(int& value) {
  std::int64_t v = 0;
  if (!GetInt(v)) return false;
  value = static_cast<int>(v);
  return true;
}
bool CRecordReader::GetDouble(double& value) { return GetBytes(&value, sizeof value); }
bool CRecordReader::GetString(std::string& s) {
  std::int64_t n = 0;
  if (!GetInt(n) || n < 0 || n > kMaxWord) return false;
  s.resize(static_cast<std::size_t>(n));
  return GetBytes(s.data(), s.size());
}

CRecordReader::Result CRecordReader::Next(ScanRecord& r) {
  if (!started_) {
    char magic[sizeof kMagic];
    if (!GetBytes(magic, sizeof magic) || std::memcmp(magic, kMagic, sizeof kMagic) != 0)
      return kDamaged;
    started_ = true;
  }
  std::int64_t tag = 0, n = 0;
  if (!GetInt(tag)) return kDamaged;
  if (tag == kEndTag) return kEnd;
  if (tag != kRecordTag) return kDamaged;
  if (!GetInt(r.scan) || !GetInt(r.last_scan) || !GetInt(r.precursor_scan) ||
      !GetDouble(r.rt_seconds) || !GetDouble(r.mz) || !GetInt(n) || n < 0 || n > kMaxCharges)
    return kDamaged;
  r.charges.resize(static_cast<std::size_t>(n));
  for (int& z : r.charges) {
    if (!GetInt(z)) return kDamaged;
  }
  if (!GetString(r.instrument) || !GetString(r.activation) || !GetString(r.native_id) || !GetInt(r.index) ||
      !GetInt(n) || n < 0 || n > kMaxPeaks)
    return kDamaged;
  return GetPeaks(static_cast<std::size_t>(n), r.peaks) ? kRecord : kDamaged;
}

bool CRecordReader::GetPeaks(std::size_t count, msdata::PeakList& peaks) {
  // The list grows only as its bytes arrive, so that a damaged count cannot
  // ask for gigabytes; a list of usual size still gets exactly its length.
  constexpr std::size_t kStep = std::size_t{1} << 16;
  peaks.clear();
  if (count <= kStep) peaks.reserve(count);
  while (peaks.size() < count) {
    const std::size_t at = peaks.size();
    peaks.resize(at + std::min(kStep, count - at));
    if (!GetBytes(peaks.data() + at, (peaks.size() - at) * sizeof(msdata::Peak))) return false;
  }
  if (peaks.capacity() > peaks.size()) peaks.shrink_to_fit();
  return true;
}

void CRecordReader::Drain() {
  begin_ = end_ = 0;
  while (Fill()) begin_ = end_ = 0;
}

}  // namespace mzstream
