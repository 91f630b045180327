#include "propagation/TransferConfidence.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <system_error>

#include "common/OptionTool.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "propagation/PeptideDatabase.h"
#include "propagation/PeptideText.h"
#include "propagation/Propagation.h"
#include "propagation/PropagationInternal.h"
#include "propagation/RunProvenance.h"
#include "scoring/PeptideScoreFactory.h"

namespace fs = std::filesystem;

namespace {

using propagation_detail::Appendf;

// Shifts closer than this are one (the pair search groups its shifts so).
constexpr double kShiftTolerance = 0.01;
// Within-cluster transfers that tell how often a right transfer loses to
// another explanation by chance: fewer tell too little.
constexpr std::size_t kLeastReference = 50;
// The search's identifications scored for that, at most.
constexpr std::size_t kReferenceSize = 300;

// A stable seed from the sequence (FNV-1a), so that every run draws the
// same decoys whatever the platform's hash.
std::uint32_t SeedOf(const std::string& sequence) {
  std::uint32_t hash = 2166136261u;
  for (const unsigned char c : sequence) {
    hash ^= c;
    hash *= 16777619u;
  }
  return hash;
}

// Spectrum files looked up by name in a few folders, without regard to case
// (the pair and cluster readers upper-case names; the files keep theirs).
class CSpectrumFinder {
 public:
  std::string Find(const std::string& folder, const std::string& name) {
    const std::string exact = peptide_text::SpectrumPath(folder, name);
    if (path::IsRegularFile(exact)) return exact;
    auto& listing = listings_[folder];
    if (!listing.listed) {
      std::error_code ec;
      for (fs::directory_iterator it(folder.empty() ? "." : folder, ec), end; !ec && it != end;
           it.increment(ec)) {
        // A folder that bears a spectrum's name holds no spectrum.
        std::error_code type_ec;
        if (!it->is_regular_file(type_ec)) continue;
        const std::string file = it->path().filename().string();
        listing.files.emplace(text::ToUpper(file), file);
      }
      listing.listed = true;
    }
    const auto found = listing.files.find(text::ToUpper(name));
    if (found == listing.files.end()) return std::string();
    return peptide_text::SpectrumPath(folder, found->second);
  }

 private:
  struct CListing {
    bool listed = false;
    std::map<std::string, std::string> files;
  };
  std::map<std::string, CListing> listings_;
};

bool IsPropagatedItem(const peptide_text::CItem& item) {
  return std::count(item.text.begin(), item.text.end(), ',') >= 2;
}

// The target peptide of a row from its identification; false with `why`
// when a modification has no known mass.
bool PeptideOf(const std::string& identification, const ModificationList& modifications,
               CTransferRow& row, CScoredPeptide& peptide, std::string& why) {
  peptide.sequence = row.sequence;
  for (const peptide_text::CItem& item : peptide_text::ParseItems(identification, modifications)) {
    if (IsPropagatedItem(item)) {
      row.has_shift = true;
      row.shift += item.mass;
      continue;
    }
    // A reader leaves -1 for a modification whose mass no table gave.
    if (!item.has_mass || item.mass == -1.0) {
      why = "a modification without a known mass";
      return false;
    }
    peptide.fixed.emplace_back(item.position, item.mass);
  }
  peptide.shift = row.shift;
  return true;
}

// Why a peptide that BestSiteScore refused cannot be scored.
std::string WhyNotScored(const CScoreSettings& settings, const std::string& sequence) {
  for (const char c : sequence) {
    if (c < 'A' || c > 'Z' || settings.residue_masses[static_cast<std::size_t>(c - 'A')] <= 0)
      return std::string("residue ") + c + " has no mass";
  }
  return "the shift would leave every residue a negative mass";
}

// Why a spectrum file gives nothing to score: "" when it was read and holds
// peaks. A file without peaks would score 0 for the target and its decoys
// alike and so pass for a scored identification.
std::string UnusableSpectrum(const std::string& path, CScoreSpectrum& spectrum) {
  std::string error;
  if (!ReadScoreSpectrum(path, spectrum, error)) return "spectrum file unreadable";
  if (!spectrum.peaks.empty()) return std::string();
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec) return "spectrum file unreadable";
  return size == 0 ? "spectrum file empty" : "spectrum file without peaks";
}

CScoredPeptide Decoy(const CScoredPeptide& target, const std::vector<int>& order) {
  CScoredPeptide decoy;
  decoy.sequence = Reordered(target.sequence, order);
  decoy.shift = target.shift;
  // Modifications travel with their residues.
  for (const auto& [position, mass] : target.fixed) {
    const auto at = std::find(order.begin(), order.end(), position);
    decoy.fixed.emplace_back(at == order.end() ? position : static_cast<int>(at - order.begin()), mass);
  }
  return decoy;
}

