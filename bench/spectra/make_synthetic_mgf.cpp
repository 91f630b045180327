// make_synthetic_mgf [input[,input...]] N output [seed]
// Writes an MGF of N perturbed copies of the MS2 spectra of real runs.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/TextUtil.h"
#include "tests/support/SyntheticMgf.h"

namespace {

bool ParseCount(const char* text, unsigned long long& value) {
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: make_synthetic_mgf [input[,input...]] N output [seed]\n"
      "  input: runs to copy, separated by commas (mzML, mzXML, MS2 or MGF; default "
      "/usr/share/doc/openms/examples/BSA/BSA1.mzML)\n"
      "  N: number of spectra to write; seed: random seed (default 1)\n";
  std::string input = "/usr/share/doc/openms/examples/BSA/BSA1.mzML";
  int first = 1;
  unsigned long long count = 0, seed = 1;
  // With a number first the input is left out.
  if (argc >= 3 && !ParseCount(argv[1], count)) {
    input = argv[1];
    first = 2;
  }
  if (argc - first < 2 || argc - first > 3 || !ParseCount(argv[first], count) ||
      (argc - first == 3 && !ParseCount(argv[first + 2], seed))) {
    std::printf("%s", usage);
    return 2;
  }
  const std::string output = argv[first + 1];
  std::vector<msdata::CSpectrum> templates;
  std::string error;
  for (const std::string& path : text::Split(input)) {
    std::vector<msdata::CSpectrum> run;
    if (!bench::LoadTemplates(path, run, error)) {
      std::printf("%s\n", error.c_str());
      return 1;
    }
    for (auto& s : run) templates.push_back(std::move(s));
  }
  if (!bench::WriteSyntheticMgf(templates, static_cast<std::size_t>(count), output, seed, error)) {
    std::printf("%s\n", error.c_str());
    return 1;
  }
  std::printf("%llu spectra from %zu templates of %s written to %s\n", count, templates.size(),
              input.c_str(), output.c_str());
  return 0;
}
