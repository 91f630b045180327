#include "common/Notifier.h"

#include <cstdio>
#include <mutex>

namespace notify {

namespace {

std::mutex& HandlerMutex() {
  static std::mutex mutex;
  return mutex;
}

Handler& CurrentHandler() {
  static Handler handler;
  return handler;
}

}  // namespace

Handler SetHandler(Handler handler) {
  std::lock_guard<std::mutex> lock(HandlerMutex());
  Handler previous = std::move(CurrentHandler());
  CurrentHandler() = std::move(handler);
  return previous;
}

void Message(const std::string& message) {
  Handler handler;
  {
    std::lock_guard<std::mutex> lock(HandlerMutex());
    handler = CurrentHandler();
  }
  if (handler) {
    handler(message);
  } else {
    std::printf("%s\n", message.c_str());
    std::fflush(stdout);
  }
}

}  // namespace notify
