// The small primes up to 2^25, kept as 16-bit gaps: the sieving primes of
// every segment and the trial divisors 3..29 of the order computation.
#pragma once
#include <vector>

#include "common/types.hpp"

namespace primes {
using common::i32;
using common::u16;
using common::u32;

// The program's bound: 2^25, enough for segments up to about 2^50.
inline constexpr i32 small_prime_limit = 33554432;
// Room for the table's entries (2063689 are written for the bound 2^25).
inline constexpr u32 small_prime_capacity = 2097152;
// The largest limit the table is built for, 33554447 (one bit per odd
// number in 0x200001 bytes, as the first build of the table had it): the
// capacity and the 16-bit gaps are known to hold up to it, so larger limits
// are cut down to that.
inline constexpr u32 small_prime_bitmap_bytes = 0x200001;
inline constexpr i32 small_prime_max_limit = static_cast<i32>(small_prime_bitmap_bytes) * 16 - 1;

// Entry 0 holds 2; entry k >= 1 holds prime_k - prime_(k-1), so prime_k is
// 2 plus the sum of entries 1..k. Sized small_prime_capacity; the first
// small_prime_count entries are valid. Built once at start-up, read-only
// afterwards (shared by every search).
extern std::vector<u16> small_prime_gaps;
extern i32 small_prime_count;

// Fills the table with the primes up to min(limit, small_prime_max_limit);
// the program passes small_prime_limit. May be called again (it rebuilds).
void build_small_primes(i32 limit);

}  // namespace primes