// How many standard deviations `value` lies above the mean of `scores`
// (leaving out index `skip`, when it is one of them). KSDP scores vary
// with the spectrum and the peptide far more than between a right and a
// wrong peptide on one spectrum, so each identification is measured
// against its own decoys. The deviation is taken as at least one KSDP unit,
// so that decoys that all score alike do not make any difference infinite.
double StandardScore(double value, const std::vector<double>& scores, std::size_t skip) {
  double sum = 0.0, squares = 0.0;
  std::size_t n = 0;
  for (std::size_t i = 0; i < scores.size(); ++i) {
    if (i == skip) continue;
    sum += scores[i];
    squares += scores[i] * scores[i];
    ++n;
  }
  if (n == 0) return 0.0;
  const double mean = sum / static_cast<double>(n);
  const double variance = n > 1 ? std::max(0.0, (squares - sum * mean) / static_cast<double>(n - 1)) : 0.0;
  return (value - mean) / std::max(1.0, std::sqrt(variance));
}

std::string Percent(double level) {
  char text[32];
  std::snprintf(text, sizeof text, "%g%%", level * 100.0);
  return text;
}

// One decision: its members' rows, averaged scores and decoys, and margin.
struct CDecision {
  double score = 0.0;
  std::vector<double> decoys;
  int members = 0;
  double margin = 0.0;
  int with_alternative = 0;
  std::vector<CTransferRow*> rows;
};

// The decisions of scored rows, per route, in a stable order.
std::map<std::string, std::map<std::string, CDecision>> Decisions(std::vector<CTransferRow>& rows) {
  std::map<std::string, std::map<std::string, CDecision>> by_route;
  for (CTransferRow& row : rows) {
    if (!row.scored) continue;
    row.score = StandardScore(row.ksdp, row.decoy_scores, row.decoy_scores.size());
    CDecision& decision = by_route[row.route][row.decision.empty() ? row.spectrum : row.decision];
    decision.score += row.score;
    // Each decoy stands against the others, as the target stands against all.
    decision.decoys.resize(std::max(decision.decoys.size(), row.decoy_scores.size()), 0.0);
    for (std::size_t i = 0; i < row.decoy_scores.size(); ++i)
      decision.decoys[i] += StandardScore(row.decoy_scores[i], row.decoy_scores, i);
    ++decision.members;
    if (row.has_alternative) {
      decision.margin += row.score - row.alternative_score;
      ++decision.with_alternative;
    }
    decision.rows.push_back(&row);
  }
  return by_route;
}

// The margins of the decisions that met another explanation.
std::vector<double> Margins(const std::map<std::string, CDecision>& decisions) {
  std::vector<double> margins;
  for (const auto& [key, decision] : decisions)
    if (decision.with_alternative) margins.push_back(decision.margin / decision.with_alternative);
  return margins;
}

// The margins of right explanations: the search's identifications, or
// where too few of them could be scored, the within-cluster transfers.
const std::vector<double>& ReferenceMargins(const std::vector<double>& identified,
                                            const std::vector<double>& within_clusters) {
  return identified.size() >= kLeastReference ? identified : within_clusters;
}

// Scores other peptides against one spectrum: unshifted ones once, shifted
// ones at their best site.
class CAlternativeFinder {
 public:
  CAlternativeFinder(const CScoreSettings& settings, const CTransferSettings& transfer,
                     const std::vector<CObservedShift>& observed, const std::map<char, double>& fixed)
      : settings_(settings), transfer_(transfer), fixed_(fixed) {
    // The most often seen shifts: a rare one explains little, and each one
    // more brings chance candidates that a right transfer must beat (at
    // their best site, which gives them more chances than the target has).
    std::vector<CObservedShift> common;
    for (const CObservedShift& shift : observed)
      if (shift.mass > 0.0) common.push_back(shift);
    std::stable_sort(common.begin(), common.end(),
                     [](const CObservedShift& a, const CObservedShift& b) { return a.count > b.count; });
    if (common.size() > kShifts) common.resize(kShifts);
    // A shift seen a tenth as often as the commonest is rather a pair of
    // related peptides than a modification the sample carries.
    while (!common.empty() && common.back().count * 10 < common.front().count) common.pop_back();
    shifts_.push_back(0.0);
    for (const CObservedShift& shift : common) shifts_.push_back(shift.mass);
    scorer_.reset(CPeptideScoreFactory().GetScorer(SCORE_TYPE_KSDP));
    scorer_->SetSettings(settings);
  }

