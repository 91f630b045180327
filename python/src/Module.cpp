// The compiled part of the Python package `tessera`: spectra and the jobs
// of the engine; the package builds data frames of what they give.

#include <pybind11/pybind11.h>

#include "Jobs.h"
#include "Spectra.h"
#include "Tables.h"

PYBIND11_MODULE(_tessera, m) {
  m.doc() = "Tessera's engine: spectrum reading, clustering and the spectral pair search.";
  tessera_py::RegisterSpectra(m);
  tessera_py::RegisterJobs(m);
  tessera_py::RegisterTables(m);
}
