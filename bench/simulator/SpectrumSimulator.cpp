#include "bench/simulator/SpectrumSimulator.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <iterator>
#include <set>

#include "bench/simulator/SimRandom.h"

namespace simulator {

namespace {

// Streams of random numbers, one per purpose (SimRandom.h).
enum Stream : std::uint64_t {
  kShuffleStream = 1,
  kCountStream = 2,
  kPeptideStream = 3,
  kPatternStream = 4,
  kPlanStream = 5,
  kSpectrumStream = 6,
  kSelectStream = 7,
  kRelatedStream = 8,
  kVariantStream = 9,
};

constexpr int kLowestCharge = 2;
constexpr int kHighestCharge = 4;
// An ion trap records from about 0.28 of the precursor m/z (the low-mass
// cut-off of resonance excitation; the BSA runs' lowest peaks sit there) up
// to the end of its scan range.
constexpr double kLowMassCutOff = 0.28;
// The BSA runs' spectra come at 2+, 3+ and 4+ (and above) as 70:26:4; a
// spectrum of no peptide takes its charge from the same mix.
constexpr std::array<double, 3> kNoPeptideChargeWeights = {0.70, 0.26, 0.04};

double Round(double value, double scale) { return std::round(value * scale) / scale; }

int DrawCharge(CRandom& random, const std::array<double, 3>& weights) {
  const double total = weights[0] + weights[1] + weights[2];
  double u = random.Unit() * total;
  for (int i = 0; i < 2; ++i) {
    if (u < weights[static_cast<std::size_t>(i)]) return kLowestCharge + i;
    u -= weights[static_cast<std::size_t>(i)];
  }
  return kHighestCharge;
}

// Protons stick to the N-terminus and to K, R and H; long peptides take
// more. The charge is normal (variance 0.36) around 1.7 for two such sites,
// 0.6 more for each further site and 0.04 per residue past 15: fitted so
// that E. coli's peptides, 15% of them with a missed cleavage, come at
// 2+, 3+ and 4+ as 70:26:4, as the BSA runs' spectra do.
std::array<double, 3> ChargeWeights(const std::string& sequence) {
  int sites = 1;
  for (char c : sequence) sites += c == 'K' || c == 'R' || c == 'H';
  const double centre = 1.7 + 0.6 * (sites - 2) +
                        0.04 * std::max(0, static_cast<int>(sequence.size()) - 15);
  std::array<double, 3> weights{};
  for (int z = kLowestCharge; z <= kHighestCharge; ++z) {
    const double d = z - centre;
    weights[static_cast<std::size_t>(z - kLowestCharge)] = std::exp(-d * d / (2.0 * 0.36));
  }
  return weights;
}

// Mean of the power law n^-exponent on 1..largest.
double MeanReplicates(double exponent, int largest) {
  double weights = 0.0, counts = 0.0;
  for (int n = 1; n <= largest; ++n) {
    const double w = std::pow(n, -exponent);
    weights += w;
    counts += n * w;
  }
  return counts / weights;
}

// An error drawn from N(0, sd) within `limit`; none when either is 0.
double Error(CRandom& random, double sd, double limit) {
  if (!(sd > 0.0) || !(limit > 0.0)) return 0.0;
  return random.TruncatedNormal(0.0, sd, limit / sd);
}

}  // namespace

struct CSpectrumSimulator::PeptideTraits {
  double retention_time = 0.0;
  int oxidation_site = -1;  // the M an oxidised spectrum carries it on
  std::array<double, 3> charge_weights{};
  int variant_site = -1;    // the residue a modified spectrum carries `variant` on
  const CVariantModification* variant = nullptr;
};

// Modifications that samples and their handling leave on peptides besides
// oxidation, with the residues they take (Unimod monoisotopic masses).
const CVariantModification kVariantModifications[8] = {
    {"Deamidated", 0.984016, "NQ"},  {"Methyl", 14.01565, "KR"},    {"Dimethyl", 28.0313, "KR"},
    {"Formyl", 27.994915, "KST"},    {"Acetyl", 42.010565, "K"},    {"Carbamyl", 43.005814, "K"},
    {"Phospho", 79.966331, "STY"},   {"Cation:Na", 21.981943, "DE"},
};

// Relative intensities of a peptide's ions, the same in all its spectra.
struct CSpectrumSimulator::IonPattern {
  enum Kind : unsigned char { kB, kY };
  struct Ion {
    Kind kind;
    int site;  // cleavage after this many residues
    int charge;
    bool water_loss;
    double intensity;
  };
  struct Extra {
    double place;  // 0 to 1: where in the recorded m/z range
    double intensity;
  };
  std::vector<Ion> ions;
  std::vector<Extra> extras;
};

std::vector<CSpectrumTruth::Site> CSpectrumTruth::ModificationSites() const {
  std::vector<Site> sites;
  for (std::size_t i = 0; i < peptide.size(); ++i) {
    if (static_cast<int>(i) == variant_position && variant) {
      sites.push_back({i, peptide[i], variant->name});
    } else if (static_cast<int>(i) == oxidised_position) {
      sites.push_back({i, peptide[i], "Oxidation"});
    } else if (peptide[i] == 'C') {
      sites.push_back({i, peptide[i], "Carbamidomethyl"});
    }
  }
  return sites;
}

std::string CSpectrumTruth::Modifications() const {
  std::string items;
  for (const Site& site : ModificationSites()) {
    if (!items.empty()) items += ',';
    items += site.residue + std::to_string(site.position + 1) + ":" + site.modification;
  }
  return items;
}

CSpectrumSimulator::CSpectrumSimulator(CSimulatorOptions options) : options_(std::move(options)) {}

bool CSpectrumSimulator::Plan(std::string& error) {
  std::vector<std::string> proteins;
  std::size_t decoys = 0;
  if (!ReadFastaTargets(options_.fasta, options_.decoy_prefixes, proteins, decoys, error))
    return false;
  const bool planned = PlanFromProteins(proteins, error);
  summary_.decoys_skipped = decoys;
  return planned;
}

bool CSpectrumSimulator::CheckOptions(std::string& error) const {
  const CSimulatorOptions& o = options_;
  const auto share = [](double v) { return v >= 0.0 && v <= 1.0; };
  if (!share(o.no_peptide_share) || !share(o.oxidation_share) || !share(o.dropout) ||
      !share(o.id_share) || !share(o.missed_cleavage_share) || !share(o.modified_share) ||
      !share(o.related_share)) {
    error = "shares (no-peptide, missed-cleavage, oxidation, dropout, id, modified, related) must lie in [0, 1]";
  } else if (o.max_replicates < 1 || o.replicate_exponent < 0.0) {
    error = "the replicate law needs max-replicates >= 1 and an exponent >= 0";
  } else if (o.digest.min_length < 1 || o.digest.max_length < o.digest.min_length ||
             o.digest.max_missed_cleavages < 0) {
    error = "peptide lengths must satisfy 1 <= min <= max, missed cleavages >= 0";
  } else if (o.precursor_sd_ppm < 0.0 || o.fragment_sd < 0.0 || o.fragment_max_error < 0.0 ||
             o.pattern_spread < 0.0 || o.intensity_variation < 0.0 ||
             o.base_intensity_spread < 0.0 || o.noise_peaks_spread < 0.0 ||
             o.noise_peaks < 0.0 || o.noise_intensity < 0.0 || o.noise_intensity_spread < 0.0 ||
             o.floor_spread < 0.0 || o.extra_peaks < 0 || o.extra_intensity < 0.0 ||
             o.rt_jitter_sd < 0.0) {
    error = "errors, spreads and counts must not be negative";
  } else if (!(o.base_intensity > 0.0) || !(o.detection_floor > 0.0) || !(o.scan_end > 0.0)) {
    error = "the base intensity, the detection floor and the scan end must be positive";
  } else if (!(o.rt_start >= 0.0) || !(o.rt_end >= o.rt_start)) {
    error = "the retention times must satisfy 0 <= start <= end";
  } else {
    return true;
  }
  return false;
}

bool CSpectrumSimulator::PlanFromProteins(const std::vector<std::string>& proteins,
                                          std::string& error) {
  if (!CheckOptions(error)) return false;
  summary_ = CSimulationSummary();
  summary_.proteins = proteins.size();
  peptides_ = UniquePeptides(proteins, options_.digest);
  summary_.peptides_available = peptides_.size();
  if (peptides_.empty()) {
    error = "the proteins give no tryptic peptide of " + std::to_string(options_.digest.min_length) +
            " to " + std::to_string(options_.digest.max_length) + " residues";
    return false;
  }
  CRandom shuffle(StreamSeed(options_.seed, kShuffleStream, 0));
  for (std::size_t i = peptides_.size() - 1; i > 0; --i)
    std::swap(peptides_[i], peptides_[shuffle.Below(i + 1)]);
  AddRelatedPeptides();

  std::vector<std::uint32_t> counts;
  AssignReplicateCounts(counts);
  PlanSpectra(counts);
  return true;
}

std::vector<std::string> CSpectrumSimulator::RelatedPeptides() const {
  std::vector<std::string> related;
  for (std::size_t i = own_peptides_; i < peptides_.size(); ++i) related.push_back(peptides_[i].sequence);
  return related;
}

namespace {

// A peptide related to `a` with the help of another peptide `b`: b's
// N-terminal part before a's last two to four residues, a's first one or two
// residues before the rest of b, or a with one residue exchanged for a
// near-isobaric one or two. Empty when the draw gives nothing usable.
std::string RelatedSequence(const std::string& a, const std::string& b, CRandom& random) {
  switch (random.Below(3)) {
    case 0: {
      const std::size_t keep = 2 + random.Below(3);
      if (a.size() <= keep || b.size() < 2) return std::string();
      return b.substr(0, b.size() - 1) + a.substr(a.size() - keep);
    }
    case 1: {
      const std::size_t keep = 1 + random.Below(2);
      if (a.size() <= keep || b.size() <= keep) return std::string();
      return a.substr(0, keep) + b.substr(keep);
    }
    default: {
      static const std::pair<char, const char*> kExchanges[] = {
          {'D', "N"}, {'N', "D"}, {'N', "GG"}, {'E', "Q"}, {'Q', "E"}, {'Q', "K"}, {'Q', "AG"}, {'K', "Q"}};
      std::vector<std::pair<std::size_t, const char*>> choices;
      for (std::size_t j = 0; j + 1 < a.size(); ++j)
        for (const auto& [from, to] : kExchanges)
          if (a[j] == from) choices.emplace_back(j, to);
      if (choices.empty()) return std::string();
      const auto& [at, to] = choices[random.Below(choices.size())];
      return a.substr(0, at) + to + a.substr(at + 1);
    }
  }
}

}  // namespace

void CSpectrumSimulator::AddRelatedPeptides() {
  own_peptides_ = peptides_.size();
  related_of_.assign(own_peptides_, 0);
  if (!(options_.related_share > 0.0)) return;
  std::set<std::string> known;
  for (const CPeptide& p : peptides_) known.insert(p.sequence);
  for (std::size_t i = 0; i < own_peptides_; ++i) {
    CRandom random(StreamSeed(options_.seed, kRelatedStream, i));
    if (!random.Chance(options_.related_share)) continue;
    const std::string& b = peptides_[random.Below(own_peptides_)].sequence;
    const std::string made = RelatedSequence(peptides_[i].sequence, b, random);
    const auto size = static_cast<int>(made.size());
    if (size < options_.digest.min_length || size > options_.digest.max_length || known.count(made)) continue;
    CPeptide related;
    related.sequence = made;
    related.before = peptides_[i].before;
    related_of_[i] = peptides_.size();
    peptides_.push_back(related);
    known.insert(made);
  }
  summary_.related_peptides = peptides_.size() - own_peptides_;
}

// The peptides that spectra may show, in the shuffled order: trypsin
// leaves few sites uncut, so peptides with a missed cleavage (half of the
// digest when one is allowed) are kept only as often as makes them the
// chosen share of the peptides seen; each is kept or not once per seed.
std::vector<std::size_t> CSpectrumSimulator::SeenPeptides() const {
  std::size_t missed = 0;
  for (std::size_t i = 0; i < own_peptides_; ++i) missed += peptides_[i].missed_cleavages > 0;
  const std::size_t full = own_peptides_ - missed;
  double keep_full = 1.0, keep_missed = 1.0;
  const double share = options_.missed_cleavage_share;
  if (full > 0 && missed > 0) {
    // Wanted and present ratios of missed to fully cleaved peptides.
    const double wanted = share >= 1.0 ? 1e300 : share / (1.0 - share);
    const double present = static_cast<double>(missed) / static_cast<double>(full);
    if (wanted <= present) {
      keep_missed = wanted / present;
    } else {
      keep_full = present / wanted;
    }
  }
  CRandom random(StreamSeed(options_.seed, kSelectStream, 0));
  std::vector<std::size_t> seen;
  for (std::size_t i = 0; i < own_peptides_; ++i) {
    if (!random.Chance(peptides_[i].missed_cleavages > 0 ? keep_missed : keep_full)) continue;
    seen.push_back(i);
    // A related peptide is seen beside its original, or the two would
    // seldom meet in one simulation.
    if (related_of_[i] != 0) seen.push_back(related_of_[i]);
  }
  return seen;
}

// Draws n_i for the seen peptides in turn until the peptide spectra are
// counted out. The exponent is lowered (in steps of 0.05) while the expected
// need exceeds nine tenths of the peptides, and again should a draw run out.
void CSpectrumSimulator::AssignReplicateCounts(std::vector<std::uint32_t>& counts) {
  const std::size_t total = options_.spectrum_count;
  const std::size_t wanted =
      total - static_cast<std::size_t>(std::llround(total * options_.no_peptide_share));
  std::vector<std::size_t> seen = SeenPeptides();
  if (seen.empty()) seen.push_back(0);
  const int largest = options_.max_replicates;
  double exponent = options_.replicate_exponent;
  while (exponent > 0.0 &&
         wanted > 0.9 * static_cast<double>(seen.size()) * MeanReplicates(exponent, largest))
    exponent = std::max(0.0, exponent - 0.05);

  CRandom random(StreamSeed(options_.seed, kCountStream, 0));
  for (;;) {
    std::vector<double> cumulative(static_cast<std::size_t>(largest));
    double sum = 0.0;
    for (int n = 1; n <= largest; ++n)
      cumulative[static_cast<std::size_t>(n - 1)] = sum += std::pow(n, -exponent);
    counts.assign(peptides_.size(), 0);
    std::size_t assigned = 0;
    for (std::size_t k = 0; k < seen.size() && assigned < wanted; ++k) {
      const double u = random.Unit() * sum;
      const std::size_t n = static_cast<std::size_t>(
          std::upper_bound(cumulative.begin(), cumulative.end(), u) - cumulative.begin() + 1);
      counts[seen[k]] = static_cast<std::uint32_t>(std::min(n, wanted - assigned));
      assigned += counts[seen[k]];
    }
    // With the exponent at 0 and still short, the peptides take the rest in
    // turn (only a tiny FASTA with many spectra gets here).
    for (std::size_t k = 0; assigned < wanted && exponent <= 0.0; k = (k + 1) % seen.size(), ++assigned)
      ++counts[seen[k]];
    if (assigned >= wanted) break;
    exponent = std::max(0.0, exponent - 0.05);
  }
  summary_.replicate_exponent = exponent;
  summary_.peptide_spectra = wanted;
  summary_.no_peptide_spectra = total - wanted;
  for (std::uint32_t n : counts) {
    summary_.peptides_used += n > 0;
    summary_.largest_replicate_count = std::max<std::size_t>(summary_.largest_replicate_count, n);
  }
}

void CSpectrumSimulator::PlanSpectra(const std::vector<std::uint32_t>& counts) {
  plan_.clear();
  plan_.reserve(options_.spectrum_count);
  std::uint64_t id = 0;
  for (std::size_t p = 0; p < counts.size(); ++p) {
    if (counts[p] == 0) continue;
    const PeptideTraits traits = TraitsOf(p);
    for (std::uint32_t r = 0; r < counts[p]; ++r, ++id) {
      CRandom random(StreamSeed(options_.seed, kPlanStream, id));
      PlannedSpectrum s;
      s.id = id;
      s.peptide = static_cast<std::int64_t>(p);
      s.charge = DrawCharge(random, traits.charge_weights);
      if (random.Chance(options_.oxidation_share)) s.oxidised_position = traits.oxidation_site;
      s.retention_time = std::max(0.0, random.Normal(traits.retention_time, options_.rt_jitter_sd));
      s.identified = random.Chance(options_.id_share);
      if (traits.variant && random.Chance(options_.modified_share)) {
        s.modified = true;
        s.oxidised_position = -1;
        s.identified = false;
      }
      plan_.push_back(s);
    }
  }
  for (std::size_t k = 0; k < summary_.no_peptide_spectra; ++k, ++id) {
    CRandom random(StreamSeed(options_.seed, kPlanStream, id));
    PlannedSpectrum s;
    s.id = id;
    s.charge = DrawCharge(random, kNoPeptideChargeWeights);
    s.retention_time = random.Uniform(options_.rt_start, options_.rt_end);
    plan_.push_back(s);
  }
  std::sort(plan_.begin(), plan_.end(), [](const PlannedSpectrum& a, const PlannedSpectrum& b) {
    return a.retention_time != b.retention_time ? a.retention_time < b.retention_time : a.id < b.id;
  });
}

CSpectrumSimulator::PeptideTraits CSpectrumSimulator::TraitsOf(std::size_t peptide) const {
  const std::string& sequence = peptides_[peptide].sequence;
  CRandom random(StreamSeed(options_.seed, kPeptideStream, peptide));
  PeptideTraits traits;
  traits.retention_time = random.Uniform(options_.rt_start, options_.rt_end);
  std::vector<int> methionines;
  for (std::size_t i = 0; i < sequence.size(); ++i)
    if (sequence[i] == 'M') methionines.push_back(static_cast<int>(i));
  if (!methionines.empty()) traits.oxidation_site = methionines[random.Below(methionines.size())];
  traits.charge_weights = ChargeWeights(sequence);
  if (options_.modified_share > 0.0) {
    // A stream of its own, so that the other traits stay as they were.
    CRandom variant(StreamSeed(options_.seed, kVariantStream, peptide));
    const CVariantModification& kind = kVariantModifications[variant.Below(std::size(kVariantModifications))];
    std::vector<int> sites;
    for (std::size_t i = 0; i < sequence.size(); ++i)
      if (std::strchr(kind.residues, sequence[i])) sites.push_back(static_cast<int>(i));
    if (!sites.empty()) {
      traits.variant = &kind;
      traits.variant_site = sites[variant.Below(sites.size())];
    }
  }
  return traits;
}

// Ion-trap fragmentation in broad strokes: y ions above b ions, cleavage
// before a proline strong and after one weak, after an aspartate strong; b1
// rare; doubly charged fragments the stronger the longer they are; water
// losses weak; each ion then scattered by a log-normal factor of its own.
CSpectrumSimulator::IonPattern CSpectrumSimulator::PatternOf(std::size_t peptide) const {
  const std::string& sequence = peptides_[peptide].sequence;
  const int length = static_cast<int>(sequence.size());
  CRandom random(StreamSeed(options_.seed, kPatternStream, peptide));
  const double spread = options_.pattern_spread;
  IonPattern pattern;
  double strongest = 0.0;
  for (int site = 1; site < length; ++site) {
    double cleavage = 1.0;
    if (sequence[static_cast<std::size_t>(site)] == 'P') cleavage *= 5.0;
    if (sequence[static_cast<std::size_t>(site - 1)] == 'P') cleavage *= 0.2;
    if (sequence[static_cast<std::size_t>(site - 1)] == 'D') cleavage *= 2.0;
    for (IonPattern::Kind kind : {IonPattern::kY, IonPattern::kB}) {
      const double kind_factor = kind == IonPattern::kY ? 1.0 : (site == 1 ? 0.03 : 0.6);
      const int residues = kind == IonPattern::kB ? site : length - site;
      const double single = cleavage * kind_factor * random.LogNormal(1.0, spread);
      const double twice = cleavage * kind_factor * 0.8 * residues / length * random.LogNormal(1.0, spread);
      const double water = single * 0.15 * random.LogNormal(1.0, spread);
      pattern.ions.push_back({kind, site, 1, false, single});
      pattern.ions.push_back({kind, site, 2, false, twice});
      pattern.ions.push_back({kind, site, 1, true, water});
      strongest = std::max(strongest, single);
    }
  }
  const std::uint64_t extras = random.Below(static_cast<std::uint64_t>(options_.extra_peaks) + 1);
  for (std::uint64_t k = 0; k < extras; ++k) {
    const double place = random.Unit();
    pattern.extras.push_back({place, random.LogNormal(options_.extra_intensity, spread)});
  }
  if (strongest > 0.0) {
    for (auto& ion : pattern.ions) ion.intensity /= strongest;
  }
  return pattern;
}

namespace {

// The peaks of one spectrum as they are made: what the detector would not
// record is left out, the rest is rounded as the MGF file writes it.
class PeakCollector {
 public:
  PeakCollector(CRandom& random, const CSimulatorOptions& options, double precursor_mz, int charge)
      : random_(random), options_(options) {
    low_ = kLowMassCutOff * precursor_mz;
    high_ = std::min(options.scan_end, msdata::MHFromMz(precursor_mz, charge));
    floor_ = random.LogNormal(options.detection_floor, options.floor_spread);
  }

