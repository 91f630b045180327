#pragma once
// Readers of identification result files and of the pair and cluster files
// that the propagation works on.

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

// Spectrum name -> identification text: the sequence followed by items
// " <0-based position>,<1-based modification number>".
using ResultMap = std::map<std::string, std::string>;
// Modification names in the order the identification texts number them,
// each with a mass (-1.0 until the caller fills it).
using ModificationList = std::vector<std::pair<std::string, double>>;
// Cluster number -> spectrum names in file order.
using ClusterMap = std::map<std::int32_t, std::vector<std::string>>;

// A spectrum name as a result file gives it, made safe by the rule every
// importer names spectra by (common/DtaName.h: no path, no control
// characters); its case is kept.
std::string ResultSpectrumName(const std::string& name);

// The key by which identifications meet spectra: the safe name upper-cased,
// as the pair and cluster files' names are read, so that a name meets the
// same spectrum in all of them whatever case each file wrote it in.
std::string ResultSpectrumKey(const std::string& name);

// Key (ResultSpectrumKey) -> the name as a file wrote it: the programs
// match names by key and print them as the pair, cluster and spectrum files
// have them ("run.12.12.2.dta", never "RUN.12.12.2.DTA").
using NameSpellings = std::map<std::string, std::string>;

// The name `key` stands for as `spellings` has it; `key` itself when they
// have none.
const std::string& SpelledName(const NameSpellings& spellings, const std::string& key);

// One reader per result-file format. Failures are reported through
// notify::Message; what was read before a failure stays in the containers.
class CResultFile {
 public:
  virtual ~CResultFile();
  virtual void LoadResult(const std::string& path, ResultMap& results, std::string& data_path,
                          ModificationList& modifications) = 0;
};

// Tagram ".tagram" files (INI-like records), their spectrum names kept as
// written (ResultSpectrumName). A name given to several records keeps the
// last record's identification; the file is said to repeat names (the
// first such name and how often).
class CTagramResultFile : public CResultFile {
 public:
  void LoadResult(const std::string& path, ResultMap& results, std::string& data_path,
                  ModificationList& modifications) override;
};

// Kiln ".spectra" files (tab-separated spectrum and identification lines).
class CKilnResultFile : public CResultFile {
 public:
  void LoadResult(const std::string& path, ResultMap& results, std::string& data_path,
                  ModificationList& modifications) override;

  // The identification text of one identification line; new modification
  // names are appended to `modifications`. Exposed for the tests.
  static std::string ParseIdentification(const std::string& line, ModificationList& modifications);
};

class CResultFileFactory {
 public:
  // A new reader chosen by the extension (".tagram", ".spectra", ".pep.xml",
  // ".pepXML", ".mzid", ".mzIdentML", any case), owned by the caller; nullptr
  // for any other path. The search-engine readers (SearchResultFile.h) take
  // their filter before LoadResult.
  CResultFile* GetResult(std::string path) const;

  // Reads a spectral-pair file: per line, names of fields 1 and 3
  // (upper-cased) into `names` (two per pair), the mass shift of field 5
  // into `shifts`, and the mark of field 7 into `marks` when the line has
  // exactly seven fields (-1 otherwise). The lists are replaced; an
  // unreadable file leaves them unchanged and is reported. `spellings`, when
  // given, learns each name as the file wrote it.
  void GetPair_(std::string path, std::vector<std::string>& names, std::vector<double>& shifts,
                std::vector<std::int32_t>& marks, NameSpellings* spellings = nullptr) const;

  // Reads a cluster file: per line, the name of field 2 (upper-cased) is
  // appended to the cluster numbered by field 3. The map is replaced; an
  // unreadable file leaves it unchanged and is reported. `spellings`, when
  // given, learns each name as the file wrote it.
  void ReadClusterFile_(std::string path, ClusterMap& clusters, NameSpellings* spellings = nullptr) const;
};
