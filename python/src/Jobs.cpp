#include "Jobs.h"

#include <pybind11/stl.h>

#include <filesystem>
#include <mutex>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "clustering/Progress.h"
#include "common/Notifier.h"
#include "drivers/cluster/ClusterOptions.h"

namespace py = pybind11;

namespace tessera_py {

namespace {

// The engine's progress is where a long run can be stopped: with the
// interpreter's lock taken back for a moment, a pending Ctrl-C is seen and
// the run is unwound by this exception (its worker threads pass it on to
// the calling thread). The Python error stays set for the caller to raise.
struct InterruptedRun : std::runtime_error {
  InterruptedRun() : std::runtime_error("interrupted") {}
};

class InterruptibleProgress {
 public:
  InterruptibleProgress()
      : previous_(progress::SetSink([this](const std::string&) {
          py::gil_scoped_acquire gil;
          if (PyErr_CheckSignals() != 0) {
            interrupted_ = true;
            throw InterruptedRun();
          }
        })) {}
  ~InterruptibleProgress() { progress::SetSink(std::move(previous_)); }
  InterruptibleProgress(const InterruptibleProgress&) = delete;
  InterruptibleProgress& operator=(const InterruptibleProgress&) = delete;
  bool WasInterrupted() const { return interrupted_; }

 private:
  progress::Sink previous_;
  bool interrupted_ = false;
};

// The job moves into its output folder; the interpreter's own folder is
// given back whatever the job did.
class KeepCurrentFolder {
 public:
  KeepCurrentFolder() : folder_(std::filesystem::current_path(ec_)) {}
  ~KeepCurrentFolder() {
    std::error_code ec;
    if (!ec_) std::filesystem::current_path(folder_, ec);
  }
  KeepCurrentFolder(const KeepCurrentFolder&) = delete;
  KeepCurrentFolder& operator=(const KeepCurrentFolder&) = delete;

 private:
  std::error_code ec_;
  std::filesystem::path folder_;
};

// Runs `cluster` with `args` (its options form): the exit status, what it
// said on standard output and on standard error. Ctrl-C during the engine's
// work raises KeyboardInterrupt.
py::tuple RunCluster(const std::vector<std::string>& args) {
  cli::CommandLine line = clusterjob::ClusterCommandLine();
  std::ostringstream out, err;
  int status = line.Report(line.Parse(args), out, err);
  bool interrupted = false;
  if (status < 0) {
    py::gil_scoped_release free;
    KeepCurrentFolder folder;
    InterruptibleProgress progress;
    // What the engine and the readers say goes with the run's messages, not
    // onto the interpreter's console; worker threads may speak at once.
    std::mutex said_mutex;
    std::string said;
    notify::ScopedHandler collect([&](const std::string& message) {
      std::lock_guard<std::mutex> lock(said_mutex);
      said += message + "\n";
    });
    status = clusterjob::RunParsedCommandLine(line, out, err);
    interrupted = progress.WasInterrupted();
    err << said;
  }
  if (interrupted) throw py::error_already_set();
  return py::make_tuple(status, out.str(), err.str());
}

}  // namespace

void RegisterJobs(py::module_& m) {
  m.def("run_cluster", &RunCluster, py::arg("args"),
        "Runs the cluster program's command line in this process: (status, standard output, standard error).");
  m.attr("program_dir") = TESSERA_PROGRAM_DIR;
}

}  // namespace tessera_py
