#include "moddetect/PrecursorList.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

#include "common/DtaName.h"
#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "common/Types.h"
#include "moddetect/DetectionConfig.h"
#include "moddetect/ProcessUtil.h"
#include "spectra/MS2Input.h"

namespace {

std::string MakeTitle(const std::string& title_prefix, int scan, int charge) {
  // The names every other program gives the run's spectra ("BSA1 copy"
  // gives "BSA1_copy..."), so that pair files meet cluster files and
  // identifications.
  return msdata::SpectrumNamePrefix(title_prefix) + "." + std::to_string(scan) + "." + std::to_string(scan) + "." + std::to_string(charge) +
         ".dta";
}

double ChargeMassKey(int charge, double mh) { return charge * 100000.0 + mh; }

// How far mass a lies from its neighbour b, in parts per million of b.
double PpmApart(double a, double b) { return std::fabs(a - b) / b * 1000000.0; }

}  // namespace

CPrecursorList::CPrecursorList() : gannet_program_(path::Join(path::ProgramDirectory(), "Gannet")) {
  records_.reserve(2000);
}

void CPrecursorList::SetSource(const std::string& data_path, std::int32_t file_type,
                               const std::string& title_prefix) {
  data_path_ = data_path;
  file_type_ = file_type;
  title_prefix_ = title_prefix;
}

bool CPrecursorList::ReadData(const CDetectionConfig& config) {
  bool ok = false;
  switch (file_type_) {
    case DETECTION_FILE_RAW: ok = ReadRaw(); break;
    case DETECTION_FILE_DTA: ok = ReadThroughImporter(true); break;
    case DETECTION_FILE_MS2: ok = ReadThroughImporter(false); break;
    default: ok = ReadDump(data_path_); break;
  }
  ApplyWindows(config.MassLower(), config.MassUpper(), config.TimeLower(), config.TimeUpper());
  return ok;
}

bool CPrecursorList::ReadRaw() {
  records_.clear();
  // A dump left by an earlier run must never pass for this run's data.
  path::RemoveFile(kRawDataTemp);
  // The exchange file is ours: whatever stands at its name (a link planted
  // there above all) is replaced, never written through.
  path::RemoveFile(kRawFileTemp);
  if (!safefile::WriteWholeFile(kRawFileTemp, data_path_ + "\n")) {
    notify::Message(std::string("Cannot write file: ") + kRawFileTemp);
    return false;
  }
  const pid_t child = proc::StartTied(gannet_program_, kRawFileTemp);
  if (child < 0) {
    notify::Message("Can not find Gannet.exe!");
    data_path_ = kRawDataTemp;
    file_type_ = DETECTION_FILE_DUMP;
    return false;
  }
  int signal = 0;
  const int status = proc::WaitForChild(child, &signal);
  data_path_ = kRawDataTemp;
  file_type_ = DETECTION_FILE_DUMP;
  if (status != 0) {
    notify::Message(signal != 0 ? "Gannet stopped on the data file (signal " + std::to_string(signal) + ")"
                                : "Gannet failed on the data file (exit status " + std::to_string(status) + ")");
    return false;
  }
  return ReadDump(data_path_);
}

bool CPrecursorList::ReadThroughImporter(bool dta) {
  records_.clear();
  path::RemoveFile(kRawDataTemp);
  std::vector<msdata::CSpectrum> spectra;
  bool loaded = false;
  if (dta) {
    loaded = LoadDtaSpectra(data_path_, spectra);
  } else if (!path::Exists(data_path_)) {
    notify::Message("Data file path does not exists!");
  } else {
    std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(MS2_FORMAT_MS2, false));
    if (importer) {
      loaded = importer->Load(data_path_, spectra, true) && !spectra.empty();
      if (!loaded && !importer->LastError().empty()) notify::Message(importer->LastError());
    }
  }
  data_path_ = kRawDataTemp;
  file_type_ = DETECTION_FILE_DUMP;
  if (!loaded) return false;
  if (!WriteDump(kRawDataTemp, spectra, dta)) {
    notify::Message(std::string("Cannot write file: ") + kRawDataTemp);
    return false;
  }
  return ReadDump(data_path_);
}

bool CPrecursorList::ReadDump(const std::string& p) {
  records_.clear();
  std::ifstream in;
  if (!path::IsDirectory(p)) in.open(p, std::ios::binary);
  if (!in) {
    notify::Message("Cannot read raw temp file: " + p);
    return false;
  }
  return ReadDump(in);
}

bool CPrecursorList::ReadDump(std::istream& in) {
  records_.clear();
  records_.reserve(2000);
  std::string line;
  if (!text::ReadLine(in, line)) {
    notify::Message("Cannot read raw temp file!");
    return false;
  }
  std::vector<char> type, instrument, activation;
  while (text::ReadLine(in, line)) {
    const std::size_t room = line.size() + 1;
    type.assign(room, '\0');
    instrument.assign(room, '\0');
    activation.assign(room, '\0');
    int scan = 0, precursor_scan = 0, charge = 0;
    double rt = 0.0, mh = 0.0, mz = 0.0;
    std::sscanf(line.c_str(), "%d %s %lf %s %s %d %d %lf %lf", &scan, type.data(), &rt, instrument.data(),
                activation.data(), &precursor_scan, &charge, &mh, &mz);
    if (std::string(type.data()) != "MS2") continue;
    PrecursorRecord r;
    r.charge = charge;
    r.retention_time = rt;
    r.scan = scan;
    r.mh = mh;
    r.mz = mz;
    r.title = MakeTitle(title_prefix_, scan, charge);
    records_.push_back(std::move(r));
  }
  return true;
}

