// mzreader: reads one mzML, mzXML or MS2 file through MSToolkit and writes
// its MS2 scans to standard output in the record stream of
// spectra/MzRecordStream.h. CMzImporter starts it for every such file, so
// that MSToolkit, which ends the process on some malformed files, never runs
// inside a program of ours.
//
// Usage: mzreader xml|ms2 FILE
// Whatever MSToolkit prints (on standard output or error) goes to standard
// error; standard output carries the records only. The exit status is one of
// ToolkitAdapter.h's.

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "spectra/mzreader/ToolkitAdapter.h"

int main(int argc, char** argv) {
  if (argc != 3 || (std::strcmp(argv[1], "xml") != 0 && std::strcmp(argv[1], "ms2") != 0)) {
    std::fprintf(stderr, "usage: mzreader xml|ms2 FILE\n");
    return mzstream::kExitUsage;
  }
  // Keep the records' descriptor apart and send MSToolkit's own printing to
  // standard error.
  const int records_fd = ::dup(STDOUT_FILENO);
  std::FILE* records = records_fd >= 0 ? ::fdopen(records_fd, "wb") : nullptr;
  if (!records || ::dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    std::fprintf(stderr, "cannot write the records\n");
    return mzstream::kExitCannotWrite;
  }
  mzstream::CRecordWriter out(records);
  const bool ms2 = std::strcmp(argv[1], "ms2") == 0;
  const int status = ms2 ? mzreader::ReadMs2(argv[2], out) : mzreader::ReadXml(argv[2], out);
  std::fflush(stdout);
  std::fclose(records);
  return status;
}
