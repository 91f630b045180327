#pragma once
// The raw-file control that Vellum drives: the calls it makes on the vendor's
// control, each answering 1 on success and any other value on failure.
//
// Contract of every back end:
//  - Open(path) reads the run; SetCurrentController(0, 1) chooses its mass
//    spectrometer data.
//  - GetFirstSpectrumNumber / GetLastSpectrumNumber give the scan range.
//  - GetMassListFromScanNum(scan, filter, ...) gives the peaks of `scan` as
//    (m/z, intensity) pairs when the scan matches `filter` (for example "ms2");
//    a scan that does not match moves `scan` to another scan number, which
//    tells the caller that it was not such a scan.
//  - RTFromScanNum gives the retention time in minutes.
//  - GetFilterForScanNum gives the scan's filter text in the vendor's style:
//    "ITMS + c NSI d Full ms2 445.12@cid35.00 [110.00-2000.00]" (analyser,
//    polarity, data type, ionisation, dependent scan, scan type and level,
//    precursor m/z @ activation and energy, scan range).
//  - GetPrecursorInfoFromScanNum gives the scan's precursor records.
// LastError() says why the last failed call failed, where the back end knows.

#include <cstdint>
#include <string>
#include <vector>

#include "common/Spectrum.h"

// One precursor record, laid out as the vendor's control hands it over: the
// m/z at the start, the charge 16 bytes in, the precursor scan 20 bytes in.
struct DXPrecursorInfo {
  double isolation_mz = 0.0;
  double monoisotopic_mz = 0.0;
  std::int32_t charge = 0;
  std::int32_t scan = 0;
};

class CDXRawfile {
 public:
  virtual ~CDXRawfile() = default;

  virtual std::int32_t Open(const std::string& path) = 0;
  virtual std::int32_t SetCurrentController(std::int32_t type, std::int32_t number) = 0;
  virtual std::int32_t GetFirstSpectrumNumber(std::int32_t& scan) = 0;
  virtual std::int32_t GetLastSpectrumNumber(std::int32_t& scan) = 0;
  // `cutoff_type`, `cutoff_value` and `max_peaks` 0 keep every peak;
  // `centroid` 1 asks for centroided peaks. `flags` has one entry per peak.
  virtual std::int32_t GetMassListFromScanNum(std::int32_t& scan, const std::string& filter,
                                              std::int32_t cutoff_type, std::int32_t cutoff_value,
                                              std::int32_t max_peaks, std::int32_t centroid,
                                              msdata::PeakList& mass_list,
                                              std::vector<std::int32_t>& flags,
                                              std::int32_t& peak_count) = 0;
  virtual std::int32_t RTFromScanNum(std::int32_t scan, double& minutes) = 0;
  virtual std::int32_t GetFilterForScanNum(std::int32_t scan, std::string& filter) = 0;
  virtual std::int32_t GetPrecursorInfoFromScanNum(std::int32_t scan,
                                                   std::vector<DXPrecursorInfo>& records,
                                                   std::int32_t& count) = 0;

  const std::string& LastError() const { return last_error_; }

 protected:
  std::string last_error_;
};
