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
#include <memory>
#include <system_error>

#include "clustering/Para.h"
#include "clustering/SimilarityCluster.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "drivers/cluster/ClusterJob.h"
#include "drivers/cluster/partition/Partition.h"
#include "drivers/cluster/partition/PlanFiles.h"
#include "spectra/MS2Input.h"

namespace partition {

namespace fs = std::filesystem;

namespace {

int Fail(std::ostream& out, const std::string& message) {
  out << message << "\n";
  return 1;
}

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

std::string Format6(double v) {
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%lf", v);
  return buffer;
}

// The parameter file writes some settings with two decimals; a part must
// run with exactly the job's values, so those lines are given their exact
// text. Returns false when even that does not read back the same.
bool WritePartPara(const CPara& job, CPara& part, const std::string& path, std::string& why) {
  if (!part.WriteParaFile(path)) {
    why = "cannot write " + path;
    return false;
  }
  auto exact = [](double v) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%.17g", v);
    return std::string(buffer);
  };
  const std::vector<std::pair<std::string, std::string>> values = {
      {"fragment_ion_tol=", exact(job.similarity->fragment_ion_tol)},
      {"precursor_ion_tol=", exact(job.cluster->precursor_ion_tol)},
      {"consensus_fragment_tol=", exact(job.representative_spectra->consensus_fragment_tol)},
      {"threshold=", exact(job.cluster->threshold)},
      {"cluster_masses_tol=", exact(job.cluster->cluster_masses_tol)},
  };
  std::string text;
  {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    while (text::ReadLine(in, line)) {
      for (const auto& [key, value] : values) {
        if (text::StartsWith(line, key)) line = key + value;
      }
      text += line + "\n";
    }
  }
  std::ofstream(path, std::ios::binary | std::ios::trunc) << text;

