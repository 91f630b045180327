#pragma once
// The programs' result tables read straight into columns: the common case
// of a large table (every row whole, every number plain) without the
// general CSV reader's cell-by-cell work.

#include <pybind11/pybind11.h>

namespace tessera_py {

void RegisterTables(pybind11::module_& m);

}  // namespace tessera_py
