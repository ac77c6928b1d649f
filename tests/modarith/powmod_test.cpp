// The powering kernels (pow2mod, powmod) against GMP, over the same moduli
// and bases as the product kernels, with exponents up to 2^64 - 1; and every
// kernel over odd composite moduli.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "modarith/modmul.hpp"
#include "tests/modarith/reference.hpp"

namespace {
using namespace modarith_test;

TEST(ModMul, Pow2modMatchesReferenceAndPowmod) {
  std::mt19937_64 rng(seed + 4);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    EXPECT_EQ(modarith::pow2mod(m, 0), 1u) << p;
    EXPECT_EQ(modarith::pow2mod(m, 1), 2u) << p;
    EXPECT_EQ(modarith::pow2mod(m, p - 1), 1u) << p;
    for (u64 e : test_exponents(rng, p)) {
      const u64 want = ref_powmod(2, e, p);
      bad.check(modarith::pow2mod(m, e), want, "pow2mod", p, 2, e);
      bad.check(modarith::powmod(m, 2, e), want, "powmod", p, 2, e);
      if (bad.too_many()) return;
    }
  }
}

TEST(ModMul, PowmodMatchesReference) {
  std::mt19937_64 rng(seed + 5);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    std::vector<u64> bases = test_residues(rng, p, 20);
    // Unreduced bases are accepted too.
    for (u64 a : {p + 1, 2 * p, 2 * p + 1, ~u64{0}, rng()}) bases.push_back(a);
    const auto exponents = test_exponents(rng, p);
    for (u64 a : bases) {
      EXPECT_EQ(modarith::powmod(m, a, 0), 1u) << "p=" << p << " a=" << a;
      EXPECT_EQ(modarith::powmod(m, a, 1), a % p) << "p=" << p << " a=" << a;
      for (int i = 0; i < 8; ++i) {
        const u64 e = exponents[rng() % exponents.size()];
        bad.check(modarith::powmod(m, a, e), ref_powmod(a, e, p), "powmod", p, a, e);
      }
      if (bad.too_many()) return;
    }
    for (u64 e : exponents) {
      // a = p is the residue -0 of an empty slot (p - k with k = 0).
      const u64 zero_power = e == 0 ? 1 : 0;
      bad.check(modarith::powmod(m, 0, e), zero_power, "powmod", p, 0, e);
      bad.check(modarith::powmod(m, p, e), zero_power, "powmod", p, p, e);
    }
    EXPECT_EQ(modarith::powmod(m, p - 1, p - 1), 1u) << p;
  }
}
// The kernels need an odd modulus, not a prime: odd composites at both ends
// of the range (and the bound 2^50 - 1 itself) reduce exactly as well.
TEST(ModMul, OddCompositeModuli) {
  std::mt19937_64 rng(seed + 9);
  Mismatches bad;
  for (u64 n : {two_pow_50 - 1, u64{1000000001}, u64{205891132094649} /* 3^30 */, (u64{1} << 49) + 1}) {
    ASSERT_FALSE(is_prime(n)) << n;
    const auto m = modarith::make_mod_context(n);
    for (int i = 0; i < 20000 && !bad.too_many(); ++i) {
      const u64 a = random_residue(rng, n), b = random_residue(rng, n), e = rng() >> (rng() % 64);
      bad.check(modarith::mulmod(m, a, b), ref_mulmod(a, b, n), "mulmod", n, a, b);
      bad.check(modarith::sqrmod(m, a), ref_mulmod(a, a, n), "sqrmod", n, a, a);
      bad.check(modarith::mulmod_scaled(m, a, modarith::prepare_scaled(m, b)), ref_mulmod(a, b, n), "mulmod_scaled", n,
                a, b);
      if (i % 16 == 0) {
        bad.check(modarith::powmod(m, a, e), ref_powmod(a, e, n), "powmod", n, a, e);
        bad.check(modarith::pow2mod(m, e), ref_powmod(2, e, n), "pow2mod", n, 2, e);
      }
    }
  }
}
}  // namespace
