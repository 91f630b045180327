#include "drivers/cluster/loading/OffloadedPeaks.h"

#include <cmath>
#include <cstring>
#include <stdexcept>

namespace {

constexpr double kPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};
constexpr int kMostDecimals = 9;
// Arena chunks hold this many words; untouched reserved pages cost nothing.
constexpr std::size_t kChunkWords = std::size_t{1} << 22;

// Whether x is m / 10^k for an unsigned 32-bit m, bit for bit.
bool ExactWith(double x, int k, std::uint32_t& m) {
  if (!(x >= 0.0) || std::signbit(x)) return false;  // negatives, -0 and NaN
  const double scaled = std::nearbyint(x * kPowersOfTen[k]);
  if (!(scaled <= 4294967295.0)) return false;
  if (scaled / kPowersOfTen[k] != x) return false;
  m = static_cast<std::uint32_t>(scaled);
  return true;
}

// The fewest decimals that give back every value of the list (first or
// second of each peak), or -1.
template <class Get>
int CommonDecimals(const msdata::PeakList& peaks, Get get) {
  int k = 0;
  std::uint32_t m = 0;
  for (const msdata::Peak& p : peaks) {
    while (!ExactWith(get(p), k, m)) {
      if (++k > kMostDecimals) return -1;
    }
  }
  // A value exact with fewer decimals may not be with more (the mantissa
  // may outgrow 32 bits): check all with the one count.
  for (const msdata::Peak& p : peaks) {
    if (!ExactWith(get(p), k, m)) return -1;
  }
  return k;
}

template <class Get>
std::uint32_t* Put(const msdata::PeakList& peaks, int decimals, Get get, std::uint32_t* out) {
  for (const msdata::Peak& p : peaks) {
    const double x = get(p);
    if (decimals >= 0) {
      std::uint32_t m = 0;
      ExactWith(x, decimals, m);
      *out++ = m;
    } else {
      std::memcpy(out, &x, sizeof x);
      out += 2;
    }
  }
  return out;
}

// Reads `count` values from `in` into the first or second of each peak.
template <class Set>
const std::uint32_t* Take(const std::uint32_t* in, std::size_t count, int decimals,
                          msdata::PeakList& peaks, Set set) {
  for (std::size_t i = 0; i < count; ++i) {
    double x = 0.0;
    if (decimals >= 0) {
      x = static_cast<double>(*in++) / kPowersOfTen[decimals];
    } else {
      std::memcpy(&x, in, sizeof x);
      in += 2;
    }
    set(peaks[i], x);
  }
  return in;
}

const auto kMz = [](const msdata::Peak& p) { return p.first; };
const auto kIntensity = [](const msdata::Peak& p) { return p.second; };

}  // namespace

bool COffloadedPeaks::Open(const std::string& mgf_path) {
  path_ = mgf_path;
  return reader_.Open(mgf_path);
}

// Spectra handed to the storing thread at a time.
constexpr std::size_t kBatch = 4096;

bool COffloadedPeaks::Keep(msdata::CSpectrum& spectrum, const CMS2Input::RecordPlace& place) {
  if (spectrum.peaks.size() < minimum_peaks_) {
    ++dropped_;
    msdata::PeakList().swap(spectrum.peaks);
    return false;
  }
  if (place.offset < 0) throw std::runtime_error("No file offset for spectrum " + spectrum.name);
  Entry e;
  e.offset = place.offset;
  if (place.length > 0 && place.length <= 0xffffffff) e.length = static_cast<std::uint32_t>(place.length);
  e.raw_count = static_cast<std::uint32_t>(spectrum.peaks.size());
  if (filling_.raw.empty()) filling_.first = entries_.size();
  entries_.push_back(e);
  filling_.raw.push_back(std::move(spectrum.peaks));
  msdata::PeakList().swap(spectrum.peaks);
  if (filling_.raw.size() == kBatch) Dispatch();
  return true;
}

