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
// On x86-64 the processor divides 128 by 64 bits in one instruction when the
// quotient fits 64 bits, which the precondition guarantees; the compiler's
// u128 division is a library call that must also handle wider quotients.
inline u64 divide_wide(u128 x, u64 d) {
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
  u64 quotient = static_cast<u64>(x);
  u64 remainder = static_cast<u64>(x >> 64);
  __asm__("divq %[d]" : "+a"(quotient), "+d"(remainder) : [d] "rm"(d) : "cc");
  return quotient;
#else
  return static_cast<u64>(x / d);
#endif
}

}  // namespace modarith
