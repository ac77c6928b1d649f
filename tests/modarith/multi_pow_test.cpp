// Powers taken side by side against one 128-bit power at a time: every lane
// must give the exact residue, whatever the other lanes hold (exponent 0,
// exponents of other lengths, bases of p or more), at both ends of the
// prime range.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "modarith/modmul.hpp"
#include "modarith/wide_kernels.hpp"
#include "tests/search/reference_numbers.hpp"

namespace {
using namespace search_reference;

const std::vector<u64> moduli = {1000000007ULL, 1000000000039ULL, 1125899906842597ULL /* largest prime < 2^50 */};

TEST(MultiPow, EveryLaneIsTheExactPower) {
  std::mt19937_64 rng(77);
  for (const u64 p : moduli) {
    SCOPED_TRACE(p);
    const modarith::ModContext m = modarith::make_mod_context(p);
    for (u32 count = 1; count <= modarith::max_parallel_powers_of_2; ++count) {
      // Exponents of every length up to p - 1, with 0 and 1 among them.
      std::vector<u64> exps(count);
      for (u32 i = 0; i < count; ++i) {
        const u64 e = (p - 1) >> (rng() % 64);
        exps[i] = i == 0 ? 0 : i == 1 ? 1 : i == 2 ? p - 1 : rng() % (e + 1);
      }
      std::vector<u64> out(count);
      modarith::pow2mod_many(m, exps.data(), out.data(), count);
      for (u32 i = 0; i < count; ++i) EXPECT_EQ(out[i], pow_mod(2, exps[i], p)) << "2^" << exps[i];

      if (count > modarith::max_parallel_powers) continue;
      std::vector<u64> bases(count);
      for (u32 i = 0; i < count; ++i) bases[i] = i == 0 ? p : i == 1 ? 0 : i == 2 ? p - 1 : rng() % (4 * p);
      const u64 e = rng() % p;
      modarith::powmod_many(m, bases.data(), out.data(), count, e);
      for (u32 i = 0; i < count; ++i) EXPECT_EQ(out[i], pow_mod(bases[i] % p, e, p)) << bases[i] << "^" << e;
      // Also exponents 0, 1 and p - 1 for the lane powers.
      for (const modarith::KernelSet set : {modarith::KernelSet::avx512, modarith::KernelSet::avx2}) {
        if (!modarith::kernel_set_runs(set)) continue;
        for (const u64 e_lanes : {e, u64{0}, u64{1}, p - 1, u64{1} << (rng() % 50)}) {
          modarith::powmod_many_with(set, m, bases.data(), out.data(), count, e_lanes);
          for (u32 i = 0; i < count; ++i) {
            EXPECT_EQ(out[i], pow_mod(bases[i] % p, e_lanes, p))
                << bases[i] << "^" << e_lanes << " (" << modarith::kernel_set_name(set) << " kernels)";
          }
        }
      }
    }
  }
}

}  // namespace