void COffloadedPeaks::Wait() {
  if (!stored_.valid()) return;
  stored_.get();
  for (std::size_t i = 0; i < storing_.stored.size(); ++i) {
    Entry& e = entries_[storing_.first + i];
    const Entry& s = storing_.stored[i];
    e.at = s.at;
    e.count = s.count;
    e.mz_decimals = s.mz_decimals;
    e.intensity_decimals = s.intensity_decimals;
  }
  storing_.raw.clear();
  storing_.stored.clear();
}

void COffloadedPeaks::Dispatch() {
  Wait();
  std::swap(filling_, storing_);
  stored_ = std::async(beside_ ? std::launch::async : std::launch::deferred,
                       [this]() { Store(storing_, scratch_); });
}

void COffloadedPeaks::Store(Batch& batch, msdata::PeakList& scratch) {
  batch.stored.resize(batch.raw.size());
  for (std::size_t i = 0; i < batch.raw.size(); ++i) {
    scratch = std::move(batch.raw[i]);
    selection_.Select(scratch);
    Entry& e = batch.stored[i];
    e.count = static_cast<std::uint32_t>(scratch.size());
    e.mz_decimals = static_cast<std::int8_t>(CommonDecimals(scratch, kMz));
    e.intensity_decimals = static_cast<std::int8_t>(CommonDecimals(scratch, kIntensity));
    const std::size_t words = scratch.size() * ((e.mz_decimals < 0 ? 2 : 1) +
                                                (e.intensity_decimals < 0 ? 2 : 1));
    std::uint32_t* out = Allocate(words, e.at);
    out = Put(scratch, e.mz_decimals, kMz, out);
    Put(scratch, e.intensity_decimals, kIntensity, out);
  }
}

void COffloadedPeaks::Arrange(std::vector<std::uint32_t> order) {
  if (!filling_.raw.empty()) Dispatch();
  Wait();
  order_ = std::move(order);
}

std::uint32_t* COffloadedPeaks::Allocate(std::size_t words, std::uint64_t& at) {
  if (chunks_.empty() || chunks_.back().capacity() - chunks_.back().size() < words) {
    chunks_.emplace_back();
    chunks_.back().reserve(std::max(words, kChunkWords));
  }
  std::vector<std::uint32_t>& chunk = chunks_.back();
  at = static_cast<std::uint64_t>(chunks_.size() - 1) << 32 | chunk.size();
  chunk.resize(chunk.size() + words);  // within the capacity: nothing moves
  return chunk.data() + (chunk.size() - words);
}

const std::uint32_t* COffloadedPeaks::Words(std::uint64_t at) const {
  return chunks_[at >> 32].data() + (at & 0xffffffffu);
}

const COffloadedPeaks::Entry& COffloadedPeaks::At(std::size_t position) const {
  return entries_[order_.empty() ? position : order_[position]];
}

void COffloadedPeaks::Selected(std::size_t position, msdata::PeakList& peaks) const {
  const Entry& e = At(position);
  peaks.resize(e.count);
  const std::uint32_t* in = Words(e.at);
  in = Take(in, e.count, e.mz_decimals, peaks, [](msdata::Peak& p, double x) { p.first = x; });
  Take(in, e.count, e.intensity_decimals, peaks, [](msdata::Peak& p, double x) { p.second = x; });
}

void COffloadedPeaks::Raw(std::size_t position, msdata::PeakList& peaks) const {
  const Entry& e = At(position);
  if (!reader_.Read({e.offset, e.length}, peaks) || peaks.size() != e.raw_count) {
    throw std::runtime_error("The spectra of " + path_ +
                             " cannot be read again: the file was changed during the run");
  }
}

std::size_t COffloadedPeaks::StoredBytes() const {
  std::size_t bytes = entries_.capacity() * sizeof(Entry) + order_.capacity() * sizeof(std::uint32_t);
  for (const auto& chunk : chunks_) bytes += chunk.size() * sizeof(std::uint32_t);
  return bytes;
}
