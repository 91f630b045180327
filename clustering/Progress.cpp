#include "clustering/Progress.h"

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
  if (step_ == 0) return;
  const std::size_t q = position / step_;
  if (q == last_) return;
  last_ = q;
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%d0%%..", static_cast<int>(q));
  Write(buffer);
}

}  // namespace progress
