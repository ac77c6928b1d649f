// Segmented sieve of Eratosthenes over the odd numbers up to the limit,
// writing each prime as its distance to the one before. Runs once at
// start-up.
#include "primes/small_primes.hpp"

#include <algorithm>
#include <bit>
#include <cstdint>

#include "common/types.hpp"

namespace primes {
using common::i64;
using u8 = std::uint8_t;

std::vector<u16> small_prime_gaps;
i32 small_prime_count = 0;

namespace {

// Odd numbers per segment: 2^18 of them in a 32 KiB bit array, so the
// crossing-off stays in the first-level cache.
constexpr i64 segment_odds = i64{1} << 18;
constexpr std::size_t segment_words = static_cast<std::size_t>(segment_odds / 64);

// The odd primes up to `root` by a plain sieve (a few thousand numbers).
std::vector<u32> odd_primes_up_to(i64 root) {
  std::vector<u8> composite(static_cast<std::size_t>(root + 1), 0);
  std::vector<u32> out;
  for (i64 i = 3; i <= root; i += 2) {
    if (composite[static_cast<std::size_t>(i)] != 0) continue;
    out.push_back(static_cast<u32>(i));
    for (i64 j = i * i; j <= root; j += 2 * i) composite[static_cast<std::size_t>(j)] = 1;
  }
  return out;
}

}  // namespace

void build_small_primes(i32 limit) {
  small_prime_gaps.assign(small_prime_capacity, 0);
  small_prime_gaps[0] = 2;
  small_prime_count = 1;

  // The table has one fixed capacity; a limit beyond what it covers is
  // lowered to the largest the capacity holds.
  const i64 top = std::min<i64>(limit, small_prime_max_limit);
  if (top < 3) return;
  i64 root = 1;
  while ((root + 1) * (root + 1) <= top) ++root;
  const std::vector<u32> base_primes = odd_primes_up_to(root);
  // next[b]: the next odd multiple of base_primes[b] to cross off, from its
  // square on (smaller multiples have a smaller prime factor).
  std::vector<i64> next(base_primes.size());
  for (std::size_t b = 0; b < base_primes.size(); ++b) next[b] = i64{base_primes[b]} * base_primes[b];

  // Segments of odd numbers lo, lo + 2, ...: the odd number i has bit
  // (i - lo) / 2 of the segment.
  std::vector<std::uint64_t> composite(segment_words);
  i64 prev = 2;
  for (i64 lo = 3; lo <= top; lo += 2 * segment_odds) {
    const i64 hi = std::min(top, lo + 2 * segment_odds - 2);  // last odd number of the segment, or top
    std::fill(composite.begin(), composite.end(), 0);
    for (std::size_t b = 0; b < base_primes.size(); ++b) {
      const i64 q = base_primes[b];
      i64 j = next[b];
      for (; j <= hi; j += 2 * q) {
        const i64 bit = (j - lo) >> 1;
        composite[static_cast<std::size_t>(bit >> 6)] |= std::uint64_t{1} << (bit & 63);
      }
      next[b] = j;
    }
    const i64 bits = ((hi - lo) >> 1) + 1;
    for (i64 w = 0; w * 64 < bits; ++w) {
      std::uint64_t primes_here = ~composite[static_cast<std::size_t>(w)];
      if ((w + 1) * 64 > bits) primes_here &= (std::uint64_t{1} << (bits - w * 64)) - 1;
      while (primes_here != 0) {
        const i64 i = lo + 2 * (w * 64 + std::countr_zero(primes_here));
        primes_here &= primes_here - 1;
        // Primes up to 2^25 lie less than 2^16 apart, so every gap fits, and
        // there are fewer of them than small_prime_capacity.
        small_prime_gaps[static_cast<std::size_t>(small_prime_count)] = static_cast<u16>(i - prev);
        ++small_prime_count;
        prev = i;
      }
    }
  }
}

}  // namespace primes
