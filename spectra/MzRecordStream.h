#pragma once
// The stream of scans that the reading program (mzreader) hands to the
// importer through a pipe. Both ends are built from this one source, on one
// machine, so numbers travel in the machine's own byte order.
//
// Layout:
//   magic     8 bytes "TSMZREC2"
//   records   each: int64 1, int64 scan, int64 last scan, int64 precursor scan,
//             double retention time (s), double precursor m/z,
//             int64 n, n x int64 charge,
//             string instrument, string activation, string native id,
//             int64 index (0-based, among all spectra of the file),
//             int64 m, m x (double m/z, double intensity)
//   end mark  int64 0
// A string is an int64 length followed by its bytes. A stream that stops
// before the end mark, or holds anything else, is damaged.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "common/Spectrum.h"

namespace mzstream {

// Exit statuses of the reading program, as the importer reads them.
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitCannotOpen = 3;
inline constexpr int kExitCannotWrite = 4;
// A scan's peak arrays are damaged; the first line of standard error says
// which scan and how.
inline constexpr int kExitDamaged = 5;

// One MS2 scan as the reading program reports it.
struct ScanRecord {
  int scan = 0;
  int last_scan = 0;
  int precursor_scan = 0;
  double rt_seconds = 0.0;
  double mz = 0.0;
  std::vector<int> charges;
  std::string instrument;
  std::string activation;
  std::string native_id;  // mzML spectrum id; empty for mzXML and MS2
  int index = 0;          // 0-based position among all spectra of the file, MS1 included
  msdata::PeakList peaks;
};

// The writing end (the reading program). Returns false once a write failed.
class CRecordWriter {
 public:
  explicit CRecordWriter(std::FILE* out);
  void Put(const ScanRecord& record);
  // Writes the end mark and flushes.
  bool Finish();

 private:
  void PutInt(std::int64_t value);
  void PutDouble(double value);
  void PutString(const std::string& s);
  void PutBytes(const void* data, std::size_t size);

  std::FILE* out_;
  bool ok_ = true;
};

// The reading end (the importer), on a file descriptor it does not own.
// Reads are retried when a signal interrupts them.
class CRecordReader {
 public:
  enum Result { kRecord, kEnd, kDamaged };
  explicit CRecordReader(int fd) : fd_(fd) {}
  // The next record; the first call also checks the magic.
  Result Next(ScanRecord& record);
  // Reads and drops the rest of the stream up to the writer's end, so that
  // the writer never blocks on a full pipe.
  void Drain();

 private:
  bool GetBytes(void* data, std::size_t size);
  bool GetInt(std::int64_t& value);
  bool GetInt(int& value);
  bool GetDouble(double& value);
  bool GetString(std::string& s);
  bool GetPeaks(std::size_t count, msdata::PeakList& peaks);
  bool Fill();

  int fd_;
  bool started_ = false;
  std::vector<char> buffer_ = std::vector<char>(std::size_t{1} << 16);
  std::size_t begin_ = 0;
  std::size_t end_ = 0;
};

}  // namespace mzstream
