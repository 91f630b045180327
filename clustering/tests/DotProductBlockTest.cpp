#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

#include "clustering/DotProductBlock.h"
#include "clustering/PairJoin.h"
#include "clustering/PeakOrder.h"
#include "clustering/SimilarityCluster.h"
#include "clustering/SingleLinkage.h"
#include "tests/support/ReferenceEngine.h"
#include "clustering/tests/SyntheticSpectra.h"
#include "clustering/tests/TestSupport.h"

namespace {

using testsupport::MakeSpectrum;

bool SameBits(double a, double b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  return std::memcmp(&a, &b, sizeof a) == 0;
}

// Lists made to trouble the index: peaks closer together than the
// tolerance, equal intensities, equal m/z, long lists, empty lists, and a
// few damaged values. Each list is in the order the dot product sorts it.
std::vector<msdata::PeakList> AwkwardLists(std::uint32_t seed, std::size_t count) {
  std::mt19937 rng(seed);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double inf = std::numeric_limits<double>::infinity();
  std::vector<double> anchors;
  for (int k = 0; k < 40; ++k) anchors.push_back(100.0 + (rng() % 150000) / 100.0);
  std::vector<msdata::PeakList> lists;
  for (std::size_t s = 0; s < count; ++s) {
    msdata::PeakList peaks;
    const std::size_t kind = s % 10;
    std::size_t n = kind == 0 ? 0 : kind == 1 ? 70 + rng() % 40 : 1 + rng() % 60;
    for (std::size_t p = 0; p < n; ++p) {
      double mz = anchors[rng() % anchors.size()] + static_cast<double>(rng() % 200) / 100.0 - 1.0;
      if (rng() % 5 == 0) mz = std::floor(mz) + 0.5;  // on a cell boundary
      if (rng() % 7 == 0 && !peaks.empty()) mz = peaks.back().first + 0.25;  // two in one window
      double intensity = static_cast<double>(1 + rng() % 8);  // many equal intensities
      if (rng() % 3 == 0) intensity = static_cast<double>(rng() % 1000) / 7.0;
      peaks.emplace_back(mz, intensity);
    }
    if (kind == 2 && !peaks.empty()) peaks[0].first = nan;
    if (kind == 3 && !peaks.empty()) peaks[0].first = -inf;
    if (kind == 4 && !peaks.empty()) peaks[0].first = -3.75;
    if (kind == 6 && !peaks.empty()) peaks.back().first = 7e8;  // beyond the cells
    CPeakSelect::SqrtScale(peaks);
    if (kind == 5 && !peaks.empty()) peaks[0].second = nan;
    if (kind == 7 && !peaks.empty()) peaks.back().second = inf;
    peakorder::SortByIntensity(peaks);
    lists.push_back(peaks);
  }
  return lists;
}

TEST(DotProductBlock, ScoresEqualThePlainDotProductBitForBit) {
  const std::vector<msdata::PeakList> lists = AwkwardLists(5, 60);
  CDotProductBlock block;
  block.Assign(lists);
  ASSERT_EQ(block.Size(), lists.size());
  EXPECT_EQ(block.List(7), lists[7]);
  std::size_t compared = 0;
  // 0.5 and below use the cell index; the others take the plain walk.
  for (double tol : {0.5, 0.3, 0.01, 0.75, 1.0, 2.5, 0.0, -1.0}) {
    const CSimilarity dot(SIMILAR_DOT_PRODUCT, tol, TOLERANCE_DA);
    CDotProductBlock::Row row;
    std::vector<std::size_t> seconds;
    std::vector<double> batch;
    for (std::size_t a = 0; a < lists.size(); ++a) {
      row.Load(block, a, tol);
      seconds.clear();
      for (std::size_t b = 0; b < lists.size(); ++b) seconds.push_back(b);
      batch.assign(seconds.size(), -7.0);
      row.Score(seconds.data(), seconds.size(), batch.data());
      for (std::size_t b = 0; b < lists.size(); ++b) {
        const double expected = dot.ComputeArranged(lists[a], lists[b], 0.0);
        ASSERT_TRUE(SameBits(row.Score(b), expected)) << "tol " << tol << " pair " << a << "," << b;
        ASSERT_TRUE(SameBits(batch[b], expected)) << "tol " << tol << " pair " << a << "," << b;
        ASSERT_TRUE(SameBits(expected, reference::Score(dot, lists[a], lists[b], 0.0)));
        ++compared;
      }
    }
  }
  EXPECT_EQ(compared, 8u * 60u * 60u);
}

TEST(DotProductBlock, ShiftedScoresEqualDotProductModBitForBit) {
  const std::vector<msdata::PeakList> lists = AwkwardLists(8, 50);
  CDotProductBlock block;
  block.Assign(lists);
  std::size_t indexed = 0;
  for (double tol : {0.5, 0.2}) {
    const CSimilarity mod(SIMILAR_DOT_PRODUCT_MOD, tol, TOLERANCE_DA);
    CDotProductBlock::Row row;
    for (std::size_t a = 0; a < lists.size(); ++a) {
      row.Load(block, a, tol);
      for (std::size_t b = 0; b < lists.size(); ++b) {
        // Shifts that move peaks onto cell boundaries, onto each other, and
        // out of reach; 0.5 itself is not a shift.
        for (double delta : {-16.0, 0.0, 0.5, 0.75, 1.0, 15.995, 37.25, 2e9}) {
          double score = -1.0;
          if (!row.ScoreShifted(b, delta, score)) continue;
          ++indexed;
          const double expected = mod.ComputeArranged(lists[a], lists[b], delta);
          ASSERT_TRUE(SameBits(score, expected)) << tol << " " << a << "," << b << " " << delta;
          ASSERT_TRUE(SameBits(expected, reference::Score(mod, lists[a], lists[b], delta)));
        }
      }
    }
  }
  EXPECT_GT(indexed, 5000u);
}

TEST(DotProductBlock, PreparesAsTheEngineDoes) {
  synthetic::Options o;
  o.families = 3;
  o.members_per_family = 5;
  const auto spectra = synthetic::Make(o);
  const CPeakSelect select(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  CDotProductBlock block;
  block.Prepare(spectra.data(), spectra.size(), select);
  const CSimilarity dot(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
  CDotProductBlock::Row row;
  for (std::size_t a = 0; a < spectra.size(); ++a) {
    msdata::PeakList expected = select.Prepare(spectra[a].peaks);
    CSimilarity::ArrangeFor(SIMILAR_DOT_PRODUCT, expected);
    EXPECT_EQ(block.List(a), expected);
    row.Load(block, a, 0.5);
    for (std::size_t b = a + 1; b < spectra.size(); ++b) {
      msdata::PeakList x = select.Prepare(spectra[a].peaks);
      msdata::PeakList y = select.Prepare(spectra[b].peaks);
      EXPECT_TRUE(SameBits(row.Score(b), reference::Compute(dot, x, y, 0.0)));
    }
  }
}

// The merging as first written: after every merge the whole matrix is
// scanned, columns ascending, rows ascending within a column.
std::vector<ClusterLink> MergeByFullScan(std::vector<std::int16_t> m, std::size_t k, int floor) {
  // A matrix with a diagonal, as the entries were first laid out.
  std::vector<std::int16_t> full(k * (k + 1) / 2, -1);
  for (std::size_t r = 0; r < k; ++r) {
    for (std::size_t c = 0; c < r; ++c) {
      full[r * (r + 1) / 2 + c] = m[linkage::PairIndex(r, c, k)];
    }
  }
  auto at = [&](std::size_t x, std::size_t y) -> std::int16_t& {
    const std::size_t r = std::max(x, y), c = std::min(x, y);
    return full[r * (r + 1) / 2 + c];
  };
  std::vector<ClusterLink> links(k);
  for (std::size_t a = 0; a < k; ++a) links[a] = ClusterLink{static_cast<std::int32_t>(a), -1};
  for (;;) {
    int best = 0;
    std::size_t a = k, b = k;
    for (std::size_t c = 0; c < k; ++c) {
      for (std::size_t r = c + 1; r < k; ++r) {
        if (at(r, c) > best) {
          best = at(r, c);
          a = c;
          b = r;
        }
      }
    }
    if (!(best > floor) || a == k) break;
    std::size_t last = a;
    while (links[last].next >= 0) last = static_cast<std::size_t>(links[last].next);
    links[last].next = static_cast<std::int32_t>(b);
    for (std::int32_t x = static_cast<std::int32_t>(b); x >= 0; x = links[x].next) {
      links[x].root = links[a].root;
    }
    at(b, a) = -1;
    for (std::size_t c = 0; c < k; ++c) {
      at(a, c) = std::max(at(a, c), at(b, c));
      at(b, c) = -1;
    }
  }
  return links;
}

TEST(SingleLinkage, MergesAsTheFullScanOnTiedScores) {
  std::mt19937 rng(17);
  for (int round = 0; round < 300; ++round) {
    const std::size_t k = 1 + rng() % 40;
    // Few distinct values, so that most choices are ties.
    const int levels = 1 + static_cast<int>(rng() % 6);
    std::vector<std::int16_t> m(k * (k - 1) / 2);
    for (std::size_t x = 0; x < k; ++x) {
      for (std::size_t y = x + 1; y < k; ++y) {
        m[linkage::PairIndex(x, y, k)] =
            static_cast<std::int16_t>(1000 * (rng() % (levels + 1)));
      }
    }
    const int floor = static_cast<int>(1000 * (rng() % 3));
    const std::vector<ClusterLink> expected = MergeByFullScan(m, k, floor);
    std::vector<std::int16_t> work = m;
    const std::vector<ClusterLink> links = linkage::MergeScores(work.data(), k, floor);
    ASSERT_EQ(links.size(), k);
    for (std::size_t x = 0; x < k; ++x) {
      ASSERT_EQ(links[x].root, expected[x].root) << "round " << round << " member " << x;
      ASSERT_EQ(links[x].next, expected[x].next) << "round " << round << " member " << x;
    }
  }
}

class BlockClustering : public testsupport::ScratchDir {};

// Identical spectra score alike, so nearly every choice of the merging is
// a tie; families of them test that ties go to the lowest column, then
// the lowest row, as a full scan of the matrix would find them.
TEST_F(BlockClustering, TiesMergeAsTheFullScanDoes) {
  std::vector<msdata::CSpectrum> spectra;
  std::mt19937 rng(3);
  for (int k = 0; k < 90; ++k) {
    msdata::PeakList peaks;
    const int family = static_cast<int>(rng() % 4);
    for (int p = 0; p < 12; ++p) {
      peaks.emplace_back(200.0 + 37.0 * p + family * 3.0 + (rng() % 3 == 0 ? 0.2 : 0.0),
                         1.0 + (p + family) % 4);
    }
    if (k % 3 == 0) peaks.emplace_back(900.0 + k, 2.0);
    spectra.push_back(MakeSpectrum("t." + std::to_string(k) + "." + std::to_string(k) + ".2.dta",
                                   1000.0 + k * 0.001, 2, peaks));
  }
  CSpectraProcess data;
  CRepresentativeSpectra representatives;
  const CPeakSelect select(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  for (double threshold : {0.6, 0.95, 0.0, 1.0}) {
    CSimilarityCluster strategy(&data, &representatives, 5.0, TOLERANCE_DA, threshold);
    CSimilarity similarity;
    const reference::ClusterOutcome expected =
        reference::Cluster(spectra, strategy, similarity, select);
    const CSimilarityCluster::Block block{0, spectra.size()};
    const CSimilarity dot(SIMILAR_DOT_PRODUCT, 0.5, TOLERANCE_DA);
    for (int threads : {1, 2}) {
      const auto result = strategy.ClusterBlock(spectra, block, dot, select, threads);
      ASSERT_EQ(result.links.size(), expected.links.size());
      for (std::size_t m = 0; m < result.links.size(); ++m) {
        EXPECT_EQ(result.links[m].root, expected.links[m].root) << threshold << " " << m;
        EXPECT_EQ(result.links[m].next, expected.links[m].next) << threshold << " " << m;
      }
      EXPECT_EQ(result.representatives, expected.representatives) << threshold;
      const auto lean = strategy.ClusterBlock(spectra, block, dot, select, threads, false);
      EXPECT_TRUE(lean.representatives.empty());
      for (std::size_t m = 0; m < lean.links.size(); ++m) {
        EXPECT_EQ(lean.links[m].next, expected.links[m].next);
      }
    }
  }
}

// Other methods and tolerances keep the general path: the block result is
// the same whichever path a pair takes.
TEST_F(BlockClustering, GeneralMethodsAndToleranceTypes) {
  synthetic::Options o;
  o.families = 3;
  o.members_per_family = 8;
  o.mass_spread = 0.3;
  o.charges = 1;
  auto spectra = synthetic::Make(o);
  synthetic::OrderForClustering(spectra);
  CSpectraProcess data;
  CRepresentativeSpectra representatives;
  CSimilarityCluster strategy(&data, &representatives, 5.0, TOLERANCE_DA, 0.3);
  const CPeakSelect select(PEAK_SELECT_WINDOW_THEN_TOP_N, 50, 5, 100);
  const CSimilarityCluster::Block block{0, spectra.size()};
  const CSimilarity cases[] = {CSimilarity(SIMILAR_DOT_PRODUCT, 20.0, TOLERANCE_PPM),
                               CSimilarity(SIMILAR_DOT_PRODUCT, 0.9, TOLERANCE_DA),
                               CSimilarity(SIMILAR_DOT_PRODUCT_MOD, 0.5, TOLERANCE_DA),
                               CSimilarity(SIMILAR_BONANZA, 0.5, TOLERANCE_DA)};
  for (const CSimilarity& similarity : cases) {
    // Scores straight from the plain operations, pair by pair.
    std::vector<msdata::PeakList> lists;
    for (const auto& s : spectra) {
      lists.push_back(select.Prepare(s.peaks));
      CSimilarity::ArrangeFor(similarity.similar_method, lists.back());
    }
    const auto result = strategy.ClusterBlock(spectra, block, similarity, select, 2);
    // Two members are in one cluster exactly when a chain of pairs above
    // the threshold joins them; check the pairs the chains rely on.
    for (std::size_t m = 0; m < spectra.size(); ++m) {
      const int next = result.links[m].next;
      if (next < 0) continue;
      EXPECT_EQ(result.links[next].root, result.links[m].root);
    }
    double best = 0.0;
    for (std::size_t a = 0; a < spectra.size(); ++a) {
      for (std::size_t b = a + 1; b < spectra.size(); ++b) {
        best = std::max(best, reference::Score(similarity, lists[a], lists[b],
                                               spectra[a].precursor_mass -
                                                   spectra[b].precursor_mass));
      }
    }
    const bool any_merge = std::trunc(best * 10000) > 3000;
    bool merged = false;
    for (const auto& link : result.links) merged = merged || link.next >= 0;
    EXPECT_EQ(merged, any_merge) << similarity.similar_method;
  }
}

}  // namespace

namespace {

// Every pair the join leaves out scores 0, every candidate at most its
// bound; the awkward lists (and a negative intensity, which no preparation
// leaves but a caller's lists may hold) put the bound to the test.
TEST(PairJoin, BoundsNeverFallBelowTheScores) {
  std::vector<msdata::PeakList> lists = AwkwardLists(11, 120);
  const std::vector<msdata::PeakList> more = AwkwardLists(12, 40);
  for (std::size_t s = 0; s < more.size(); ++s) {  // near-duplicates of the first lists
    msdata::PeakList copy = lists[s];
    for (msdata::Peak& p : copy) p.first += 0.49 * ((s % 3) == 0 ? 1.0 : -1.0) * (s % 2);
    lists.push_back(copy);
  }
  lists[15].push_back({300.0, -2.0});
  CDotProductBlock block;
  block.Assign(lists);
  CPairJoin join;
  ASSERT_TRUE(join.Build(block, 0.5));
  CPairJoin::Probe probe(join);
  CDotProductBlock::Row row;
  std::vector<CPairJoin::Candidate> found;
  std::size_t candidates = 0;
  for (std::size_t a = 0; a < block.Size(); ++a) {
    found.clear();
    probe.Candidates(a, 0, found);
    candidates += found.size();
    std::vector<int> bound(block.Size(), -1);
    for (const CPairJoin::Candidate& c : found) bound[c.spectrum] = c.bound;
    row.Load(block, a, 0.5);
    for (std::size_t b = a + 1; b < block.Size(); ++b) {
      const int packed = linkage::PackScore(row.Score(b));
      if (bound[b] < 0) {
        EXPECT_EQ(packed, 0) << a << " " << b;
      } else {
        EXPECT_LE(packed, bound[b]) << a << " " << b;
      }
    }
  }
  // Some pairs are left out, or the test proves nothing.
  EXPECT_LT(candidates, block.Size() * (block.Size() - 1) / 2);
}

// Merging from the edges alone equals merging the matrix, ties included.
TEST(PairJoin, MergeEdgesFollowsMergeScores) {
  std::mt19937 rng(3);
  for (int round = 0; round < 400; ++round) {
    const std::size_t k = 2 + rng() % 40;
    const int floor = static_cast<int>(rng() % 3) * 3000;
    const int values[] = {0, floor, floor + 1, floor + 2, floor + 2, 9000, 9999, 32767};
    std::vector<std::int16_t> matrix(k * (k - 1) / 2, 0);
    std::vector<linkage::Edge> edges;
    for (std::size_t x = 0; x < k; ++x) {
      for (std::size_t y = x + 1; y < k; ++y) {
        if (rng() % 3 != 0) continue;
        const auto v = static_cast<std::int16_t>(values[rng() % 8]);
        matrix[linkage::PairIndex(x, y, k)] = v;
        edges.push_back({static_cast<std::uint32_t>(x), static_cast<std::uint32_t>(y), v});
      }
    }
    std::shuffle(edges.begin(), edges.end(), rng);
    const auto want = linkage::MergeScores(matrix.data(), k, floor);
    const auto got = linkage::MergeEdges(edges, k, floor);
    ASSERT_EQ(got.size(), want.size());
    for (std::size_t m = 0; m < k; ++m) {
      ASSERT_EQ(got[m].root, want[m].root) << "round " << round << " member " << m;
      ASSERT_EQ(got[m].next, want[m].next) << "round " << round << " member " << m;
    }
  }
}

}  // namespace
