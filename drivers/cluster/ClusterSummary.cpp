#include "drivers/cluster/ClusterSummary.h"

#include <algorithm>
#include <fstream>

#include "clustering/Para.h"
#include "clustering/SpectralPairSearch.h"
#include "common/CommandLine.h"
#include "common/NameTables.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "drivers/cluster/ClusterJob.h"
#include "drivers/cluster/JobChecks.h"

namespace clusterjob {

namespace {

// The shifts the pair summary lists, most pairs first.
constexpr std::size_t kTopShifts = 10;

// Pictures are outputs of their own role, captioned by what they show.
const char* PictureCaption(const std::string& what) {
  if (what == "curve picture") return "Threshold curve";
  if (what == "histogram picture") return "Mass-shift histogram";
  return nullptr;
}

// The job's inputs and the outputs it left, as its checks name them; the
// summary itself is no output of its own.
void AddFiles(summary::CRunSummary& run, const CPara& para, const JobOptions& options) {
  const JobFiles files = FilesOfJob(para, options);
  for (const JobFile& in : files.inputs) run.AddInput(in.what, in.path);
  for (const JobFile& out : files.outputs) {
    if (out.what == kRunSummary || out.what == kNetworkSummary || !path::Exists(out.path)) continue;
    if (const char* caption = PictureCaption(out.what)) {
      run.AddPicture(out.path, caption);
    } else {
      run.AddOutput(out.what, out.path);
    }
  }
  if (!files.spectra_folder.empty() && options.spectrum_files && path::IsDirectory(files.spectra_folder))
    run.AddOutput("spectra folder", files.spectra_folder);
}

// The settings that decide what a job finds, typed.
void AddParameters(summary::CRunSummary& run, const CPara& para) {
  summary::CJson& p = run.Parameters();
  const CCluster& c = *para.cluster;
  p.Set("threshold", c.threshold);
  p.Set("precursor_ion_tol", c.precursor_ion_tol);
  p.Set("precursor_ion_tol_unit", names::ToleranceTypeName(c.precursor_ion_tol_type));
  if (para.similarity) {
    p.Set("similarity", names::SimilarMethodName(para.similarity->similar_method));
    p.Set("fragment_ion_tol", para.similarity->fragment_ion_tol);
    p.Set("fragment_ion_tol_unit", names::ToleranceTypeName(para.similarity->fragment_ion_tol_type));
  }
  if (para.peak_select) p.Set("part_top_peak_num", para.peak_select->part_top_peak_num);
  p.Set("small_peaks_count_filter", para.spectra_process->small_peaks_count_filter);
  if (c.cluster_type == CLUSTER_SPECTRAL_PAIR) {
    p.Set("lower_mass", c.lower_mass);
    p.Set("upper_mass", c.upper_mass);
    p.Set("cluster_masses_tol", c.cluster_masses_tol);
  }
}

std::string Write(const summary::CRunSummary& run, const std::string& main_output) {
  const std::string path = summary::SummaryPathFor(main_output);
  std::string error;
  if (run.Write(path, &error)) return {};
  return "Cannot write the run summary: " + path + " (" + error + ")";
}

}  // namespace

std::vector<ShiftCount> ReadShiftCounts(const std::string& table) {
  std::vector<ShiftCount> shifts;
  std::ifstream in;
  if (!text::OpenInput(in, table)) return shifts;
  std::string line;
  while (text::ReadLine(in, line)) {
    const std::vector<std::string> fields = text::Split(line, ',');
    if (fields.size() < 2) continue;
    ShiftCount shift;
    double pairs = 0.0;
    if (!cli::ParseFiniteNumber(text::Trim(fields[0]), shift.mass) ||
        !cli::ParseFiniteNumber(text::Trim(fields[1]), pairs))
      continue;
    shift.pairs = static_cast<long>(pairs);
    shifts.push_back(shift);
  }
  std::stable_sort(shifts.begin(), shifts.end(), [](const ShiftCount& a, const ShiftCount& b) {
    return a.pairs > b.pairs;
  });
  return shifts;
}

std::string WriteClusteringSummary(summary::CRunSummary& run, const CPara& para, const JobOptions& options,
                                   const ClusteringOutcome& outcome) {
  AddFiles(run, para, options);
  AddParameters(run, para);
  summary::CJson& counts = run.Counts();
  counts.Set("spectra_read", outcome.spectra_read);
  counts.Set("spectra_kept", outcome.spectra_kept);
  std::size_t clusters = 0, joined = 0, joined_spectra = 0, largest = 0;
  if (outcome.cluster_sizes) {
    for (const int size : *outcome.cluster_sizes) {
      if (size <= 0) continue;  // the unused number 0
      ++clusters;
      largest = std::max(largest, static_cast<std::size_t>(size));
      if (size >= 2) {
        ++joined;
        joined_spectra += static_cast<std::size_t>(size);
      }
    }
  }
  counts.Set("clusters", clusters);
  counts.Set("clusters_of_two_or_more", joined);
  counts.Set("spectra_in_clusters_of_two_or_more", joined_spectra);
  counts.Set("largest_cluster", largest);
  if (outcome.choice) {
    summary::CJson& target = run.Details()["target_incorrect"];
    target.Set("target", options.target_incorrect);
    target.Set("chosen", outcome.choice->chosen);
    target.Set("threshold", para.cluster->threshold);
    target.Set("incorrect_ratio", outcome.choice->at.IncorrectRatio());
    target.Set("upper_bound", outcome.choice->upper);
    target.Set("identified_clustered", outcome.choice->at.identified_clustered);
  }
  if (outcome.curve_end) {
    summary::CJson& end = run.Details()["at_threshold"];
    end.Set("threshold", outcome.curve_end->threshold);
    end.Set("identified_clustered", outcome.curve_end->identified_clustered);
    end.Set("incorrect", outcome.curve_end->incorrect);
    end.Set("incorrect_ratio", outcome.curve_end->IncorrectRatio());
    end.Set("completeness", outcome.curve_end->Completeness());
  }
  return Write(run, para.spectra_process->cluster_result);
}

std::string WritePairSummary(summary::CRunSummary& run, const CPara& para, const JobOptions& options,
                             const PairSearchOutcome& outcome) {
  AddFiles(run, para, options);
  AddParameters(run, para);
  run.Parameters().Set("shift_search", options.shift_search);
  summary::CJson& counts = run.Counts();
  counts.Set("spectra", outcome.spectra);
  counts.Set("pairs", outcome.pairs);
  if (outcome.search && outcome.search->decoy_pairs) counts.Set("expected_false_pairs", outcome.search->decoy_pairs_above);
  if (!outcome.shift_table.empty()) {
    const std::vector<ShiftCount> shifts = ReadShiftCounts(outcome.shift_table);
    counts.Set("mass_shifts", shifts.size());
    summary::CJson& top = run.Details()["top_shifts"] = summary::CJson::Array();
    for (std::size_t i = 0; i < shifts.size() && i < kTopShifts; ++i) {
      summary::CJson& row = top.Append(summary::CJson::Object());
      row.Set("delta_mass", shifts[i].mass);
      row.Set("pairs", shifts[i].pairs);
    }
  }
  return Write(run, para.spectra_process->cluster_result);
}

}  // namespace clusterjob