  CPara back;
  if (!back.ReadParaFile(path) || !back.cluster || !back.similarity ||
      !back.representative_spectra || !back.peak_select ||
      back.cluster->threshold != job.cluster->threshold ||
      back.cluster->precursor_ion_tol != job.cluster->precursor_ion_tol ||
      back.cluster->precursor_ion_tol_type != job.cluster->precursor_ion_tol_type ||
      back.cluster->lower_mass != job.cluster->lower_mass ||
      back.cluster->upper_mass != job.cluster->upper_mass ||
      back.cluster->cluster_masses_tol != job.cluster->cluster_masses_tol ||
      back.similarity->similar_method != job.similarity->similar_method ||
      back.similarity->fragment_ion_tol != job.similarity->fragment_ion_tol ||
      back.representative_spectra->consensus_type != job.representative_spectra->consensus_type ||
      back.peak_select->peak_select_method != job.peak_select->peak_select_method ||
      back.peak_select->whole_top_peak_num != job.peak_select->whole_top_peak_num ||
      back.peak_select->part_top_peak_num != job.peak_select->part_top_peak_num ||
      back.peak_select->part_top_peak_per_num != job.peak_select->part_top_peak_per_num) {
    why = path + " does not carry the job's settings unchanged";
    return false;
  }
  return true;
}

bool ParseCuts(const std::string& text, std::vector<std::size_t>& cuts) {
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string field = text.substr(start, comma - start);
    if (field.empty() || field.find_first_not_of("0123456789") != std::string::npos) return false;
    cuts.push_back(static_cast<std::size_t>(std::stoull(field)));
    start = comma + 1;
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  return !cuts.empty();
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
  if (args.size() != 3 && !(args.size() == 5 && args[3] == "--cuts")) {
    return Fail(out, kPlanUsage);
  }
  const int requested = text::AtoI(args[0]);
  if (requested < 1 || args[0].find_first_not_of("0123456789") != std::string::npos) {
    return Fail(out, std::string("The number of parts must be a whole number of at least 1: ") +
                         args[0] + "\n" + kPlanUsage);
  }
  const std::string para_path = args[1];
  const std::string work = args[2];
  std::vector<std::size_t> forced;
  if (args.size() == 5 && !ParseCuts(args[4], forced)) {
    return Fail(out, "Cut positions must be whole numbers separated by commas: " + args[4]);
  }

  try {
    CPara para;
    if (!para.ReadParaFile(para_path)) return Fail(out, "Cannot read parameter file: " + para_path);
    if (!para.cluster || !para.similarity || !para.peak_select || !para.representative_spectra) {
      return Fail(out, "Unknown cluster type in parameter file: " + para_path);
    }
    CSpectraProcess& data = *para.spectra_process;
    const bool pair_search = para.cluster->cluster_type == CLUSTER_SPECTRAL_PAIR;
    if (data.data_directory.empty()) return Fail(out, "Wrong data path!");
    if (data.cluster_result.empty()) {
      return Fail(out, "No result file (cluster_result) in: " + para_path);
    }

    // The same loading, filtering and order as `cluster`.
    std::unique_ptr<CMS2Input> importer(CMS2InputFactory().GetImporter(data.data_type, true));
    if (!importer) {
      return Fail(out, "Unknown data type " + std::to_string(static_cast<int>(data.data_type)) +
                           " in parameter file: " + para_path);
    }
    std::vector<msdata::CSpectrum>& spectra = data.spectra;
    if (!importer->Load(data.data_directory, spectra, true)) {
      return Fail(out, "Cannot load spectra from " + data.data_directory + ": " +
                           importer->LastError());
    }
    const std::size_t minimum = data.small_peaks_count_filter > 0
                                    ? static_cast<std::size_t>(data.small_peaks_count_filter)
                                    : 0;
    spectra.erase(std::remove_if(spectra.begin(), spectra.end(),
                                 [minimum](const msdata::CSpectrum& s) {
                                   return s.peaks.size() < minimum;
                                 }),
                  spectra.end());
    if (spectra.empty()) return Fail(out, "No spectrum is left to cluster in " + data.data_directory);
    if (pair_search) {
      clusterjob::OrderForPairSearch(spectra);
    } else {
      clusterjob::OrderForClustering(spectra);
    }
    const std::size_t n = spectra.size();
    out << "Loaded and ordered " << n << " spectra.\n";
    out.flush();

    // Units: the smallest runs of the ordered list that a part may start at;
    // unit_start[u] is the first position of unit u.
    std::vector<std::size_t> unit_start;
    std::vector<std::uint64_t> unit_work;
    std::vector<std::uint64_t> pair_work;  // type 1: per position
    const double lower = para.cluster->lower_mass;
    const double upper = para.cluster->upper_mass;
    if (!pair_search) {
      // The engine's own blocks: a cut between them changes no block.
      const auto* engine = dynamic_cast<const CSimilarityCluster*>(para.cluster.get());
      if (!engine) return Fail(out, "Unknown cluster type in parameter file: " + para_path);
      for (const CSimilarityCluster::Block& b : engine->FindBlocks(spectra)) {
        unit_start.push_back(b.start);
        unit_work.push_back(static_cast<std::uint64_t>(b.size) * b.size);
      }
    } else {
      // A pair is told by the printed masses of its spectra, so a cut never
      // separates two spectra that print the same mass.
      pair_work = PairsEndingAt(spectra, 0, n, lower, upper);
      std::string previous;
      for (std::size_t p = 0; p < n; ++p) {
        std::string printed = Format6(spectra[p].precursor_mass);
        if (p == 0 || printed != previous) {
          unit_start.push_back(p);
          unit_work.push_back(0);
        }
        unit_work.back() += pair_work[p];
        previous = std::move(printed);
      }
    }

    // Part starts in units.
    std::vector<std::size_t> cut_units;
    if (!forced.empty()) {
      for (std::size_t position : forced) {
        const auto it = std::lower_bound(unit_start.begin(), unit_start.end(), position);
        if (position == 0 || it == unit_start.end() || *it != position) {
          return Fail(out, "Cannot start a part at position " + std::to_string(position) +
                               (pair_search ? ": it is 0, beyond the list or beside a spectrum "
                                              "of the same printed mass"
                                            : ": it is 0, beyond the list or inside a block"));
        }
        cut_units.push_back(static_cast<std::size_t>(it - unit_start.begin()));
      }
    } else {
      // Type 1 balances the owned pairs only. Counting each halo's pairs
      // with every candidate start was tried with an estimate (the halo
      // spectra's own windows) and gave worse parts than leaving it out.
      cut_units = BalanceCuts(unit_work, static_cast<std::size_t>(requested));
    }
    const std::size_t part_count = cut_units.size() + 1;
    if (part_count == 1 && requested > 1 && forced.empty()) {
      if (unit_start.size() > 1) {
        out << "One part: the work cannot be spread over more.\n";
      } else {
        out << (pair_search ? "The spectra cannot be cut: all of them share one printed "
                              "precursor mass. One part.\n"
                            : "The spectra cannot be cut: they form one block. One part.\n");
      }
    }

    // A fresh work folder: old parts must not mix with this plan's.
    std::error_code ec;
    fs::create_directories(work, ec);
    if (!path::IsDirectory(work)) return Fail(out, "Cannot create the work folder: " + work);
    for (const auto& entry : fs::directory_iterator(work, ec)) {
      const std::string name = entry.path().filename().string();
      if (name.rfind("part_", 0) == 0 && entry.is_directory()) fs::remove_all(entry.path(), ec);
    }
    fs::remove(fs::path(work) / kPlanFile, ec);
    fs::remove(fs::path(work) / kManifestFile, ec);
    if (!path::CopyFile(para_path, path::Join(work, kOriginalPara))) {
      return Fail(out, "Cannot copy the parameter file into " + work);
    }

    std::vector<PartEntry> parts;
    for (std::size_t k = 0; k < part_count; ++k) {
      PartEntry e;
      e.name = PartName(k);
      e.owned_first = unit_start[k == 0 ? 0 : cut_units[k - 1]];
      const std::size_t owned_end = k + 1 < part_count ? unit_start[cut_units[k]] : n;
      e.owned_count = owned_end - e.owned_first;
      e.first = e.owned_first;
      if (pair_search) e.first = HaloStart(spectra, e.owned_first, upper);
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
      e.mass_from = lo;
      e.mass_to = hi;
      e.owned_from = olo;
      e.owned_to = ohi;
      if (pair_search) {
        for (std::uint64_t w : PairsEndingAt(spectra, e.first, owned_end, lower, upper)) {
          e.work += w;
        }
      } else {
        const std::size_t u_end = k + 1 < part_count ? cut_units[k] : unit_start.size();
        for (std::size_t u = k == 0 ? 0 : cut_units[k - 1]; u < u_end; ++u) {
          e.work += unit_work[u];
          const std::size_t size = (u + 1 < unit_start.size() ? unit_start[u + 1] : n) - unit_start[u];
          e.largest = std::max(e.largest, size);
        }
      }

      const std::string dir = path::Join(work, e.name);
      if (!path::CreateDirectory(dir)) return Fail(out, "Cannot create " + dir);
      const std::string absolute_dir = fs::absolute(dir).lexically_normal().string();
      std::string why;
      // MGF where it carries the spectra unchanged, else DTAS.
      std::string input = path::Join(absolute_dir, kPartMgf);
      MS2FormatType input_type = MS2_FORMAT_MGF;
      if (!WriteMgf(spectra, e.first, owned_end, input, why) ||
          !VerifySpectra(spectra, e.first, owned_end, input, input_type, why)) {
        path::RemoveFile(input);
        input = path::Join(absolute_dir, kPartDtas);
        input_type = MS2_FORMAT_DTAS;
        if (!WriteDtas(spectra, e.first, owned_end, input, why) ||
            !VerifySpectra(spectra, e.first, owned_end, input, input_type, why)) {
          return Fail(out, "Cannot write part " + e.name + ": " + why);
        }
      }
      if (pair_search) {
        std::ofstream names(path::Join(dir, kPartNames), std::ios::binary);
        for (std::size_t p = e.first; p < owned_end; ++p) names << spectra[p].name << '\n';
        if (!names) return Fail(out, "Cannot write " + path::Join(dir, kPartNames));
      }
      CPara part;
      part.SetDataClass(input_type, input,
                        data.out_directory.empty() ? std::string()
                                                   : path::Join(absolute_dir, kPartOut),
                        path::Join(absolute_dir, kPartResult), data.small_peaks_count_filter);
      part.SetPeakSelect(para.peak_select->peak_select_method,
                         para.peak_select->whole_top_peak_num, para.peak_select->part_top_peak_num,
                         para.peak_select->part_top_peak_per_num);
      part.SetSimilarMethod(para.similarity->similar_method, para.similarity->fragment_ion_tol,
                            para.similarity->fragment_ion_tol_type);
      part.SetRepresentativeClass(para.representative_spectra->consensus_type,
                                  para.representative_spectra->consensus_fragment_tol,
                                  para.representative_spectra->consensus_fragment_tol_type);
      part.SetCluster(part.spectra_process.get(), part.representative_spectra.get(),
                      para.cluster->cluster_type, para.cluster->precursor_ion_tol,
                      para.cluster->precursor_ion_tol_type, para.cluster->threshold);
      part.cluster->lower_mass = para.cluster->lower_mass;
      part.cluster->upper_mass = para.cluster->upper_mass;
      part.cluster->cluster_masses_tol = para.cluster->cluster_masses_tol;
      if (!WritePartPara(para, part, path::Join(dir, kPartPara), why)) {
        return Fail(out, "Cannot write part " + e.name + ": " + why);
      }
      out << "Part " << e.name << ": " << e.count << " spectra (" << e.owned_count
          << " owned), work " << e.work << "\n";
      out.flush();
      parts.push_back(e);
    }

    PlanInfo info;
    info.cluster_type = static_cast<int>(para.cluster->cluster_type);
    info.spectra = n;
    if (!WritePlanFiles(work, info, parts)) return Fail(out, "Cannot write the plan into " + work);
    std::uint64_t largest = 0, total = 0;
    for (const PartEntry& e : parts) {
      largest = std::max(largest, e.work);
      total += e.work;
    }
    const double mean = static_cast<double>(total) / static_cast<double>(parts.size());
    char balance[64];
    std::snprintf(balance, sizeof balance, "%.3f", mean > 0 ? largest / mean : 1.0);
    out << "Plan: " << parts.size() << (parts.size() == 1 ? " part" : " parts") << " of " << n
        << " spectra in " << work << "; largest part's work over the mean: " << balance << "\n";
    return 0;
  } catch (const std::exception& e) {
    return Fail(out, std::string("Planning failed: ") + e.what());
  }
}

}  // namespace partition
