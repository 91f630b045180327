#include "drivers/gannet/GannetRun.h"

#include <cstdio>
#include <fstream>
#include <memory>

#include "common/Notifier.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "spectra/MS2Input.h"

namespace gannet {

namespace {

// Gannet dumps precursors of LC-MS/MS runs; DTA input has no retention times
// and is the business of the other programs.
bool ChooseFormat(const std::string& data_path, MS2FormatType& type, std::string& why) {
  if (!CMS2InputFactory::FormatFromPath(data_path, type, why)) return false;
  if (type == MS2_FORMAT_MZML || type == MS2_FORMAT_MS2 || type == MS2_FORMAT_MGF) return true;
  why = data_path + ": Gannet reads mzML, mzXML, MS2 and MGF files.";
  return false;
}

}  // namespace

bool WriteDump(const std::vector<msdata::CSpectrum>& spectra, const std::vector<MzScanInfo>& info,
               std::FILE* out) {
  std::fputs(
      "ScanNo\tType\tRetentionTime\tInstrumentType\tActivationType\tPrecursorScan\t"
      "PrecursorCharge\tPrecursorMH+\tPrecursorM/H\n",
      out);
  const bool have_info = info.size() == spectra.size();
  for (std::size_t i = 0; i < spectra.size(); ++i) {
    const msdata::CSpectrum& s = spectra[i];
    const int scan = have_info ? info[i].scan : s.first_scan;
    std::fprintf(out, "%d\tMS2\t%lf\t%s\t%s\t%d\t%d\t%lf\t%lf\n", scan, s.retention_time,
                 have_info ? info[i].instrument.c_str() : "unknown",
                 have_info ? info[i].activation.c_str() : "unknown",
                 have_info ? info[i].precursor_scan : 0, s.charge, s.precursor_mass, s.precursor_mz);
  }
  return std::ferror(out) == 0;
}

int Run(const std::string& exchange_file, const std::string& dump_file, std::FILE* progress,
        std::FILE* errors) {
  if (safefile::SameFile(exchange_file, dump_file)) {
    std::fprintf(errors, "Gannet: the exchange file is the dump it would write: %s\n", exchange_file.c_str());
    return 1;
  }
  // An earlier run's dump must never pass for this run's result.
  path::RemoveFile(dump_file);

  std::ifstream exchange(exchange_file, std::ios::binary);
  std::string data_path;
  if (!exchange) {
    std::fprintf(errors, "Gannet: Cannot open file: %s\n", exchange_file.c_str());
    return 1;
  }
  if (!text::ReadLine(exchange, data_path) || text::Trim(data_path).empty()) {
    std::fprintf(errors, "Gannet: %s holds no data path on its first line\n",
                 exchange_file.c_str());
    return 1;
  }
  data_path = text::Trim(data_path);

  MS2FormatType type = MS2_FORMAT_MZML;
  std::string why;
  if (!ChooseFormat(data_path, type, why)) {
    std::fprintf(errors, "Gannet: %s\n", why.c_str());
    return 1;
  }

  // The importers report skipped records through the notifier; on the console
  // they belong with Gannet's own messages.
  notify::ScopedHandler to_errors(
      [errors](const std::string& m) { std::fprintf(errors, "Gannet: %s\n", m.c_str()); });
  CMS2InputFactory factory;
  std::unique_ptr<CMS2Input> importer(factory.GetImporter(type, false));
  std::vector<msdata::CSpectrum> spectra;
  if (!importer->Load(data_path, spectra, true)) {
    std::fprintf(errors, "Gannet: %s\n", importer->LastError().c_str());
    return 1;
  }
  std::vector<MzScanInfo> info;
  if (auto* mz = dynamic_cast<CMzImporter*>(importer.get())) info = mz->ScanInfo();

  // Written under a fresh name and renamed when whole: a failed run leaves
  // no dump, and a link planted at the dump's name is replaced, never
  // written through.
  safefile::CSafeFile out;
  const bool ok = out.Open(dump_file) && WriteDump(spectra, info, out.Get()) && out.Commit();
  if (!ok) {
    std::fprintf(errors, "Gannet: Can not save file: %s\n", dump_file.c_str());
    return 1;
  }
  std::fprintf(progress, "Gannet: %zu MS2 precursors of %s written to %s\n", spectra.size(),
               data_path.c_str(), dump_file.c_str());
  return 0;
}

}  // namespace gannet
