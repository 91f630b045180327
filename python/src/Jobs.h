#pragma once
// The programs' jobs run in this process: the command line a call makes
// of its keywords, parsed and run by the very functions the program runs.

#include <pybind11/pybind11.h>

namespace tessera_py {

void RegisterJobs(pybind11::module_& m);

}  // namespace tessera_py