  // The best-scoring database peptide other than `target` (I read as L)
  // that fits the spectrum's precursor; false when none does. Candidates
  // are ranked by the fragments they share with the spectrum at their best
  // site, and only the leading few are scored with KSDP: most candidates
  // share next to nothing, and scoring them all would cost minutes.
  bool Best(const CScoreSpectrum& spectrum, const std::string& target, std::string& peptide, double& shift,
            double& ksdp) {
    const CPeptideDatabase& database = *transfer_.database;
    const double neutral = spectrum.precursor_mh - kProton;
    const std::string key = Key(target);
    Bin(spectrum);
    struct CCandidate {
      int shared;
      std::size_t index;
      double shift;
    };
    std::vector<CCandidate> candidates;
    for (const double s : shifts_) {
      for (int steps = 0; steps <= 2; ++steps) {
        const double centre = neutral - s - steps * kIsotopeStep;
        // A grouped shift is known to a hundredth of a dalton.
        const double tolerance = neutral * transfer_.precursor_ppm * 1e-6 + (s != 0.0 ? 0.01 : 0.0);
        const auto [first, last] = database.Within(centre - tolerance, centre + tolerance);
        for (std::size_t i = first; i < last; ++i) {
          if (Key(database.Sequence(i)) == key) continue;
          const int shared = SharedAtBestSite(database.Sequence(i), s, spectrum.charge);
          if (shared >= 0) candidates.push_back({shared, i, s});
        }
      }
    }
    const std::size_t keep = std::min<std::size_t>(candidates.size(), kScored);
    std::partial_sort(candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(keep), candidates.end(),
                      [](const CCandidate& a, const CCandidate& b) {
                        return a.shared != b.shared ? a.shared > b.shared : a.index < b.index;
                      });
    bool found = false;
    for (std::size_t k = 0; k < keep; ++k) {
      const std::string& sequence = database.Sequence(candidates[k].index);
      const std::optional<double> score = ScoreOf(spectrum, sequence, candidates[k].shift);
      if (!score || (found && *score <= ksdp)) continue;
      found = true;
      ksdp = *score;
      peptide = sequence;
      shift = candidates[k].shift;
    }
    return found;
  }

 private:
  static constexpr double kProton = 1.00727646688;
  static constexpr double kWater = 18.0105646863;
  static constexpr std::size_t kScored = 8;
  static constexpr std::size_t kShifts = 24;

  static std::string Key(std::string sequence) {
    std::replace(sequence.begin(), sequence.end(), 'I', 'L');
    return sequence;
  }

  // The spectrum's peaks as occupied bins of the fragment tolerance's width.
  void Bin(const CScoreSpectrum& spectrum) {
    width_ = std::max(0.01, settings_.fragment_tolerance);
    occupied_.assign(static_cast<std::size_t>(spectrum.precursor_mh / width_) + 4, false);
    for (const CScorePeak& peak : spectrum.peaks) {
      const double mz = peak.mz / mass_units::kPerDalton;
      const auto bin = static_cast<std::size_t>(std::max(0.0, mz / width_));
      if (bin < occupied_.size()) occupied_[bin] = true;
    }
  }
  bool Matches(double mz) const {
    if (!(mz > 0.0)) return false;
    const auto bin = static_cast<std::size_t>(mz / width_);
    for (std::size_t b = bin == 0 ? 0 : bin - 1; b <= bin + 1; ++b)
      if (b < occupied_.size() && occupied_[b]) return true;
    return false;
  }

  double ResidueMass(char c) const {
    const auto f = fixed_.find(c);
    const double base = c >= 'A' && c <= 'Z' ? settings_.residue_masses[static_cast<std::size_t>(c - 'A')] /
                                                   mass_units::kPerDalton
                                             : 0.0;
    return base + (f == fixed_.end() ? 0.0 : f->second);
  }

  // How many b and y ions (1+, and 2+ for precursors above 2+) match a
  // peak with the shift at its best site; -1 when no residue can carry it.
  int SharedAtBestSite(const std::string& sequence, double shift, int charge) {
    const std::size_t n = sequence.size();
    masses_.resize(n);
    double total = kWater;
    for (std::size_t i = 0; i < n; ++i) total += masses_[i] = ResidueMass(sequence[i]);
    const int max_charge = charge > 2 ? 2 : 1;
    // gain[j]: matches of the ions that carry the shift when it sits on j,
    // minus those they have without it; the unshifted matches are counted once.
    int unshifted = 0;
    gain_.assign(n + 1, 0);
    double prefix = 0.0;
    for (std::size_t i = 1; i < n; ++i) {
      prefix += masses_[i - 1];
      const double suffix = total - prefix;
      for (int z = 1; z <= max_charge; ++z) {
        const auto ion = [z](double mass) { return (mass + z * kProton) / z; };
        const int b = Matches(ion(prefix)), b_shifted = Matches(ion(prefix + shift));
        const int y = Matches(ion(suffix)), y_shifted = Matches(ion(suffix + shift));
        unshifted += b + y;
        // b_i carries the shift when the site lies before i; y_i when at or after i.
        gain_[0] += b_shifted - b;
        gain_[i] -= b_shifted - b;
        gain_[i] += y_shifted - y;
        gain_[n] -= y_shifted - y;
      }
    }
    if (shift == 0.0) return unshifted;
    int best = -1, running = 0;
    for (std::size_t j = 0; j < n; ++j) {
      running += gain_[j];
      if (masses_[j] + shift > 0.0) best = std::max(best, unshifted + running);
    }
    return best;
  }

