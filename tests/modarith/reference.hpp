// Independent references and test data shared by the kernel tests:
// unsigned 128-bit remainders for products, GMP for powers, a deterministic
// Miller-Rabin to find the test moduli, and operand generators biased
// towards the values where a quotient estimate or a correction goes wrong
// first (0, 1, p - 1, p/2, powers of two, values next to the bounds).
#pragma once
#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "modarith/int128.hpp"

namespace modarith_test {
using common::u32;
using common::u64;
using modarith::u128;

inline constexpr u64 seed = 0x5eed2024;
inline constexpr u64 two_pow_50 = u64{1} << 50;

inline u64 ref_mulmod(u64 a, u64 b, u64 p) { return static_cast<u64>(static_cast<u128>(a) * b % p); }

inline u64 ref_powmod(u64 a, u64 e, u64 p) {
  mpz_t base, exp, mod, result;
  mpz_inits(base, exp, mod, result, nullptr);
  mpz_set_ui(base, a);
  mpz_set_ui(exp, e);
  mpz_set_ui(mod, p);
  mpz_powm(result, base, exp, mod);
  const u64 r = mpz_get_ui(result);
  mpz_clears(base, exp, mod, result, nullptr);
  return r;
}

// Deterministic Miller-Rabin for 64-bit n (these bases suffice below 3.3e24).
inline bool is_prime(u64 n) {
  if (n < 2) return false;
  for (u64 q : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}) {
    if (n % q == 0) return n == q;
  }
  u64 d = n - 1;
  int s = 0;
  while ((d & 1) == 0) d >>= 1, ++s;
  auto pow = [n](u64 a, u64 e) {
    u64 r = 1;
    for (; e != 0; e >>= 1, a = ref_mulmod(a, a, n)) {
      if (e & 1) r = ref_mulmod(r, a, n);
    }
    return r;
  };
  for (u64 a : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}) {
    u64 x = pow(a, d);
    if (x == 1 || x == n - 1) continue;
    bool composite = true;
    for (int i = 1; i < s && composite; ++i) {
      x = ref_mulmod(x, x, n);
      if (x == n - 1) composite = false;
    }
    if (composite) return false;
  }
  return true;
}

// The moduli every kernel is checked with: the 6 largest primes below 2^50,
// the 6 smallest above 10^9, primes next to the powers of two where the
// operands' width changes, and 24 primes spread log-uniformly in between.
inline const std::vector<u64>& test_primes() {
  static const std::vector<u64> primes = [] {
    std::vector<u64> out;
    for (u64 n = two_pow_50 - 1, found = 0; found < 6; n -= 2) {
      if (is_prime(n)) out.push_back(n), ++found;
    }
    for (u64 n = 1000000001, found = 0; found < 6; n += 2) {
      if (is_prime(n)) out.push_back(n), ++found;
    }
    for (int bits : {31, 32, 33, 40, 48, 49}) {
      u64 n = (u64{1} << bits) + 1;
      while (!is_prime(n)) n += 2;
      out.push_back(n);
      n = (u64{1} << bits) - 1;
      while (!is_prime(n)) n -= 2;
      out.push_back(n);
    }
    std::mt19937_64 rng(seed);
    std::uniform_real_distribution<double> exponent(9.0, 50.0 * 0.30102999566398120);
    for (int i = 0; i < 24; ++i) {
      u64 n = static_cast<u64>(std::pow(10.0, exponent(rng))) | 1;
      while (!is_prime(n)) n += 2;
      if (n <= two_pow_50) out.push_back(n);
    }
    return out;
  }();
  return primes;
}

// Residues in [0, p) where the arithmetic is most likely to slip.
inline std::vector<u64> edge_residues(u64 p) {
  std::vector<u64> v = {0, 1, 2, 3, p - 1, p - 2, p - 3, p / 2, p / 2 + 1, (p + 1) / 2 + 1, p / 3, 2 * (p / 3)};
  for (int bit = 1; bit < 51; ++bit) {
    const u64 x = u64{1} << bit;
    for (u64 y : {x - 1, x, x + 1}) {
      if (y < p) v.push_back(y);
    }
  }
  for (u64 y : {u64{0xffffffff}, u64{0x80000000}, p - 0xffffffff, p - (u64{1} << 32)}) {
    if (y < p) v.push_back(y);
  }
  u64 r = 1;
  while (r * r < p) ++r;
  v.push_back(r - 1);
  v.push_back(r);
  return v;
}

// One random residue, half uniform in [0, p), the rest small or close to p.
inline u64 random_residue(std::mt19937_64& rng, u64 p) {
  const u64 x = rng();
  switch (x & 7) {
    case 0: return (x >> 3) % 1024;
    case 1: return p - 1 - (x >> 3) % 1024;
    case 2: return (x >> 3) % (u64{1} << ((x >> 40) % 50)) % p;
    default: return rng() % p;
  }
}

// The edge residues of p followed by `random_count` random ones.
inline std::vector<u64> test_residues(std::mt19937_64& rng, u64 p, int random_count) {
  std::vector<u64> v = edge_residues(p);
  for (int i = 0; i < random_count; ++i) v.push_back(random_residue(rng, p));
  return v;
}

inline u64 inverse(u64 a, u64 p) { return ref_powmod(a, p - 2, p); }

// Stops a broken kernel from flooding the log: reports the first few
// mismatches with the seed and the inputs, then tells the loops to stop.
class Mismatches {
 public:
  bool check(u64 got, u64 want, const char* kernel, u64 p, u64 a, u64 b) {
    if (got == want) return true;
    if (++count_ <= 10) {
      ADD_FAILURE() << "seed " << seed << ": " << kernel << " p=" << p << " a=" << a << " b=" << b << " gave "
                    << got << ", want " << want;
    }
    return false;
  }
  bool too_many() const { return count_ > 10; }

 private:
  int count_ = 0;
};

// Exponents of the kinds the search uses: orders and cofactors of p - 1,
// full 50-bit values, single bits, and full 64-bit values.
inline std::vector<u64> test_exponents(std::mt19937_64& rng, u64 p) {
  std::vector<u64> es = {0, 1, 2, 3, 4, 5, 15840, p - 1, p - 2, (p - 1) / 2, p, p + 1,
                         two_pow_50 - 1, two_pow_50 / 2, (two_pow_50 - 1) / 3, u64{1} << 63, ~u64{0}};
  for (int bit = 0; bit < 50; bit += 7) es.push_back(u64{1} << bit);
  for (int i = 0; i < 40; ++i) es.push_back(rng() >> 14);
  for (int i = 0; i < 20; ++i) es.push_back(rng() >> (14 + rng() % 50));
  return es;
}

}  // namespace modarith_test