void CPrecursorList::ApplyWindows(double mass_lower, double mass_upper, double time_lower,
                                  double time_upper) {
  // Filtering before sorting keeps the same records in the same order, and
  // keeps values that cannot be ordered (NaN from a garbled dump) out of
  // the sort.
  records_.erase(std::remove_if(records_.begin(), records_.end(),
                                [&](const PrecursorRecord& r) {
                                  return !(mass_lower < r.mh && r.mh < mass_upper);
                                }),
                 records_.end());
  std::stable_sort(records_.begin(), records_.end(),
                   [](const PrecursorRecord& a, const PrecursorRecord& b) { return a.mh < b.mh; });
  records_.erase(std::remove_if(records_.begin(), records_.end(),
                                [&](const PrecursorRecord& r) {
                                  return !(time_lower < r.retention_time && r.retention_time < time_upper);
                                }),
                 records_.end());
  std::stable_sort(records_.begin(), records_.end(), [](const PrecursorRecord& a, const PrecursorRecord& b) {
    return a.retention_time < b.retention_time;
  });
}

void CPrecursorList::SortByChargeMass() {
  std::stable_sort(records_.begin(), records_.end(), [](const PrecursorRecord& a, const PrecursorRecord& b) {
    return ChargeMassKey(a.charge, a.mh) < ChargeMassKey(b.charge, b.mh);
  });
}

void CPrecursorList::RemoveRedundancy(double tolerance_ppm) {
  reduced_.clear();
  const std::size_t n = records_.size();
  std::size_t start = 0;
  for (std::size_t i = 0; i < n; ++i) {
    const bool group_goes_on = i + 1 < n && PpmApart(records_[i].mh, records_[i + 1].mh) <= tolerance_ppm;
    if (group_goes_on) continue;
    reduced_.push_back(records_[(start + i) / 2]);
    start = i + 1;
  }
  std::stable_sort(reduced_.begin(), reduced_.end(),
                   [](const PrecursorRecord& a, const PrecursorRecord& b) { return a.mh < b.mh; });
}

bool CPrecursorList::WriteDump(const std::string& p, const std::vector<msdata::CSpectrum>& spectra,
                               bool from_names) {
  // Whole or not at all, and never through a link planted at the name.
  safefile::CSafeFile out;
  if (!out.Open(p)) return false;
  std::FILE* f = out.Get();
  std::fputs(kDumpHeader, f);
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    const msdata::CSpectrum& s = spectra[i];
    const int position = static_cast<int>(i + 1);
    if (from_names) {
      // A name whose prefix holds dots still yields its scan and charge,
      // which are the last fields; names that are not DTA names fall back
      // to the spectrum's own fields.
      msdata::DtaNameParts parts;
      int first = s.first_scan >= 0 ? s.first_scan : 0;
      int charge = s.charge;
      if (msdata::ParseDtaName(s.name, parts)) {
        first = parts.first_scan;
        charge = parts.charge;
      }
      std::fprintf(f, "%d MS2 %d ITMS CID %d %d %lf %lf\n", position, first, first, charge, s.precursor_mass,
                   s.precursor_mz);
    } else {
      const int scan = s.first_scan >= 0 ? s.first_scan : position;
      // Seconds, as the raw-file dumper writes them, so that one time window
      // means the same on every input road.
      std::fprintf(f, "%d MS2 %lf ITMS CID %d %d %lf %lf\n", scan, s.retention_time, 0,
                   s.charge, s.precursor_mass, s.precursor_mz);
    }
  }
  return out.Commit();
}

bool CPrecursorList::LoadMassList(const std::string& p, std::vector<msdata::CSpectrum>& spectra) {
  spectra.clear();
  std::FILE* f = path::IsDirectory(p) ? nullptr : std::fopen(p.c_str(), "r");
  if (!f) {
    notify::Message("Cannot open file: " + p);
    return false;
  }
  spectra.reserve(10000);
  double mass = 0.0;
  // Reading stops at the first text that is not a number.
  while (std::fscanf(f, "%lf", &mass) == 1) {
    msdata::CSpectrum s;
    s.precursor_mass = mass;
    s.precursor_mz = mass;
    s.charge = 1;
    s.name = "1.1.1.dta";
    s.first_scan = 1;
    s.last_scan = 1;
    spectra.push_back(std::move(s));
  }
  std::fclose(f);
  return true;
}

bool CPrecursorList::LoadDtaSpectra(const std::string& p, std::vector<msdata::CSpectrum>& spectra) {
  spectra.clear();
  bool ok = false;
  if (text::EndsWith(text::ToLower(p), ".txt")) {
    ok = LoadMassList(p, spectra);
  } else if (!path::Exists(p)) {
    notify::Message("Data file path does not exists!");
  } else {
    std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(MS2_FORMAT_DTA, false));
    if (importer) {
      ok = importer->Load(p, spectra, true) && !spectra.empty();
      if (!ok && !importer->LastError().empty()) notify::Message(importer->LastError());
    }
  }
  if (!ok) {
    spectra.clear();
    return false;
  }
  // A mass that cannot be ordered would break the sort; it could never pass
  // the mass window either.
  spectra.erase(std::remove_if(spectra.begin(), spectra.end(),
                               [](const msdata::CSpectrum& s) { return !std::isfinite(s.precursor_mass); }),
                spectra.end());
  std::stable_sort(spectra.begin(), spectra.end(), [](const msdata::CSpectrum& a, const msdata::CSpectrum& b) {
    return ChargeMassKey(a.charge, a.precursor_mass) > ChargeMassKey(b.charge, b.precursor_mass);
  });
  return true;
}
