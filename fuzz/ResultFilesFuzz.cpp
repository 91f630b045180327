// The result-file readers the propagation uses, chosen by the extension the
// harness is built with; ".pair" and ".cluster" stand for the pair-file and
// cluster-file readers.

#include <memory>

#include "fuzz/FuzzSupport.h"
#include "resultfiles/ResultFile.h"

TESSERA_FUZZ_SILENT_INIT

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string extension = TESSERA_FUZZ_EXTENSION;
  const std::string path = fuzzsupport::WriteInput(data, size, extension);
  CResultFileFactory factory;
  if (extension == ".pair") {
    std::vector<std::string> names;
    std::vector<double> shifts;
    std::vector<std::int32_t> marks;
    factory.GetPair_(path, names, shifts, marks);
  } else if (extension == ".cluster") {
    ClusterMap clusters;
    factory.ReadClusterFile_(path, clusters);
  } else {
    std::unique_ptr<CResultFile> reader(factory.GetResult(path));
    if (!reader) return 0;
    ResultMap results;
    std::string data_path;
    ModificationList modifications;
    reader->LoadResult(path, results, data_path, modifications);
  }
  return 0;
}
