#pragma once
// What every harness needs: silence for the notifier (a parser reports bad
// input; the fuzzer only cares that it does not crash) and a scratch file
// for parsers that take a path.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "common/Notifier.h"

namespace fuzzsupport {

inline void Silence() {
  notify::SetHandler([](const std::string&) {});
}

// Removes the input file when the harness ends; a crash keeps it (the
// fuzzer saves the crashing input on its own as well).
inline void RemoveInputAtExit(const std::string& path) {
  static std::string registered;
  if (!registered.empty()) return;
  registered = path;
  std::atexit([] { ::unlink(registered.c_str()); });
}

// Writes the input to a file of this process, named with `extension` so that
// readers choosing by extension take it.
inline std::string WriteInput(const std::uint8_t* data, std::size_t size, const std::string& extension) {
  // In memory (tmpfs) where there is one: a file system that flushes on
  // truncate would make the harness measure the disk.
  static const std::string dir = ::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
  const std::string path = dir + "/tessera-fuzz-" + std::to_string(::getpid()) + extension;
  RemoveInputAtExit(path);
  if (std::FILE* f = std::fopen(path.c_str(), "wb")) {
    if (size > 0) std::fwrite(data, 1, size, f);
    std::fclose(f);
  }
  return path;
}

inline std::string AsText(const std::uint8_t* data, std::size_t size) {
  return std::string(reinterpret_cast<const char*>(data), size);
}

}  // namespace fuzzsupport

#define TESSERA_FUZZ_SILENT_INIT                                  \
  extern "C" int LLVMFuzzerInitialize(int*, char***) {            \
    fuzzsupport::Silence();                                       \
    return 0;                                                     \
  }
