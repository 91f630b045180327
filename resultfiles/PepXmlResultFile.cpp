// pepXML: one msms_run_summary per run (its base_name names the spectra),
// the modifications searched in its search_summary header, one
// spectrum_query per spectrum and charge with ranked search_hit elements.

#include <algorithm>
#include <cctype>
#include <functional>
#include <cmath>

#include "common/DtaName.h"
#include "common/TextUtil.h"
#include "resultfiles/SearchResultFile.h"
#include "resultfiles/XmlStream.h"

namespace {

constexpr double kHydrogen = 1.007825;
constexpr double kHydroxyl = 17.00274;

// Monoisotopic residue masses, for modified-residue masses that no header
// entry explains.
double ResidueMass(char residue) {
  switch (residue) {
    case 'G': return 57.02146;
    case 'A': return 71.03711;
    case 'S': return 87.03203;
    case 'P': return 97.05276;
    case 'V': return 99.06841;
    case 'T': return 101.04768;
    case 'C': return 103.00919;
    case 'L': case 'I': return 113.08406;
    case 'N': return 114.04293;
    case 'D': return 115.02694;
    case 'Q': return 128.05858;
    case 'K': return 128.09496;
    case 'E': return 129.04259;
    case 'M': return 131.04049;
    case 'H': return 137.05891;
    case 'F': return 147.06841;
    case 'U': return 150.95364;
    case 'R': return 156.10111;
    case 'Y': return 163.06333;
    case 'W': return 186.07931;
    case 'O': return 237.14773;
    default: return 0.0;
  }
}

struct HeaderModification {
  char residue = 0;   // 0 for a terminal modification
  char terminus = 0;  // 'n', 'c' or 0
  double massdiff = 0.0;
  double mass = 0.0;
  bool variable = true;
};

class PepXmlHandler : public xmlstream::CHandler {
 public:
  PepXmlHandler(xmlstream::CReader& reader, std::vector<CSearchHit>& hits,
                std::vector<std::string>& runs, std::vector<std::string>& unknown_scores,
                std::function<bool(const std::string&)> is_decoy)
      : reader_(reader), hits_(hits), runs_(runs), unknown_(unknown_scores),
        is_decoy_(std::move(is_decoy)) {}

