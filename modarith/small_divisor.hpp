// Remainders by a fixed small divisor without a division instruction: for
// 64-bit numbers below 2^63 and a divisor q >= 2 below 2^32, set up once.
#pragma once
#include "modarith/int128.hpp"

namespace modarith {
using common::u32;

struct SmallDivisor {
  u64 q = 0;
  u64 reciprocal = 0;  // floor((2^64 - 1) / q)
};

inline SmallDivisor make_small_divisor(u32 q) { return SmallDivisor{q, ~u64{0} / q}; }

// x mod q for x < 2^63: floor(x * reciprocal / 2^64) is floor(x / q) or one
// less (x*reciprocal falls short of x*2^64/q by less than x*(1 + q)/q, below
// 2^64), so one correction makes it exact.
inline u64 remainder(u64 x, const SmallDivisor& d) {
  const u64 rest = x - mulhi(x, d.reciprocal) * d.q;
  return rest >= d.q ? rest - d.q : rest;
}

}  // namespace modarith
