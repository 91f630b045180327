// idlist: prints the identifications propagation would read from a result
// file, one "<spectrum name>\t<identification>" line each, after the same
// filter; what the reader kept and dropped goes to standard error.
//
//   idlist <result file> [--fdr LEVEL] [--threshold SCORE]
//          [--decoy-prefix P[,P...]] [--all]
//
// --all lists the rank-1 hit of every spectrum at any score, decoys
// included (for comparing propagated identifications with the engine's own
// best guesses).

#include <cstdio>
#include <memory>
#include <string>

#include "common/PathUtil.h"
#include "desktop/propagation/PropagationPara.h"
#include "resultfiles/SearchResultFile.h"

namespace {

int Usage() {
  std::printf("usage: idlist <result file> [--fdr LEVEL] [--threshold SCORE] "
              "[--decoy-prefix P[,P...]] [--all]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  CPropagationPara para;
  bool all = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string* value = arg == "--fdr"            ? &para.fdr_level
                         : arg == "--threshold"    ? &para.score_threshold
                         : arg == "--decoy-prefix" ? &para.decoy_prefix
                                                   : nullptr;
    if (value) {
      if (i + 1 >= argc || argv[i + 1][0] == '\0') return Usage();
      *value = argv[++i];
    } else if (arg == "--all") {
      all = true;
    } else if (!arg.empty() && arg[0] != '-' && para.result_file.empty()) {
      para.result_file = arg;
    } else {
      return Usage();
    }
  }
  if (para.result_file.empty()) return Usage();

  std::unique_ptr<CResultFile> reader(CResultFileFactory().GetResult(para.result_file));
  if (!reader) {
    std::printf("Unknown result file type:%s\n", para.result_file.c_str());
    return 1;
  }
  auto* search = dynamic_cast<CSearchResultFile*>(reader.get());
  if (search) {
    CIdentificationFilter filter;
    std::string message;
    if (!FilterFromPara(para, filter, message)) {
      std::printf("%s\n", message.c_str());
      return 1;
    }
    filter.keep_all = all;
    filter.modify_ini_directory = path::ProgramDirectory();
    search->SetFilter(filter);
  }
  ResultMap results;
  std::string data_path;
  ModificationList modifications;
  reader->LoadResult(para.result_file, results, data_path, modifications);
  if (search) {
    for (const std::string& line : search->Report()) std::fprintf(stderr, "%s\n", line.c_str());
    if (!search->Succeeded()) return 1;
  }
  for (const auto& [name, identification] : results)
    std::printf("%s\t%s\n", name.c_str(), identification.c_str());
  return 0;
}
