// `--plan`: load and order the spectra as `cluster` does, cut the ordered
// list where no result can depend on the cut, and write one part folder per
// part, the manifest and the plan.

#include <algorithm>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>

#include "clustering/Para.h"
#include "clustering/SimilarityCluster.h"
#include "common/CommandLine.h"
#include "common/PathUtil.h"
#include "common/SafeFile.h"
#include "common/TextUtil.h"
#include "drivers/cluster/loading/Failure.h"
#include "drivers/cluster/loading/JobLoading.h"
#include "drivers/cluster/partition/Partition.h"
#include "drivers/cluster/partition/PlanFiles.h"
#include "spectra/MS2Input.h"

namespace partition {

namespace fs = std::filesystem;

namespace {

using clusterjob::Fail;

// Pairs (i, j), i < j, whose mass difference the pair search takes, for
// every j of the descending list [begin, end): the work of owning j there.
std::vector<std::uint64_t> PairsEndingAt(const std::vector<msdata::CSpectrum>& s,
                                         std::size_t begin, std::size_t end, double lower,
                                         double upper) {
  std::vector<std::uint64_t> counts(end - begin, 0);
  std::size_t far = begin;   // first i with m_i - m_j <= upper
  std::size_t near = begin;  // first i with m_i - m_j < lower
  for (std::size_t j = begin; j < end; ++j) {
    const double m = s[j].precursor_mass;
    while (far < j && s[far].precursor_mass - m > upper) ++far;
    if (near < far) near = far;
    while (near < j && s[near].precursor_mass - m >= lower) ++near;
    counts[j - begin] = near > far ? near - far : 0;
  }
  return counts;
}

// The first spectrum of the halo of a part whose owned spectra start at
// `owned_first` in the descending list: every heavier spectrum that can pair
// with an owned one, with a dalton to spare for rounding.
std::size_t HaloStart(const std::vector<msdata::CSpectrum>& s, std::size_t owned_first,
                      double upper) {
  const double top = s[owned_first].precursor_mass + upper + 1.0;
  return static_cast<std::size_t>(
      std::partition_point(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(owned_first),
                           [top](const msdata::CSpectrum& x) { return x.precursor_mass > top; }) -
      s.begin());
}

std::string ReadWhole(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Format6(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%lf", v);
  return buffer;
}

bool ParseCuts(const std::string& text, std::vector<std::size_t>& cuts) {
  for (const std::string& field : text::Split(text)) {
    // Digits only, and few enough to be a position (no number overflows).
    if (field.empty() || field.size() > 18 || field.find_first_not_of("0123456789") != std::string::npos)
      return false;
    cuts.push_back(static_cast<std::size_t>(std::stoull(field)));
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  return !cuts.empty();
}

struct PlanArguments {
  int requested = 0;  // parts
  std::string para_path;
  std::string work;
  std::vector<std::size_t> forced;  // part starts given with --cuts
};

cli::CommandLine PlanCommandLine() {
  cli::CommandLine line("cluster --plan", {"N <parameter file> <work folder> [--cuts P,P,...]"},
                        "Cuts one clustering job into N parts that run independently (workflows/cluster.smk).");
  line.Add(cli::Text("cuts", "P,P,...", "positions in the ordered spectrum list where parts must start"));
  return line;
}

// Empty, or the message that refuses the arguments (a wrong command line).
std::string ReadPlanArguments(const cli::CommandLine& line, PlanArguments& plan) {
  const std::vector<std::string>& given = line.Positionals();
  if (given.size() != 3) return "N, the parameter file and the work folder are needed";
  long parts = 0;
  if (!cli::ParseWholeNumber(given[0], parts) || parts < 1 ||
      given[0].find_first_not_of("0123456789") != std::string::npos)
    return "The number of parts must be a whole number of at least 1: " + given[0];
  plan.requested = static_cast<int>(parts);
  plan.para_path = given[1];
  plan.work = given[2];
  if (line.Has("cuts") && !ParseCuts(line.Value("cuts"), plan.forced))
    return "Cut positions must be whole numbers separated by commas: " + line.Value("cuts");
  return {};
}

// The job's spectra, read, filtered and ordered exactly as `cluster` does.
std::string LoadPlanSpectra(const std::string& para_path, const std::string& work, CPara& para,
                            clusterjob::COriginTable& origins, std::ostream& out) {
  if (std::string refused = clusterjob::ReadJobParameters(para_path, false, para); !refused.empty()) return refused;
  // The log holds every scored pair in one run's order; parts would each
  // write their own pairs' lines, halo pairs included, and no merge could
  // give that order back.
  if (para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR && para.cluster->score_log)
    return "A pair search that writes the score log (score.txt) cannot be split into parts: set "
           "score_log=0 in " + para_path + " (cluster --write-para ... --type pairs writes it)";
  // Each part would count its own decoys, and the merge has no line to add
  // them up into.
  if (para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR && para.cluster->decoy_pairs)
    return "The expected false pairs (decoy_pairs=1) are counted by one run only: remove decoy_pairs=1 from " +
           para_path + " to split it into parts";
  clusterjob::LoadChoices choices;
  if (para.cluster->cluster_type == CLUSTER_SIMILARITY) {
    // The scratch file lies beside the work folder, which may not exist yet.
    std::string error;
    if (!origins.Open(path::DirectoryOf(path::Absolute(work)), error)) return error;
    choices.origins = &origins;
  }
  clusterjob::LoadedSpectra loaded;
  if (std::string refused = clusterjob::LoadJobSpectra(para, para_path, choices, loaded); !refused.empty())
    return refused;
  const CSpectraProcess& data = *para.spectra_process;
  if (data.spectra.empty()) return "No spectrum is left to cluster in " + data.data_directory;
  out << "Loaded and ordered " << data.spectra.size() << " spectra.\n";
  out.flush();
  return {};
}

// The smallest runs of the ordered list that a part may start at.
struct Units {
  std::vector<std::size_t> start;  // the first position of each
  std::vector<std::uint64_t> work;
};

std::string FindUnits(const CPara& para, const std::string& para_path, Units& units) {
  const std::vector<msdata::CSpectrum>& spectra = para.spectra_process->spectra;
  if (para.cluster->cluster_type != CLUSTER_SPECTRAL_PAIR) {
    // The engine's own blocks: a cut between them changes no block.
    const auto* engine = dynamic_cast<const CSimilarityCluster*>(para.cluster.get());
    if (!engine) return "Unknown cluster type in parameter file: " + para_path;
    for (const CSimilarityCluster::Block& b : engine->FindBlocks(spectra)) {
      units.start.push_back(b.start);
      units.work.push_back(static_cast<std::uint64_t>(b.size) * b.size);
    }
    return {};
  }
  // A pair is told by the printed masses of its spectra, so a cut never
  // separates two spectra that print the same mass.
  const std::vector<std::uint64_t> pair_work =
      PairsEndingAt(spectra, 0, spectra.size(), para.cluster->lower_mass, para.cluster->upper_mass);
  std::string previous;
  for (std::size_t p = 0; p < spectra.size(); ++p) {
    std::string printed = Format6(spectra[p].precursor_mass);
    if (p == 0 || printed != previous) {
      units.start.push_back(p);
      units.work.push_back(0);
    }
    units.work.back() += pair_work[p];
    previous = std::move(printed);
  }
  return {};
}

// Part starts in units: the forced positions, which must start a unit, or
// the balanced cuts.
std::string ChooseCuts(const Units& units, const PlanArguments& plan, bool pair_search,
                       std::vector<std::size_t>& cut_units) {
  if (plan.forced.empty()) {
    // Type 1 balances the owned pairs only. Counting each halo's pairs
    // with every candidate start was tried with an estimate (the halo
    // spectra's own windows) and gave worse parts than leaving it out.
    cut_units = BalanceCuts(units.work, static_cast<std::size_t>(plan.requested));
    return {};
  }
  for (std::size_t position : plan.forced) {
    const auto it = std::lower_bound(units.start.begin(), units.start.end(), position);
    if (position == 0 || it == units.start.end() || *it != position) {
      return "Cannot start a part at position " + std::to_string(position) +
             (pair_search ? ": it is 0, beyond the list or beside a spectrum of the same printed mass"
                          : ": it is 0, beyond the list or inside a block");
    }
    cut_units.push_back(static_cast<std::size_t>(it - units.start.begin()));
  }
  return {};
}

// One part where more were asked for: why.
void SayWhyOnePart(const Units& units, bool pair_search, std::ostream& out) {
  if (units.start.size() > 1) {
    out << "One part: the work cannot be spread over more.\n";
  } else {
    out << (pair_search ? "The spectra cannot be cut: all of them share one printed precursor mass. One part.\n"
                        : "The spectra cannot be cut: they form one block. One part.\n");
  }
}

// A fresh work folder: old parts must not mix with this plan's. Only the
// part folders an earlier plan recorded here go; any other folder stays,
// and one in the way of this plan's parts stops it. The manifest then
// records this plan's folders before any is made.
std::string PrepareWorkFolder(const std::string& work, const std::string& para_path,
                              const std::vector<PartEntry>& parts, const std::string& manifest) {
  std::error_code ec;
  fs::create_directories(work, ec);
  if (!path::IsDirectory(work)) return "Cannot create the work folder: " + work;
  fs::remove(fs::path(work) / kPlanFile, ec);
  for (const std::string& name : RecordedParts(work)) fs::remove_all(fs::path(work) / name, ec);
  for (const PartEntry& e : parts) {
    if (fs::exists(fs::symlink_status(fs::path(work) / e.name, ec))) {
      return "The work folder holds " + e.name + ", which no plan made there: move it away or choose another " +
             "work folder: " + work;
    }
  }
  if (!path::CopyFile(para_path, path::Join(work, kOriginalPara))) return "Cannot copy the parameter file into " + work;
  if (!WriteManifest(work, manifest)) return "Cannot write the manifest into " + work;
  return {};
}

// Part k of the cut list: its spectra (with the halo of type 1), masses
// and work.
PartEntry DescribePart(const CPara& para, const Units& units, const std::vector<std::size_t>& cut_units,
                       std::size_t k) {
  const std::vector<msdata::CSpectrum>& spectra = para.spectra_process->spectra;
  const std::size_t n = spectra.size();
  const bool pair_search = para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR;
  const std::size_t part_count = cut_units.size() + 1;
  PartEntry e;
  e.name = PartName(k);
  e.owned_first = units.start[k == 0 ? 0 : cut_units[k - 1]];
  const std::size_t owned_end = k + 1 < part_count ? units.start[cut_units[k]] : n;
  e.owned_count = owned_end - e.owned_first;
  e.first = e.owned_first;
  if (pair_search) e.first = HaloStart(spectra, e.owned_first, para.cluster->upper_mass);
  e.count = owned_end - e.first;
  double lo = HUGE_VAL, hi = -HUGE_VAL, olo = HUGE_VAL, ohi = -HUGE_VAL;
  for (std::size_t p = e.first; p < owned_end; ++p) {
    const double m = spectra[p].precursor_mass;
    lo = std::min(lo, m);
    hi = std::max(hi, m);
    if (p >= e.owned_first) {
      olo = std::min(olo, m);
      ohi = std::max(ohi, m);
    }
  }
  for (std::size_t p = e.first; p < owned_end; ++p) e.names += NameChecksum(spectra[p].name);
  e.mass_from = lo;
  e.mass_to = hi;
  e.owned_from = olo;
  e.owned_to = ohi;
  if (pair_search) {
    for (std::uint64_t w :
         PairsEndingAt(spectra, e.first, owned_end, para.cluster->lower_mass, para.cluster->upper_mass)) {
      e.work += w;
    }
  } else {
    const std::size_t u_end = k + 1 < part_count ? cut_units[k] : units.start.size();
    for (std::size_t u = k == 0 ? 0 : cut_units[k - 1]; u < u_end; ++u) {
      e.work += units.work[u];
      const std::size_t size = (u + 1 < units.start.size() ? units.start[u + 1] : n) - units.start[u];
      e.largest = std::max(e.largest, size);
    }
  }
  return e;
}

// The part's spectra in the job's order: MGF where it carries them
// unchanged, else DTAS. False with `why` when neither reads back the same.
bool WritePartSpectra(const std::vector<msdata::CSpectrum>& spectra, const PartEntry& e, const std::string& dir,
                      std::string& input, MS2FormatType& input_type, std::string& why) {
  const std::size_t end = e.first + e.count;
  input = path::Join(dir, kPartMgf);
  input_type = MS2_FORMAT_MGF;
  if (WriteMgf(spectra, e.first, end, input, why) && VerifySpectra(spectra, e.first, end, input, input_type, why)) {
    return true;
  }
  path::RemoveFile(input);
  input = path::Join(dir, kPartDtas);
  input_type = MS2_FORMAT_DTAS;
  return WriteDtas(spectra, e.first, end, input, why) && VerifySpectra(spectra, e.first, end, input, input_type, why);
}

// The job's settings with the part's spectra, result and output folder.
void BuildPartPara(const CPara& job, MS2FormatType input_type, const std::string& input, const std::string& dir,
                   CPara& part) {
  const CSpectraProcess& data = *job.spectra_process;
  part.SetDataClass(input_type, input, data.out_directory.empty() ? std::string() : path::Join(dir, kPartOut),
                    path::Join(dir, kPartResult), data.small_peaks_count_filter);
  part.SetPeakSelect(job.peak_select->peak_select_method, job.peak_select->whole_top_peak_num,
                     job.peak_select->part_top_peak_num, job.peak_select->part_top_peak_per_num);
  part.SetSimilarMethod(job.similarity->similar_method, job.similarity->fragment_ion_tol,
                        job.similarity->fragment_ion_tol_type);
  part.SetRepresentativeClass(job.representative_spectra->consensus_type,
                              job.representative_spectra->consensus_fragment_tol,
                              job.representative_spectra->consensus_fragment_tol_type);
  part.SetCluster(part.spectra_process.get(), part.representative_spectra.get(), job.cluster->cluster_type,
                  job.cluster->precursor_ion_tol, job.cluster->precursor_ion_tol_type, job.cluster->threshold);
  part.cluster->lower_mass = job.cluster->lower_mass;
  part.cluster->upper_mass = job.cluster->upper_mass;
  part.cluster->cluster_masses_tol = job.cluster->cluster_masses_tol;
  part.cluster->score_log = job.cluster->score_log;
}

// The settings a part's scores and clusters depend on.
bool SameJobSettings(const CPara& a, const CPara& b) {
  return a.cluster && a.similarity && a.representative_spectra && a.peak_select &&
         a.cluster->threshold == b.cluster->threshold &&
         a.cluster->precursor_ion_tol == b.cluster->precursor_ion_tol &&
         a.cluster->precursor_ion_tol_type == b.cluster->precursor_ion_tol_type &&
         a.cluster->lower_mass == b.cluster->lower_mass && a.cluster->upper_mass == b.cluster->upper_mass &&
         a.cluster->cluster_masses_tol == b.cluster->cluster_masses_tol &&
         a.cluster->score_log == b.cluster->score_log &&
         a.similarity->similar_method == b.similarity->similar_method &&
         a.similarity->fragment_ion_tol == b.similarity->fragment_ion_tol &&
         a.representative_spectra->consensus_type == b.representative_spectra->consensus_type &&
         a.peak_select->peak_select_method == b.peak_select->peak_select_method &&
         a.peak_select->whole_top_peak_num == b.peak_select->whole_top_peak_num &&
         a.peak_select->part_top_peak_num == b.peak_select->part_top_peak_num &&
         a.peak_select->part_top_peak_per_num == b.peak_select->part_top_peak_per_num;
}

// A part must run with exactly the job's values, so its file carries the
// real values exactly; it is read back to make sure.
bool WritePartPara(const CPara& job, const CPara& part, const std::string& path, std::string& why) {
  if (!part.WriteParaFile(path, CPara::Numbers::kExact)) {
    why = "cannot write " + path;
    return false;
  }
  CPara back;
  if (!back.ReadParaFile(path) || !SameJobSettings(back, job)) {
    why = path + " does not carry the job's settings unchanged";
    return false;
  }
  return true;
}

// The folder of one part: its spectra, their names (type 1) and its
// parameter file.
std::string WritePart(const CPara& para, const PartEntry& e, const std::string& work, const std::string& plan_id) {
  const std::string dir = path::Join(work, e.name);
  if (!path::CreateDirectory(dir)) return "Cannot create " + dir;
  if (!safefile::WriteWholeFile(path::Join(dir, kPartPlanId), plan_id + "\n")) {
    return "Cannot write " + path::Join(dir, kPartPlanId);
  }
  const std::string absolute_dir = fs::absolute(dir).lexically_normal().string();
  const std::vector<msdata::CSpectrum>& spectra = para.spectra_process->spectra;
  std::string why, input;
  MS2FormatType input_type = MS2_FORMAT_MGF;
  if (!WritePartSpectra(spectra, e, absolute_dir, input, input_type, why)) {
    return "Cannot write part " + e.name + ": " + why;
  }
  if (para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR) {
    std::string names;
    for (std::size_t p = e.first; p < e.first + e.count; ++p) (names += spectra[p].name) += '\n';
    if (!safefile::WriteWholeFile(path::Join(dir, kPartNames), names))
      return "Cannot write " + path::Join(dir, kPartNames);
  }
  CPara part;
  BuildPartPara(para, input_type, input, absolute_dir, part);
  if (!WritePartPara(para, part, path::Join(dir, kPartPara), why)) return "Cannot write part " + e.name + ": " + why;
  return {};
}

void ReportBalance(const std::vector<PartEntry>& parts, std::size_t spectra, const std::string& work,
                   std::ostream& out) {
  std::uint64_t largest = 0, total = 0;
  for (const PartEntry& e : parts) {
    largest = std::max(largest, e.work);
    total += e.work;
  }
  const double mean = static_cast<double>(total) / static_cast<double>(parts.size());
  char balance[64];
  std::snprintf(balance, sizeof balance, "%.3f", mean > 0 ? largest / mean : 1.0);
  out << "Plan: " << parts.size() << (parts.size() == 1 ? " part" : " parts") << " of " << spectra
      << " spectra in " << work << "; largest part's work over the mean: " << balance << "\n";
}

// The plan of the loaded job: the cuts, the part folders, the manifest.
// The origins of every loaded spectrum with its place in the ordered list.
bool WriteOrigins(const std::string& work, clusterjob::COriginTable& origins) {
  safefile::CSafeFile file;
  if (!file.Open(path::Join(work, kOriginsFile), "wb") || !origins.Rewind()) return false;
  const std::vector<std::int32_t>& positions = origins.Positions();
  std::string line;
  bool ok = true;
  for (std::size_t row = 0; ok && origins.NextRow(line); ++row) {
    line += '\t';
    if (row < positions.size() && positions[row] >= 0) line += std::to_string(positions[row]);
    line += '\n';
    ok = std::fwrite(line.data(), 1, line.size(), file.Get()) == line.size();
  }
  return ok && !origins.Failed() && file.Commit();
}

int WritePlan(const PlanArguments& plan, const CPara& para, clusterjob::COriginTable& origins, std::ostream& out) {
  const bool pair_search = para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR;
  Units units;
  if (std::string refused = FindUnits(para, plan.para_path, units); !refused.empty()) return Fail(out, refused);
  std::vector<std::size_t> cut_units;
  if (std::string refused = ChooseCuts(units, plan, pair_search, cut_units); !refused.empty())
    return Fail(out, refused);
  if (cut_units.empty() && plan.requested > 1 && plan.forced.empty()) SayWhyOnePart(units, pair_search, out);
  std::vector<PartEntry> parts;
  for (std::size_t k = 0; k < cut_units.size() + 1; ++k) parts.push_back(DescribePart(para, units, cut_units, k));
  const std::string manifest = ManifestText(parts);
  if (std::string refused = PrepareWorkFolder(plan.work, plan.para_path, parts, manifest); !refused.empty())
    return Fail(out, refused);

  PlanInfo info;
  info.cluster_type = static_cast<int>(para.cluster->cluster_type);
  info.spectra = para.spectra_process->spectra.size();
  info.plan_id = PlanId(ReadWhole(path::Join(plan.work, kOriginalPara)), manifest);
  for (const PartEntry& e : parts) {
    if (std::string refused = WritePart(para, e, plan.work, info.plan_id); !refused.empty()) return Fail(out, refused);
    out << "Part " << e.name << ": " << e.count << " spectra (" << e.owned_count << " owned), work " << e.work
        << "\n";
    out.flush();
  }
  if (!pair_search && !WriteOrigins(plan.work, origins))
    return Fail(out, "Cannot write the spectrum origins into " + plan.work);
  if (!WritePlanFile(plan.work, info, parts.size())) return Fail(out, "Cannot write the plan into " + plan.work);
  ReportBalance(parts, info.spectra, plan.work, out);
  return 0;
}

}  // namespace

std::vector<std::size_t> BalanceCuts(const std::vector<std::uint64_t>& work, std::size_t parts) {
  std::vector<std::size_t> cuts;
  if (work.empty() || parts <= 1) return cuts;
  // Greedy filling up to a bound gives the fewest runs for that bound; the
  // smallest bound that needs no more than `parts` runs is found by bisection.
  auto fill = [&](std::uint64_t bound, std::vector<std::size_t>* starts) {
    std::size_t runs = 1;
    std::uint64_t sum = 0;
    for (std::size_t u = 0; u < work.size(); ++u) {
      if (sum > 0 && sum + work[u] > bound) {
        ++runs;
        if (starts) starts->push_back(u);
        sum = 0;
      }
      sum += work[u];
    }
    return runs;
  };
  std::uint64_t low = *std::max_element(work.begin(), work.end());
  std::uint64_t high = 0;
  for (std::uint64_t w : work) high += w;
  while (low < high) {
    const std::uint64_t mid = low + (high - low) / 2;
    if (fill(mid, nullptr) <= parts) {
      high = mid;
    } else {
      low = mid + 1;
    }
  }
  fill(low, &cuts);
  return cuts;
}

int RunPlan(const std::vector<std::string>& args, std::ostream& out) {
  cli::CommandLine line = PlanCommandLine();
  if (const int answered = line.Report(line.Parse(args), out, out); answered >= 0) return answered;
  PlanArguments plan;
  if (std::string refused = ReadPlanArguments(line, plan); !refused.empty()) {
    out << refused << "\n" << line.Usage();
    return 2;
  }
  try {
    CPara para;
    clusterjob::COriginTable origins;
    if (std::string refused = LoadPlanSpectra(plan.para_path, plan.work, para, origins, out); !refused.empty())
      return Fail(out, refused);
    return WritePlan(plan, para, origins, out);
  } catch (const std::exception& e) {
    return Fail(out, std::string("Planning failed: ") + e.what());
  }
}

}  // namespace partition
