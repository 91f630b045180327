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

// Prints "q0%.." whenever floor(position / step) changes; nothing when the
// list is too short to have a step (fewer than 10 items).
class Counter {
 public:
  explicit Counter(std::size_t count) : step_(count / 10) {}
  void At(std::size_t position);

 private:
  std::size_t step_;
  std::size_t last_ = 0;
};

}  // namespace progress
