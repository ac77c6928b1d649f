// Sieve of Eratosthenes over the odd numbers up to the limit, writing each
// prime as its distance to the one before. Runs once at start-up.
#include "primes/small_primes.hpp"

#include <algorithm>
#include <cstdint>

#include "common/types.hpp"

namespace primes {
using common::i64;
using u8 = std::uint8_t;

std::vector<u16> small_prime_gaps;
i32 small_prime_count = 0;

void build_small_primes(i32 limit) {
  small_prime_gaps.assign(small_prime_capacity, 0);
  small_prime_gaps[0] = 2;
  small_prime_count = 1;

  // The bit array has one fixed size; a limit beyond what it covers would
  // write past its end, so such a limit is lowered to its last odd number.
  const i64 top = std::min<i64>(limit, small_prime_max_limit);
  // The odd number i has bit (i >> 1) & 7 of byte i >> 4.
  std::vector<u8> composite(small_prime_bitmap_bytes, 0);
  i64 prev = 2;
  for (i64 i = 3; i <= top; i += 2) {
    if ((composite[static_cast<std::size_t>(i >> 4)] >> ((i >> 1) & 7)) & 1) continue;
    // Primes up to 2^25 lie less than 2^16 apart, so every gap fits, and
    // there are fewer of them than small_prime_capacity.
    small_prime_gaps[static_cast<std::size_t>(small_prime_count)] = static_cast<u16>(i - prev);
    ++small_prime_count;
    prev = i;
    // Crossing off from i itself (not i*i) marks only numbers that are
    // crossed anyway; 64-bit steps keep j + 2i from overflowing.
    for (i64 j = i; j <= top; j += 2 * i) {
      composite[static_cast<std::size_t>(j >> 4)] |= static_cast<u8>(1u << ((j >> 1) & 7));
    }
  }
}

}  // namespace primes
