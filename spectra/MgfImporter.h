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

#include <cstdint>
#include <string>

#include "spectra/MS2Input.h"

class CMgfImporter : public CMS2Input {
 public:
  explicit CMgfImporter(bool verbose = false) : verbose_(verbose) {}
  bool Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
            bool replace) override;
  // Large files are read on this many threads, in pieces of about
  // `piece_bytes` cut at BEGIN IONS lines and taken in file order: the
  // spectra, names and reports are those of reading on one thread.
  void SetThreads(int threads, std::size_t piece_bytes = std::size_t{8} << 20) {
    threads_ = threads;
    piece_bytes_ = piece_bytes;
  }

 private:
  bool verbose_;
  int threads_ = 1;
  std::size_t piece_bytes_ = std::size_t{8} << 20;
};

// Reads the peaks of single spectra of an MGF file again, at the offsets a
// load handed to its hook, as that load gave them (same values, same
// order). One reader serves many threads at once.
class CMgfPeakReader {
 public:
  using RecordPlace = CMS2Input::RecordPlace;
  CMgfPeakReader() = default;
  ~CMgfPeakReader();
  CMgfPeakReader(const CMgfPeakReader&) = delete;
  CMgfPeakReader& operator=(const CMgfPeakReader&) = delete;

  bool Open(const std::string& path);
  // False when no record the load would have read lies at `place`: the
  // file was changed or cut since.
  bool Read(const RecordPlace& place, msdata::PeakList& peaks) const;

 private:
  int fd_ = -1;
};
