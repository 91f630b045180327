#include "scoring/PeptideScoreFactory.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <memory>

#include "common/Notifier.h"
#include "common/TextUtil.h"
#include "scoring/KSDPScore.h"
#include "scoring/SharedPeakScore.h"

namespace {

// The m/z of a peak in internal units; false for values that do not fit.
bool ToUnits(double mz, std::int32_t& units) {
  const double v = std::trunc(mz * mass_units::kPerDalton);
  if (!(v >= -2147483648.0 && v <= 2147483647.0)) return false;
  units = static_cast<std::int32_t>(v);
  return true;
}

}  // namespace

bool ReadScoreSpectrum(const std::string& path, CScoreSpectrum& spectrum, std::string& error,
                       std::size_t keep) {
  spectrum = CScoreSpectrum();
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "Can not open file:" + path;
    return false;
  }
  std::string line;
  if (text::ReadLine(in, line)) {
    double mh = 0.0;
    int charge = 0;
    if (std::sscanf(line.c_str(), "%lf %d", &mh, &charge) >= 1) {
      spectrum.precursor_mh = mh;
      spectrum.charge = charge;
    }
  }
  std::vector<CScorePeak> peaks;
  double max_intensity = 0.0;
  while (text::ReadLine(in, line)) {
    double mz = 0.0, intensity = 0.0;
    if (std::sscanf(line.c_str(), "%lf %lf", &mz, &intensity) != 2) continue;
    CScorePeak peak;
    if (!ToUnits(mz, peak.mz)) continue;
    // A negative or undefined intensity carries no signal.
    peak.intensity = intensity > 0.0 ? std::sqrt(intensity) : 0.0;
    if (!std::isfinite(peak.intensity)) peak.intensity = 0.0;
    max_intensity = std::max(max_intensity, peak.intensity);
    peaks.push_back(peak);
  }
  std::stable_sort(peaks.begin(), peaks.end(), [](const CScorePeak& a, const CScorePeak& b) {
    return a.intensity > b.intensity;
  });
  if (peaks.size() > keep) peaks.resize(keep);
  std::stable_sort(peaks.begin(), peaks.end(),
                   [](const CScorePeak& a, const CScorePeak& b) { return a.mz < b.mz; });
  spectrum.peaks = std::move(peaks);
  spectrum.max_intensity = max_intensity;
  return true;
}

CPeptideScore* CPeptideScoreFactory::GetScorer(ScoreType type) const {
  if (static_cast<int>(type) == SCORE_TYPE_SHARED_PEAKS) return new CSharedPeakScore();
  return new CKSDPScore();
}

void CPeptideScoreFactory::GetKSDPScore(const std::string& spectrum_path,
                                        const std::string& peptide,
                                        const std::vector<std::pair<int, double>>& fixed_mods,
                                        double mod_mass, std::vector<double>& scores,
                                        const std::string& directory) const {
  CScoreSettings settings;
  settings.SetResidues(CResidueTable::FromDirectory(directory));
  settings.SetDefaultSeries();

  CScoreSpectrum spectrum;
  std::string error;
  if (!ReadScoreSpectrum(spectrum_path, spectrum, error)) notify::Message(error);
  ScoreEverySite(settings, spectrum, peptide, fixed_mods, mod_mass, scores);
}

void ScoreEverySite(const CScoreSettings& settings, const CScoreSpectrum& spectrum,
                    const std::string& peptide,
                    const std::vector<std::pair<int, double>>& fixed_mods, double mod_mass,
                    std::vector<double>& scores) {
  std::unique_ptr<CPeptideScore> scorer(CPeptideScoreFactory().GetScorer(SCORE_TYPE_KSDP));
  scorer->SetSettings(settings);

  const int length = static_cast<int>(peptide.size());
  CScorePeptide target;
  target.sequence = peptide;
  for (const auto& [position, mass] : fixed_mods) {
    if (position < 0 || position >= length) continue;
    CPeptideMod mod;
    mod.position = position;
    mod.residue = peptide[position];
    mod.mass = mass;
    target.modifications.push_back(mod);
  }

  scores.reserve(scores.size() + static_cast<std::size_t>(std::max(length, 0)));
  for (int i = 0; i < length; ++i) {
    CPeptideMod candidate;
    candidate.position = i;
    candidate.residue = peptide[i];
    candidate.mass = mod_mass;
    target.modifications.push_back(candidate);
    scorer->SetSpectrum(spectrum);
    scorer->SetPeptide(target);
    scores.push_back(scorer->Score());
    scorer->Reset();
    target.modifications.pop_back();
  }
}
