#pragma once
// Mascot generic format (MGF). Each spectrum lies between "BEGIN IONS" and
// "END IONS"; inside, "KEY=value" lines and "m/z intensity [charge]" peak lines.
//
// Keys read: TITLE, PEPMASS (m/z, optional intensity), CHARGE ("2+", "3-",
// "2+ and 3+", "2+,3+"), RTINSECONDS (first value of a range), SCANS ("120" or
// "120-125"). CHARGE before the first BEGIN IONS is the file's default; other
// keys are ignored.
//
// Names: a TITLE that is itself a DTA-style name (optionally without ".dta",
// optionally followed by blank-separated text, as msconvert writes it) keeps
// its prefix and scans. Otherwise the name is built from the file's base name
// and the SCANS range, a "scan=" in the title, or else the spectrum's 1-based
// position in the file. A spectrum listing several charges gives one spectrum
// per charge; one with none (and no file default) gives charges 2 and 3.
//
// A spectrum with a bad line, without PEPMASS or cut off at the end of the file
// is skipped; the load reports one summary of what it skipped through the
// notifier and fails only when nothing usable is left.

#include "spectra/MS2Input.h"

class CMgfImporter : public CMS2Input {
 public:
  explicit CMgfImporter(bool verbose = false) : verbose_(verbose) {}
  bool Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
            bool replace) override;

 private:
  bool verbose_;
};
