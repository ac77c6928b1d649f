// The product kernels (mulmod, sqrmod, mulmod_scaled and its lazy form)
// against unsigned 128-bit remainders, over moduli at both ends of the range
// (the largest primes below 2^50, the smallest above 10^9) and a seeded
// spread between them. Every failure prints the seed, the modulus and the
// inputs.
#include "modarith/modmul.hpp"

#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "tests/modarith/reference.hpp"

namespace {
using namespace modarith_test;

TEST(ModMul, TestModuliAreTheIntendedPrimes) {
  const auto& primes = test_primes();
  ASSERT_GE(primes.size(), 40u);
  EXPECT_EQ(primes[0], 1125899906842597ULL);  // largest prime below 2^50
  EXPECT_EQ(primes[6], 1000000007ULL);        // smallest prime above 10^9
  for (u64 p : primes) EXPECT_TRUE(p >= 1000000000ULL && p <= two_pow_50 && is_prime(p)) << p;
}

TEST(ModMul, MulmodAndSqrmodMatchReference) {
  std::mt19937_64 rng(seed);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    const auto edges = edge_residues(p);
    std::vector<std::pair<u64, u64>> pairs;
    for (u64 a : edges) {
      for (u64 b : edges) pairs.emplace_back(a, b);
    }
    for (int i = 0; i < 20000; ++i) pairs.emplace_back(random_residue(rng, p), random_residue(rng, p));
    // Products next to a multiple of p: a * (t / a) for remainders t at both ends.
    for (int i = 0; i < 200; ++i) {
      const u64 a = 1 + rng() % (p - 1);
      const u64 a_inv = inverse(a, p);
      for (u64 t : {u64{1}, u64{2}, p - 1, p - 2, p / 2, (p + 1) / 2}) pairs.emplace_back(a, ref_mulmod(t, a_inv, p));
    }
    for (auto [a, b] : pairs) {
      bad.check(modarith::mulmod(m, a, b), ref_mulmod(a, b, p), "mulmod", p, a, b);
      if (bad.too_many()) return;
    }
    for (u64 x : edges) bad.check(modarith::sqrmod(m, x), ref_mulmod(x, x, p), "sqrmod", p, x, x);
    for (int i = 0; i < 20000 && !bad.too_many(); ++i) {
      const u64 x = random_residue(rng, p);
      bad.check(modarith::sqrmod(m, x), ref_mulmod(x, x, p), "sqrmod", p, x, x);
    }
    // x = p stands for an empty slot's residue -0.
    bad.check(modarith::sqrmod(m, p), 0, "sqrmod", p, p, p);
  }
}

// mulmod accepts any product below 2^61 * p, not only reduced factors: the
// scans multiply a 32-bit k by a residue without reducing k first. Near the
// bound the quotient estimate is at its coarsest; exact multiples of p must
// give 0, never p.
TEST(ModMul, MulmodBeyondReducedFactors) {
  std::mt19937_64 rng(seed + 1);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    std::vector<std::pair<u64, u64>> pairs;
    std::vector<u64> ks = {0, 1, 2, 3, 0x7fffffff, 0x80000000, 0xfffffffe, 0xffffffff};
    for (int i = 0; i < 24; ++i) ks.push_back(rng() >> 32);
    std::vector<u64> bs = test_residues(rng, p, 200);
    for (u64 k : ks) {
      for (u64 b : bs) pairs.emplace_back(k, b);
    }
    const u128 bound = u128{p} << 61;
    for (u64 c : {u64{1}, u64{2}, u64{3}, u64{1} << 20, (u64{1} << 40) + 7}) {
      const u64 b_max = static_cast<u64>((bound - 1) / (u128{c} * p));
      for (u64 b : {u64{0}, u64{1}, b_max, b_max / 2, rng() % (b_max + 1)}) pairs.emplace_back(c * p, b);
    }
    for (int i = 0; i < 2000; ++i) {
      const u64 a = (rng() >> 3) | 1;  // up to 2^61
      const u64 b_max = static_cast<u64>((bound - 1) / a);
      pairs.emplace_back(a, b_max - rng() % 1024 % b_max);
      pairs.emplace_back(b_max - rng() % 1024 % b_max, a);
    }
    for (auto [a, b] : pairs) {
      bad.check(modarith::mulmod(m, a, b), ref_mulmod(a, b, p), "mulmod", p, a, b);
      if (bad.too_many()) return;
    }
  }
}

TEST(ModMul, MulmodScaledEqualsMulmod) {
  std::mt19937_64 rng(seed + 6);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    std::vector<u64> mults = test_residues(rng, p, 64);
    std::vector<u64> xs = test_residues(rng, p, 64);
    // Any x below 2^64 is accepted, and a multiplier of p or more is reduced.
    for (u64 x : {p, p + 1, 2 * p - 1, 2 * p, ~u64{0}, rng(), rng()}) xs.push_back(x), mults.push_back(x);
    for (u64 mult : mults) {
      const auto scaled = modarith::prepare_scaled(m, mult);
      // The lane kernels take their quotient factor from w_int, so it must
      // be the exact floor, not one the scalar step would merely tolerate.
      bad.check(scaled.w_int, static_cast<u64>((modarith::u128{mult % p} << 64) / p), "w_int", p, mult,
                0);
      for (u64 x : xs) {
        const u64 want = ref_mulmod(x, mult, p);
        bad.check(modarith::mulmod_scaled(m, x, scaled), want, "mulmod_scaled", p, x, mult);
        if (x < p && mult < p) bad.check(modarith::mulmod(m, x, mult), want, "mulmod", p, x, mult);
        const u64 lazy = modarith::mulmod_scaled_lazy(m, x, scaled);
        bad.check(lazy < 2 * p && lazy % p == want, true, "mulmod_scaled_lazy", p, x, mult);
      }
      if (bad.too_many()) return;
    }
  }
}

// The giant and baby steps feed each result back in: a long chain must
// stay on the exact residues (a result of p or more would drift off).
TEST(ModMul, MulmodScaledChainStaysExact) {
  std::mt19937_64 rng(seed + 7);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    for (u64 mult : {p - 1, (p + 1) / 2, random_residue(rng, p), random_residue(rng, p)}) {
      const auto s = modarith::prepare_scaled(m, mult);
      u64 x = p - 1, lazy = p - 1, want = p - 1;
      for (int i = 0; i < 3000; ++i) {
        x = modarith::mulmod_scaled(m, x, s);
        lazy = modarith::mulmod_scaled_lazy(m, lazy, s);
        want = ref_mulmod(want, mult, p);
        if (!bad.check(x, want, "mulmod_scaled chain", p, mult, i) ||
            !bad.check(lazy < 2 * p ? modarith::reduce_once(m, lazy) : p, want, "mulmod_scaled_lazy chain", p, mult, i))
          break;
      }
      if (bad.too_many()) return;
    }
  }
}

}  // namespace