  std::optional<double> ScoreOf(const CScoreSpectrum& spectrum, const std::string& sequence, double shift) {
    CScoredPeptide peptide;
    peptide.sequence = sequence;
    peptide.shift = shift;
    for (std::size_t i = 0; i < sequence.size(); ++i) {
      const auto f = fixed_.find(sequence[i]);
      if (f != fixed_.end()) peptide.fixed.emplace_back(static_cast<int>(i), f->second);
    }
    if (shift != 0.0) return BestSiteScore(settings_, spectrum, peptide);
    // Without a shift every site scores alike: one scoring is enough.
    CScorePeptide scored;
    scored.sequence = sequence;
    for (const auto& [position, mass] : peptide.fixed) {
      CPeptideMod mod;
      mod.position = position;
      mod.residue = sequence[static_cast<std::size_t>(position)];
      mod.mass = mass;
      scored.modifications.push_back(mod);
    }
    scorer_->SetSpectrum(spectrum);
    scorer_->SetPeptide(scored);
    const double score = scorer_->Score();
    scorer_->Reset();
    return score;
  }

  const CScoreSettings& settings_;
  const CTransferSettings& transfer_;
  const std::map<char, double>& fixed_;
  std::vector<double> shifts_;
  std::unique_ptr<CPeptideScore> scorer_;
  double width_ = 0.5;
  std::vector<bool> occupied_;
  std::vector<double> masses_;
  std::vector<int> gain_;
};

}  // namespace

int SharedFragments(const std::string& a, const std::string& b) {
  // Residues of (nearly) one mass count as one: I and L, K and Q.
  const auto same_mass = [](char c) { return c == 'I' ? 'L' : c == 'Q' ? 'K' : c; };
  const std::size_t length = std::min(a.size(), b.size());
  int shared = 0;
  for (int side = 0; side < 2; ++side) {
    std::map<char, int> balance;
    int unbalanced = 0;
    for (std::size_t i = 0; i + 1 < length; ++i) {
      const std::size_t at = side == 0 ? i : length - 1 - i;
      for (const auto& [residue, step] : {std::pair<char, int>{same_mass(a[at]), 1}, {same_mass(b[at]), -1}}) {
        int& count = balance[residue];
        if (count == 0) ++unbalanced;
        count += step;
        if (count == 0) --unbalanced;
      }
      if (unbalanced == 0) ++shared;
    }
  }
  return shared;
}

std::string Reordered(const std::string& sequence, const std::vector<int>& order) {
  std::string out(order.size(), ' ');
  for (std::size_t j = 0; j < order.size(); ++j) out[j] = sequence[static_cast<std::size_t>(order[j])];
  return out;
}

std::vector<std::vector<int>> DecoyOrders(const std::string& sequence, int shuffled) {
  const int length = static_cast<int>(sequence.size());
  std::vector<std::vector<int>> orders;
  if (length == 0) return orders;
  std::vector<int> reversed;
  for (int j = length - 2; j >= 0; --j) reversed.push_back(j);
  reversed.push_back(length - 1);
  orders.push_back(reversed);

  std::mt19937 generator(SeedOf(sequence));
  std::vector<std::string> seen = {sequence, Reordered(sequence, reversed)};
  for (int k = 0; k < shuffled; ++k) {
    // A shuffle that keeps many of the target's fragments scores like the
    // target and is no decoy: of a few draws, the one sharing fewest.
    std::vector<int> best;
    int best_shared = 0;
    for (int attempt = 0; attempt < 30; ++attempt) {
      std::vector<int> order(static_cast<std::size_t>(length));
      for (int j = 0; j < length; ++j) order[static_cast<std::size_t>(j)] = j;
      // Fisher-Yates on all but the C-terminal residue; the generator's raw
      // output keeps the draw the same on every standard library.
      for (int i = length - 2; i > 0; --i) {
        const int j = static_cast<int>(generator() % static_cast<std::uint32_t>(i + 1));
        std::swap(order[static_cast<std::size_t>(i)], order[static_cast<std::size_t>(j)]);
      }
      const std::string made = Reordered(sequence, order);
      const int shared = SharedFragments(sequence, made) +
                         (std::find(seen.begin(), seen.end(), made) != seen.end() ? 2 * length : 0);
      if (best.empty() || shared < best_shared) {
        best = order;
        best_shared = shared;
      }
    }
    seen.push_back(Reordered(sequence, best));
    orders.push_back(best);
  }
  return orders;
}

