#pragma once
// The mass-shift table of a pair search, for any number of pairs in bounded
// memory. Differences are sorted in runs that go to disk when they outgrow
// a buffer and are merged back in ascending order; the grouping then reads
// them once, in order.
//
// Grouping (what CSpectralPairSearch::GroupShifts promises): every
// difference starts as a group; the smallest gap between neighbouring
// groups (the first in order on ties) is joined while it is strictly below
// the tolerance and below 1001; after a join the gaps beside the new group
// are measured from its far ends. A gap only ever becomes the distance
// between two differences at least as far apart as the neighbours it lies
// between, so a gap between neighbours that is not joinable at the start
// never is: the sorted list falls apart there into stretches that group on
// their own. Equal differences join first (gap 0) and change no other gap,
// so a stretch holds each value once with its count. Memory is the largest
// stretch of distinct values plus the groups.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace shifts {

struct ShiftGroup {
  double mean = 0.0;
  int count = 0;
};

// Takes ascending differences (no NaN) one by one.
class CShiftGrouper {
 public:
  explicit CShiftGrouper(double tolerance) : tolerance_(tolerance) {}

  void Add(double difference);
  // The groups, by member count descending, equal counts in ascending order
  // of difference.
  std::vector<ShiftGroup> Finish();

  // The most distinct differences held at once.
  std::size_t largest_stretch = 0;

 private:
  bool Joinable(double gap) const { return gap < tolerance_ && gap < 1001.0; }
  void GroupStretch();

  double tolerance_;
  std::vector<double> values_;        // the stretch's distinct differences
  std::vector<std::uint32_t> counts_; // how often each occurs
  std::vector<ShiftGroup> groups_;
};

// Sorts doubles of any number: up to `run_size` in memory, beyond that in
// sorted runs written to unnamed files beside `near` (made there and
// unlinked at once, so they vanish with the process whatever ends it).
class CSortedRuns {
 public:
  explicit CSortedRuns(std::string near, std::size_t run_size = std::size_t{8} << 20)
      : near_(std::move(near)), run_size_(run_size < 1 ? 1 : run_size) {}
  ~CSortedRuns();
  CSortedRuns(const CSortedRuns&) = delete;
  CSortedRuns& operator=(const CSortedRuns&) = delete;

  // False when a run cannot be written; Error() says why.
  bool Add(double value);
  // Calls `take` with every value added, ascending. False on a read error.
  bool Drain(const std::function<void(double)>& take);

  std::size_t runs_written() const { return runs_.size(); }
  const std::string& Error() const { return error_; }

 private:
  bool Spill();

  std::string near_;
  std::size_t run_size_;
  std::vector<double> buffer_;
  std::vector<std::FILE*> runs_;
  std::vector<std::size_t> run_lengths_;
  std::string error_;
};

}  // namespace shifts
