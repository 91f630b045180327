#pragma once
// The peaks of a run loaded from one MGF file, held apart from its spectra.
// As each spectrum is loaded, the peaks the job's selection keeps are
// stored compactly and the raw peaks are let go; they are read again from
// the file, at the offset of the spectrum's record, when a spectrum file is
// written. A million spectra then take a few hundred bytes each instead of
// two doubles for every raw peak.
//
// Values are stored as decimals where that is exact: a value x kept as the
// 32-bit m with m / 10^k == x for the spectrum's k (m and 10^k are exact
// doubles, so the quotient is correctly rounded and equals x bit for bit,
// which is checked when the value is stored). Lists with a value that no
// such pair gives back keep doubles.

#include <cstddef>
#include <cstdint>
#include <future>
#include <string>
#include <vector>

#include "clustering/PeakSelect.h"
#include "clustering/PeakSource.h"
#include "spectra/MgfImporter.h"

class COffloadedPeaks : public CPeakSource {
 public:
  // Spectra with fewer than `minimum_peaks` raw peaks are not kept. With
  // `threads` of 1 the selections are stored on the loading thread.
  COffloadedPeaks(const CPeakSelect& selection, std::size_t minimum_peaks, int threads)
      : selection_(selection), minimum_peaks_(minimum_peaks), beside_(threads > 1) {}
  ~COffloadedPeaks() override {
    if (stored_.valid()) stored_.wait();
  }
  COffloadedPeaks(const COffloadedPeaks&) = delete;
  COffloadedPeaks& operator=(const COffloadedPeaks&) = delete;

  // The MGF file the spectra are loaded from.
  bool Open(const std::string& mgf_path);
  // The importer's hook: takes the peaks of a spectrum just loaded from
  // the record at `place`, whose selection is then stored beside the
  // loading (on a second thread, batch by batch). False for a spectrum with
  // too few peaks, which is then left out.
  bool Keep(msdata::CSpectrum& spectrum, const CMS2Input::RecordPlace& place);
  std::size_t Dropped() const { return dropped_; }
  // After the load: puts the stored spectra in the order of the run's list,
  // position p of the list holding the spectrum kept as number order[p].
  void Arrange(std::vector<std::uint32_t> order);

  void Selected(std::size_t position, msdata::PeakList& peaks) const override;
  void Raw(std::size_t position, msdata::PeakList& peaks) const override;

  // Bytes held for the peaks, for reports.
  std::size_t StoredBytes() const;

 private:
  struct Entry {
    std::int64_t offset = -1;     // of the record in the file
    std::uint64_t at = 0;         // first word: chunk << 32 | word in chunk
    std::uint32_t length = 0;     // of the record; 0: not known
    std::uint32_t raw_count = 0;  // peaks as loaded, to check a reading again
    std::uint32_t count = 0;      // selected peaks
    std::int8_t mz_decimals = -1;  // -1: stored as doubles
    std::int8_t intensity_decimals = -1;
  };
  // Spectra kept whose selection is still to be stored.
  struct Batch {
    std::size_t first = 0;  // entry of raw[0]
    std::vector<msdata::PeakList> raw;
    std::vector<Entry> stored;  // where the storing put each selection
  };
  void Store(Batch& batch, msdata::PeakList& scratch);
  void Dispatch();
  void Wait();
  std::uint32_t* Allocate(std::size_t words, std::uint64_t& at);
  const std::uint32_t* Words(std::uint64_t at) const;
  const Entry& At(std::size_t position) const;

  CPeakSelect selection_;
  std::size_t minimum_peaks_;
  bool beside_;
  std::string path_;
  CMgfPeakReader reader_;
  std::vector<Entry> entries_;
  std::vector<std::vector<std::uint32_t>> chunks_;
  std::vector<std::uint32_t> order_;
  std::size_t dropped_ = 0;
  Batch filling_;
  Batch storing_;
  std::future<void> stored_;  // of storing_, when in flight
  msdata::PeakList scratch_;
};
