// The 128-bit primitives behind every kernel of this folder.
// Any compiler extension or intrinsic the arithmetic needs lives here and
// nowhere else, so the kernels themselves stay plain C++.
#pragma once
#include "common/types.hpp"

namespace modarith {
using common::i64;
using common::u64;

__extension__ typedef unsigned __int128 u128;

// The full 128-bit product a*b (one 64x64 -> 128 multiply).
inline u128 mul_wide(u64 a, u64 b) { return static_cast<u128>(a) * b; }

// High 64 bits of the full 128-bit product a*b.
inline u64 mulhi(u64 a, u64 b) { return static_cast<u64>(mul_wide(a, b) >> 64); }

// Bits shift .. shift+63 of x (shift < 64), for x < 2^(64 + shift).
inline u64 shift_right(u128 x, unsigned shift) { return static_cast<u64>(x >> shift); }

// floor(x / d) for a 128-bit x with floor(x / d) < 2^64 (one division).
inline u64 divide_wide(u128 x, u64 d) { return static_cast<u64>(x / d); }

}  // namespace modarith
