#pragma once
// Spectrum-file input: one importer per format behind one interface, chosen
// by a factory from the data-type index of the desktop program's list.
//
// Contract of every importer:
//  - Load(path, spectra, replace) reads every MS2 spectrum of `path` (a file,
//    or for DTA a directory of DTA files) into `spectra`. With `replace` the
//    vector is cleared first; otherwise the spectra are appended.
//  - Each loaded spectrum has a DTA-style name (input base name, first scan,
//    last scan, charge, "dta"), its precursor MH+ computed from m/z and
//    charge, its precursor m/z, and its retention time (seconds) and scan
//    numbers where the format has them. Peaks are ascending in m/z.
//  - Load returns false when the path cannot be read or holds no usable
//    spectrum; LastError() then says why, naming the file (and the line for
//    text formats). Importers never exit the process and never print on
//    their own.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "common/Spectrum.h"
#include "common/Types.h"

class CMS2Input {
 public:
  virtual ~CMS2Input() = default;
  virtual bool Load(const std::string& path, std::vector<msdata::CSpectrum>& spectra,
                    bool replace) = 0;
  const std::string& LastError() const { return last_error_; }

  // Where a spectrum's record lies in its file: `offset` -1 where the
  // format gives none.
  struct RecordPlace {
    std::int64_t offset = -1;
    std::int64_t length = 0;  // bytes, up to the end of the record's last line
  };
  // Called for every spectrum as it is loaded, after it is named, with the
  // place of its record: a caller that cannot hold every peak of a large run
  // keeps what it needs and takes the peaks. Returning false leaves the
  // spectrum out of the list; its name stays taken, as for spectra dropped
  // after a load. Only the MGF importer gives places.
  using Hook = std::function<bool(msdata::CSpectrum& spectrum, const RecordPlace& place)>;
  void SetHook(Hook hook) { hook_ = std::move(hook); }

  // Where a loaded spectrum came from, for tables that trace a result back
  // to its source records. The texts live only for the call.
  struct Origin {
    std::string_view file;       // the file read (its name without folder): the input, or a DTA file of a folder
    std::string_view run;        // the run the record belongs to: the file's base name, or a DTA name's prefix
    std::string_view native_id;  // mzML id ("controllerType=0 ... scan=5"); empty where the format has none
    std::string_view title;      // MGF TITLE; empty for other formats
    int scan = -1;               // the scan number the file states; -1 when the name's scan is a position
    std::size_t index = 0;       // 0-based position of the record among the file's spectra
  };
  // Called for every spectrum as it is added, in load order, before the
  // hook above (so spectra the hook leaves out are seen too); a spectrum
  // without a charge is added twice and so seen twice.
  using OriginHook = std::function<void(const msdata::CSpectrum& spectrum, const Origin& origin)>;
  void SetOriginHook(OriginHook hook) { origin_hook_ = std::move(hook); }

 protected:
  std::string last_error_;
  Hook hook_;
  OriginHook origin_hook_;
};

class CMS2InputFactory {
 public:
  // Returns a new importer that the caller deletes, or nullptr for a value
  // outside the list. `verbose` lets an importer report progress on long
  // files through the notifier.
  CMS2Input* GetImporter(MS2FormatType type, bool verbose);

  // The format of a spectrum file or directory, from its extension (a
  // directory is a DTA directory). False with `why` set for an unknown
  // extension and for vendor raw files, which cannot be read here.
  static bool FormatFromPath(const std::string& path, MS2FormatType& type, std::string& why);
};
