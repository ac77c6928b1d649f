// Every lane kernel set the processor runs (eight 52-bit lanes, four double
// lanes) against the scalar kernels, on shapes the search data rarely
// produce: fills of every length around the lane and chain counts, one to
// thirteen walks (split into parts or not), walks of 0, 1 and odd lengths,
// and walks that hit on almost every position. Every key must be the same
// exact residue and every hit the same (walk, position, key) in the same
// order. The choice among the sets is checked against a table of requests.
// A scalar-only build runs the kernels against their fallbacks, and checks
// that it never picks a lane set.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "modarith/geometric_fill.hpp"
#include "modarith/wide_kernels.hpp"
#include "tests/search/reference_numbers.hpp"

namespace {
using namespace search_reference;
using modarith::KernelSet;

const std::vector<u64> moduli = {1000000007ULL, 1000000000039ULL, 1125899906842597ULL /* largest prime < 2^50 */};

// The lane sets this processor runs; in a build with lane code, one at least
// (the build machines all have AVX2), so the tests below cannot pass empty.
std::vector<KernelSet> lane_sets() {
  std::vector<KernelSet> sets;
  for (const KernelSet set : {KernelSet::avx512, KernelSet::avx2}) {
    if (modarith::kernel_set_runs(set)) sets.push_back(set);
  }
  return sets;
}

TEST(KernelChoice, RequestsAndTheSetsTheyGive) {
#ifndef QUARROW_SCALAR_ONLY
  ASSERT_FALSE(lane_sets().empty()) << "no lane kernels run on this processor";
#endif
  const KernelSet best = modarith::best_kernel_set();
  EXPECT_EQ(best, modarith::kernel_set_runs(KernelSet::avx512) ? KernelSet::avx512
                  : modarith::kernel_set_runs(KernelSet::avx2) ? KernelSet::avx2
                                                               : KernelSet::scalar);
  for (const char* request : {static_cast<const char*>(nullptr), ""}) {
    const modarith::KernelChoice choice = modarith::choose_kernel_set(request);
    EXPECT_EQ(choice.set, best);
    EXPECT_EQ(choice.error, "");
  }
  for (const KernelSet set : {KernelSet::avx512, KernelSet::avx2, KernelSet::scalar}) {
    SCOPED_TRACE(modarith::kernel_set_name(set));
    const modarith::KernelChoice choice = modarith::choose_kernel_set(modarith::kernel_set_key(set));
    if (modarith::kernel_set_runs(set)) {
      EXPECT_EQ(choice.set, set);
      EXPECT_EQ(choice.error, "");
    } else {
      EXPECT_EQ(choice.set, best);
      EXPECT_EQ(choice.error.rfind("Error: QUARROW_KERNELS=", 0), 0u) << choice.error;
    }
  }
  // Names only as written, and a value that would break the line is shown on it.
  const struct {
    const char* request;
    const char* error;
  } unknown[] = {
      {"AVX2", "Error: QUARROW_KERNELS=AVX2 names no kernel set; give avx512, avx2 or scalar. Exiting."},
      {"avx", "Error: QUARROW_KERNELS=avx names no kernel set; give avx512, avx2 or scalar. Exiting."},
      {"scalar\n", "Error: QUARROW_KERNELS=scalar? names no kernel set; give avx512, avx2 or scalar. Exiting."},
  };
  for (const auto& c : unknown) {
    const modarith::KernelChoice choice = modarith::choose_kernel_set(c.request);
    EXPECT_EQ(choice.error, c.error);
    EXPECT_EQ(choice.set, best);
  }
}

#ifdef QUARROW_SCALAR_ONLY
TEST(ScalarOnlyBuild, NeverChoosesALaneSet) {
  EXPECT_EQ(modarith::best_kernel_set(), KernelSet::scalar);
  EXPECT_TRUE(lane_sets().empty());
  EXPECT_EQ(modarith::choose_kernel_set("avx2").error,
            "Error: QUARROW_KERNELS=avx2 asks for the AVX2 kernels, which this build (scalar kernels only) cannot "
            "run. Exiting.");
}
#endif

TEST(LaneKernels, FillStoresTheScalarKeysUnderTheScalarIndices) {
  std::mt19937_64 rng(5);
  for (const u64 p : moduli) {
    const modarith::ModContext m = modarith::make_mod_context(p);
    for (const KernelSet set : lane_sets()) {
    for (const u64 count : {1ULL, 7ULL, 63ULL, 64ULL, 65ULL, 71ULL, 79ULL, 80ULL, 1000ULL, 4099ULL}) {
      SCOPED_TRACE(::testing::Message() << modarith::kernel_set_name(set) << ", p = " << p << ", count = " << count);
      const u64 x = rng() % p;
      // f = 1 repeats one key over every index; the others run through p.
      const u64 f_value = count == 65 ? 1 : rng() % p;
      const modarith::ScaledMultiplier f = modarith::prepare_scaled(m, f_value);
      modarith::BabyStepTable scalar;
      modarith::BabyStepTable wide;
      scalar.reset(static_cast<u32>(count), 3);
      wide.reset(static_cast<u32>(count), 3);
      modarith::fill_geometric(m, scalar, x, f, count, 3);
      modarith::fill_geometric_with(set, m, wide, x, f, count, 3);
      u64 key = x;
      for (u64 i = 0; i < count; ++i, key = mul_mod(key, f_value, p)) {
        std::vector<u32> a;
        std::vector<u32> b;
        scalar.all(key, a);
        wide.all(key, b);
        ASSERT_EQ(a, b) << "entry " << i;
        ASSERT_FALSE(b.empty());
        // Equal keys only where the run repeats itself.
        if (f_value != 1 && a.size() == 1) {
          ASSERT_EQ(b[0], 3 + i);
        }
      }
    }
    }
  }
}

// The route's first-hit walks of every set against one lane at a time, by
// the plain product: lanes that reach an entry after s steps (s = 0 up to
// the walk's length m_s and one past it), and random lanes; one to
// twelve lanes, so that a group of eight is full, partial or followed by a
// second one.
TEST(LaneKernels, FirstHitsAreEachLanesFirstPosition) {
  std::mt19937_64 rng(21);
  for (const u64 p : moduli) {
    const modarith::ModContext m = modarith::make_mod_context(p);
    // As in the route: the table holds x0 * f^(m_s * (b - 1)), the walks
    // step by f.
    const u32 m_s = 9;
    const u64 f_value = rng() % p;
    const modarith::ScaledMultiplier f = modarith::prepare_scaled(m, f_value);
    const u64 x0 = rng() % p;
    modarith::BabyStepTable table;
    table.reset(140);
    modarith::fill_geometric(m, table, x0, modarith::prepare_scaled(m, pow_mod(f_value, m_s, p)), 140, 1);
    std::vector<KernelSet> sets = lane_sets();
    sets.push_back(KernelSet::scalar);
    for (const KernelSet set : sets) {
      for (u32 count = 1; count <= modarith::max_first_hit_lanes; ++count) {
        SCOPED_TRACE(::testing::Message() << modarith::kernel_set_name(set) << ", p = " << p << ", lanes = " << count);
        std::vector<u64> z(count);
        for (u32 l = 0; l < count; ++l) {
          const u64 entry = mul_mod(x0, pow_mod(f_value, m_s * (20 + rng() % 100), p), p);
          const u64 s = (l + count) % (m_s + 2);  // m_s and m_s + 1: no hit within the walk
          z[l] = l % 4 == 3 ? rng() % p : mul_mod(entry, pow_mod(f_value, p - 1 - s, p), p);
        }
        std::vector<u32> log(count, 7777);
        const u32 solved = modarith::first_hits_with(set, m, table, f, m_s, z.data(), count, log.data());
        u32 found = 0;
        for (u32 l = 0; l < count; ++l) {
          u64 x = z[l];
          for (u32 s = 0; s < m_s; ++s, x = mul_mod(x, f_value, p)) {
            const u32 b = table.first(x);
            if (b == 0) continue;
            found |= 1u << l;
            EXPECT_EQ(log[l], (b - 1) * m_s + s) << "lane " << l;
            break;
          }
          if (((found >> l) & 1) == 0) {
            EXPECT_EQ(log[l], 7777u) << "lane " << l;
          }
        }
        EXPECT_EQ(solved, found);
        if (count >= 3) {
          EXPECT_NE(found, 0u);
        }
      }
    }
  }
}

TEST(LaneKernels, WalksFindTheScalarHitsInTheScalarOrder) {
  std::mt19937_64 rng(9);
  const std::vector<u64> lengths = {0, 1, 2, 5, 17, 31, 32, 33, 200, 1001};
  for (const u64 p : moduli) {
    const modarith::ModContext m = modarith::make_mod_context(p);
    // A table of 600 entries x0*f^i; a walk with the factor f started on
    // one of them hits at every position that stays inside the run.
    const u64 f_value = rng() % p;
    const modarith::ScaledMultiplier f = modarith::prepare_scaled(m, f_value);
    const u64 x0 = rng() % p;
    modarith::BabyStepTable table;
    table.reset(600);
    modarith::fill_geometric(m, table, x0, f, 600, 1);
    for (const KernelSet set : lane_sets()) {
    for (u32 count = 1; count <= 13; ++count) {
      SCOPED_TRACE(::testing::Message() << modarith::kernel_set_name(set) << ", p = " << p << ", walks = " << count);
      std::vector<modarith::Walk> walks(count);
      for (u32 w = 0; w < count; ++w) {
        modarith::Walk& walk = walks[w];
        walk.positions = lengths[(w + count) % lengths.size()];
        if (w % 3 == 0) {
          // On the run, from a random entry: hits from position 0 on.
          walk.x = mul_mod(x0, pow_mod(f_value, rng() % 600, p), p);
          walk.step = f;
        } else if (w % 3 == 1) {
          // Off the run, reaching it after a few positions: x = entry / f^s.
          const u64 s = rng() % 8;
          const u64 entry = mul_mod(x0, pow_mod(f_value, 100 + rng() % 400, p), p);
          walk.x = mul_mod(entry, pow_mod(f_value, p - 1 - s, p), p);
          walk.step = f;
        } else {
          // A random walk: hits only by chance.
          walk.x = rng() % p;
          walk.step = modarith::prepare_scaled(m, rng() % p);
        }
      }
      std::vector<modarith::WalkHit> scalar;
      std::vector<modarith::WalkHit> wide;
      modarith::run_walks(m, table, walks.data(), count, scalar);
      modarith::run_walks_with(set, m, table, walks.data(), count, wide);
      ASSERT_EQ(scalar.size(), wide.size());
      for (std::size_t i = 0; i < scalar.size(); ++i) {
        EXPECT_EQ(scalar[i].walk, wide[i].walk) << "hit " << i;
        EXPECT_EQ(scalar[i].position, wide[i].position) << "hit " << i;
        EXPECT_EQ(scalar[i].key, wide[i].key) << "hit " << i;
        // Independently: the key is the walk's value at that position.
        const modarith::Walk& walk = walks[wide[i].walk];
        EXPECT_EQ(wide[i].key, mul_mod(walk.x, pow_mod(walk.step.mult, wide[i].position, p), p));
      }
      if (count >= 3) {
        EXPECT_GT(scalar.size(), 0u);
      }
    }
    }
  }
}

}  // namespace
