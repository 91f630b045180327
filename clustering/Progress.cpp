#include "clustering/Progress.h"

#include <algorithm>
#include <cstdio>
#include <mutex>

namespace progress {

namespace {

std::mutex& SinkMutex() {
  static std::mutex mutex;
  return mutex;
}

Sink& CurrentSink() {
  static Sink sink;
  return sink;
}

}  // namespace

Sink SetSink(Sink sink) {
  std::lock_guard<std::mutex> lock(SinkMutex());
  Sink previous = std::move(CurrentSink());
  CurrentSink() = std::move(sink);
  return previous;
}

void Write(const std::string& fragment) {
  Sink sink;
  {
    std::lock_guard<std::mutex> lock(SinkMutex());
    sink = CurrentSink();
  }
  if (sink) {
    sink(fragment);
  } else {
    std::fputs(fragment.c_str(), stdout);
    std::fflush(stdout);
  }
}

void Counter::At(std::size_t position) {
  if (count_ < 10) return;
  // Tenths of the list, not position / floor(count / 10): with 19 items that
  // step is 1 and the count ran to "180%". For a count divisible by ten the
  // two agree; positions past the end still say 100% at most.
  const std::size_t q = std::min<std::size_t>(10, position / count_ * 10 + position % count_ * 10 / count_);
  if (q == last_) return;
  last_ = q;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d0%%..", static_cast<int>(q));
  Write(buffer);
}

}  // namespace progress
