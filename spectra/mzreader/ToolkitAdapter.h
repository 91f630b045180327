#pragma once
// The reading program's one door to MSToolkit. Only ToolkitAdapter.cpp sees
// MSToolkit's headers and macros.

#include <string>

#include "spectra/MzRecordStream.h"

namespace mzreader {

// Reads every MS2 scan of an indexed mzML or mzXML file into `out`; one of
// the exit statuses above.
int ReadXml(const std::string& path, mzstream::CRecordWriter& out);
// The same for an MS2 text file.
int ReadMs2(const std::string& path, mzstream::CRecordWriter& out);

}  // namespace mzreader
