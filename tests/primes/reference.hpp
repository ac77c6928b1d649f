// Independent references for the candidate-prime tests: a plain sieve over a
// window, deterministic Miller-Rabin and a Pollard-rho factorisation, all in
// the simplest form, sharing nothing with the code under test.
#pragma once
#include <algorithm>
#include <cstdint>
#include <vector>

#include "modarith/int128.hpp"

namespace primes_reference {
using u64 = std::uint64_t;
using modarith::u128;

inline u64 mul_mod(u64 a, u64 b, u64 m) { return static_cast<u64>(static_cast<u128>(a) * b % m); }

inline u64 pow_mod(u64 b, u64 e, u64 m) {
  u64 r = 1 % m;
  for (b %= m; e; e >>= 1, b = mul_mod(b, b, m))
    if (e & 1) r = mul_mod(r, b, m);
  return r;
}

// Deterministic for every 64-bit n (bases 2..37).
inline bool is_prime(u64 n) {
  if (n < 2) return false;
  for (u64 p : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}) {
    if (n % p == 0) return n == p;
  }
  u64 d = n - 1;
  int s = 0;
  while ((d & 1) == 0) d >>= 1, ++s;
  for (u64 a : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29, 31, 37}) {
    u64 x = pow_mod(a, d, n);
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

// Primes up to limit by a byte-per-number sieve.
inline std::vector<u64> primes_up_to(u64 limit) {
  std::vector<bool> composite(limit + 1, false);
  std::vector<u64> out;
  for (u64 i = 2; i <= limit; ++i) {
    if (composite[i]) continue;
    out.push_back(i);
    for (u64 j = i * i; j <= limit; j += i) composite[j] = true;
  }
  return out;
}

inline u64 isqrt(u64 n) {
  u64 r = static_cast<u64>(__builtin_sqrt(static_cast<double>(n)));
  while (r * r > n) --r;
  while ((r + 1) * (r + 1) <= n) ++r;
  return r;
}

// Primes in [lo, hi] by crossing off the multiples of every prime up to sqrt(hi).
inline std::vector<u64> primes_between(u64 lo, u64 hi) {
  std::vector<bool> composite(hi - lo + 1, false);
  for (u64 p : primes_up_to(isqrt(hi) + 1)) {
    u64 start = std::max(p * p, (lo + p - 1) / p * p);
    for (u64 j = start; j <= hi; j += p) composite[j - lo] = true;
  }
  std::vector<u64> out;
  for (u64 n = std::max<u64>(lo, 2); n <= hi; ++n)
    if (!composite[n - lo]) out.push_back(n);
  return out;
}

inline u64 gcd(u64 a, u64 b) {
  while (b) {
    u64 t = a % b;
    a = b;
    b = t;
  }
  return a;
}

// A nontrivial factor of the odd composite n (Pollard rho, Floyd cycle).
inline u64 rho_factor(u64 n) {
  for (u64 c = 1;; ++c) {
    u64 x = 2, y = 2, d = 1;
    while (d == 1) {
      x = (mul_mod(x, x, n) + c) % n;
      y = (mul_mod(y, y, n) + c) % n;
      y = (mul_mod(y, y, n) + c) % n;
      d = gcd(x > y ? x - y : y - x, n);
    }
    if (d != n) return d;
  }
}

// The distinct prime factors of n, ascending.
inline std::vector<u64> distinct_prime_factors(u64 n) {
  std::vector<u64> out;
  for (u64 p = 2; p < 1000 && p * p <= n; ++p) {
    if (n % p) continue;
    out.push_back(p);
    while (n % p == 0) n /= p;
  }
  std::vector<u64> pending{n};
  while (!pending.empty()) {
    u64 m = pending.back();
    pending.pop_back();
    if (m == 1) continue;
    if (is_prime(m)) {
      out.push_back(m);
      continue;
    }
    u64 d = rho_factor(m);
    pending.push_back(d);
    pending.push_back(m / d);
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

}  // namespace primes_reference
