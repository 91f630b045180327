#pragma once
// Reading a clustering job's parameter file and loading its spectra, as
// every command of `cluster` does: the job itself, and the plan of a
// partitioned run, which must see exactly the spectra the job sees, in the
// same order. Each step answers an empty text when it went through, else
// the message the command prints.

#include <cstddef>
#include <cstdint>
#include <iosfwd>
#include <memory>
#include <string>
#include <vector>

#include "common/Spectrum.h"
#include "drivers/cluster/loading/OffloadedPeaks.h"
#include "drivers/cluster/loading/SpectrumOrigins.h"

class CPara;

namespace clusterjob {

// Reads the parameter file into `para` and checks what every job needs: a
// strategy (cluster type 0 or 1; a pair search when `shift_search`), a
// data path and a result file.
std::string ReadJobParameters(const std::string& para_path, bool shift_search, CPara& para);

struct LoadChoices {
  int threads = 1;  // for reading MGF files; the spectra do not depend on it
  // Clustering one MGF file keeps only the selected peaks in memory and
  // reads the raw ones again for the spectrum files it writes.
  bool offload_peaks = false;
  // Clustering (type 0): where every spectrum loaded came from, and where
  // it went in the ordered list. Not owned; null: not kept.
  COriginTable* origins = nullptr;
  // Several inputs pooled into one MGF file (PoolInputs): the row each
  // spectrum had in its own run, one per record of the pooled file and in
  // its order, so that the table names the run, not the pooled file. Not
  // owned; null: the data's own origins.
  COriginTable* pooled = nullptr;
};

struct LoadedSpectra {
  std::size_t loaded = 0;         // spectra read from the data, before the filter
  std::size_t minimum_peaks = 0;  // the filter: small_peaks_count_filter, at least 0
  // With `offload_peaks` and one MGF file to cluster: the peaks held apart,
  // in the order of the spectra.
  std::unique_ptr<COffloadedPeaks> offloaded;
  double seconds = 0.0;  // reading, filtering and ordering, wall time
};

// Loads the spectra of `data_directory` with the importer of `data_type`
// into the data settings' own list, drops those with fewer peaks than
// `small_peaks_count_filter` and orders the rest for the strategy.
// `para_path` is named in the messages.
std::string LoadJobSpectra(CPara& para, const std::string& para_path, const LoadChoices& choices,
                           LoadedSpectra& loaded);

// Spectra of several inputs (spectrum files or DTA folders), pooled into one
// MGF file at `mgf_path` whose titles are their names, so that one
// parameter file can name them all. The readers' progress and "Read
// <input>" go to `err`, neither with `quiet`; what the readers say of bad
// records goes to `err` always. The message (without the program's name)
// when an input has no reader or cannot be read, or the file cannot be
// written. With `origins`, each pooled spectrum's row as its own run gives
// it is added there, one per record of the pooled file.
std::string PoolInputs(const std::vector<std::string>& inputs, const std::string& mgf_path, bool quiet,
                       std::ostream& err, COriginTable* origins = nullptr);

// "" unless two of the inputs to pool are files of one base name
// (a/BSA1.mzML and b/BSA1.mgf): their spectra would take the same names,
// and no table could tell the runs apart. Then says which two.
std::string CheckPooledRunNames(const std::vector<std::string>& inputs);

// The orders the strategies expect: by charge, then ascending precursor
// mass (similarity clustering); descending precursor mass, heavier first
// (pair search, so that delta = M(first) - M(second) is positive).
void OrderForClustering(std::vector<msdata::CSpectrum>& spectra);
// The same order as positions: order[p] is the spectrum that goes to p.
std::vector<std::uint32_t> ClusteringOrder(const std::vector<msdata::CSpectrum>& spectra);
void OrderForPairSearch(std::vector<msdata::CSpectrum>& spectra);

}  // namespace clusterjob
