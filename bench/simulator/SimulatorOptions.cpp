#include "bench/simulator/SimulatorOptions.h"

#include <cstdio>

#include "common/TextUtil.h"

namespace simulator {

namespace {

struct RealKnob {
  const char* name;
  const char* help;
  double CSimulatorOptions::*field;
};

struct WholeKnob {
  const char* name;
  const char* help;
  int& (*field)(CSimulatorOptions&);
};

const RealKnob kRealKnobs[] = {
    {"no-peptide-share", "share of spectra of no peptide", &CSimulatorOptions::no_peptide_share},
    {"missed-cleavage-share", "share of the peptides seen that have a missed cleavage",
     &CSimulatorOptions::missed_cleavage_share},
    {"replicate-exponent", "spectra per peptide n drawn with P(n) ~ n^-X",
     &CSimulatorOptions::replicate_exponent},
    {"oxidation-share", "share of the spectra of M-peptides that show it oxidised",
     &CSimulatorOptions::oxidation_share},
    {"precursor-ppm", "sd of the precursor m/z error (ppm; cut at 3 sd)",
     &CSimulatorOptions::precursor_sd_ppm},
    {"fragment-sd", "sd of the fragment m/z error (Da)", &CSimulatorOptions::fragment_sd},
    {"fragment-max", "largest fragment m/z error (Da)", &CSimulatorOptions::fragment_max_error},
    {"pattern-spread", "sd of log intensity between the ions of a peptide",
     &CSimulatorOptions::pattern_spread},
    {"intensity-variation", "sd of log intensity of an ion of ten floors between spectra",
     &CSimulatorOptions::intensity_variation},
    {"dropout", "chance that a fragment peak is missing", &CSimulatorOptions::dropout},
    {"extra-intensity", "median intensity of those peaks, in the strongest ion's",
     &CSimulatorOptions::extra_intensity},
    {"base-intensity", "median intensity of a peptide's strongest ion",
     &CSimulatorOptions::base_intensity},
    {"base-intensity-spread", "sd of its log between spectra",
     &CSimulatorOptions::base_intensity_spread},
    {"floor", "median detection floor: weaker peaks are not recorded",
     &CSimulatorOptions::detection_floor},
    {"floor-spread", "sd of the log of a spectrum's floor", &CSimulatorOptions::floor_spread},
    {"noise-peaks", "median count of noise peaks per spectrum", &CSimulatorOptions::noise_peaks},
    {"noise-spread", "sd of log of that count", &CSimulatorOptions::noise_peaks_spread},
    {"noise-intensity", "median noise intensity, in floors", &CSimulatorOptions::noise_intensity},
    {"noise-intensity-spread", "sd of its log", &CSimulatorOptions::noise_intensity_spread},
    {"scan-end", "m/z where fragment scans end", &CSimulatorOptions::scan_end},
    {"rt-start", "retention times from (s)", &CSimulatorOptions::rt_start},
    {"rt-end", "retention times to (s)", &CSimulatorOptions::rt_end},
    {"rt-jitter", "sd of a spectrum's retention time around its peptide's (s)",
     &CSimulatorOptions::rt_jitter_sd},
    {"id-share", "share of the peptide spectra listed in the --ids file",
     &CSimulatorOptions::id_share},
    {"modified-share", "share of the peptide spectra that show one more modification (never identified)",
     &CSimulatorOptions::modified_share},
    {"related-share", "share of the seen peptides with a related peptide (shared termini, near-isobaric exchange)",
     &CSimulatorOptions::related_share},
};

const WholeKnob kWholeKnobs[] = {
    {"min-length", "shortest peptide", [](CSimulatorOptions& o) -> int& { return o.digest.min_length; }},
    {"max-length", "longest peptide", [](CSimulatorOptions& o) -> int& { return o.digest.max_length; }},
    {"missed-cleavages", "most missed cleavages",
     [](CSimulatorOptions& o) -> int& { return o.digest.max_missed_cleavages; }},
    {"max-replicates", "largest number of spectra of one peptide",
     [](CSimulatorOptions& o) -> int& { return o.max_replicates; }},
    {"extra-peaks", "at most this many reproducible unexplained peaks per peptide",
     [](CSimulatorOptions& o) -> int& { return o.extra_peaks; }},
};

std::string Shown(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}

bool ReadWhole(const cli::CommandLine& line, const char* name, long lowest, long& value,
               std::string& error) {
  if (!line.Has(name)) return true;
  if (cli::ParseWholeNumber(line.Value(name), value) && value >= lowest) return true;
  error = std::string("--") + name + ": not a whole number of at least " + std::to_string(lowest) +
          ": " + line.Value(name);
  return false;
}

}  // namespace

void AddSimulatorOptions(cli::CommandLine& line, const CSimulatorOptions& defaults) {
  line.Add({"fasta", 0, "FILE", defaults.fasta, "proteins to digest"});
  line.Add({"decoy-prefix", 0, "P[,P...]", "DECOY_,REV_,XXX_",
            "accession prefixes of decoy entries, skipped (any case)"});
  line.Add({"count", 0, "N", std::to_string(defaults.spectrum_count), "spectra to make"});
  line.Add({"seed", 0, "S", std::to_string(defaults.seed), "random seed"});
  line.Add({"prefix", 0, "NAME", defaults.name_prefix, "spectrum names <NAME>.<scan>.<scan>.<z>.dta"});
  CSimulatorOptions shown = defaults;
  for (const WholeKnob& knob : kWholeKnobs)
    line.Add({knob.name, 0, "N", std::to_string(knob.field(shown)), knob.help});
  for (const RealKnob& knob : kRealKnobs)
    line.Add({knob.name, 0, "X", Shown(defaults.*knob.field), knob.help});
}

bool ReadSimulatorOptions(const cli::CommandLine& line, CSimulatorOptions& options,
                          std::string& error) {
  if (line.Has("fasta")) options.fasta = line.Value("fasta");
  if (line.Has("decoy-prefix")) options.decoy_prefixes = text::Split(line.Value("decoy-prefix"));
  if (line.Has("prefix")) options.name_prefix = line.Value("prefix");
  long count = static_cast<long>(options.spectrum_count);
  long seed = static_cast<long>(options.seed);
  if (!ReadWhole(line, "count", 1, count, error) || !ReadWhole(line, "seed", 0, seed, error))
    return false;
  options.spectrum_count = static_cast<std::size_t>(count);
  options.seed = static_cast<std::uint64_t>(seed);
  for (const WholeKnob& knob : kWholeKnobs) {
    long value = knob.field(options);
    if (!ReadWhole(line, knob.name, 0, value, error)) return false;
    knob.field(options) = static_cast<int>(value);
  }
  for (const RealKnob& knob : kRealKnobs) {
    if (!line.Has(knob.name)) continue;
    if (!cli::ParseFiniteNumber(line.Value(knob.name), options.*knob.field)) {
      error = std::string("--") + knob.name + ": not a number: " + line.Value(knob.name);
      return false;
    }
  }
  return true;
}

}  // namespace simulator
