#pragma once
// Fixture paths and loading shared by the spectra tests; files a test writes
// go to its own scratch folder (tests/support/ScratchDir.h).

#include <memory>
#include <string>
#include <vector>

#include "common/Notifier.h"
#include "common/Spectrum.h"
#include "spectra/MS2Input.h"
#include "tests/support/ScratchDir.h"

namespace spectra_test {

inline std::string DataPath(const std::string& name) {
  return std::string(TESSERA_SOURCE_DIR) + "/spectra/tests/data/" + name;
}

inline const msdata::CSpectrum* Find(const std::vector<msdata::CSpectrum>& spectra,
                                     const std::string& name) {
  for (const auto& s : spectra) {
    if (s.name == name) return &s;
  }
  return nullptr;
}

// Loads through the factory, collecting the notifier's messages.
struct LoadResult {
  bool ok = false;
  std::string error;
  std::vector<msdata::CSpectrum> spectra;
  std::vector<std::string> messages;
};

inline LoadResult LoadWith(MS2FormatType type, const std::string& path) {
  LoadResult r;
  notify::ScopedHandler capture([&r](const std::string& m) { r.messages.push_back(m); });
  CMS2InputFactory factory;
  std::unique_ptr<CMS2Input> importer(factory.GetImporter(type, false));
  r.ok = importer->Load(path, r.spectra, true);
  r.error = importer->LastError();
  return r;
}

}  // namespace spectra_test
