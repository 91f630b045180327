#include "spectra/MgfWriter.h"

#include <cstdio>
#include <sstream>

#include "common/SafeFile.h"

namespace spectra {

namespace {

// "%.6f" of the largest double takes over 300 characters; a number cut short
// would run into the next line.
constexpr std::size_t kNumberText = 400;

std::string Format(const char* format, double value) {
  char text[kNumberText];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

// A member list as "<key>=<list>", or as "<key>_IN=<table>" when that line
// would pass the length readers take; nothing for an empty list.
void WriteList(std::ostream& out, const char* key, const std::string& list, const std::string& table) {
  if (list.empty()) return;
  const std::string prefix = std::string(key) + "=";
  if (prefix.size() + list.size() <= kLongestListLine) {
    out << prefix << list << "\n";
  } else if (!table.empty()) {
    out << key << "_IN=" << table << "\n";
  }
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
  if (cluster) {
    out << "CLUSTER=" << cluster->number << "\nCLUSTER_SIZE=" << cluster->size << "\n";
    WriteList(out, "CLUSTER_MEMBERS", cluster->members, cluster->members_table);
    WriteList(out, "CLUSTER_FILES", cluster->member_files, cluster->members_table);
    if (!cluster->source_file.empty()) out << "SOURCE_FILE=" << cluster->source_file << "\n";
  }
  char line[2 * kNumberText];
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
  // Whole or not at all: a full disk leaves the earlier file, never a cut one.
  safefile::CSafeFile file;
  bool ok = file.Open(path, "wb");
  std::ostringstream block;
  for (std::size_t i = 0; ok && i < spectra.size(); ++i) {
    block.str(std::string());
    WriteMgfSpectrum(block, spectra[i], clusters ? &(*clusters)[i] : nullptr);
    const std::string text = block.str();
    ok = std::fwrite(text.data(), 1, text.size(), file.Get()) == text.size();
  }
  ok = ok && file.Commit();
  if (!ok) {
    error = "Cannot write file: " + path + " (" + (file.Error().empty() ? "write failed" : file.Error()) + ")";
    return false;
  }
  return true;
}

}  // namespace spectra
