// The modular kernels against references that share no code with them:
// unsigned 128-bit remainders for products and GMP for powers. Moduli cover
// both ends of the supported range (the largest primes below 2^50, the
// smallest above 10^9) and a seeded spread between them; operands are biased
// towards the values where a quotient estimate or a correction goes wrong
// first (0, 1, p - 1, p/2, powers of two, products that land next to a
// multiple of p). Every failure prints the seed, the modulus and the inputs.
#include "modarith/modmul.hpp"

#include <gmp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

namespace {
using common::u32;
using common::u64;
using modarith::u128;

constexpr u64 seed = 0x5eed2024;
constexpr u64 two_pow_50 = u64{1} << 50;

u64 ref_mulmod(u64 a, u64 b, u64 p) { return static_cast<u64>(static_cast<u128>(a) * b % p); }

u64 ref_powmod(u64 a, u64 e, u64 p) {
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
bool is_prime(u64 n) {
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
const std::vector<u64>& test_primes() {
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
std::vector<u64> edge_residues(u64 p) {
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
u64 random_residue(std::mt19937_64& rng, u64 p) {
  const u64 x = rng();
  switch (x & 7) {
    case 0: return (x >> 3) % 1024;
    case 1: return p - 1 - (x >> 3) % 1024;
    case 2: return (x >> 3) % (u64{1} << ((x >> 40) % 50)) % p;
    default: return rng() % p;
  }
}

u64 inverse(u64 a, u64 p) { return ref_powmod(a, p - 2, p); }

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

// The scans multiply a 32-bit k by a residue without reducing k first.
TEST(ModMul, MulmodOf32BitMultiplierAndResidue) {
  std::mt19937_64 rng(seed + 1);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    std::vector<u64> ks = {0, 1, 2, 3, 0x7fffffff, 0x80000000, 0xfffffffe, 0xffffffff};
    for (int i = 0; i < 24; ++i) ks.push_back(rng() >> 32);
    std::vector<u64> bs = edge_residues(p);
    for (int i = 0; i < 200; ++i) bs.push_back(random_residue(rng, p));
    for (u64 k : ks) {
      for (u64 b : bs) bad.check(modarith::mulmod(m, k, b), ref_mulmod(k, b, p), "mulmod", p, k, b);
      if (bad.too_many()) return;
    }
  }
}

// mulmod accepts any product below 2^61 * p. Near that bound the quotient
// estimate is at its coarsest; exact multiples of p must give 0, never p.
TEST(ModMul, MulmodOverItsWholeDomain) {
  std::mt19937_64 rng(seed + 8);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    const u128 bound = u128{p} << 61;
    std::vector<std::pair<u64, u64>> pairs;
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

TEST(ModMul, DblmodMatchesReference) {
  std::mt19937_64 rng(seed + 2);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    std::vector<u64> xs = edge_residues(p);
    for (int i = 0; i < 2000; ++i) xs.push_back(random_residue(rng, p));
    for (u64 x : xs) bad.check(modarith::dblmod(m, x), static_cast<u64>((u128{x} * 2) % p), "dblmod", p, x, 2);
    if (bad.too_many()) return;
  }
}

TEST(ModMul, SqrMulPairEqualsTwoSeparateReductions) {
  std::mt19937_64 rng(seed + 3);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    const auto edges = edge_residues(p);
    std::vector<std::pair<u64, u64>> pairs;
    for (u64 a : edges) {
      for (u64 b : {u64{0}, u64{1}, p - 1, p / 2, edges[edges.size() / 2]}) pairs.emplace_back(a, b), pairs.emplace_back(b, a);
    }
    for (int i = 0; i < 5000; ++i) pairs.emplace_back(random_residue(rng, p), random_residue(rng, p));
    for (auto [base0, acc0] : pairs) {
      u64 base = base0, acc = acc0;
      modarith::sqr_mul_pair(m, base, acc);
      bad.check(base, ref_mulmod(base0, base0, p), "sqr_mul_pair base", p, base0, acc0);
      bad.check(acc, ref_mulmod(acc0, base0, p), "sqr_mul_pair acc", p, base0, acc0);
      bad.check(base, modarith::sqrmod(m, base0), "sqr_mul_pair vs sqrmod", p, base0, acc0);
      bad.check(acc, modarith::mulmod(m, acc0, base0), "sqr_mul_pair vs mulmod", p, base0, acc0);
      if (bad.too_many()) return;
    }
  }
}

// Exponents of the kinds the search uses: orders and cofactors of p - 1,
// full 50-bit values, single bits and runs of ones.
std::vector<u64> test_exponents(std::mt19937_64& rng, u64 p) {
  std::vector<u64> es = {0, 1, 2, 3, 4, 5, 15840, p - 1, p - 2, (p - 1) / 2, p, p + 1,
                         two_pow_50 - 1, two_pow_50 / 2, (two_pow_50 - 1) / 3, u64{1} << 63, ~u64{0}};
  for (int bit = 0; bit < 50; bit += 7) es.push_back(u64{1} << bit);
  for (int i = 0; i < 40; ++i) es.push_back(rng() >> 14);
  for (int i = 0; i < 20; ++i) es.push_back(rng() >> (14 + rng() % 50));
  return es;
}

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
    std::vector<u64> bases = edge_residues(p);
    for (int i = 0; i < 20; ++i) bases.push_back(random_residue(rng, p));
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

TEST(ModMul, MulmodScaledEqualsMulmodForBothPreparations) {
  std::mt19937_64 rng(seed + 6);
  Mismatches bad;
  for (u64 p : test_primes()) {
    const auto m = modarith::make_mod_context(p);
    std::vector<u64> mults = edge_residues(p);
    for (int i = 0; i < 64; ++i) mults.push_back(random_residue(rng, p));
    std::vector<u64> xs = edge_residues(p);
    for (int i = 0; i < 64; ++i) xs.push_back(random_residue(rng, p));
    // Any x below 2^64 is accepted, and a multiplier of p or more is reduced.
    for (u64 x : {p, p + 1, 2 * p - 1, 2 * p, ~u64{0}, rng(), rng()}) xs.push_back(x), mults.push_back(x);
    for (u64 mult : mults) {
      const auto by_recip = modarith::prepare_scaled(m, mult);
      const auto by_div = modarith::prepare_scaled_div(m, mult);
      for (u64 x : xs) {
        const u64 want = ref_mulmod(x, mult, p);
        bad.check(modarith::mulmod_scaled(m, x, by_recip), want, "mulmod_scaled (recip)", p, x, mult);
        bad.check(modarith::mulmod_scaled(m, x, by_div), want, "mulmod_scaled (div)", p, x, mult);
        if (x < p && mult < p) bad.check(modarith::mulmod(m, x, mult), want, "mulmod", p, x, mult);
        const u64 lazy = modarith::mulmod_scaled_lazy(m, x, by_div);
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
      const auto s_div = modarith::prepare_scaled_div(m, mult);
      u64 x = p - 1, y = p - 1, lazy = p - 1, want = p - 1;
      for (int i = 0; i < 3000; ++i) {
        x = modarith::mulmod_scaled(m, x, s);
        y = modarith::mulmod_scaled(m, y, s_div);
        lazy = modarith::mulmod_scaled_lazy(m, lazy, s);
        want = ref_mulmod(want, mult, p);
        if (!bad.check(x, want, "mulmod_scaled chain", p, mult, i) ||
            !bad.check(y, want, "mulmod_scaled chain (div)", p, mult, i) ||
            !bad.check(lazy < 2 * p ? modarith::reduce_once(m, lazy) : p, want, "mulmod_scaled_lazy chain", p, mult, i))
          break;
      }
      if (bad.too_many()) return;
    }
  }
}

}  // namespace

namespace {
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
