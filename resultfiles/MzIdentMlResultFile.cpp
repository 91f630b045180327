// mzIdentML 1.1 and 1.2. The schema puts the SequenceCollection (proteins,
// peptides with their modifications, peptide evidence with decoy flags) and
// the SpectraData of the inputs before the AnalysisData, so one pass serves:
// the peptides are kept (they grow with the distinct peptides, not with the
// file), and every SpectrumIdentificationResult is turned into its rank-1
// hit as soon as it ends.

#include <algorithm>
#include <cmath>
#include <fstream>
#include <functional>
#include <unordered_map>
#include <unordered_set>

#include "common/DtaName.h"
#include "common/PathUtil.h"
#include "common/TextUtil.h"
#include "resultfiles/SearchResultFile.h"
#include "resultfiles/XmlStream.h"

namespace {

constexpr const char* kScanNumberAccession = "MS:1001115";
constexpr const char* kSpectrumTitleAccession = "MS:1000796";

struct PeptideRecord {
  std::string sequence;
  std::vector<CHitModification> modifications;
};

struct RunRecord {
  std::string base;
  std::string location;  // the run file, for index-based spectrum ids
  bool titles_read = false;
  // Per spectrum of an MGF run file, in file order: its TITLE and SCANS.
  std::vector<std::pair<std::string, std::string>> mgf_spectra;
};

// "file:///d/x.mgf" -> "/d/x.mgf"; "%20" and the like decoded.
std::string LocalPath(const std::string& location) {
  std::string p = location;
  if (text::StartsWith(text::ToLower(p), "file://")) p = p.substr(7);
  std::string decoded;
  for (std::size_t i = 0; i < p.size(); ++i) {
    if (p[i] == '%' && i + 2 < p.size() && std::isxdigit(static_cast<unsigned char>(p[i + 1])) &&
        std::isxdigit(static_cast<unsigned char>(p[i + 2]))) {
      decoded += static_cast<char>(std::stoi(p.substr(i + 1, 2), nullptr, 16));
      i += 2;
    } else {
      decoded += p[i];
    }
  }
  // "file:///C:/x" on Windows leaves "/C:/x".
  if (decoded.size() > 3 && decoded[0] == '/' && decoded[2] == ':') decoded.erase(0, 1);
  return decoded;
}

// "scan=581" inside a native id ("controllerType=0 controllerNumber=1 scan=581").
bool ScanFromId(const std::string& id, int& scan) {
  std::size_t at = id.find("scan=");
  if (at == std::string::npos) return false;
  if (at > 0 && std::isalpha(static_cast<unsigned char>(id[at - 1]))) return false;
  std::string digits;
  for (std::size_t i = at + 5; i < id.size() && std::isdigit(static_cast<unsigned char>(id[i])); ++i)
    digits += id[i];
  return xmlstream::ParseInteger(digits, scan);
}

class MzIdentMlHandler : public xmlstream::CHandler {
 public:
  MzIdentMlHandler(xmlstream::CReader& reader, const std::string& path,
                   std::vector<CSearchHit>& hits, std::vector<std::string>& runs,
                   std::vector<std::string>& unknown_scores,
                   std::function<bool(const std::string&)> is_decoy)
      : reader_(reader), path_(path), hits_(hits), runs_(runs), unknown_(unknown_scores),
        is_decoy_(std::move(is_decoy)) {}

  void Start(std::string_view name, const xmlstream::CAttributes& a) override {
    text_.clear();
    if (name == "DBSequence") {
      if (is_decoy_(a.Get("accession"))) decoy_sequences_.insert(a.Get("id"));
    } else if (name == "Peptide") {
      peptide_id_ = a.Get("id");
      peptide_ = PeptideRecord();
      in_peptide_ = true;
    } else if (name == "PeptideSequence") {
      collect_text_ = in_peptide_;
    } else if (name == "Modification" && in_peptide_) {
      int location = 0;
      double delta = 0.0;
      if (!a.Integer("location", location) || !a.Number("monoisotopicMassDelta", delta))
        return reader_.Stop("needs a location and a monoisotopicMassDelta");
      pending_mods_.push_back({location, delta, 0});
    } else if (name == "PeptideEvidence") {
      const bool decoy = text::EqualsNoCase(a.Get("isDecoy"), "true") || a.Get("isDecoy") == "1" ||
                         decoy_sequences_.count(a.Get("dBSequence_ref")) > 0;
      if (decoy) decoy_evidence_.insert(a.Get("id"));
    } else if (name == "SpectraData") {
      RunRecord run;
      run.location = LocalPath(a.Get("location"));
      run.base = RunBaseName(run.location.empty() ? a.Get("name") : run.location);
      if (run.base.empty()) return reader_.Stop("no location or name: the spectra of this run cannot be named");
      if (std::find(runs_.begin(), runs_.end(), run.base) == runs_.end()) runs_.push_back(run.base);
      runs_by_id_[a.Get("id")] = std::move(run);
    } else if (name == "SpectrumIdentificationResult") {
      in_result_ = true;
      result_id_ = a.Get("spectrumID");
      result_run_ = a.Get("spectraData_ref");
      have_hit_ = in_item_ = false;
      scan_param_.clear();
      title_param_.clear();
    } else if (name == "SpectrumIdentificationItem" && in_result_) {
      int rank = 0;
      in_item_ = !have_hit_ && a.Integer("rank", rank) && rank == 1;
      if (!in_item_) return;
      hit_ = CSearchHit();
      charge_ = 0;
      a.Integer("chargeState", charge_);
      peptide_ref_ = a.Get("peptide_ref");
      evidences_ = 0;
      decoy_evidences_ = 0;
    } else if (name == "PeptideEvidenceRef" && in_item_) {
      ++evidences_;
      decoy_evidences_ += decoy_evidence_.count(a.Get("peptideEvidence_ref")) > 0;
    } else if ((name == "cvParam" || name == "userParam") && in_result_) {
      Param(a);
    }
  }

