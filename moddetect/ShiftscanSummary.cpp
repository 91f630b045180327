#include "moddetect/ShiftscanSummary.h"

#include "moddetect/DetectionRun.h"

namespace {

const char* TypeName(std::int32_t type) {
  switch (type) {
    case 0:
      return "single";
    case 1:
      return "combination";
    default:
      return "explained";
  }
}

}  // namespace

void FillShiftscanSummary(const CDetectionRun& run, const std::string& config_path, const std::string& table,
                          summary::CRunSummary& summary) {
  const CDetectionConfig& config = run.Config();
  summary.AddInput("configuration", config_path);
  summary.AddInput("spectra", config.DataPath());
  if (config.IdentifiedOnly()) summary.AddInput("identifications", config.IdentificationFile());

  summary::CJson& p = summary.Parameters();
  p.Set("mass_lower", config.MassLower());
  p.Set("mass_upper", config.MassUpper());
  p.Set("time_lower", config.TimeLower());
  p.Set("time_upper", config.TimeUpper());
  p.Set("shift_lower", config.FirstShift());
  p.Set("shift_upper", config.LastShift());
  p.Set("find_pairs", config.WritePairFiles());
  p.Set("pair_probability_threshold", config.PairProbabilityThreshold());
  p.Set("post_search", config.IdentifiedOnly());
  p.Set("min_d_score", config.MinDScore());
  p.Set("min_bin_excess", config.MinBinExcess());
  p.Set("redundancy_tolerance_ppm", config.RedundancyTolerancePpm());
  p.Set("mass_bin_width", config.MassBinWidth());
  p.Set("max_precursors", config.MaxPrecursors());
  p.Set("detect_combinations", config.DetectCombinations());

  const std::vector<ModificationRecord>& results = run.Detector().Results();
  long long pairs = 0;
  summary::CJson& modifications = summary.Details()["modifications"] = summary::CJson::Array();
  for (const ModificationRecord& r : results) {
    pairs += r.pair_count;
    summary::CJson& row = modifications.Append(summary::CJson::Object());
    row.Set("delta_mass", r.delta_mass);
    row.Set("pairs", r.pair_count);
    row.Set("delta_time", r.delta_time);
    row.Set("d_score", r.d_score);
    row.Set("type", TypeName(r.type));
  }
  summary::CJson& counts = summary.Counts();
  counts.Set("precursors_read", run.Precursors().Records().size());
  counts.Set("precursors_kept", run.Precursors().Reduced().size());
  counts.Set("pairs", pairs);
  counts.Set("modifications", results.size());

  summary.AddOutput("modification table", table);
  if (config.WritePairFiles() && !config.PairFolder().empty()) summary.AddOutput("pair folder", config.PairFolder());
}
