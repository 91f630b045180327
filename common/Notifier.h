#pragma once
// User-facing messages from libraries. Libraries never open windows: they
// hand the text to the installed handler. The default prints a line on
// standard output; the desktop program installs one that shows a message box.

#include <functional>
#include <string>

namespace notify {

using Handler = std::function<void(const std::string& message)>;

// Installs a handler; an empty handler restores the default. Returns the
// handler that was installed before, so that a caller can restore it.
Handler SetHandler(Handler handler);

// Delivers one message to the current handler.
void Message(const std::string& message);

// Installs a handler for the lifetime of the object (tests, dialogs).
class ScopedHandler {
 public:
  explicit ScopedHandler(Handler handler) : previous_(SetHandler(std::move(handler))) {}
  ~ScopedHandler() { SetHandler(std::move(previous_)); }
  ScopedHandler(const ScopedHandler&) = delete;
  ScopedHandler& operator=(const ScopedHandler&) = delete;

 private:
  Handler previous_;
};

}  // namespace notify
