// Legendre symbol of a small negative number modulo the prime under test, by
// the binary (Stein-style) Jacobi method: only shifts, subtractions and one
// 64-by-32-bit remainder, so it is much cheaper than the modular power it
// saves for every slot whose value is a non-residue.
#pragma once
#include <bit>

#include "common/types.hpp"
#include "search/known_table.hpp"

namespace search {
using common::i64;
using common::u64;

// (a/p) for an odd prime p and a = -m or a = -2m with m odd and
// 1 <= m < 2^31. Returns +1 or -1, or 0 when p divides a.
//
// Sign flips are counted and the symbol is -1 when their number is odd:
// halving an even a costs (2/p); then (a/p) = (-1/p)(m/p) and reciprocity
// turns (m/p) into (p mod m / m), the two sign terms together being -1
// exactly when p = 3 (mod 4) and m = 1 (mod 4), i.e. when bit 1 of p AND a
// (a in two's complement) is set. The rest is the binary Jacobi loop on
// (x/m): each factor 2 of x costs (2/m), each swap of two numbers both = 3
// (mod 4) costs one flip, and the loop ends at x = m = 1.
inline int legendre_negative(i32 a, u64 p) {
  u32 flips = 0;
  if ((a & 1) == 0) {
    a >>= 1;  // arithmetic shift: a stays negative and becomes odd
    flips += jacobi2_parity[p & 7];
  }
  flips += static_cast<u32>((p & static_cast<u64>(static_cast<i64>(a))) >> 1) & 1;
  u32 m = static_cast<u32>(-a);
  u32 x = static_cast<u32>(p % m);
  if (x == 0) {
    if (m != 1) return 0;
    x = 1;  // (p mod 1 / 1) = 1: the flips so far decide
  }
  // The comparison of x and m is unpredictable, so the swap is done with
  // an all-ones-or-zero mask (the compiler turned selects into a branch that
  // mispredicted about every other round) and the only branch is the exit.
  for (;;) {
    const int twos = std::countr_zero(x);
    x >>= twos;
    flips ^= static_cast<u32>(twos) & jacobi2_parity[m & 7];
    if (x == m) break;
    const u32 below = x < m ? 1 : 0;
    const u32 mask = 0u - below;
    flips ^= below & ((m & x) >> 1);
    const u32 low = m ^ ((x ^ m) & mask);  // the smaller of x and m
    const u32 high = x ^ m ^ low;
    m = low;
    x = high - low;  // both odd: the difference is even and positive
  }
  return (flips & 1) != 0 ? -1 : 1;
}

}  // namespace search
