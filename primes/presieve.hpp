// The odd multiples of 3, 5, 7, 11 and 13 repeat with period
// 2 * 15015 in the integers, i.e. every 15015 bits of a segment. Copying a
// precomputed pattern into a segment replaces crossing off these five primes,
// which alone would be more than a third of all crossings.
#pragma once
#include <span>

#include "common/types.hpp"

namespace primes {
using common::u32;
using common::u64;

// Number of table entries the pattern stands for: the primes 3..13.
inline constexpr u32 presieved_prime_count = 5;

// Overwrites words with the pattern for the odd numbers base + 2i + 1,
// i < 64 * words.size(); a bit is set when its number is an odd multiple of
// one of 3..13 (including the prime itself). base even.
void presieve_fill(u64 base, std::span<u64> words);

}  // namespace primes
