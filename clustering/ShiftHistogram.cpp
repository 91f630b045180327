#include "clustering/ShiftHistogram.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <queue>
#include <stdexcept>
#include <unistd.h>

namespace shifts {

namespace {

// Open gaps by (value, position), smallest first, each held once with its
// current value: a gap that changes moves in place (it may widen or narrow),
// one that stops being joinable leaves. The grouping's ties go to the
// lowest position, as the order of a scan from the left would have them.
class CGapHeap {
 public:
  CGapHeap(const std::vector<double>& gap) : gap_(gap), at_(gap.size(), kAbsent) {}

  bool Empty() const { return heap_.empty(); }
  std::uint32_t Top() const { return heap_.front(); }

  // Puts gap k in or moves it to its current value.
  void Set(std::uint32_t k) {
    if (at_[k] == kAbsent) {
      at_[k] = static_cast<std::uint32_t>(heap_.size());
      heap_.push_back(k);
      Up(at_[k]);
      return;
    }
    Down(Up(at_[k]));
  }
  void Remove(std::uint32_t k) {
    const std::uint32_t slot = at_[k];
    if (slot == kAbsent) return;
    const std::uint32_t last = heap_.back();
    heap_.pop_back();
    at_[k] = kAbsent;
    if (last == k) return;
    heap_[slot] = last;
    at_[last] = slot;
    Down(Up(slot));
  }

 private:
  static constexpr std::uint32_t kAbsent = 0xffffffffu;
  bool Before(std::uint32_t a, std::uint32_t b) const {
    return gap_[a] != gap_[b] ? gap_[a] < gap_[b] : a < b;
  }
  void Place(std::uint32_t slot, std::uint32_t k) {
    heap_[slot] = k;
    at_[k] = slot;
  }
  std::uint32_t Up(std::uint32_t slot) {
    const std::uint32_t k = heap_[slot];
    while (slot > 0) {
      const std::uint32_t parent = (slot - 1) / 2;
      if (!Before(k, heap_[parent])) break;
      Place(slot, heap_[parent]);
      slot = parent;
    }
    Place(slot, k);
    return slot;
  }
  void Down(std::uint32_t slot) {
    const std::uint32_t k = heap_[slot];
    const std::size_t n = heap_.size();
    for (;;) {
      std::size_t child = 2 * static_cast<std::size_t>(slot) + 1;
      if (child >= n) break;
      if (child + 1 < n && Before(heap_[child + 1], heap_[child])) ++child;
      if (!Before(heap_[child], k)) break;
      Place(slot, heap_[child]);
      slot = static_cast<std::uint32_t>(child);
    }
    Place(slot, k);
  }

