// The parts' spectra travel as MGF, or as DTAS where MGF cannot carry them.
// Every number is written as the shortest text that reads back as the same
// double, and the precursor m/z is chosen so that the importer's MH+ is the
// loaded one to the last bit: a part must see exactly the spectra one run
// sees, or its scores could differ. MGF carries an m/z, and not every MH+
// (a DTA file's, say) is reached from one; DTAS carries the MH+ itself.

#include <charconv>
#include <cmath>
#include <cstdio>
#include <memory>

#include "drivers/cluster/partition/Partition.h"
#include "spectra/ImportSupport.h"
#include "spectra/MS2Input.h"

namespace partition {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};

// Shortest round-trip text of a double.
void PutNumber(std::string& out, double value) {
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  out.append(buffer, result.ptr);
}

// A precursor m/z from which the importer computes exactly `mass`; false
// when none lies within a few units in the last place of the obvious ones.
bool ExactPrecursorMz(const msdata::CSpectrum& s, double& mz) {
  for (double start : {s.precursor_mz, msdata::MzFromMH(s.precursor_mass, s.charge)}) {
    if (!(start > 0.0) || !std::isfinite(start)) continue;
    double up = start;
    double down = start;
    for (int step = 0; step < 64; ++step) {
      if (spectra::PrecursorMH(up, s.charge) == s.precursor_mass) {
        mz = up;
        return true;
      }
      if (spectra::PrecursorMH(down, s.charge) == s.precursor_mass && down > 0.0) {
        mz = down;
        return true;
      }
      up = std::nextafter(up, HUGE_VAL);
      down = std::nextafter(down, 0.0);
    }
  }
  return false;
}

bool Flush(std::FILE* file, std::string& text, const std::string& path, std::string& why) {
  if (std::fwrite(text.data(), 1, text.size(), file) != text.size()) {
    why = "cannot write " + path;
    return false;
  }
  text.clear();
  return true;
}

void PutPeaks(std::string& text, const msdata::PeakList& peaks) {
  for (const msdata::Peak& p : peaks) {
    PutNumber(text, p.first);
    text += ' ';
    PutNumber(text, p.second);
    text += '\n';
  }
}

// Writes spectra[begin, end) to `path`, each through put(text, spectrum,
// first), which refuses a spectrum by returning false with `why` set; the
// text goes to the file a megabyte at a time.
template <class Put>
bool WriteSpectra(const std::vector<msdata::CSpectrum>& spectra, std::size_t begin,
                  std::size_t end, const std::string& path, std::string& why, Put put) {
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "w"));
  if (!file) {
    why = "cannot write " + path;
    return false;
  }
  std::string text;
  for (std::size_t k = begin; k < end; ++k) {
    if (!put(text, spectra[k], k == begin)) return false;
    if (text.size() > (1u << 20) && !Flush(file.get(), text, path, why)) return false;
  }
  if (!Flush(file.get(), text, path, why)) return false;
  if (std::fclose(file.release()) != 0) {
    why = "cannot write " + path;
    return false;
  }
  return true;
}

std::string Unreadable(const msdata::CSpectrum& s, const char* format) {
  return "spectrum " + s.name + " (charge " + std::to_string(s.charge) + ") cannot be written as " +
         format + " that reads back the same";
}

}  // namespace

bool WriteDtas(const std::vector<msdata::CSpectrum>& spectra, std::size_t begin, std::size_t end,
               const std::string& path, std::string& why) {
  return WriteSpectra(spectra, begin, end, path, why,
                      [&why](std::string& text, const msdata::CSpectrum& s, bool first) {
                        if (s.charge <= 0) {
                          why = Unreadable(s, "DTAS");
                          return false;
                        }
                        if (!first) text += '\n';
                        text += s.name;
                        text += ' ';
                        PutNumber(text, s.precursor_mass);
                        text += ' ';
                        text += std::to_string(s.charge);
                        text += '\n';
                        PutPeaks(text, s.peaks);
                        return true;
                      });
}

bool WriteMgf(const std::vector<msdata::CSpectrum>& spectra, std::size_t begin, std::size_t end,
              const std::string& path, std::string& why) {
  return WriteSpectra(spectra, begin, end, path, why,
                      [&why](std::string& text, const msdata::CSpectrum& s, bool) {
                        double mz = 0.0;
                        // Without a charge the importer would make two spectra of one.
                        if (s.charge == 0 || !ExactPrecursorMz(s, mz)) {
                          why = Unreadable(s, "MGF");
                          return false;
                        }
                        text += "BEGIN IONS\nTITLE=";
                        text += s.name;
                        text += "\nPEPMASS=";
                        PutNumber(text, mz);
                        text += "\nCHARGE=";
                        text += std::to_string(std::abs(s.charge));
                        text += s.charge < 0 ? "-" : "+";
                        text += "\nRTINSECONDS=";
                        PutNumber(text, s.retention_time);
                        text += '\n';
                        PutPeaks(text, s.peaks);
                        text += "END IONS\n";
                        return true;
                      });
}

bool VerifySpectra(const std::vector<msdata::CSpectrum>& spectra, std::size_t begin,
                   std::size_t end, const std::string& path, MS2FormatType type,
                   std::string& why) {
  std::vector<msdata::CSpectrum> back;
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(type, false));
  if (!importer || !importer->Load(path, back, true)) {
    why = importer ? importer->LastError() : "no importer";
    return false;
  }
  if (back.size() != end - begin) {
    why = path + " reads back as " + std::to_string(back.size()) + " spectra, not " +
          std::to_string(end - begin);
    return false;
  }
  for (std::size_t k = 0; k < back.size(); ++k) {
    const msdata::CSpectrum& a = spectra[begin + k];
    const msdata::CSpectrum& b = back[k];
    const char* what = nullptr;
    if (a.name != b.name) {
      what = "its name";
    } else if (a.charge != b.charge) {
      what = "its charge";
    } else if (a.precursor_mass != b.precursor_mass) {
      what = "its precursor mass";
    } else if (a.peaks != b.peaks) {
      what = "its peaks";
    }
    if (what) {
      why = "spectrum " + a.name + " does not read back unchanged from " + path + " (" + what +
            " differs)";
      return false;
    }
  }
  return true;
}

}  // namespace partition