std::vector<double> TransferQValues(const std::vector<double>& targets,
                                    const std::vector<double>& decoys, double decoys_per_target) {
  std::vector<double> q(targets.size(), 1.0);
  if (targets.empty()) return q;
  if (!(decoys_per_target > 0.0)) decoys_per_target = 1.0;
  std::vector<std::size_t> by_score(targets.size());
  for (std::size_t i = 0; i < by_score.size(); ++i) by_score[i] = i;
  std::stable_sort(by_score.begin(), by_score.end(),
                   [&targets](std::size_t a, std::size_t b) { return targets[a] > targets[b]; });
  std::vector<double> sorted_decoys = decoys;
  std::sort(sorted_decoys.begin(), sorted_decoys.end(), std::greater<double>());

  // The FDR at each target's score as threshold, equal scores counted together.
  std::vector<double> fdr(targets.size());
  std::size_t decoys_at_or_above = 0;
  for (std::size_t k = 0; k < by_score.size();) {
    const double threshold = targets[by_score[k]];
    std::size_t end = k;
    while (end < by_score.size() && targets[by_score[end]] >= threshold) ++end;
    while (decoys_at_or_above < sorted_decoys.size() && sorted_decoys[decoys_at_or_above] >= threshold)
      ++decoys_at_or_above;
    const double value =
        std::min(1.0, static_cast<double>(decoys_at_or_above) / decoys_per_target / static_cast<double>(end));
    for (std::size_t j = k; j < end; ++j) fdr[j] = value;
    k = end;
  }
  double running = 1.0;
  for (std::size_t k = by_score.size(); k-- > 0;) {
    running = std::min(running, fdr[k]);
    q[by_score[k]] = running;
  }
  return q;
}

std::optional<double> BestSiteScore(const CScoreSettings& settings, const CScoreSpectrum& spectrum,
                                    const CScoredPeptide& peptide) {
  const std::string& sequence = peptide.sequence;
  if (sequence.empty()) return std::nullopt;
  std::vector<double> site_mass(sequence.size(), peptide.shift);
  for (std::size_t i = 0; i < sequence.size(); ++i) {
    const char c = sequence[i];
    if (c < 'A' || c > 'Z') return std::nullopt;
    const std::int32_t units = settings.residue_masses[static_cast<std::size_t>(c - 'A')];
    if (units <= 0) return std::nullopt;
    site_mass[i] += units / mass_units::kPerDalton;
  }
  for (const auto& [position, mass] : peptide.fixed) {
    if (position >= 0 && static_cast<std::size_t>(position) < sequence.size())
      site_mass[static_cast<std::size_t>(position)] += mass;
  }
  std::vector<double> scores;
  ScoreEverySite(settings, spectrum, sequence, peptide.fixed, peptide.shift, scores);
  std::optional<double> best;
  for (std::size_t i = 0; i < scores.size() && i < sequence.size(); ++i) {
    if (!(site_mass[i] > 0.0)) continue;
    if (!best || scores[i] > *best) best = scores[i];
  }
  return best;
}

std::vector<CObservedShift> ObservedShifts(const CPropagation& job, const CTransferSettings& settings) {
  std::vector<std::string> pair_files = CPropagation::ListPairFiles(job.para().pair_file);
  if (pair_files.empty() && !job.para().pair_file.empty()) pair_files.push_back(job.para().pair_file);
  std::vector<CObservedShift> shifts = PairFileShifts(pair_files);
  shifts.insert(shifts.end(), settings.table_shifts.begin(), settings.table_shifts.end());
  // A shift seen once is as likely a chance pair as a modification.
  std::vector<CObservedShift> seen;
  for (const CObservedShift& group : GroupShifts(std::move(shifts), kShiftTolerance))
    if (group.count >= 2) seen.push_back(group);
  return seen;
}

