#pragma once
// The reading program's one door to MSToolkit. Only ToolkitAdapter.cpp sees
// MSToolkit's headers and macros.

#include <string>

#include "spectra/MzRecordStream.h"

namespace mzreader {

// Exit statuses of the reading program, as the importer reads them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCannotOpen = 3;
inline constexpr int kExitCannotWrite = 4;

// Reads every MS2 scan of an indexed mzML or mzXML file into `out`; one of
// the exit statuses above.
int ReadXml(const std::string& path, mzstream::CRecordWriter& out);
// The same for an MS2 text file.
int ReadMs2(const std::string& path, mzstream::CRecordWriter& out);

}  // namespace mzreader