  // A fragment at `mz` of intensity `intensity`: missing by chance, moved by
  // the fragment error, varied, lost outside the scan range or below the
  // floor. Few ions make a weak peak, so its intensity varies more: the sd
  // of the log is the knob's at ten floors and grows as 1/sqrt(intensity).
  // A fragment three sds below the floor is taken as lost without drawing
  // for it: most unexplained peaks of weak spectra are.
  void AddFragment(double mz, double intensity) {
    if (!(intensity > 0.0)) return;
    const double sd = std::min(1.0, options_.intensity_variation * std::sqrt(10.0 * floor_ / intensity));
    if (intensity * std::exp(3.0 * sd) < floor_) return;
    if (random_.Chance(options_.dropout)) return;
    const double moved = mz + Error(random_, options_.fragment_sd, options_.fragment_max_error);
    Add(moved, intensity * random_.LogNormal(1.0, sd));
  }
  // The m/z at `place` (0 to 1) of the recorded range.
  double MzAt(double place) const { return low_ + place * (high_ - low_); }
  // `count` peaks anywhere in the range, of median intensity `intensity`.
  void AddRandomPeaks(std::size_t count, double intensity) {
    for (std::size_t k = 0; k < count; ++k) {
      const double mz = random_.Uniform(low_, high_);
      Add(mz, intensity * random_.LogNormal(1.0, options_.pattern_spread));
    }
  }
  void AddNoise() {
    const double median = options_.noise_peaks;
    const double count = median > 0.0 ? random_.LogNormal(median, options_.noise_peaks_spread) : 0.0;
    const auto n = static_cast<std::size_t>(std::llround(count));
    for (std::size_t k = 0; k < n; ++k) {
      const double mz = random_.Uniform(low_, high_);
      Add(mz, floor_ * random_.LogNormal(options_.noise_intensity, options_.noise_intensity_spread));
    }
  }
  msdata::PeakList Take() {
    // A spectrum that kept no peak still shows its noise floor somewhere.
    if (peaks_.empty()) peaks_.emplace_back(Round(random_.Uniform(low_, high_), 1e4), Round(floor_, 1e3));
    std::sort(peaks_.begin(), peaks_.end());
    return std::move(peaks_);
  }

