// The 128-bit and rounding primitives behind every kernel of this folder.
// Any compiler extension or intrinsic the arithmetic needs lives here and
// nowhere else, so the kernels themselves stay plain C++.
#pragma once
#include <cmath>

#include "common/types.hpp"

#if (defined(__x86_64__) || defined(_M_X64)) && !defined(QUARROW_SCALAR_ONLY)
#include <emmintrin.h>
#endif

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

// x as a double, for x < 2^63 (the signed conversion is one instruction,
// the unsigned one a branch and two).
inline double to_double(u64 x) { return static_cast<double>(static_cast<i64>(x)); }

// x rounded to the nearest integer, ties to even (the floating-point unit's
// default mode). |x| must be below 2^63.
inline i64 round_to_i64(double x) {
#if (defined(__x86_64__) || defined(_M_X64)) && !defined(QUARROW_SCALAR_ONLY)
  return _mm_cvtsd_si64(_mm_set_sd(x));
#else
  return static_cast<i64>(std::nearbyint(x));
#endif
}

}  // namespace modarith
