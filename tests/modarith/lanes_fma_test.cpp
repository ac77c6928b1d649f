// The four-double-lane arithmetic against 128-bit remainders: every result
// of the fixed-multiplier step and of the general product must be congruent
// to the product and lie in (-p, p), and the reduction must give [0, p), for
// signed inputs up to +-(p - 1) (the lanes' chain values), at both ends of
// the prime range and on random inputs with a fixed seed. A quotient off by
// one more than the bounds allow shows as a result outside (-p, p).
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <vector>

#include "modarith/lanes_fma.hpp"
#include "modarith/wide_kernels.hpp"

#if QUARROW_LANES_FMA
namespace {
using common::i64;
using common::u64;
using modarith::u128;

const std::vector<u64> moduli = {1000000007ULL, 1000000000039ULL, 1125899906842597ULL /* largest prime < 2^50 */};

u64 residue(i64 x, u64 p) { return x < 0 ? p - static_cast<u64>(-x) % p : static_cast<u64>(x) % p; }

struct Results {
  double shoup[4];
  double product[4];
  double reduced[4];
};

QUARROW_LANES_FMA_TARGET Results run_lanes(const double* x, const double* y, const double* w, u64 p) {
  const __m256d vp = _mm256_set1_pd(static_cast<double>(p));
  const __m256d vx = _mm256_loadu_pd(x);
  const __m256d vy = _mm256_loadu_pd(y);
  Results r;
  _mm256_storeu_pd(r.shoup, modarith::lanes_fma_shoup(vx, vy, _mm256_loadu_pd(w), vp));
  _mm256_storeu_pd(r.product, modarith::lanes_fma_mulmod(vx, vy, vp, _mm256_set1_pd(1.0 / static_cast<double>(p))));
  _mm256_storeu_pd(r.reduced, modarith::lanes_fma_reduce(vx, vp));
  return r;
}

TEST(LanesFma, ProductsAreExactAndInRange) {
  ASSERT_TRUE(modarith::avx2_kernels_supported()) << "a build with the AVX2 kernels runs on AVX2 machines only";
  std::mt19937_64 rng(2026);
  for (const u64 p : moduli) {
    SCOPED_TRACE(p);
    const modarith::ModContext m = modarith::make_mod_context(p);
    const i64 top = static_cast<i64>(p - 1);
    const std::vector<i64> edges = {0, 1, -1, top, -top, top - 1, -top + 1, top / 2, -top / 2};
    std::vector<std::pair<i64, u64>> cases;
    for (const i64 x : edges) {
      for (const u64 y : {u64{0}, u64{1}, p - 1, p - 2, p / 2, p / 3}) cases.push_back({x, y});
    }
    for (int i = 0; i < 200000; ++i) {
      const i64 x = static_cast<i64>(rng() % (2 * p - 1)) - top;
      cases.push_back({x, rng() % p});
    }
    for (std::size_t at = 0; at + 4 <= cases.size(); at += 4) {
      double x[4], y[4], w[4];
      for (int c = 0; c < 4; ++c) {
        x[c] = static_cast<double>(cases[at + c].first);
        y[c] = static_cast<double>(cases[at + c].second);
        w[c] = std::bit_cast<double>(modarith::lanes_fma_factor(m, cases[at + c].second));
      }
      const Results r = run_lanes(x, y, w, p);
      for (int c = 0; c < 4; ++c) {
        const auto [xi, yi] = cases[at + c];
        const u64 expected = static_cast<u64>(static_cast<u128>(residue(xi, p)) * yi % p);
        for (const double v : {r.shoup[c], r.product[c]}) {
          ASSERT_LT(std::abs(v), static_cast<double>(p)) << xi << " * " << yi;
          ASSERT_EQ(v, static_cast<double>(static_cast<i64>(v))) << xi << " * " << yi;
          ASSERT_EQ(residue(static_cast<i64>(v), p), expected) << xi << " * " << yi;
        }
        ASSERT_EQ(r.reduced[c], static_cast<double>(residue(xi, p))) << xi;
      }
    }
  }
}

}  // namespace
#endif