  void Start(std::string_view name, const xmlstream::CAttributes& a) override {
    if (name == "msms_run_summary") {
      base_ = RunBaseName(a.Get("base_name"));
      if (base_.empty()) return reader_.Stop("no base_name: the spectra of this run cannot be named");
      if (std::find(runs_.begin(), runs_.end(), base_) == runs_.end()) runs_.push_back(base_);
      header_.clear();
    } else if (name == "aminoacid_modification") {
      HeaderModification m;
      const std::string residue = a.Get("aminoacid");
      if (residue.size() != 1 || !a.Number("massdiff", m.massdiff))
        return reader_.Stop("needs one aminoacid and a massdiff");
      m.residue = static_cast<char>(std::toupper(static_cast<unsigned char>(residue[0])));
      if (!a.Number("mass", m.mass)) m.mass = ResidueMass(m.residue) + m.massdiff;
      m.variable = text::EqualsNoCase(a.Get("variable"), "Y");
      header_.push_back(m);
    } else if (name == "terminal_modification") {
      HeaderModification m;
      const std::string terminus = text::ToLower(a.Get("terminus"));
      if ((terminus != "n" && terminus != "c") || !a.Number("massdiff", m.massdiff))
        return reader_.Stop("needs terminus n or c and a massdiff");
      m.terminus = terminus[0];
      if (!a.Number("mass", m.mass)) m.mass = m.massdiff + (m.terminus == 'n' ? kHydrogen : kHydroxyl);
      m.variable = text::EqualsNoCase(a.Get("variable"), "Y");
      header_.push_back(m);
    } else if (name == "spectrum_query") {
      StartQuery(a);
    } else if (name == "search_hit") {
      int rank = 0;
      in_hit_ = in_query_ && !have_hit_ && a.Integer("hit_rank", rank) && rank == 1;
      if (!in_hit_) return;
      hit_ = CSearchHit();
      hit_.name = query_name_;
      hit_.sequence = text::ToUpper(a.Get("peptide"));
      if (hit_.sequence.empty()) return reader_.Stop("rank-1 hit without a peptide");
      all_decoy_ = is_decoy_(a.Get("protein"));
      listed_.assign(hit_.sequence.size(), false);
      nterm_listed_ = cterm_listed_ = false;
    } else if (!in_hit_) {
      return;
    } else if (name == "alternative_protein") {
      all_decoy_ = all_decoy_ && is_decoy_(a.Get("protein"));
    } else if (name == "modification_info") {
      double mass = 0.0;
      if (a.Number("mod_nterm_mass", mass)) {
        AddTerminal('n', mass);
        nterm_listed_ = true;
      }
      if (a.Number("mod_cterm_mass", mass)) {
        AddTerminal('c', mass);
        cterm_listed_ = true;
      }
    } else if (name == "mod_aminoacid_mass") {
      AddResidue(a);
    } else if (name == "search_score") {
      const std::string score = a.Get("name");
      double value = 0.0;
      const int kind = ScoreKindOf(score);
      if (kind < 0) {
        if (std::find(unknown_.begin(), unknown_.end(), score) == unknown_.end() && unknown_.size() < 20)
          unknown_.push_back(score);
      } else if (a.Number("value", value) && std::isnan(hit_.scores[kind])) {
        hit_.scores[kind] = value;
      }
    } else if (name == "peptideprophet_result" || name == "interprophet_result") {
      // iProphet refines PeptideProphet: its probability wins when present.
      double p = 0.0;
      if (a.Number("probability", p) &&
          (name == "interprophet_result" || std::isnan(hit_.scores[SCORE_PROPHET_PROBABILITY])))
        hit_.scores[SCORE_PROPHET_PROBABILITY] = p;
    }
  }

  void End(std::string_view name) override {
    if (name == "search_hit" && in_hit_) {
      FinishHit();
      in_hit_ = false;
      have_hit_ = true;
    } else if (name == "spectrum_query") {
      in_query_ = false;
    }
  }

 private:
  void StartQuery(const xmlstream::CAttributes& a) {
    if (base_.empty()) return reader_.Stop("spectrum_query outside an msms_run_summary");
    int first = 0, last = 0, charge = 0;
    const bool have_scans = a.Integer("start_scan", first);
    if (!a.Integer("end_scan", last)) last = first;
    const bool have_charge = a.Integer("assumed_charge", charge);
    if (!have_scans || !have_charge) {
      // Without the attributes, the spectrum attribute may still be a
      // DTA-style name.
      msdata::DtaNameParts parts;
      if (!msdata::ParseDtaName(a.Get("spectrum") + ".dta", parts))
        return reader_.Stop("no start_scan and assumed_charge, and no spectrum name to take them from");
      if (!have_scans) first = parts.first_scan, last = parts.last_scan;
      if (!have_charge) charge = parts.charge;
    }
    // Comet keeps the TITLE of an MGF spectrum as its native id: this
    // system's own titles (a run exported with dtaexport --mgf, consensus
    // spectra of cluster --mgf) name the spectrum directly.
    const std::string native = a.Get("spectrumNativeID");
    if (!(text::EndsWith(text::ToLower(native), ".dta") && SpectrumNameFromTitle(native, charge, query_name_)))
      query_name_ = HitSpectrumName(base_, first, last, charge);
    in_query_ = true;
    have_hit_ = false;
  }

  const HeaderModification* FindHeader(char residue, char terminus, double mass) const {
    for (const HeaderModification& m : header_) {
      if (m.residue == residue && m.terminus == terminus && std::fabs(m.mass - mass) < 0.01) return &m;
    }
    return nullptr;
  }

