#pragma once
// Random numbers of the simulator. The library's distributions are free to
// differ between standard libraries, so every draw is made here by hand from
// a SplitMix64 stream: one seed gives the same file everywhere. Each peptide
// and each spectrum has a stream of its own (StreamSeed), so what one of
// them draws never depends on the order in which the others are made.

#include <cmath>
#include <cstdint>

namespace simulator {

// SplitMix64's finaliser: a well-mixed 64-bit value of any 64-bit value.
inline std::uint64_t Mix64(std::uint64_t x) {
  x += 0x9E3779B97F4A7C15ULL;
  x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ULL;
  x = (x ^ (x >> 27)) * 0x94D049BB133111EBULL;
  return x ^ (x >> 31);
}

// The seed of item `index` of stream `stream` of a run seeded with `seed`.
inline std::uint64_t StreamSeed(std::uint64_t seed, std::uint64_t stream, std::uint64_t index) {
  return Mix64(Mix64(Mix64(seed) ^ stream) ^ index);
}

class CRandom {
 public:
  explicit CRandom(std::uint64_t seed) : state_(seed) {}

  std::uint64_t Next() {
    state_ += 0x9E3779B97F4A7C15ULL;
    std::uint64_t z = state_;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ULL;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBULL;
    return z ^ (z >> 31);
  }
  // [0, 1) with 53 random bits.
  double Unit() { return static_cast<double>(Next() >> 11) * (1.0 / 9007199254740992.0); }
  double Uniform(double lo, double hi) { return lo + (hi - lo) * Unit(); }
  // A whole number in [0, n), n > 0.
  std::uint64_t Below(std::uint64_t n) {
    return static_cast<std::uint64_t>((static_cast<unsigned __int128>(Next()) * n) >> 64);
  }
  bool Chance(double p) { return Unit() < p; }
  // Standard normal by Marsaglia's polar method, which needs no sine or
  // cosine; each accepted point gives two values, the second kept for the
  // next call.
  double Normal() {
    if (has_spare_) {
      has_spare_ = false;
      return spare_;
    }
    double u, v, s;
    do {
      u = 2.0 * Unit() - 1.0;
      v = 2.0 * Unit() - 1.0;
      s = u * u + v * v;
    } while (s >= 1.0 || s == 0.0);
    const double factor = std::sqrt(-2.0 * std::log(s) / s);
    spare_ = v * factor;
    has_spare_ = true;
    return u * factor;
  }
  double Normal(double mean, double sd) { return mean + sd * Normal(); }
  // A normal value redrawn until it lies within `limit` sds of the mean.
  double TruncatedNormal(double mean, double sd, double limit) {
    for (;;) {
      const double z = Normal();
      if (std::fabs(z) <= limit) return mean + sd * z;
    }
  }
  // exp(N(log median, sigma)): a positive value with median `median`.
  double LogNormal(double median, double sigma) { return median * std::exp(sigma * Normal()); }

 private:
  std::uint64_t state_;
  double spare_ = 0.0;
  bool has_spare_ = false;
};

}  // namespace simulator
