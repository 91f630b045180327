#pragma once
// Turns the outcome of the similarity clustering into files: the cluster
// file and one spectrum file per cluster in the output directory.

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <string>
#include <vector>

#include "clustering/ClusterTypes.h"
#include "clustering/PeakSource.h"
#include "clustering/SpectraProcess.h"
#include "common/Spectrum.h"
#include "common/Types.h"

class CConsensusNames;

// One record per spectrum position of the ordered spectrum list. A cluster
// is the chain that starts at its head (lowest position) and follows `next`.
struct ClusterLink {
  std::int32_t root = 0;   // position of the cluster's head
  std::int32_t next = -1;  // next member, -1 for the last
};

class CRepresentativeSpectra {
 public:
  CRepresentativeSpectra() = default;
  CRepresentativeSpectra(Representative_Spectra consensus_type, double consensus_fragment_tol,
                         Tolerance_Type consensus_fragment_tol_type)
      : consensus_type(consensus_type),
        consensus_fragment_tol(consensus_fragment_tol),
        consensus_fragment_tol_type(consensus_fragment_tol_type) {}

  Representative_Spectra consensus_type = REPRESENTATIVE_CONSENSUS;
  // Kept for the parameter file; the consensus merge uses kMergeWindow.
  double consensus_fragment_tol = 0.4;
  Tolerance_Type consensus_fragment_tol_type = TOLERANCE_DA;
  // Replaced by the job's settings at the start of every generation.
  CSpectraProcess spectra_process;

  // Consensus spectra are computed on this many threads and written in
  // order; the files do not depend on it.
  int worker_threads = 1;
  // Where the raw peaks are when the spectra hold none; null: in the
  // spectra. Not owned.
  const CPeakSource* peak_source = nullptr;

  // Set to keep, for each spectrum file written, the spectrum as written
  // with its cluster's number (as in the cluster file) and size: what a
  // caller needs to write the same spectra into one MGF file.
  struct Written {
    msdata::CSpectrum spectrum;
    int cluster = 0;
    int size = 0;
    int position = -1;  // a member written as itself: its list position; -1 for a consensus spectrum
  };
  bool record_written = false;
  std::vector<Written> written;
  // False: no spectrum file is written (nor the output folder made); the
  // spectra are only recorded (with `record_written`), for a caller that
  // writes them into one MGF file instead of a file each.
  bool write_files = true;
  // Spectrum files of the last generation that could not be written whole
  // (none is left under its name half-written).
  std::size_t failed_writes = 0;
  // Called once the spectrum files are written, just before the cluster
  // file, with which positions were written as themselves as their
  // cluster's representative (1 or 0 per position): with consensus spectra
  // the lone spectra, when copying representatives the chosen members and
  // the lone spectra; none for the other types, which write no
  // representative. What a caller writes then (a table, one MGF file of the
  // same spectra) also comes before the file whose presence says that the
  // run has finished; answering false (a file of the caller's that could
  // not be written) leaves the cluster file unwritten.
  std::function<bool(const std::vector<unsigned char>& representative)> clusters_numbered;
  // Cluster number (1-based, cluster-file order) per position, and the size
  // of each cluster by number, of the last generation.
  const std::vector<int>& ClusterOf() const { return cluster_of_; }
  const std::vector<int>& ClusterSizes() const { return size_of_cluster_; }

  // Peaks closer than this (daltons) to a group's first peak join the group.
  static constexpr double kMergeWindow = 0.4;

  // Writes the consensus spectra and/or copies of the representatives, as
  // `consensus_type` says, then the cluster file: a run cut short leaves no
  // cluster file beside a spectrum folder that is not whole. With any of the
  // three kinds every spectrum that is a cluster of its own is put in place
  // as it is, once; other types write the cluster file alone. Messages go
  // to the notifier.
  //
  // A consensus spectrum is named part(head)-part(middle)-part(last).dta.
  // When two clusters (or a cluster and a spectrum file written beside it)
  // would share a name, the first cluster in list order keeps it and each
  // later one is written as <name>_2.dta, <name>_3.dta, ..., the first
  // suffix no other file of the run uses or plans to use.
  void Generate(const std::vector<msdata::CSpectrum>& spectra,
                const std::vector<ClusterLink>& links, const std::vector<int>& representatives,
                CSpectraProcess data);

  // The cluster file text: "row,name,cluster,mass" per spectrum, clusters in
  // ascending order of their heads, members in chain order.
  static void WriteClusterFile(const std::vector<msdata::CSpectrum>& spectra,
                               const std::vector<ClusterLink>& links, std::ostream& out);

  // "start scan" + "." + charge of a DTA-style name ("s.10.12.2.dta" ->
  // "10.2"); empty when the name lacks one of the dots.
  static std::string NamePart(const std::string& name);

  // Sorts the peaks by m/z and merges every run of peaks lying less than
  // kMergeWindow above the run's first peak into one peak (mean m/z, summed
  // intensity).
  static msdata::PeakList MergePeaks(msdata::PeakList peaks);

  // Members of the cluster headed at `head`, in chain order.
  static std::vector<int> Chain(const std::vector<ClusterLink>& links, int head);

 private:
  // The clusters not `done` (the lone spectra are, and their names
  // reserved in `claims`) as consensus spectra.
  void BuildConsensusSpectra(const std::vector<msdata::CSpectrum>& spectra,
                             const std::vector<ClusterLink>& links,
                             const std::vector<int>& representatives,
                             std::vector<unsigned char>& done, CConsensusNames& claims);
  // The chosen members of clusters of two or more.
  void CopyRepresentatives(const std::vector<msdata::CSpectrum>& spectra,
                           const std::vector<int>& representatives);
  // The cluster file, under its name only when written whole.
  void WriteResultFile(const std::vector<msdata::CSpectrum>& spectra,
                       const std::vector<ClusterLink>& links) const;
  // 1 for each position written as its cluster's representative.
  std::vector<unsigned char> RepresentativeFlags(const std::vector<int>& representatives) const;
  // Fills cluster_of_ and size_of_cluster_ for the first n positions.
  void NumberClusters(const std::vector<ClusterLink>& links, std::size_t n);
  // Places every cluster of one member unchanged, reserves its name and
  // marks it done.
  void PlaceLoneSpectra(const std::vector<msdata::CSpectrum>& spectra,
                        const std::vector<ClusterLink>& links, std::vector<unsigned char>& done,
                        CConsensusNames& claims);
  // Writes one named consensus spectrum and keeps the books; `head` is the
  // position of its cluster's head.
  void WriteConsensus(msdata::CSpectrum consensus, int head);
  // Places one member spectrum in the output folder and keeps the books.
  void PlaceMember(const msdata::CSpectrum& spectrum, int position);
  // Cluster number (1-based, cluster-file order) and size per position.
  std::vector<int> cluster_of_;
  std::vector<int> size_of_cluster_;
};

// Puts one spectrum into the output directory under its own name: a copy of
// its file when the data directory holds it, else written from memory as a
// DTA file. Never writes over the source file. Returns false when nothing
// could be written.
bool PlaceSpectrum(const msdata::CSpectrum& spectrum, const std::string& data_directory,
                   const std::string& out_directory);

// The spectrum at `position` with its raw peaks: itself without a source,
// else a copy whose peaks the source reads again.
msdata::CSpectrum WithPeaks(const msdata::CSpectrum& spectrum, std::size_t position,
                            const CPeakSource* source);
