#pragma once
// MS/MS spectra of known peptides, for benchmarks and tests: tryptic
// peptides of a FASTA file, seen a heavy-tailed number of times each, as an
// ion trap records them (b/y ions with a per-peptide intensity pattern,
// per-spectrum variation, fragment m/z errors of tenths of a dalton, missing
// peaks, noise peaks, a detection floor), plus a share of spectra of no
// peptide. The same options and seed give the same spectra, in the same
// order, on every run.
//
// How a spectrum is made (bench/simulator/README.md has the calibration):
//  - peptides: the unique tryptic peptides of the target proteins, in an
//    order shuffled by the seed, those with a missed cleavage thinned to
//    their share of the peptides seen; peptide i is seen n_i times, n_i drawn
//    from P(n) ~ n^-exponent on 1..max_replicates, until the peptide spectra
//    are counted out. When the FASTA gives too few peptides for that, the
//    exponent is lowered until they suffice (Summary() says which it used).
//  - per peptide: a retention time, the M that carries an oxidation when a
//    spectrum shows it oxidised, charge weights from its basic residues and
//    length, and an intensity for every ion (b and y, 1+ and 2+, water
//    losses) and for up to extra_peaks unexplained peaks (internal
//    fragments, a ions, other losses) that recur in all its spectra: so
//    replicates look alike.
//  - per spectrum: a charge (2 to 4), the precursor m/z off by a normal error
//    in ppm, the retention time jittered, an overall intensity and a
//    detection floor, every ion varied, moved by the fragment error, dropped
//    at random or below the floor or outside the scan range, and noise peaks
//    added.
//  - spectra of no peptide: a precursor amid the peptides' masses and random
//    peaks of the same intensities.
// Spectra come in run order (ascending retention time), scans 1 to N, named
// "<prefix>.<scan>.<scan>.<charge>.dta": the name Tessera gives them.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "bench/simulator/Peptides.h"
#include "common/Spectrum.h"

namespace simulator {

// The E. coli K-12 proteome with reversed decoys that Debian's openms-doc
// ships.
inline constexpr const char* kDefaultFasta =
    "/usr/share/doc/openms/examples/TOPPAS/data/Identification/"
    "target_decoy_Ecoli_K12_TaxID_83333.proteomes.fasta";

struct CSimulatorOptions {
  std::string fasta = kDefaultFasta;
  std::vector<std::string> decoy_prefixes = {"DECOY_", "REV_", "XXX_"};  // any case
  std::size_t spectrum_count = 10000;
  std::uint64_t seed = 1;
  std::string name_prefix = "sim";
  CDigestRules digest;

  double no_peptide_share = 0.2;
  double missed_cleavage_share = 0.15;  // of the peptides seen
  double replicate_exponent = 2.5;
  int max_replicates = 1000;
  double oxidation_share = 0.2;  // of the spectra of peptides that have an M

  double precursor_sd_ppm = 3.0;  // errors beyond three sd are drawn again
  double fragment_sd = 0.1;       // daltons
  double fragment_max_error = 0.3;

  double pattern_spread = 1.0;        // sd of log ion intensity between ions of a peptide
  double intensity_variation = 0.1;  // sd of log intensity of an ion of ten floors between
                                      // spectra (1/sqrt(intensity) elsewhere, at most 1)
  double dropout = 0.03;              // chance that a fragment peak is missing
  int extra_peaks = 150;              // at most this many unexplained peaks per peptide
  double extra_intensity = 0.05;      // their median intensity, in the strongest ion's

  double base_intensity = 65.0;  // median intensity of a peptide's strongest ion
  double base_intensity_spread = 1.1;  // sd of its log between spectra
  double detection_floor = 1.08;       // median floor: weaker peaks are not recorded
  double floor_spread = 0.16;          // sd of the log of a spectrum's floor
  double noise_peaks = 10.0;           // median noise peaks per spectrum
  double noise_peaks_spread = 0.5;     // sd of log of that count
  double noise_intensity = 3.0;        // median noise intensity, in floors
  double noise_intensity_spread = 0.9;  // sd of its log
  double scan_end = 800.0;  // m/z where the fragment scans end (the BSA runs' instrument)

  double rt_start = 600.0;  // seconds
  double rt_end = 6600.0;
  double rt_jitter_sd = 15.0;

  double id_share = 0.3;  // of the peptide spectra, listed in the identification file

  // Hard cases for propagation, both off by default. A share of the peptide
  // spectra shows its peptide with one more modification (one kind and
  // residue per peptide, from kVariantModifications); such a spectrum is
  // never in the identification list, as a search without that modification
  // would miss it. A share of the seen peptides has a related peptide seen
  // beside it: one sharing its C-terminal residues or its N-terminal ones,
  // or one residue exchanged for a near-isobaric one (D/N, E/Q, K/Q, N/GG,
  // Q/AG), as homologous proteins give; those spectra pair with the
  // original's like a modified pair.
  double modified_share = 0.0;
  double related_share = 0.0;
};

// A modification that variant spectra show.
struct CVariantModification {
  const char* name;  // as Unimod names it
  double mass;
  const char* residues;
};
extern const CVariantModification kVariantModifications[8];

// What one spectrum is, as the truth table lists it.
struct CSpectrumTruth {
  std::string name;  // the MGF title, which is Tessera's name of the spectrum
  int scan = 0;
  std::string peptide;  // empty for a spectrum of no peptide
  char before = '-';    // residues around the peptide in its protein
  char after = '-';
  int charge = 0;
  double precursor_mz = 0.0;    // as written
  double theoretical_mz = 0.0;  // of the modified peptide; 0 without one
  double retention_time = 0.0;
  int oxidised_position = -1;  // 0-based; -1 none
  int variant_position = -1;   // 0-based residue of the variant modification; -1 none
  const CVariantModification* variant = nullptr;
  bool identified = false;     // listed in the identification file

