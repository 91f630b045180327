#include "clustering/DecoySpectra.h"

#include <cstdint>

namespace decoy {

namespace {

constexpr std::uint64_t kSeed = 0x7e55e4a0dec0f5a1ULL;

// SplitMix64's finaliser: every bit of the result depends on every bit of
// the input, and it is the same on every platform (unlike the standard
// library's distributions).
std::uint64_t Mix(std::uint64_t z) {
  z += 0x9e3779b97f4a7c15ULL;
  z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
  z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
  return z ^ (z >> 31);
}

}  // namespace

double Offset(const std::string& name) {
  std::uint64_t hash = 0xcbf29ce484222325ULL;  // FNV-1a over the name's bytes
  for (const unsigned char c : name) hash = (hash ^ c) * 0x100000001b3ULL;
  const std::uint64_t draw = Mix(hash ^ kSeed);
  constexpr std::uint64_t kChoices = kMostSteps - kLeastSteps + 1;
  const int steps = kLeastSteps + static_cast<int>((draw >> 1) % kChoices);
  return (draw & 1) != 0 ? steps * kStep : -steps * kStep;
}

void Move(msdata::PeakList& peaks, double offset) {
  for (msdata::Peak& p : peaks) p.first += offset;
}

msdata::CSpectrum Of(const msdata::CSpectrum& spectrum) {
  msdata::CSpectrum out = spectrum;
  Move(out.peaks, Offset(spectrum.name));
  return out;
}

}  // namespace decoy
