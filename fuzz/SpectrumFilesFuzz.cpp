// The text spectrum formats, through the importer the programs use. The
// format is chosen by the harness's build definition. MGF files are also
// read in small pieces on several threads, which must give what one reading
// gives, and every record read again by its place must give the peaks loaded.

#include <cstdlib>
#include <memory>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "spectra/MS2Input.h"
#include "spectra/MgfImporter.h"

TESSERA_FUZZ_SILENT_INIT

namespace {

bool Same(const std::vector<msdata::CSpectrum>& a, const std::vector<msdata::CSpectrum>& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (a[i].name != b[i].name || a[i].charge != b[i].charge || a[i].peaks != b[i].peaks ||
        a[i].precursor_mass != b[i].precursor_mass)
      return false;
  }
  return true;
}

void CheckPiecesAndPlaces(const std::string& path, bool loaded, const std::vector<msdata::CSpectrum>& spectra) {
  std::vector<CMS2Input::RecordPlace> places;
  CMgfImporter pieces;
  pieces.SetThreads(3, 256);
  pieces.SetHook([&places](msdata::CSpectrum&, const CMS2Input::RecordPlace& place) {
    places.push_back(place);
    return true;
  });
  std::vector<msdata::CSpectrum> again;
  if (pieces.Load(path, again, true) != loaded || !Same(spectra, again)) std::abort();
  CMgfPeakReader reader;
  if (!reader.Open(path)) return;
  msdata::PeakList peaks;
  for (std::size_t i = 0; i < places.size(); ++i) {
    if (!reader.Read(places[i], peaks) || peaks != spectra[i].peaks) std::abort();
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzzsupport::WriteInput(data, size, TESSERA_FUZZ_EXTENSION);
  std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(TESSERA_FUZZ_FORMAT, false));
  std::vector<msdata::CSpectrum> spectra;
  const bool loaded = importer->Load(path, spectra, true);
  if (TESSERA_FUZZ_FORMAT == MS2_FORMAT_MGF) CheckPiecesAndPlaces(path, loaded, spectra);
  return 0;
}