  struct Site {
    std::size_t position;  // 0-based
    char residue;
    const char* modification;  // "Carbamidomethyl", "Oxidation" (names of modify.ini)
  };
  std::vector<Site> ModificationSites() const;
  // "C3:Carbamidomethyl,M5:Oxidation" (1-based positions); empty without.
  std::string Modifications() const;
};

struct CSimulationSummary {
  std::size_t proteins = 0;
  std::size_t decoys_skipped = 0;
  std::size_t peptides_available = 0;
  std::size_t peptides_used = 0;
  std::size_t peptide_spectra = 0;
  std::size_t no_peptide_spectra = 0;
  std::size_t largest_replicate_count = 0;
  double replicate_exponent = 0.0;  // the one used
  std::size_t related_peptides = 0;  // made beside their originals
};

class CSpectrumSimulator {
 public:
  explicit CSpectrumSimulator(CSimulatorOptions options);

  // Reads the FASTA file and plans every spectrum. False with `error` set
  // when the file gives no peptide or an option is out of range.
  bool Plan(std::string& error);
  // The same from protein sequences at hand.
  bool PlanFromProteins(const std::vector<std::string>& proteins, std::string& error);

  const CSimulatorOptions& Options() const { return options_; }
  const CSimulationSummary& Summary() const { return summary_; }
  std::size_t SpectrumCount() const { return plan_.size(); }
  // The related peptides made (related_share), for a database that must
  // know them as it knows the proteins' own.
  std::vector<std::string> RelatedPeptides() const;

  // Makes every planned spectrum in run order and hands it to `sink` with its
  // truth; stops early when the sink answers false. Spectra carry name,
  // charge, precursor m/z and MH+, retention time, scans and peaks ascending
  // in m/z, rounded as the MGF file writes them.
  using Sink = std::function<bool(const msdata::CSpectrum&, const CSpectrumTruth&)>;
  bool Generate(const Sink& sink) const;
  // The spectrum at `position` (0-based) of the run order, as Generate hands
  // it on. Every spectrum draws from random numbers of its own, so several
  // threads may make spectra at once.
  void Make(std::size_t position, msdata::CSpectrum& spectrum, CSpectrumTruth& truth) const;

 private:
  struct PlannedSpectrum {
    std::uint64_t id = 0;       // the index of its random stream
    std::int64_t peptide = -1;  // into peptides_; -1 for no peptide
    double retention_time = 0.0;
    int charge = 2;
    int oxidised_position = -1;  // 0-based; -1 when the spectrum shows no oxidation
    bool modified = false;       // shows its peptide's variant modification
    bool identified = false;
  };
  struct PeptideTraits;
  struct IonPattern;

  bool CheckOptions(std::string& error) const;
  std::vector<std::size_t> SeenPeptides() const;
  void AssignReplicateCounts(std::vector<std::uint32_t>& counts);
  void AddRelatedPeptides();
  void PlanSpectra(const std::vector<std::uint32_t>& counts);
  PeptideTraits TraitsOf(std::size_t peptide) const;
  IonPattern PatternOf(std::size_t peptide) const;
  void MakePeptideSpectrum(const PlannedSpectrum& planned, msdata::CSpectrum& spectrum,
                           CSpectrumTruth& truth) const;
  void MakeNoPeptideSpectrum(const PlannedSpectrum& planned, msdata::CSpectrum& spectrum,
                             CSpectrumTruth& truth) const;

  CSimulatorOptions options_;
  CSimulationSummary summary_;
  std::vector<CPeptide> peptides_;  // shuffled, then the related ones
  std::size_t own_peptides_ = 0;    // the proteins' own, before the related ones
  // Per own peptide, the related peptide seen beside it (an index of
  // peptides_), or 0 for none.
  std::vector<std::size_t> related_of_;
  std::vector<PlannedSpectrum> plan_;  // in run order
};

// The files of a simulation. `ids` empty: no identification file.
struct CSimulationFiles {
  std::string mgf;
  std::string truth;
  std::string ids;
  std::string related_fasta;  // the related peptides as FASTA entries; empty: none written
};

// Writes the MGF file, the truth table (tab-separated, one header line) and
// the identification list of the spectra chosen for it (Kiln ".spectra"
// format), each whole or not at all, making spectra on `threads` threads
// (the files do not depend on it). False with `error` set.
bool WriteSimulation(const CSpectrumSimulator& simulator, const CSimulationFiles& files,
                     std::string& error, unsigned threads = 1);

// The header of the truth table.
extern const char* const kTruthHeader;

}  // namespace simulator
