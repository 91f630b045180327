#include "common/PlotProgram.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "common/PathUtil.h"
#include "common/SafeFile.h"

namespace plotprogram {

std::string Path() {
  const std::string program = path::Join(path::ProgramDirectory(), "tessera-plot");
  return ::access(program.c_str(), X_OK) == 0 ? program : std::string();
}

std::string Missing(const std::string& caller) {
  return "The plot program tessera-plot is not beside " + caller + " (it is built with the desktop program)";
}

std::string PictureKind(const std::string& path) {
  const std::string ext = path::Extension(path);
  return ext == "png" || ext == "svg" ? ext : std::string();
}

std::string CheckPictureTarget(const std::string& picture, const std::string& what, const std::string& caller) {
  if (Path().empty()) return Missing(caller);
  const std::string absolute = path::Absolute(picture);
  if (path::IsDirectory(absolute)) return "Cannot write the " + what + ": " + picture + " is a folder";
  if (!safefile::CanWrite(absolute)) return "Cannot write the " + what + " into the folder of " + picture;
  return std::string();
}

std::string Draw(const std::vector<std::string>& args, const std::string& failure) {
  const std::string program = Path();
  if (program.empty()) return failure;
  std::vector<std::string> words = {program};
  words.insert(words.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  // posix_spawn, not fork: the callers run scoring threads.
  pid_t pid = 0;
  if (const int error = ::posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ); error != 0)
    return "Cannot start " + program + ": " + std::strerror(error);
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return "Lost the plot program";
  }
  return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? std::string() : failure;
}

}  // namespace plotprogram
