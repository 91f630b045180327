#include "drivers/search/Ms2Writer.h"

#include <cstdio>
#include <sstream>

#include "common/DtaName.h"
#include "common/TextUtil.h"

namespace search {

bool WriteMs2Record(const msdata::CSpectrum& spectrum, int first_scan, int last_scan, std::ostream& out) {
  if (spectrum.charge < 1) return false;
  char line[160];
  std::snprintf(line, sizeof line, "S\t%d\t%d\t%.6f\nZ\t%d\t%.6f\n", first_scan, last_scan,
                msdata::MzFromMH(spectrum.precursor_mass, spectrum.charge), spectrum.charge,
                spectrum.precursor_mass);
  out << line;
  for (const msdata::Peak& peak : spectrum.peaks) {
    std::snprintf(line, sizeof line, "%.6f\t%.6f\n", peak.first, peak.second);
    out << line;
  }
  return true;
}

const std::string* CPooledSpectra::SpectrumOf(const std::string& result_name) const {
  msdata::DtaNameParts parts;
  if (!msdata::ParseDtaName(result_name, parts) || text::ToUpper(parts.prefix) != text::ToUpper(kPooledName) ||
      parts.first_scan < 1 || static_cast<std::size_t>(parts.first_scan) > spectrum_of_scan.size())
    return nullptr;
  return &spectrum_of_scan[parts.first_scan - 1];
}

int PoolSpectra(const std::map<std::string, msdata::CSpectrum>& spectra, CPooledSpectra& pooled) {
  pooled = CPooledSpectra();
  pooled.scan_table = "scan\tspectrum\n";
  std::ostringstream records;
  int left_out = 0;
  for (const auto& [key, spectrum] : spectra) {
    const int scan = static_cast<int>(pooled.spectrum_of_scan.size()) + 1;
    if (!WriteMs2Record(spectrum, scan, scan, records)) {
      ++left_out;
      continue;
    }
    pooled.spectrum_of_scan.push_back(key);
    pooled.scan_table += std::to_string(scan) + "\t" + spectrum.name + "\n";
  }
  pooled.ms2 = records.str();
  return left_out;
}

}  // namespace search
