// Sizes of the single-class scan that follows the Pohlig-Hellman step, shared
// by the scan itself and by sph_idea, which must know them before it commits
// to a prime (it declines when they do not fit the scan's 32-bit n).
#pragma once
#include <cmath>

#include "common/types.hpp"

namespace search {
using common::u32;
using common::u64;

// Giant step of check_factors_sph for the n range width `n_range_width`
// (n_max - n_min) and a common step `a` >= 1 of all classes searched:
// G = t*a with t = floor(sqrt(width / a * 0.1)), at least 1. The factor 0.1
// balances the table (about width/G giant entries) against the walks (G/L
// baby positions per slot): baby steps are the cheaper of the two, since the
// giant table is built once per prime and every slot pays for the walk.
// Formed in 64 bits: for a below 2^32 the result is at most
// max(a, sqrt(0.1 * 2^32 * a)) and never wraps.
inline u64 sph_giant_step(u32 n_range_width, u64 a) {
  const double ratio = static_cast<double>(n_range_width) / static_cast<double>(a) * 0.1;
  u64 t = static_cast<u64>(std::sqrt(ratio));  // truncation toward zero
  if (t <= 1) t = 1;
  return t * a;
}

}  // namespace search