std::vector<CTransferRow> ScoreTransfers(const CPropagation& job, const CTransferSettings& settings,
                                         const std::function<void(const std::string&)>& progress,
                                         std::vector<double>* reference) {
  std::vector<CTransferRow> rows;
  CScoreSettings score_settings;
  std::string table_problem;
  try {
    score_settings.SetResidues(CResidueTable::FromDirectory(job.program_directory()));
  } catch (const COptionToolException& e) {
    table_problem = "Can not open file:" + e.path();
  }
  score_settings.SetDefaultSeries();

  std::vector<std::string> folders = settings.spectrum_folders;
  folders.push_back(job.data_path());
  CSpectrumFinder finder;
  const std::vector<CObservedShift> observed = ObservedShifts(job, settings);
  const std::map<char, double> fixed = FixedModificationsOf(job.results(), job.modifications());
  std::optional<CAlternativeFinder> alternatives;
  if (settings.database && table_problem.empty()) {
    settings.database->Index(CResidueTable::FromDirectory(job.program_directory()), fixed);
    alternatives.emplace(score_settings, settings, observed, fixed);
  }
  // Scores a peptide on a spectrum file against its decoys and the other
  // explanations; why not, or "".
  const auto score_on = [&](const std::string& path, const CScoredPeptide& target, CTransferRow& row) {
    CScoreSpectrum spectrum;
    std::string why = UnusableSpectrum(path, spectrum);
    if (!why.empty()) return why;
    const std::optional<double> score = BestSiteScore(score_settings, spectrum, target);
    if (!score) return WhyNotScored(score_settings, target.sequence);
    row.scored = true;
    row.ksdp = *score;
    for (const std::vector<int>& order : DecoyOrders(target.sequence, settings.shuffled_decoys)) {
      const std::optional<double> decoy = BestSiteScore(score_settings, spectrum, Decoy(target, order));
      row.decoy_scores.push_back(decoy ? *decoy : 0.0);
    }
    double alternative_ksdp = 0.0;
    if (alternatives &&
        alternatives->Best(spectrum, target.sequence, row.alternative, row.alternative_shift, alternative_ksdp)) {
      row.has_alternative = true;
      row.alternative_score = StandardScore(alternative_ksdp, row.decoy_scores, row.decoy_scores.size());
    }
    return std::string();
  };

  // How right explanations fare against the others: the search's own
  // identifications (a share of them, evenly spread), on their own spectra.
  std::vector<double> margins;
  if (alternatives && table_problem.empty()) {
    const auto& identified = job.search_identifications();
    const std::size_t step = std::max<std::size_t>(1, identified.size() / kReferenceSize);
    std::size_t index = 0;
    for (const auto& [name, identification] : identified) {
      if (index++ % step != 0) continue;
      CTransferRow row;
      row.sequence = peptide_text::Sequence(identification);
      CScoredPeptide target;
      std::string why;
      if (!PeptideOf(identification, job.modifications(), row, target, why) || row.has_shift) continue;
      std::string path;
      for (const std::string& folder : folders) {
        path = finder.Find(folder, name);
        if (!path.empty()) break;
      }
      if (path.empty() || !score_on(path, target, row).empty() || !row.has_alternative) continue;
      margins.push_back(StandardScore(row.ksdp, row.decoy_scores, row.decoy_scores.size()) -
                        row.alternative_score);
    }
  }
  if (reference) *reference = margins;

  const std::map<std::string, CSpectrumOrigin> origins = SpectrumOriginsOfJob(job.para().cluster_file);
  std::size_t done = 0;
  for (const auto& [name, added] : job.added()) {
    if (progress && done++ % 100 == 0)
      progress("transfer confidence: spectrum " + std::to_string(done) + " of " +
               std::to_string(job.added().size()));
    CTransferRow row;
    row.spectrum = job.PrintedName(name);
    row.sequence = peptide_text::Sequence(added.identification);
    const std::size_t space = added.identification.find(' ');
    if (space != std::string::npos) row.modifications = added.identification.substr(space + 1);
    row.route = added.via;
    // A cluster that one pair reached is one transfer, whichever member is scored.
    row.decision = row.route == "pairs" && !added.node.empty() ? added.node : name;
    row.source = job.PrintedName(added.source);
    row.run = RunOfSpectrum(row.spectrum);
    row.source_run = text::Join(job.SourceRuns(name), ",");
    if (const auto found = origins.find(text::ToUpper(row.spectrum)); found != origins.end()) {
      row.native_id = found->second.native_id;
      row.retention_time = found->second.retention_time;
    }

    CScoredPeptide target;
    std::string why;
    const bool usable = PeptideOf(added.identification, job.modifications(), row, target, why);
    if (row.has_shift) row.isotope = IsotopeErrorOf(row.shift, observed, kShiftTolerance);
    if (!table_problem.empty()) why = table_problem;
    std::string spectrum_path;
    if (why.empty() && usable) {
      for (const std::string& folder : folders) {
        spectrum_path = finder.Find(folder, name);
        if (!spectrum_path.empty()) break;
      }
      // Without the member's own file, the spectrum that carried it.
      if (spectrum_path.empty() && !added.node.empty() && added.node != name)
        spectrum_path = finder.Find(job.data_path(), added.node);
      if (spectrum_path.empty()) why = "spectrum file not found";
    }
    if (why.empty() && usable) why = score_on(spectrum_path, target, row);
    if (!row.scored) row.not_scored = why;
    rows.push_back(std::move(row));
  }

  AssignTransferQValues(rows, settings.max_q ? *settings.max_q : settings.level, margins);
  return rows;
}

