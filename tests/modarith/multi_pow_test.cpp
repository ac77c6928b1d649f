// Powers taken side by side against one 128-bit power at a time: every lane
// must give the exact residue, whatever the other lanes hold (exponent 0,
// exponents of other lengths, bases of p or more), at both ends of the
// prime range.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "modarith/batch_powmod.hpp"
#include "modarith/modmul.hpp"
#include "modarith/order_parts.hpp"
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

// A part as the order computation forms it: q^copies divides p - 1 for a
// small prime q of p - 1, exponent = (p - 1) / q^copies, so that the
// raisings to 1 take from none to all of the copies.
modarith::OrderPart order_part(u64 p, u32 context, std::mt19937_64& rng) {
  std::vector<u32> small;
  for (u32 q = 2; q < 50; ++q) {
    bool prime = true;
    for (u32 d = 2; d * d <= q; ++d) prime = prime && q % d != 0;
    if (prime && (p - 1) % q == 0) small.push_back(q);
  }
  const u32 q = small[rng() % small.size()];
  u32 most = 0;
  for (u64 rest = p - 1; rest % q == 0; rest /= q) ++most;
  const auto copies = static_cast<u32>(rng() % most + 1);
  u64 power = 1;
  for (u32 i = 0; i < copies; ++i) power *= q;
  return {(p - 1) / power, context, q, copies};
}

// Powers and order parts of a batch of primes, each lane with its own
// modulus: runs of one prime of every length, so that groups end inside a
// prime's run and lanes past the last item stay idle; exponents of every
// length with 0 and 1 among them; bases of p or more. A batch with a prime
// of 2^50 or more (past the vector lanes' ceiling) must give the same
// results through the scalar kernels.
TEST(MultiPow, BatchesGiveEveryPrimeItsOwnPowers) {
  std::mt19937_64 rng(20261211);
  // Primes whose p - 1 has many small factors, several of them repeated,
  // so that the parts need every number of raisings; the largest prime
  // below 2^50, and 2^61 - 1 last.
  std::vector<u64> primes;
  const u64 smooth = u64{64} * 27 * 25 * 7 * 11 * 13;
  for (const u64 from : {u64{1000000000}, u64{1000000000000}, u64{1} << 49}) {
    u64 t = from / smooth;
    while (!is_prime(smooth * t + 1)) ++t;
    primes.push_back(smooth * t + 1);
  }
  primes.push_back(1125899906842597ULL);
  primes.push_back(1000000000039ULL);
  primes.push_back(2305843009213693951ULL);
  for (const u32 last_prime : {4u, 5u}) {  // without and with 2^61 - 1
    std::vector<modarith::ModContext> contexts;
    for (u32 c = 0; c <= last_prime; ++c) contexts.push_back(modarith::make_mod_context(primes[c]));
    std::vector<modarith::BatchPower> powers;
    std::vector<modarith::OrderPart> parts;
    for (u32 round = 0; round < 24; ++round) {
      const u32 c = static_cast<u32>(rng() % contexts.size());
      const u64 p = primes[c];
      for (u64 run = rng() % 7 + 1; run > 0; --run) {
        const u64 e = powers.size() % 5 == 0 ? powers.size() % 2 : rng() % p;
        powers.push_back({rng() % (3 * p), e, c});
        parts.push_back(order_part(p, c, rng));
      }
    }
    const auto count = static_cast<u32>(powers.size());
    std::vector<u64> want(count);
    std::vector<u32> want_needed(count);
    for (u32 i = 0; i < count; ++i) {
      const u64 p = primes[powers[i].context];
      want[i] = pow_mod(powers[i].base % p, powers[i].exponent, p);
      u64 y = pow_mod(2, parts[i].exponent, primes[parts[i].context]);
      u32 j = 0;
      for (; y != 1 && j + 1 < parts[i].copies; ++j) y = pow_mod(y, parts[i].q, primes[parts[i].context]);
      want_needed[i] = y != 1 ? parts[i].copies : j;
    }
    for (const modarith::KernelSet set : modarith::kernel_sets_fastest_first) {
      if (!modarith::kernel_set_runs(set)) continue;
      SCOPED_TRACE(::testing::Message() << modarith::kernel_set_name(set) << ", primes up to " << primes[last_prime]);
      std::vector<u64> out(count);
      std::vector<u32> needed(count);
      modarith::powmod_batch_with(set, contexts.data(), powers.data(), count, out.data());
      modarith::order_parts_with(set, contexts.data(), parts.data(), count, needed.data());
      for (u32 i = 0; i < count; ++i) {
        EXPECT_EQ(out[i], want[i]) << "power " << i << ": " << powers[i].base << "^" << powers[i].exponent;
        EXPECT_EQ(needed[i], want_needed[i]) << "part " << i << ": 2^" << parts[i].exponent;
      }
    }
  }
}

}  // namespace
