#pragma once
// The console programs draw pictures through tessera-plot, a small Qt
// program built with the desktop program and placed beside them in the
// program folder: it paints offscreen, so that no display is needed on a
// server. This is the one place that finds it, checks a picture's name and
// folder before any work, and runs it.

#include <string>
#include <vector>

namespace plotprogram {

// tessera-plot beside the running program; "" when it is not there.
std::string Path();

// Why `caller` cannot draw: the plot program is not beside it.
std::string Missing(const std::string& caller);

// "png" or "svg" for a picture name with that extension (any case), else "".
std::string PictureKind(const std::string& path);

// What refuses a picture before any work, "" for nothing: the plot program
// missing, the picture's folder missing or not writable, a folder at the
// picture's name. `what` names the picture in the message ("curve
// picture"). The extension is the command line's business (PictureKind).
std::string CheckPictureTarget(const std::string& picture, const std::string& what, const std::string& caller);

// Runs tessera-plot with `args` (its subcommand and operands) and waits for
// it; its messages go to standard error. "" when it drew the picture, else
// `failure` (or why it could not be started).
std::string Draw(const std::vector<std::string>& args, const std::string& failure);

}  // namespace plotprogram
