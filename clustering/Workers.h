#pragma once
// Running one piece of work on several threads at once. Callers hand out
// their items through an atomic counter inside `body`, and keep what each
// thread makes apart until they take it in order on the calling thread, so
// that nothing written depends on the thread count.

#include <exception>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace workers {

// Runs body() on `threads` threads, the calling thread being one of them,
// and rethrows the first exception any of them raised once all are done.
template <class Body>
void OnThreads(int threads, Body body) {
  if (threads <= 1) {
    body();
    return;
  }
  std::exception_ptr failure;
  std::mutex mutex;
  auto guarded = [&]() {
    try {
      body();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex);
      if (!failure) failure = std::current_exception();
    }
  };
  std::vector<std::thread> helpers;
  // A thread the system refuses is work the others take over: every
  // caller hands out its items through a shared counter.
  try {
    for (int t = 1; t < threads; ++t) helpers.emplace_back(guarded);
  } catch (const std::system_error&) {
  }
  guarded();
  for (std::thread& h : helpers) h.join();
  if (failure) std::rethrow_exception(failure);
}

}  // namespace workers
