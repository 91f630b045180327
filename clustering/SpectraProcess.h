#pragma once
// Data settings of a clustering job: where the spectra come from, where the
// results go, and the spectra themselves once the driver has loaded them.

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "common/Spectrum.h"
#include "common/Types.h"

class CSpectraProcess {
 public:
  CSpectraProcess() = default;
  CSpectraProcess(MS2FormatType data_type, std::string data_directory, std::string out_directory,
                  std::string cluster_result, std::int32_t small_peaks_count_filter)
      : data_directory(std::move(data_directory)),
        out_directory(std::move(out_directory)),
        cluster_result(std::move(cluster_result)),
        data_type(data_type),
        small_peaks_count_filter(small_peaks_count_filter) {}

  // The same settings without the spectrum list.
  CSpectraProcess SettingsOnly() const {
    return CSpectraProcess(data_type, data_directory, out_directory, cluster_result,
                           small_peaks_count_filter);
  }

  // Filled by the driver program, never by the engine.
  std::vector<msdata::CSpectrum> spectra;
  // Directory of the input spectrum files, or the input file itself.
  std::string data_directory;
  std::string out_directory;
  // Cluster file (type 0) or pair file (type 1).
  std::string cluster_result;
  // Interpreted by the driver's loader only.
  MS2FormatType data_type = MS2_FORMAT_DTA;
  // Applied by the driver only.
  std::int32_t small_peaks_count_filter = 10;
};