std::vector<double> CompetitionQValues(const std::vector<double>& margins, const std::vector<double>& reference,
                                       double level, std::optional<double>* needed) {
  // Thresholds where the counts change: 0 and every margin's size.
  std::vector<double> thresholds = {0.0};
  for (const double m : margins) thresholds.push_back(std::fabs(m));
  std::sort(thresholds.begin(), thresholds.end());
  thresholds.erase(std::unique(thresholds.begin(), thresholds.end()), thresholds.end());
  std::vector<double> sorted = margins;
  std::sort(sorted.begin(), sorted.end());
  std::vector<double> right = reference;
  std::sort(right.begin(), right.end());
  const bool learnt = right.size() >= kLeastReference;
  const auto below = [](const std::vector<double>& values, double d) {
    return static_cast<double>(std::lower_bound(values.begin(), values.end(), -d) - values.begin());
  };
  std::vector<double> estimate(thresholds.size(), 1.0);
  if (needed) needed->reset();
  for (std::size_t t = 0; t < thresholds.size(); ++t) {
    const double d = thresholds[t];
    const auto wins = static_cast<double>(sorted.end() - std::upper_bound(sorted.begin(), sorted.end(), d));
    // Losses beyond what right transfers lose by chance.
    double losses = below(sorted, d);
    if (learnt) losses = std::max(0.0, losses - below(right, d) / static_cast<double>(right.size()) *
                                                    static_cast<double>(sorted.size()));
    estimate[t] = wins > 0.0 ? std::min(1.0, losses / wins) : 1.0;
    if (needed && !*needed && wins > 0.0 && estimate[t] <= level) *needed = d;
  }
  std::vector<double> q(margins.size(), 1.0);
  for (std::size_t i = 0; i < margins.size(); ++i) {
    for (std::size_t t = 0; t < thresholds.size() && thresholds[t] < margins[i]; ++t)
      q[i] = std::min(q[i], estimate[t]);
  }
  return q;
}

std::map<std::string, std::optional<double>> AssignTransferQValues(std::vector<CTransferRow>& rows,
                                                                   double level,
                                                                   const std::vector<double>& identified) {
  std::map<std::string, std::optional<double>> needed;
  auto by_route = Decisions(rows);
  const std::vector<double> reference = ReferenceMargins(identified, Margins(by_route["cluster"]));
  for (auto& [route, decisions] : by_route) {
    // One target per decision: the average of its members' standard
    // scores, and likewise for each of its decoys.
    std::vector<double> targets, decoys, margins;
    for (auto& [key, decision] : decisions) {
      targets.push_back(decision.score / decision.members);
      for (const double decoy : decision.decoys) decoys.push_back(decoy / decision.members);
      if (decision.with_alternative) margins.push_back(decision.margin / decision.with_alternative);
    }
    const double per_target = static_cast<double>(decoys.size()) / static_cast<double>(targets.size());
    const std::vector<double> q = TransferQValues(targets, decoys, per_target);
    const std::vector<double> competition = CompetitionQValues(margins, reference, level, &needed[route]);
    std::size_t next = 0, next_margin = 0;
    for (auto& [key, decision] : decisions) {
      double value = q[next++];
      if (decision.with_alternative) value = std::max(value, competition[next_margin++]);
      for (CTransferRow* row : decision.rows) row->q_value = value;
    }
  }
  return needed;
}

std::string TransferTableText(const std::vector<CTransferRow>& rows, const CTransferSettings& settings) {
  std::string text =
      "spectrum\tsequence\tmodifications\troute\tsource\tshift\tscore\tq_value\trun\tsource_run\tnative_id\t"
      "retention_time\tisotope_of\talternative\talternative_shift\talternative_score\n";
  for (const CTransferRow& row : rows) {
    if (settings.max_q && !(row.scored && row.q_value <= *settings.max_q)) continue;
    text += row.spectrum + "\t" + row.sequence + "\t" + row.modifications + "\t" + row.route + "\t" +
            row.source + "\t";
    if (row.has_shift) Appendf(text, "%.6f", row.shift);
    if (row.scored)
      Appendf(text, "\t%.6f\t%.6f", row.score, row.q_value);
    else
      text += "\tNA\tNA";
    text += "\t" + row.run + "\t" + row.source_run + "\t" + row.native_id + "\t" + row.retention_time + "\t";
    if (row.isotope) Appendf(text, "%.6f,%+d", row.isotope->base, row.isotope->steps);
    if (row.has_alternative)
      Appendf(text, "\t%s\t%.6f\t%.6f\n", row.alternative.c_str(), row.alternative_shift, row.alternative_score);
    else
      text += "\t\t\t\n";
  }
  return text;
}

