#pragma once
// mzML, mzXML and MS2 input through MSToolkit.
//
// MSToolkit ends the process on some malformed files and writes its complaints
// to standard error, so every file is read by a program of ours, mzreader,
// started beside the caller: it hands the scans back through a pipe, and a
// reader that dies, fails or cannot be started becomes an ordinary load
// error carrying MSToolkit's own message.
//
// mzML and mzXML must normally carry an offset index. A file without one (or
// with a broken one) is read from a temporary copy to which the index is added.
//
// Only MS2 spectra are kept. Names use the file's base name and the scan
// number; the retention time is in seconds. A spectrum with no precursor
// charge is loaded once each for charges 2 and 3.

#include <string>
#include <vector>

#include "spectra/MS2Input.h"

namespace mzstream {
struct ScanRecord;
}

// What a dump of precursors needs beyond CSpectrum, one entry per loaded
// spectrum in load order.
struct MzScanInfo {
  int scan = 0;
  int precursor_scan = 0;          // 0 when the file does not say
  std::string instrument;          // e.g. "ITMS", "FTMS"; "unknown" when not known
  std::string activation;          // e.g. "CID", "HCD", "ETD"; "unknown" when not known
};

class CMzImporter : public CMS2Input {
 public:
  explicit CMzImporter(bool verbose = false) : verbose_(verbose) {}
  bool Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
            bool replace) override;

  // Scan details of the spectra added by the last Load, parallel to them.
  const std::vector<MzScanInfo>& ScanInfo() const { return scan_info_; }

  // The reading program to start; empty (the default) finds mzreader beside
  // the running program or where the build put it.
  void SetReaderProgram(const std::string& program) { program_ = program; }

 private:
  bool AddSpectra(const std::string& path, std::vector<mzstream::ScanRecord>& records,
                  std::vector<msdata::CSpectrum>& spectra);

  bool verbose_;
  std::string program_;
  std::vector<MzScanInfo> scan_info_;
};