 private:
  void Add(double mz, double intensity) {
    if (mz < low_ || mz > high_ || intensity < floor_) return;
    peaks_.emplace_back(Round(mz, 1e4), Round(intensity, 1e3));
  }

  CRandom& random_;
  const CSimulatorOptions& options_;
  double low_ = 0.0;
  double high_ = 0.0;
  double floor_ = 0.0;
  msdata::PeakList peaks_;
};

void FillSpectrum(msdata::CSpectrum& spectrum, CSpectrumTruth& truth, const std::string& prefix,
                  int scan, int charge, double precursor_mz, double retention_time) {
  truth.scan = scan;
  truth.charge = charge;
  truth.precursor_mz = Round(precursor_mz, 1e6);
  truth.retention_time = Round(retention_time, 1e3);
  truth.name = prefix + "." + std::to_string(scan) + "." + std::to_string(scan) + "." +
               std::to_string(charge) + ".dta";
  spectrum.name = truth.name;
  spectrum.charge = charge;
  spectrum.precursor_mz = truth.precursor_mz;
  spectrum.precursor_mass = msdata::MHFromMz(truth.precursor_mz, charge);
  spectrum.retention_time = truth.retention_time;
  spectrum.first_scan = spectrum.last_scan = scan;
}

}  // namespace

void CSpectrumSimulator::MakePeptideSpectrum(const PlannedSpectrum& planned,
                                             msdata::CSpectrum& spectrum,
                                             CSpectrumTruth& truth) const {
  const std::size_t index = static_cast<std::size_t>(planned.peptide);
  const CPeptide& peptide = peptides_[index];
  const int oxidised = planned.oxidised_position;
  std::vector<double> masses = ModifiedResidueMasses(peptide.sequence, oxidised);
  if (planned.modified) {
    const PeptideTraits traits = TraitsOf(index);
    masses[static_cast<std::size_t>(traits.variant_site)] += traits.variant->mass;
    truth.variant_position = traits.variant_site;
    truth.variant = traits.variant;
  }
  const double neutral = NeutralPeptideMass(masses);
  const int z = planned.charge;
  CRandom random(StreamSeed(options_.seed, kSpectrumStream, planned.id));
  const double theoretical = IonMz(neutral, z);
  const double precursor = theoretical * (1.0 + 1e-6 * Error(random, options_.precursor_sd_ppm,
                                                             3.0 * options_.precursor_sd_ppm));
  truth.peptide = peptide.sequence;
  truth.before = peptide.before;
  truth.after = peptide.after;
  truth.theoretical_mz = theoretical;
  truth.oxidised_position = oxidised;

  // b ions: residues of the prefix and a proton; y ions: of the suffix, water
  // and a proton (IonMz adds the protons).
  std::vector<double> prefix(masses.size() + 1, 0.0);
  for (std::size_t i = 0; i < masses.size(); ++i) prefix[i + 1] = prefix[i] + masses[i];
  const double scale = random.LogNormal(options_.base_intensity, options_.base_intensity_spread);
  PeakCollector peaks(random, options_, precursor, z);
  const IonPattern pattern = PatternOf(index);
  for (const IonPattern::Ion& ion : pattern.ions) {
    if (ion.charge > 1 && z < 3) continue;  // 2+ fragments only from precursors of 3+ and more
    const std::size_t site = static_cast<std::size_t>(ion.site);
    double mass = ion.kind == IonPattern::kB ? prefix[site] : neutral - prefix[site];
    if (ion.water_loss) mass -= kWaterMass;
    peaks.AddFragment(IonMz(mass, ion.charge), scale * ion.intensity);
  }
  for (const IonPattern::Extra& extra : pattern.extras)
    peaks.AddFragment(peaks.MzAt(extra.place), scale * extra.intensity);
  peaks.AddNoise();
  spectrum.peaks = peaks.Take();
  FillSpectrum(spectrum, truth, options_.name_prefix, truth.scan, z, precursor,
               planned.retention_time);
}

// Chemical noise, co-isolated mixtures, unfragmented ions: random peaks of
// the intensities peptide spectra have, under a precursor amid the
// peptides' own.
void CSpectrumSimulator::MakeNoPeptideSpectrum(const PlannedSpectrum& planned,
                                               msdata::CSpectrum& spectrum,
                                               CSpectrumTruth& truth) const {
  CRandom random(StreamSeed(options_.seed, kSpectrumStream, planned.id));
  const CPeptide& near = peptides_[random.Below(peptides_.size())];
  const double neutral = NeutralPeptideMass(ModifiedResidueMasses(near.sequence, -1)) +
                         random.Uniform(-10.0, 10.0);
  const double precursor = IonMz(neutral, planned.charge);
  const double scale = random.LogNormal(options_.base_intensity, options_.base_intensity_spread);
  PeakCollector peaks(random, options_, precursor, planned.charge);
  // As many strong peaks as a peptide of 7 to 20 residues has b and y ions,
  // as many weak ones as it has unexplained peaks.
  peaks.AddRandomPeaks(2 * (6 + random.Below(14)), 0.3 * scale);
  peaks.AddRandomPeaks(random.Below(static_cast<std::uint64_t>(options_.extra_peaks) + 1),
                       options_.extra_intensity * scale);
  peaks.AddNoise();
  spectrum.peaks = peaks.Take();
  FillSpectrum(spectrum, truth, options_.name_prefix, truth.scan, planned.charge, precursor,
               planned.retention_time);
}

void CSpectrumSimulator::Make(std::size_t position, msdata::CSpectrum& spectrum,
                              CSpectrumTruth& truth) const {
  const PlannedSpectrum& planned = plan_[position];
  truth = CSpectrumTruth();
  truth.scan = static_cast<int>(position + 1);
  if (planned.peptide >= 0) {
    MakePeptideSpectrum(planned, spectrum, truth);
    truth.identified = planned.identified;
  } else {
    MakeNoPeptideSpectrum(planned, spectrum, truth);
  }
}

bool CSpectrumSimulator::Generate(const Sink& sink) const {
  msdata::CSpectrum spectrum;
  CSpectrumTruth truth;
  for (std::size_t position = 0; position < plan_.size(); ++position) {
    Make(position, spectrum, truth);
    if (!sink(spectrum, truth)) return false;
  }
  return true;
}

}  // namespace simulator