std::string TransferSummaryText(const std::vector<CTransferRow>& rows, const CTransferSettings& settings,
                                const std::vector<double>& identified) {
  const double level = settings.max_q ? *settings.max_q : settings.level;
  struct CCounts {
    int propagated = 0, scored = 0, confident = 0;
  };
  CCounts cluster, pairs, together;
  std::map<std::string, int> reasons;
  int decoys = 0;
  for (const CTransferRow& row : rows) {
    CCounts& route = row.route == std::string("cluster") ? cluster : pairs;
    for (CCounts* counts : {&route, &together}) {
      ++counts->propagated;
      if (row.scored) ++counts->scored;
      if (row.scored && row.q_value <= level) ++counts->confident;
    }
    if (!row.scored) ++reasons[row.not_scored];
    decoys = std::max(decoys, static_cast<int>(row.decoy_scores.size()));
  }
  std::set<std::pair<std::string, std::string>> cluster_decisions, pair_decisions;
  for (const CTransferRow& row : rows)
    (row.route == std::string("cluster") ? cluster_decisions : pair_decisions)
        .emplace(row.route, row.decision.empty() ? row.spectrum : row.decision);
  std::string text;
  Appendf(text,
          "Transfer confidence: KSDP score against %d decoys each, q-values per route over %zu transfers "
          "within clusters and %zu through pairs (the members of a cluster that one pair reached are one)\n",
          decoys > 0 ? decoys : settings.shuffled_decoys + 1, cluster_decisions.size(), pair_decisions.size());
  const std::string at = Percent(level);
  const std::pair<const char*, const CCounts*> lines[] = {
      {"within clusters", &cluster}, {"through pairs", &pairs}, {"together", &together}};
  for (const auto& [what, counts] : lines) {
    Appendf(text, "  %s: %d propagated, %d scored, %d at q <= %s\n", what, counts->propagated,
            counts->scored, counts->confident, at.c_str());
  }
  if (!reasons.empty()) {
    Appendf(text, "  without a score: %d (", together.propagated - together.scored);
    bool first = true;
    for (const auto& [why, count] : reasons) {
      Appendf(text, "%s%s: %d", first ? "" : "; ", why.c_str(), count);
      first = false;
    }
    text += ")\n";
  }
  if (settings.database) {
    const CPeptideDatabase& database = *settings.database;
    Appendf(text, "  other explanations: %zu peptides of %zu proteins (%s), with the observed shifts and isotope "
                  "errors\n", database.size(), database.proteins(), text::Join(database.files(), ", ").c_str());
    // The margins of the decisions, per route, as AssignTransferQValues took them.
    std::map<std::string, std::map<std::string, std::pair<double, int>>> margins;
    for (const CTransferRow& row : rows) {
      if (!row.scored || !row.has_alternative) continue;
      auto& [sum, count] = margins[row.route][row.decision.empty() ? row.spectrum : row.decision];
      sum += row.score - row.alternative_score;
      ++count;
    }
    const auto values_of = [&margins](const char* route) {
      std::vector<double> values;
      for (const auto& [key, margin] : margins[route]) values.push_back(margin.first / margin.second);
      return values;
    };
    const std::vector<double> within = values_of("cluster");
    const std::vector<double>& reference = ReferenceMargins(identified, within);
    const auto lost = std::count_if(identified.begin(), identified.end(), [](double m) { return m < 0.0; });
    Appendf(text, "  right explanations: %zu of the search's identifications met another, %ld lost to it%s\n",
            identified.size(), static_cast<long>(lost),
            identified.size() >= kLeastReference ? "" : "; too few: the within-cluster transfers stand for them");
    for (const auto& [what, route] : {std::pair<const char*, const char*>{"within clusters", "cluster"},
                                      {"through pairs", "pairs"}}) {
      const std::vector<double> values = values_of(route);
      std::optional<double> needed;
      CompetitionQValues(values, reference, level, &needed);
      const auto lost = std::count_if(values.begin(), values.end(), [](double m) { return m < 0.0; });
      Appendf(text, "  %s: %zu transfers met another explanation, %ld lost to it; ", what, values.size(),
              static_cast<long>(lost));
      if (needed)
        Appendf(text, "margin needed at q <= %s: %.2f\n", at.c_str(), *needed);
      else
        Appendf(text, "no margin reaches q <= %s\n", at.c_str());
    }
  } else {
    text += "  no protein database (--fasta): the decoys alone judge, and a related peptide beats them; "
            "the figures are weaker\n";
  }
  if (settings.max_q) {
    Appendf(text, "  kept (--max-q %s): %d of %d; %d above it and %d without a score left out\n",
            at.c_str(), together.confident, together.propagated,
            together.scored - together.confident, together.propagated - together.scored);
  }
  return text;
}
