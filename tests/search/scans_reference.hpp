// Reference arithmetic and fixture builders for the tests of the scans, the
// Pohlig-Hellman route and the search oracle. Everything here is plain
// 128-bit arithmetic written for the tests: it shares no code with the
// search or its kernels, so a fault there cannot hide a fault here.
#pragma once
#include <algorithm>
#include <cstdint>
#include <numeric>
#include <set>
#include <unordered_map>
#include <utility>
#include <vector>

#include "modarith/int128.hpp"
#include "tests/search/reference_numbers.hpp"
#include "sievedata/sieve_table.hpp"

namespace scans_reference {
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using modarith::u128;

// The same 128-bit reference arithmetic as the per-prime tests use.
using search_reference::is_prime;
using search_reference::mul_mod;
using search_reference::pow_mod;

// p | k*2^n + 1, decided directly.
inline bool divides(u64 p, u64 k, u64 n) { return (mul_mod(k % p, pow_mod(2, n, p), p) + 1) % p == 0; }

// Prime factors of n with multiplicity, by trial division (n up to ~10^13,
// or any n whose cofactor above 10^7 is prime).
inline std::vector<u64> factorise(u64 n) {
  std::vector<u64> f;
  for (u64 q = 2; q * q <= n && q < 10000000; q += (q == 2 ? 1 : 2)) {
    while (n % q == 0) {
      f.push_back(q);
      n /= q;
    }
  }
  if (n > 1) f.push_back(n);
  return f;
}

// Exact order of 2 mod the prime p (p - 1 must factor by factorise).
inline u64 order_of_two(u64 p) {
  u64 ord = p - 1;
  for (u64 q : factorise(p - 1)) {
    if (pow_mod(2, ord / q, p) == 1) ord /= q;
  }
  return ord;
}

// The k < p with p | k*2^n+1: k = -2^(-n) mod p.
inline u64 k_for(u64 p, u64 n) {
  const u64 inv = pow_mod(pow_mod(2, n, p), p - 2, p);
  return inv == 0 ? 0 : p - inv;
}

// The first n = r (mod d), n >= from, for which k_for(p, n) lies in
// [k_low, 2^32); returns {n, k}. For p above 2^32 about p / 2^32 classes
// members are tried, each one halving.
inline std::pair<u64, u64> craft_pair(u64 p, u64 from, u64 r, u64 d, u64 k_low = 1) {
  u64 n = from + (r + d - from % d) % d;
  u64 k = k_for(p, n);
  const u64 step = pow_mod(pow_mod(2, d, p), p - 2, p);  // 2^(-d)
  while (k < k_low || k > 0xffffffffULL) {
    n += d;
    k = p - mul_mod(p - k, step, p);
  }
  return {n, k};
}

// Fills slot j with multiplier k and the n of `ns` (ascending, distinct) and
// derives the residue data: d = gcd of the differences (a single n: d = 1,
// r = 0), r = last n mod d, then the multiplier m in 1..49 with the largest
// ratio m / (classes of n mod m*d), at most 10 classes, smallest m on ties.
inline void set_slot(sievedata::SieveTable& table, int j, u32 k, const std::vector<u32>& ns) {
  table.k_values[j] = k;
  table.n_sets[j] = sievedata::NSet(ns.begin(), ns.end());
  u32 d = 0;
  for (std::size_t i = 1; i < ns.size(); ++i) d = std::gcd(d, ns[i] - ns[i - 1]);
  u32 r = 0;
  if (d == 0) {
    d = 1;
  } else {
    r = ns.back() % d;
  }
  table.n_step[j] = d;
  table.n_offset[j] = r;
  double best = 0.0;
  u32 best_m = 1;
  for (u32 m = 1; m <= 49; ++m) {
    std::set<u64> classes;
    for (u32 n : ns) classes.insert(n % (u64{m} * d));
    if (classes.size() > 10) continue;
    const double ratio = static_cast<double>(m) / static_cast<double>(classes.size());
    if (ratio > best + 1e-10) {
      best = ratio;
      best_m = m;
    }
  }
  const u32 modulus = best_m * d;
  std::set<u32> residues;
  for (u32 n : ns) residues.insert(n % modulus);
  table.n_modulus[j] = modulus;
  table.n_residue_count[j] = static_cast<u32>(residues.size());
  std::copy(residues.begin(), residues.end(), table.n_residues[j].begin());
}

// Sets slot j's class data directly, for scans called by hand: n_modulus M
// with the given residues (as the loader would have stored them), step d and
// offset r. n_sets stays empty: the scans never read it.
inline void set_classes(sievedata::SieveTable& table, int j, u32 k, u32 d, u32 r, u32 M,
                        const std::vector<u32>& residues) {
  table.k_values[j] = k;
  table.n_step[j] = d;
  table.n_offset[j] = r;
  table.n_modulus[j] = M;
  table.n_residue_count[j] = static_cast<u32>(residues.size());
  std::copy(residues.begin(), residues.end(), table.n_residues[j].begin());
}

// Every n in [lo, hi] with n = r (mod M) and p | k*2^n+1, by stepping through
// the class (one 128-bit product per member).
inline std::vector<u64> brute_force_class(u64 p, u64 k, u64 r, u64 M, u64 lo, u64 hi) {
  std::vector<u64> found;
  u64 n = lo + (r + M - lo % M) % M;
  if (n > hi) return found;
  u64 x = mul_mod(k % p, pow_mod(2, n, p), p);
  const u64 step = pow_mod(2, M, p);
  for (; n <= hi; n += M) {
    if (x == p - 1) found.push_back(n);
    x = mul_mod(x, step, p);
  }
  return found;
}

}  // namespace scans_reference
