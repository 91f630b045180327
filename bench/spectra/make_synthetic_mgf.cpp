// make_synthetic_mgf [input] N output [seed]
// Writes an MGF of N perturbed copies of the MS2 spectra of a real run.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "SyntheticMgf.h"

namespace {

bool ParseCount(const char* text, unsigned long long& value) {
  char* end = nullptr;
  value = std::strtoull(text, &end, 10);
  return end != text && *end == '\0';
}

}  // namespace

int main(int argc, char** argv) {
  const char* usage =
      "usage: make_synthetic_mgf [input] N output [seed]\n"
      "  input: a run to copy (mzML, mzXML, MS2 or MGF; default "
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
  if (!bench::LoadTemplates(input, templates, error)) {
    std::printf("%s\n", error.c_str());
    return 1;
  }
  if (!bench::WriteSyntheticMgf(templates, static_cast<std::size_t>(count), output, seed, error)) {
    std::printf("%s\n", error.c_str());
    return 1;
  }
  std::printf("%llu spectra from %zu templates of %s written to %s\n", count, templates.size(),
              input.c_str(), output.c_str());
  return 0;
}
