#include "spectra/MgfWriter.h"

#include <cstdio>
#include <fstream>

namespace spectra {

namespace {

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

}  // namespace

void WriteMgfSpectrum(std::ostream& out, const msdata::CSpectrum& spectrum,
                      const CMgfCluster* cluster) {
  // DTA files carry MH+ only; the m/z follows from it and the charge.
  const double mz = spectrum.precursor_mz > 0.0
                        ? spectrum.precursor_mz
                        : msdata::MzFromMH(spectrum.precursor_mass, spectrum.charge);
  out << "BEGIN IONS\n"
      << "TITLE=" << spectrum.name << "\n"
      << "PEPMASS=" << Format("%.6f", mz) << "\n";
  if (spectrum.charge > 0) out << "CHARGE=" << spectrum.charge << "+\n";
  if (spectrum.retention_time > 0.0)
    out << "RTINSECONDS=" << Format("%.3f", spectrum.retention_time) << "\n";
  if (spectrum.first_scan >= 0) {
    out << "SCANS=" << spectrum.first_scan;
    if (spectrum.last_scan > spectrum.first_scan) out << "-" << spectrum.last_scan;
    out << "\n";
  }
  if (cluster) out << "CLUSTER=" << cluster->number << "\nCLUSTER_SIZE=" << cluster->size << "\n";
  char line[96];
  for (const msdata::Peak& peak : spectrum.peaks) {
    std::snprintf(line, sizeof line, "%.6f %.6g\n", peak.first, peak.second);
    out << line;
  }
  out << "END IONS\n\n";
}

bool WriteMgfFile(const std::string& path, const std::vector<msdata::CSpectrum>& spectra,
                  std::string& error, const std::vector<CMgfCluster>* clusters) {
  if (clusters && clusters->size() != spectra.size()) {
    error = "Cannot write " + path + ": " + std::to_string(spectra.size()) + " spectra but " +
            std::to_string(clusters->size()) + " cluster entries";
    return false;
  }
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) {
    error = "Cannot write file: " + path;
    return false;
  }
  for (std::size_t i = 0; i < spectra.size(); ++i)
    WriteMgfSpectrum(out, spectra[i], clusters ? &(*clusters)[i] : nullptr);
  out.flush();
  if (!out) {
    error = "Cannot write file: " + path;
    return false;
  }
  return true;
}

}  // namespace spectra
