#pragma once
// Progress text of long runs ("10%..20%.."): fragments without line ends, so
// they cannot go through the line-oriented notifier. By default they go to
// standard output; tests and the desktop program may install their own sink.

#include <cstddef>
#include <functional>
#include <string>

namespace progress {

using Sink = std::function<void(const std::string& fragment)>;

// Installs a sink (an empty one restores standard output) and returns the
// previous one.
Sink SetSink(Sink sink);
void Write(const std::string& fragment);

// Prints "q0%.." whenever q, the tenths of the list before `position`
// (floor(position * 10 / count)), changes; so positions 0 to count - 1 say
// at most "90%", and no position says more than "100%". Nothing for lists
// of fewer than 10 items, whose tenths would be single items.
class Counter {
 public:
  explicit Counter(std::size_t count) : count_(count) {}
  void At(std::size_t position);

 private:
  std::size_t count_;
  std::size_t last_ = 0;
};

}  // namespace progress
