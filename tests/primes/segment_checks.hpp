// Checks of one sieved segment against the independent references: the
// primes of the segment, the largest sieving prime, and every factor list.
#pragma once
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "primes/prime_segment.hpp"
#include "tests/primes/reference.hpp"

namespace primes_test {
using primes_reference::u64;

// Primality of every number up to 2^25, for the listed q.
inline bool is_small_prime(u64 q) {
  static const std::vector<bool> flags = [] {
    std::vector<bool> f(33554433, false);
    for (u64 p : primes_reference::primes_up_to(33554432)) f[p] = true;
    return f;
  }();
  return q < flags.size() && flags[q];
}

// The last sieving prime of a segment ending at end: the smallest prime
// whose square reaches end, but at most the table's last prime.
inline u64 expected_last_sieving_prime(u64 end) {
  u64 q = primes_reference::isqrt(end - 1) + 1;
  while (!primes_reference::is_prime(q)) ++q;
  return std::min<u64>(q, 33554393);
}

// The list the segment must hold for the prime p.
inline std::vector<u64> expected_factors(u64 p, u64 last_sieving_prime) {
  std::vector<u64> out;
  for (u64 q : primes_reference::distinct_prime_factors(p - 1))
    if (q >= 31 && q <= last_sieving_prime) out.push_back(q);
  return out;
}

inline std::vector<u64> listed(const primes::PrimeSegment& segment, primes::u32 i) {
  const auto f = segment.factors(i);
  return {f.begin(), f.end()};
}

// Full check of a sieved segment: its primes equal the reference sieve's;
// every list holds only primes q in [31, L] dividing p - 1, ascending; every
// q of `probes` (those <= L) is listed exactly for the p = 1 (mod q); and the
// lists of every `sample_step`-th prime equal the complete factorisation.
inline void expect_segment_correct(const primes::PrimeSegment& segment, const std::vector<u64>& probes,
                                   std::size_t sample_step) {
  const u64 base = segment.base();
  const u64 last = expected_last_sieving_prime(base + primes::segment_span);
  EXPECT_EQ(segment.last_sieving_prime(), last) << "base " << base;

  const std::vector<u64> reference = primes_reference::primes_between(base + 1, base + primes::segment_span - 1);
  std::size_t next = 0;
  for (primes::u32 i = 0; i < primes::segment_odd_count; ++i) {
    const u64 n = base + 2 * u64{i} + 1;
    const bool prime = next < reference.size() && reference[next] == n;
    ASSERT_EQ(segment.is_composite(i), !prime) << "number " << n;
    if (!prime) {
      ASSERT_TRUE(segment.factors(i).empty()) << "composite " << n << " has a list";
      continue;
    }
    const std::vector<u64> list = listed(segment, i);
    ASSERT_TRUE(std::is_sorted(list.begin(), list.end()) &&
                std::adjacent_find(list.begin(), list.end()) == list.end())
        << "p " << n;
    for (u64 q : list) {
      ASSERT_TRUE(q >= 31 && q <= last && (n - 1) % q == 0 && is_small_prime(q)) << "p " << n << " q " << q;
    }
    for (u64 q : probes) {
      if (q > last) continue;
      const bool divides = (n - 1) % q == 0;
      ASSERT_EQ(std::find(list.begin(), list.end(), q) != list.end(), divides) << "p " << n << " q " << q;
    }
    if (next % sample_step == 0) {
      ASSERT_EQ(list, expected_factors(n, last)) << "p " << n;
    }
    ++next;
  }
  EXPECT_EQ(next, reference.size());
  EXPECT_EQ(segment.prime_count(), reference.size());
}

}  // namespace primes_test
