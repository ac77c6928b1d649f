// The 128-bit and rounding primitives behind every kernel of this folder.
// Any compiler extension or intrinsic the arithmetic needs lives here and
// nowhere else, so the kernels themselves stay plain C++.
#pragma once
#include <cmath>

#include "common/types.hpp"

#if defined(__x86_64__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace modarith {
using common::i64;
using common::u64;

__extension__ typedef unsigned __int128 u128;

// High 64 bits of the full 128-bit product a*b.
inline u64 mulhi(u64 a, u64 b) { return static_cast<u64>((static_cast<u128>(a) * b) >> 64); }

// x rounded to the nearest integer, ties to even (the floating-point unit's
// default mode). |x| must be below 2^63.
inline i64 round_to_i64(double x) {
#if defined(__x86_64__) || defined(_M_X64)
  return _mm_cvtsd_si64(_mm_set_sd(x));
#else
  return static_cast<i64>(std::nearbyint(x));
#endif
}

}  // namespace modarith