  void Text(std::string_view text) override {
    if (collect_text_) text_.append(text.data(), text.size());
  }

  void End(std::string_view name) override {
    if (name == "PeptideSequence" && collect_text_) {
      peptide_.sequence = text::ToUpper(text::Trim(text_));
      collect_text_ = false;
    } else if (name == "Peptide" && in_peptide_) {
      FinishPeptide();
      in_peptide_ = false;
    } else if (name == "SpectrumIdentificationItem" && in_item_) {
      in_item_ = false;
      have_hit_ = true;
    } else if (name == "SpectrumIdentificationResult" && in_result_) {
      if (have_hit_) FinishResult();
      in_result_ = false;
    }
  }

 private:
  void Param(const xmlstream::CAttributes& a) {
    const std::string accession = a.Get("accession");
    const std::string name = a.Get("name");
    const std::string value = a.Get("value");
    if (!in_item_) {
      // Parameters of the result itself (after its items).
      if (accession == kScanNumberAccession || text::EqualsNoCase(name, "scan number(s)"))
        scan_param_ = value;
      else if (accession == kSpectrumTitleAccession || text::EqualsNoCase(name, "spectrum title"))
        title_param_ = value;
      return;
    }
    int kind = accession.empty() ? -1 : ScoreKindOf(accession);
    if (kind < 0) kind = ScoreKindOf(name);
    double number = 0.0;
    if (kind >= 0) {
      if (xmlstream::ParseNumber(value, number) && std::isnan(hit_.scores[kind])) hit_.scores[kind] = number;
    } else if (!value.empty() && xmlstream::ParseNumber(value, number) &&
               std::find(unknown_.begin(), unknown_.end(), name) == unknown_.end() && unknown_.size() < 20) {
      unknown_.push_back(name);
    }
  }

  void FinishPeptide() {
    const int length = static_cast<int>(peptide_.sequence.size());
    if (length == 0) return reader_.Stop("Peptide " + peptide_id_ + " without a PeptideSequence");
    for (CHitModification m : pending_mods_) {
      // Location 0 is the N-terminus, length + 1 the C-terminus; residues
      // count from 1.
      if (m.position < 0 || m.position > length + 1)
        return reader_.Stop("Modification location " + std::to_string(m.position) +
                            " outside the peptide " + peptide_.sequence);
      if (m.position == 0) {
        m.terminus = 'n';
      } else if (m.position == length + 1) {
        m.terminus = 'c';
        m.position = length - 1;
      } else {
        m.position -= 1;
      }
      peptide_.modifications.push_back(m);
    }
    pending_mods_.clear();
    peptides_[peptide_id_] = std::move(peptide_);
  }

  void FinishResult() {
    const auto peptide = peptides_.find(peptide_ref_);
    if (peptide == peptides_.end())
      return reader_.Stop("rank-1 item refers to the unknown Peptide '" + peptide_ref_ + "'");
    const auto run = runs_by_id_.find(result_run_);
    if (run == runs_by_id_.end())
      return reader_.Stop("refers to the unknown SpectraData '" + result_run_ + "'");
    std::string name;
    if (!SpectrumName(run->second, name)) return;
    hit_.name = name;
    hit_.sequence = peptide->second.sequence;
    hit_.modifications = peptide->second.modifications;
    // A peptide that also occurs in a target protein counts as a target.
    hit_.decoy = evidences_ > 0 && decoy_evidences_ == evidences_;
    hits_.push_back(std::move(hit_));
  }