  const std::vector<double>& gap_;
  std::vector<std::uint32_t> at_;
  std::vector<std::uint32_t> heap_;
};

}  // namespace

void CShiftGrouper::Add(double difference) {
  if (!values_.empty()) {
    const double gap = difference - values_.back();
    if (gap == 0.0 && Joinable(gap)) {
      ++counts_.back();
      return;
    }
    if (!Joinable(gap)) GroupStretch();
  }
  if (values_.size() >= 0xfffffffeu) throw std::length_error("too many distinct mass differences in one stretch");
  values_.push_back(difference);
  counts_.push_back(1);
  largest_stretch = std::max(largest_stretch, values_.size());
}

void CShiftGrouper::GroupStretch() {
  const std::size_t n = values_.size();
  if (n == 0) return;
  const std::vector<double>& d = values_;
  // Runs of neighbours: first_of[last] and last_of[first] hold each run's
  // ends. A gap inside a run is never joined again.
  std::vector<std::uint32_t> first_of(n);
  std::vector<std::uint32_t> last_of(n);
  for (std::size_t k = 0; k < n; ++k) first_of[k] = last_of[k] = static_cast<std::uint32_t>(k);
  std::vector<double> gap(n - 1);
  CGapHeap open(gap);
  auto offer = [&](std::uint32_t k) {
    if (Joinable(gap[k])) open.Set(k); else open.Remove(k);
  };
  for (std::uint32_t k = 0; k + 1 < n; ++k) {
    gap[k] = d[k + 1] - d[k];
    offer(k);
  }
  while (!open.Empty()) {
    const std::uint32_t k = open.Top();
    open.Remove(k);
    const std::uint32_t first = first_of[k];
    const std::uint32_t last = last_of[k + 1];
    first_of[last] = first;
    last_of[first] = last;
    if (first >= 1) {
      gap[first - 1] = d[last] - d[first - 1];
      offer(first - 1);
    }
    if (last + 1 < n) {
      gap[last] = d[last + 1] - d[first];
      offer(last);
    }
  }
  for (std::size_t first = 0; first < n;) {
    const std::size_t last = last_of[first];
    // Summed one difference at a time, in ascending order.
    double sum = 0.0;
    std::size_t count = 0;
    for (std::size_t k = first; k <= last; ++k) {
      for (std::uint32_t c = 0; c < counts_[k]; ++c) sum += d[k];
      count += counts_[k];
    }
    groups_.push_back(ShiftGroup{sum / static_cast<double>(count), static_cast<int>(count)});
    first = last + 1;
  }
  values_.clear();
  counts_.clear();
}

std::vector<ShiftGroup> CShiftGrouper::Finish() {
  GroupStretch();
  std::vector<ShiftGroup> groups = std::move(groups_);
  groups_.clear();
  std::stable_sort(groups.begin(), groups.end(),
                   [](const ShiftGroup& a, const ShiftGroup& b) { return a.count > b.count; });
  return groups;
}

CSortedRuns::~CSortedRuns() {
  for (std::FILE* run : runs_) std::fclose(run);
}

bool CSortedRuns::Add(double value) {
  if (buffer_.size() >= run_size_ && !Spill()) return false;
  if (buffer_.capacity() == 0) buffer_.reserve(std::min<std::size_t>(run_size_, std::size_t{1} << 16));
  buffer_.push_back(value);
  return true;
}

bool CSortedRuns::Spill() {
  std::sort(buffer_.begin(), buffer_.end());
  std::string name = near_ + ".part-XXXXXX";
  const int fd = mkstemp(&name[0]);
  if (fd < 0) {
    error_ = "cannot create a file beside " + near_ + ": " + std::strerror(errno);
    return false;
  }
  unlink(name.c_str());  // gone with the process, however it ends
  std::FILE* run = fdopen(fd, "w+b");
  if (!run) {
    close(fd);
    error_ = "cannot open a file beside " + near_;
    return false;
  }
  runs_.push_back(run);
  run_lengths_.push_back(buffer_.size());
  if (std::fwrite(buffer_.data(), sizeof(double), buffer_.size(), run) != buffer_.size() ||
      std::fflush(run) != 0) {
    error_ = "cannot write beside " + near_ + ": " + std::strerror(errno);
    return false;
  }
  buffer_.clear();
  return true;
}

bool CSortedRuns::Drain(const std::function<void(double)>& take) {
  std::sort(buffer_.begin(), buffer_.end());
  if (runs_.empty()) {
    for (const double v : buffer_) take(v);
    return true;
  }
  // Every run read through a buffer of its own; the smallest head next.
  constexpr std::size_t kChunk = std::size_t{1} << 15;
  struct Source {
    std::vector<double> data;
    std::size_t at = 0;
    std::size_t left = 0;  // values of the run not read yet
    std::FILE* file = nullptr;
  };
  std::vector<Source> sources(runs_.size() + 1);
  for (std::size_t r = 0; r < runs_.size(); ++r) {
    sources[r].file = runs_[r];
    sources[r].left = run_lengths_[r];
    std::rewind(runs_[r]);
  }
  sources.back().data = std::move(buffer_);
  auto refill = [&](Source& s) {
    if (s.at < s.data.size()) return true;
    if (!s.file || s.left == 0) return false;
    s.data.resize(std::min(kChunk, s.left));
    if (std::fread(s.data.data(), sizeof(double), s.data.size(), s.file) != s.data.size()) {
      error_ = "cannot read back what was written beside " + near_;
      s.left = 0;
      s.data.clear();
      return false;
    }
    s.left -= s.data.size();
    s.at = 0;
    return true;
  };
  using Head = std::pair<double, std::size_t>;
  std::priority_queue<Head, std::vector<Head>, std::greater<Head>> heads;
  for (std::size_t r = 0; r < sources.size(); ++r) {
    if (refill(sources[r])) heads.push({sources[r].data[sources[r].at], r});
  }
  while (!heads.empty()) {
    const std::size_t r = heads.top().second;
    heads.pop();
    Source& s = sources[r];
    take(s.data[s.at++]);
    if (refill(s)) heads.push({s.data[s.at], r});
  }
  buffer_.clear();
  return error_.empty();
}

}  // namespace shifts
