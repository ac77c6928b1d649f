// The exact re-check against GMP's arithmetic on whole numbers k*2^n+1, for
// moduli across the search's range and beyond it, on true and false hits.
#include "sievedata/factor_check.hpp"

#include <random>

#include <gmp.h>
#include <gtest/gtest.h>

namespace {
using sievedata::u32;
using sievedata::u64;

void set_u64(mpz_t z, u64 v) { mpz_import(z, 1, -1, sizeof v, 0, 0, &v); }

// Whether p divides k*2^n+1, by GMP's modular power.
bool gmp_divides(u64 p, u32 k, u32 n) {
  mpz_t mod, two, value;
  mpz_inits(mod, two, value, nullptr);
  set_u64(mod, p);
  mpz_set_ui(two, 2);
  mpz_powm_ui(value, two, n, mod);
  mpz_mul_ui(value, value, k);
  mpz_add_ui(value, value, 1);
  const bool divides = mpz_divisible_p(value, mod) != 0;
  mpz_clears(mod, two, value, nullptr);
  return divides;
}

// The k < p < 2^32 that makes p divide k*2^n+1: k = -1/2^n mod p (p odd).
u32 multiplier_for(u64 p, u32 n) {
  mpz_t mod, value;
  mpz_inits(mod, value, nullptr);
  set_u64(mod, p);
  mpz_set_ui(value, 2);
  mpz_powm_ui(value, value, n, mod);
  mpz_invert(value, value, mod);
  mpz_sub(value, mod, value);
  const u32 k = static_cast<u32>(mpz_get_ui(value));
  mpz_clears(mod, value, nullptr);
  return k;
}

TEST(FactorCheck, AgreesWithGmp) {
  const std::uint64_t seed = 77031;
  std::mt19937_64 rng(seed);
  for (int trial = 0; trial < 20000; ++trial) {
    // Moduli of the search's range, near 2^50, and up to the full 64 bits.
    const int bits = 30 + static_cast<int>(rng() % 35);
    const u64 p = (rng() >> (64 - bits)) | 1 | (u64{1} << (bits - 1));
    const u32 n = static_cast<u32>(rng());
    u32 k = static_cast<u32>(rng());
    if (p < (u64{1} << 32) && trial % 2 == 0) k = multiplier_for(p, n);  // a true hit
    ASSERT_EQ(sievedata::is_true_factor(p, k, n), gmp_divides(p, k, n))
        << "seed " << seed << " trial " << trial << ": p " << p << " k " << k << " n " << n;
  }
}

TEST(FactorCheck, KnownCases) {
  EXPECT_TRUE(sievedata::is_true_factor(7, 3, 1));                      // 3*2+1
  EXPECT_TRUE(sievedata::is_true_factor((u64{1234} << 45) + 1, 1234, 45));
  EXPECT_FALSE(sievedata::is_true_factor((u64{1234} << 45) + 3, 1234, 45));
  EXPECT_TRUE(sievedata::is_true_factor(3, 1, 1));                      // 2+1
  EXPECT_TRUE(sievedata::is_true_factor(5, 1, 2));                      // n = 2: 5
  EXPECT_TRUE(sievedata::is_true_factor(2, 1, 0));                      // 1*1+1
  EXPECT_FALSE(sievedata::is_true_factor(0, 1, 1));
  EXPECT_FALSE(sievedata::is_true_factor(1, 1, 1));
  EXPECT_FALSE(sievedata::is_true_factor(7, 0, 5));                     // k = 0 gives 1
  // 2^32 = -1 mod 2^32+1, so 2^(64j+32) + 1 = 0 for every j.
  EXPECT_TRUE(sievedata::is_true_factor((u64{1} << 32) + 1, 1, 64 * 1000 + 32));
  EXPECT_FALSE(sievedata::is_true_factor((u64{1} << 32) + 1, 1, 64 * 1000 + 31));
}

}  // namespace
