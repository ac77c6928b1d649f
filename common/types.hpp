// Fixed-width number types shared by every folder.
// A prime p, range ends, intervals and counters are 64-bit; k, n, moduli and
// residue classes of n are 32-bit; residues mod p are 64-bit values in [0, p).
#pragma once
#include <cstdint>

namespace common {
using u16 = std::uint16_t;
using u32 = std::uint32_t;
using u64 = std::uint64_t;
using i16 = std::int16_t;
using i32 = std::int32_t;
using i64 = std::int64_t;

// The table of multipliers always has twelve slots, whatever the data file holds.
inline constexpr int slot_count = 12;

// 2^50: the largest p the search's arithmetic is exact for.
inline constexpr u64 p_ceiling = 1125899906842624ULL;
// 10^9: below this the sieving primes could lie inside a segment.
inline constexpr u64 p_floor = 1000000000ULL;
}  // namespace common