  bool SpectrumName(RunRecord& run, std::string& name) {
    if (!title_param_.empty() && SpectrumNameFromTitle(title_param_, charge_, name)) return true;
    int scan = 0;
    if ((!scan_param_.empty() && xmlstream::ParseInteger(scan_param_, scan)) || ScanFromId(result_id_, scan)) {
      name = HitSpectrumName(run.base, scan, scan, charge_);
      return true;
    }
    const std::size_t at = result_id_.find("index=");
    int index = 0;
    if (at == std::string::npos || !xmlstream::ParseInteger(result_id_.substr(at + 6), index) || index < 0) {
      reader_.Stop("no scan number in spectrumID '" + result_id_ + "'");
      return false;
    }
    return NameFromRunFile(run, index, name);
  }

  // "index=N" counts the spectra of the run file from 0; only an MGF file at
  // hand tells which spectrum that is.
  bool NameFromRunFile(RunRecord& run, int index, std::string& name) {
    if (!run.titles_read) {
      run.titles_read = true;
      std::string file = run.location;
      if (!path::IsRegularFile(file)) file = path::Join(path::DirectoryOf(path_), path::FileName(run.location));
      std::ifstream in;
      if (path::Extension(file) != "mgf" || !text::OpenInput(in, file)) {
        reader_.Stop("spectrumID '" + result_id_ + "' counts spectra of the run file " + run.location +
                     ", which is not an MGF file at hand");
        return false;
      }
      std::string line;
      while (text::ReadLine(in, line)) {
        const std::string s = text::Trim(line);
        if (text::StartsWith(text::ToUpper(s), "BEGIN IONS")) run.mgf_spectra.emplace_back();
        else if (!run.mgf_spectra.empty() && text::StartsWith(text::ToUpper(s), "TITLE="))
          run.mgf_spectra.back().first = s.substr(6);
        else if (!run.mgf_spectra.empty() && text::StartsWith(text::ToUpper(s), "SCANS="))
          run.mgf_spectra.back().second = s.substr(6);
      }
    }
    if (static_cast<std::size_t>(index) >= run.mgf_spectra.size()) {
      reader_.Stop("spectrumID '" + result_id_ + "' beyond the " + std::to_string(run.mgf_spectra.size()) +
                   " spectra of " + run.location);
      return false;
    }
    const auto& [title, scans] = run.mgf_spectra[static_cast<std::size_t>(index)];
    if (SpectrumNameFromTitle(title, charge_, name)) return true;
    // As the MGF importer names them: by SCANS, a "scan=" in the title, or
    // the 1-based position in the file.
    int first = index + 1, last = index + 1;
    if (!scans.empty()) {
      const std::size_t dash = scans.find('-');
      first = last = text::AtoI(scans);
      if (dash != std::string::npos) last = text::AtoI(scans.substr(dash + 1));
    } else if (ScanFromId(title, first)) {
      last = first;
    }
    name = HitSpectrumName(run.base, first, last, charge_);
    return true;
  }

  xmlstream::CReader& reader_;
  const std::string& path_;
  std::vector<CSearchHit>& hits_;
  std::vector<std::string>& runs_;
  std::vector<std::string>& unknown_;
  std::function<bool(const std::string&)> is_decoy_;

  std::unordered_set<std::string> decoy_sequences_;
  std::unordered_set<std::string> decoy_evidence_;
  std::unordered_map<std::string, PeptideRecord> peptides_;
  std::unordered_map<std::string, RunRecord> runs_by_id_;

  std::string text_;
  bool collect_text_ = false;
  bool in_peptide_ = false;
  std::string peptide_id_;
  PeptideRecord peptide_;
  std::vector<CHitModification> pending_mods_;

  bool in_result_ = false;
  bool in_item_ = false;
  bool have_hit_ = false;
  std::string result_id_;
  std::string result_run_;
  std::string scan_param_;
  std::string title_param_;
  CSearchHit hit_;
  int charge_ = 0;
  std::string peptide_ref_;
  int evidences_ = 0;
  int decoy_evidences_ = 0;
};

}  // namespace

bool CMzIdentMlResultFile::ReadHits(const std::string& path, std::vector<CSearchHit>& hits,
                                    std::string& error) {
  score_element_ = "SpectrumIdentificationItem";
  xmlstream::CReader reader;
  MzIdentMlHandler handler(reader, path, hits, runs_, unknown_scores_,
                           [this](const std::string& accession) { return IsDecoyAccession(accession); });
  if (!reader.Read(path, handler, error)) return false;
  if (runs_.empty()) {
    error = "File " + path + ": no <SpectraData> element: not an mzIdentML file, or the runs cannot be named";
    return false;
  }
  return true;
}
