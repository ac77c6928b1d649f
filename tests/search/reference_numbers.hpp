// Plain reference arithmetic for the tests of the per-prime test and the
// order of 2: 128-bit products and remainders, a deterministic primality
// test, and the order of 2 from a known factorisation. Shares no code with
// the search or its kernels.
#pragma once
#include <cstdint>
#include <utility>
#include <vector>

#include "modarith/int128.hpp"
#include "primes/small_primes.hpp"
#include "sievedata/sieve_table.hpp"

namespace search_reference {
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i32 = std::int32_t;
using i64 = std::int64_t;
using modarith::u128;

inline u64 mul_mod(u64 a, u64 b, u64 p) { return static_cast<u64>(static_cast<u128>(a) * b % p); }

inline u64 pow_mod(u64 a, u64 e, u64 p) {
  u64 result = 1 % p;
  a %= p;
  while (e != 0) {
    if (e & 1) result = mul_mod(result, a, p);
    a = mul_mod(a, a, p);
    e >>= 1;
  }
  return result;
}

// Miller-Rabin with the first twelve prime bases: exact below 3.3 * 10^24.
inline bool is_prime(u64 n) {
  if (n < 2) return false;
  static constexpr u64 bases[] = {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37};
  for (u64 b : bases) {
    if (n % b == 0) return n == b;
  }
  u64 d = n - 1;
  int s = 0;
  while ((d & 1) == 0) {
    d >>= 1;
    ++s;
  }
  for (u64 b : bases) {
    u64 x = pow_mod(b, d, n);
    if (x == 1 || x == n - 1) continue;
    bool composite = true;
    for (int i = 1; i < s && composite; ++i) {
      x = mul_mod(x, x, n);
      if (x == n - 1) composite = false;
    }
    if (composite) return false;
  }
  return true;
}

// Prime factorisation as (prime, exponent), ascending.
using Factorisation = std::vector<std::pair<u64, u32>>;

// Factorises n by trial division (fine for n up to about 10^13).
inline Factorisation trial_factorise(u64 n) {
  Factorisation f;
  for (u64 q = 2; q * q <= n; q += (q == 2 ? 1 : 2)) {
    if (n % q != 0) continue;
    u32 e = 0;
    while (n % q == 0) {
      n /= q;
      ++e;
    }
    f.push_back({q, e});
  }
  if (n > 1) f.push_back({n, 1});
  return f;
}

// The order of 2 mod p from the full factorisation of p - 1.
inline u64 order_of_two(u64 p, const Factorisation& p_minus_1) {
  u64 ord = p - 1;
  for (const auto& [q, e] : p_minus_1) {
    for (u32 i = 0; i < e && pow_mod(2, ord / q, p) == 1; ++i) ord /= q;
  }
  return ord;
}

// True when x is exactly the order of 2 mod p: 2^x = 1 and 2^(x/q) != 1
// for every prime q dividing x (whose primes all divide p - 1).
inline bool is_order_of_two(u64 x, u64 p, const Factorisation& p_minus_1) {
  if (x == 0 || pow_mod(2, x, p) != 1) return false;
  for (const auto& [q, e] : p_minus_1) {
    if (x % q == 0 && pow_mod(2, x / q, p) == 1) return false;
  }
  return true;
}

// The twelve k with their classes n = r (mod d) that switch on the fast
// filter, written out here on their own so the tests do not take them from
// the code under test. n_sets and the residue data are left empty.
struct KnownRow {
  u32 k, r, d;
};
inline constexpr KnownRow known_rows[12] = {
    {4847, 15, 24},  {5359, 6, 8},    {10223, 5, 12},  {19249, 14, 36}, {21181, 20, 24}, {22699, 46, 72},
    {24737, 7, 24},  {27653, 33, 36}, {28433, 1, 24},  {33661, 0, 24},  {55459, 10, 12}, {67607, 3, 8},
};

inline sievedata::SieveTable known_set_table() {
  sievedata::SieveTable table;
  table.n_min = 1000;
  table.n_max = 50000000;
  for (int j = 0; j < 12; ++j) {
    table.k_values[j] = known_rows[j].k;
    table.n_offset[j] = known_rows[j].r;
    table.n_step[j] = known_rows[j].d;
  }
  return table;
}

// The search reads the trial divisors 3..29 from the small-prime table.
inline void ensure_small_primes() {
  if (primes::small_prime_count < 11) primes::build_small_primes(primes::small_prime_limit);
}

}  // namespace search_reference
