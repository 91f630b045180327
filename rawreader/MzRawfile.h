#pragma once
// The raw-file control on Linux: serves the calls of CDXRawfile from an mzML
// or mzXML run read through the spectrum-input library.
//
// What the run gives and how it is mapped:
//  - Scan numbers are the reader's (the file's scan numbers; for mzML ids
//    without "scan=", the spectrum's position in the file). The reader passes
//    on MS2 scans only, so the first scan is 1, as in the vendor's files, and
//    every scan number that is not an MS2 scan is taken as one of the run's
//    other scans: it matches no "ms2" filter.
//  - Retention times are turned from seconds into minutes.
//  - Peaks are those of the file, in ascending m/z (centroided runs are read
//    as they are; a profile run should be centroided when it is converted).
//  - Precursor records: one per precursor charge the reader gives (a scan
//    without a charge is read as charge 2 and 3, and gets both records).
//  - The filter text is built in the vendor's style from the scan's analyser,
//    activation and precursor m/z. The reader gives neither the acquisition
//    window nor the collision energy, so the range is the span of the scan's
//    peaks and no energy follows the activation:
//      "ITMS + c NSI d Full ms2 457.72@cid [147.29-769.26]".

#include <map>
#include <string>
#include <vector>

#include "rawreader/DXRawfile.h"

class CMzRawfile : public CDXRawfile {
 public:
  explicit CMzRawfile(bool verbose = false) : verbose_(verbose) {}

  std::int32_t Open(const std::string& path) override;
  std::int32_t SetCurrentController(std::int32_t type, std::int32_t number) override;
  std::int32_t GetFirstSpectrumNumber(std::int32_t& scan) override;
  std::int32_t GetLastSpectrumNumber(std::int32_t& scan) override;
  std::int32_t GetMassListFromScanNum(std::int32_t& scan, const std::string& filter,
                                      std::int32_t cutoff_type, std::int32_t cutoff_value,
                                      std::int32_t max_peaks, std::int32_t centroid,
                                      msdata::PeakList& mass_list, std::vector<std::int32_t>& flags,
                                      std::int32_t& peak_count) override;
  std::int32_t RTFromScanNum(std::int32_t scan, double& minutes) override;
  std::int32_t GetFilterForScanNum(std::int32_t scan, std::string& filter) override;
  std::int32_t GetPrecursorInfoFromScanNum(std::int32_t scan, std::vector<DXPrecursorInfo>& records,
                                           std::int32_t& count) override;

  // Number of MS2 scans of the open run.
  std::size_t ScanCount() const { return scans_.size(); }

 private:
  struct Scan {
    double minutes = 0.0;
    std::string filter;
    msdata::PeakList peaks;
    std::vector<DXPrecursorInfo> precursors;
  };
  // The scan, or nullptr (with LastError set) when the run has no MS2 scan of
  // that number.
  const Scan* Find(std::int32_t scan);
  bool CheckOpen();

  bool verbose_;
  bool open_ = false;
  bool controller_ = false;
  std::map<std::int32_t, Scan> scans_;
};

// The vendor-style filter text of an MS2 scan; `instrument` and `activation`
// are words such as "ITMS" and "CID".
std::string BuildFilterText(const std::string& instrument, const std::string& activation,
                            double precursor_mz, const msdata::PeakList& peaks);