  void AddTerminal(char terminus, double mass) {
    const HeaderModification* m = FindHeader(0, terminus, mass);
    const double delta = m ? m->massdiff : mass - (terminus == 'n' ? kHydrogen : kHydroxyl);
    const int position = terminus == 'n' ? 0 : static_cast<int>(hit_.sequence.size()) - 1;
    hit_.modifications.push_back({position, delta, terminus});
  }

  void AddResidue(const xmlstream::CAttributes& a) {
    int position = 0;
    double mass = 0.0;
    if (!a.Integer("position", position) || position < 1 ||
        static_cast<std::size_t>(position) > hit_.sequence.size() || !a.Number("mass", mass))
      return reader_.Stop("position outside the peptide " + hit_.sequence + " or no mass");
    const int index = position - 1;
    listed_[static_cast<std::size_t>(index)] = true;
    // Comet says which part of the mass is fixed and which variable.
    double fixed = 0.0, variable = 0.0;
    const bool has_fixed = a.Number("static", fixed);
    const bool has_variable = a.Number("variable", variable);
    if (has_fixed || has_variable) {
      if (has_fixed && fixed != 0.0) hit_.modifications.push_back({index, fixed, 0});
      if (has_variable && variable != 0.0) hit_.modifications.push_back({index, variable, 0});
      return;
    }
    const char residue = hit_.sequence[static_cast<std::size_t>(index)];
    if (const HeaderModification* m = FindHeader(residue, 0, mass)) {
      hit_.modifications.push_back({index, m->massdiff, 0});
      return;
    }
    const double base = ResidueMass(residue);
    if (base == 0.0) return reader_.Stop(std::string("unknown residue ") + residue);
    hit_.modifications.push_back({index, mass - base, 0});
  }

  void FinishHit() {
    // Fixed modifications that the hit leaves to the header.
    for (const HeaderModification& m : header_) {
      if (m.variable) continue;
      if (m.terminus == 'n' && !nterm_listed_) {
        hit_.modifications.push_back({0, m.massdiff, 'n'});
      } else if (m.terminus == 'c' && !cterm_listed_) {
        hit_.modifications.push_back({static_cast<int>(hit_.sequence.size()) - 1, m.massdiff, 'c'});
      } else if (m.residue) {
        for (std::size_t i = 0; i < hit_.sequence.size(); ++i) {
          if (hit_.sequence[i] == m.residue && !listed_[i])
            hit_.modifications.push_back({static_cast<int>(i), m.massdiff, 0});
        }
      }
    }
    hit_.decoy = all_decoy_;
    hits_.push_back(std::move(hit_));
  }

  xmlstream::CReader& reader_;
  std::vector<CSearchHit>& hits_;
  std::vector<std::string>& runs_;
  std::vector<std::string>& unknown_;
  std::function<bool(const std::string&)> is_decoy_;
  std::string base_;
  std::vector<HeaderModification> header_;
  std::string query_name_;
  bool in_query_ = false;
  bool have_hit_ = false;
  bool in_hit_ = false;
  CSearchHit hit_;
  bool all_decoy_ = false;
  std::vector<bool> listed_;
  bool nterm_listed_ = false;
  bool cterm_listed_ = false;
};

}  // namespace

bool CPepXmlResultFile::ReadHits(const std::string& path, std::vector<CSearchHit>& hits,
                                 std::string& error) {
  score_element_ = "search_hit";
  xmlstream::CReader reader;
  PepXmlHandler handler(reader, hits, runs_, unknown_scores_,
                        [this](const std::string& accession) { return IsDecoyAccession(accession); });
  if (!reader.Read(path, handler, error)) return false;
  if (runs_.empty()) {
    error = "File " + path + ": no <msms_run_summary> element: not a pepXML file";
    return false;
  }
  return true;
}
