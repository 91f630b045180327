#pragma once
// The MS2 precursors of one data set, read from a precursor dump (directly,
// through the raw-file dumper Gannet, or converted from spectra read by the
// spectrum-input library), cut to the mass and time windows, and reduced
// by merging near-identical masses.

#include <cstdint>
#include <istream>
#include <string>
#include <vector>

#include "common/Spectrum.h"

class CDetectionConfig;

struct PrecursorRecord {
  std::int32_t charge = 0;
  double retention_time = 0.0;
  std::int32_t scan = 0;
  double mh = 0.0;  // MH+, Da
  double mz = 0.0;
  std::string title;
};

// Names of the exchange files with the dumper, in the working directory.
inline constexpr const char* kRawFileTemp = "raw.file.temp";
inline constexpr const char* kRawDataTemp = "raw.data.temp";
inline constexpr const char* kDumpHeader =
    "ScanNo\tType\tRetentionTime\tInstrumentType\tActivationType\tPrecursorScan\tPrecursorCharge\t"
    "PrecursorMH+\tPrecursorM/H\n";

class CPrecursorList {
 public:
  CPrecursorList();

  void SetSource(const std::string& data_path, std::int32_t file_type, const std::string& title_prefix);
  // Where the dumper is started from; the program's directory by default.
  void SetGannetProgram(const std::string& program) { gannet_program_ = program; }

  // Reads the data of the configured type, then applies the windows of
  // `config`. False when the data could not be read; the list then holds
  // what was read (nothing after a failed conversion).
  bool ReadData(const CDetectionConfig& config);

  // Reads a precursor dump; false when it cannot be opened or is empty.
  bool ReadDump(const std::string& path);
  bool ReadDump(std::istream& in);

  // Keeps masslower < MH+ < massupper, then timelower < RT < timeupper;
  // leaves the records in ascending retention-time order.
  void ApplyWindows(double mass_lower, double mass_upper, double time_lower, double time_upper);

  // Ascending charge * 100000 + MH+, the order redundancy removal expects.
  void SortByChargeMass();
  // Rebuilds the reduced list: neighbours within `tolerance_ppm` form a
  // group, and the middle record of each group is kept. Ascending MH+
  // afterwards.
  void RemoveRedundancy(double tolerance_ppm);

  const std::vector<PrecursorRecord>& Records() const { return records_; }
  std::vector<PrecursorRecord>& MutableRecords() { return records_; }
  const std::vector<PrecursorRecord>& Reduced() const { return reduced_; }
  const std::string& DataPath() const { return data_path_; }
  std::int32_t FileType() const { return file_type_; }

  // Writes spectra as a precursor dump. With `from_names` the scan number
  // and charge come from each spectrum's DTA name and the retention time is
  // the scan number (DTA input has no times); otherwise the spectrum's own
  // scans and retention time are written. False when the file cannot be
  // written.
  static bool WriteDump(const std::string& path, const std::vector<msdata::CSpectrum>& spectra,
                        bool from_names);

  // Loads the spectra of a DTA directory or file, or of a mass list (a path
  // ending in ".txt": one MH+ per number, charge 1). Sorted by charge *
  // 100000 + MH+, descending. False (with a message) when nothing could be
  // loaded.
  static bool LoadDtaSpectra(const std::string& path, std::vector<msdata::CSpectrum>& spectra);
  static bool LoadMassList(const std::string& path, std::vector<msdata::CSpectrum>& spectra);

 private:
  bool ReadRaw();
  bool ReadThroughImporter(bool dta);

  std::vector<PrecursorRecord> records_;
  std::vector<PrecursorRecord> reduced_;
  std::string data_path_;
  std::int32_t file_type_ = 0;
  std::string title_prefix_;
  std::string gannet_program_;
};
