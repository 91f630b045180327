// The record stream that mzreader writes, read by the importer's end: a
// stream cut short or damaged anywhere is refused without reading past its
// end, and a damaged count never makes the reader ask for more memory than
// the bytes it was given.

#include <fcntl.h>
#include <unistd.h>

#include "fuzz/FuzzSupport.h"
#include "spectra/MzRecordStream.h"

TESSERA_FUZZ_SILENT_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteInput(data, size, ".mzstream");
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  mzstream::CRecordReader reader(fd);
  mzstream::ScanRecord record;
  while (reader.Next(record) == mzstream::CRecordReader::kRecord) {
  }
  reader.Drain();
  ::close(fd);
  return 0;
}
