// Several modular powers with one common exponent, computed side by side.
//
// A single power is a chain of dependent squarings: each waits for the
// multiplier's full latency, and the multiplier idles most of the time. The
// per-prime test needs many powers that share their exponent (one per slot
// of the filter, one per surviving slot in the Pohlig-Hellman route), so
// walking the bits once for all of them keeps several independent chains in
// flight and the multiplier busy. Same Montgomery steps as modarith::powmod
// (and modarith::pow2mod for powers of 2), so every result is the exact
// residue in [0, p).
#pragma once
#include <bit>

#include "common/types.hpp"
#include "modarith/modmul.hpp"

namespace modarith {
using common::u32;
using common::u64;

// Most powers taken side by side in one call: one per slot and two more
// (the Pohlig-Hellman bases ride along with the slots' targets).
inline constexpr u32 max_parallel_powers = common::slot_count + 2;

// out[i] = bases[i]^e mod p for i < count (count <= max_parallel_powers), for
// any bases (a base of p or more is taken mod p) and any e (e = 0 gives 1).
// `out` may be `bases`.
inline void powmod_many(const modarith::ModContext& m, const u64* bases, u64* out, u32 count, u64 e) {
  if (e == 0) {
    for (u32 i = 0; i < count; ++i) out[i] = 1;
    return;
  }
  u64 base[max_parallel_powers];
  u64 acc[max_parallel_powers];
  for (u32 i = 0; i < count; ++i) base[i] = modarith::montgomery_reduce(m, modarith::mul_wide(bases[i], m.mont_r2));
  for (; (e & 1) == 0; e >>= 1) {
    for (u32 i = 0; i < count; ++i) base[i] = modarith::montgomery_reduce(m, modarith::mul_wide(base[i], base[i]));
  }
  for (u32 i = 0; i < count; ++i) acc[i] = base[i];
  for (e >>= 1; e != 0; e >>= 1) {
    for (u32 i = 0; i < count; ++i) base[i] = modarith::montgomery_reduce(m, modarith::mul_wide(base[i], base[i]));
    if (e & 1) {
      for (u32 i = 0; i < count; ++i) acc[i] = modarith::montgomery_reduce(m, modarith::mul_wide(acc[i], base[i]));
    }
  }
  for (u32 i = 0; i < count; ++i) out[i] = modarith::montgomery_exit(m, acc[i]);
}

// Most powers of 2 taken side by side: a number below 2^64 has at most 15
// distinct prime factors, so the order of 2 never needs more.
inline constexpr u32 max_parallel_powers_of_2 = 16;

// out[i] = 2^exps[i] mod p for i < count (count <= max_parallel_powers_of_2), each
// with its own exponent (0 gives 1). The order of 2 needs one such power per
// prime factor of p - 1; they differ in the exponent only, so the squarings
// run side by side over the bits of the longest one. A lane whose exponent
// is shorter squares its Montgomery 1 until its own top bits arrive. The
// first six bits enter in one step (2^t * 2^64 mod p from R^2 * 2^t, t < 64),
// a set bit later doubles the value by a shift (it stays below 4p, which the
// next squaring accepts).
inline void pow2mod_many(const modarith::ModContext& m, const u64* exps, u64* out, u32 count) {
  u64 all_bits = 0;
  for (u32 i = 0; i < count; ++i) all_bits |= exps[i];
  const int bits = all_bits == 0 ? 0 : 64 - std::countl_zero(all_bits);
  int bit = bits > 6 ? bits - 6 : 0;
  u64 v[max_parallel_powers_of_2];
  for (u32 i = 0; i < count; ++i) {
    v[i] = modarith::montgomery_reduce(m, static_cast<modarith::u128>(m.mont_r2) << (exps[i] >> bit));
  }
  while (--bit >= 0) {
    for (u32 i = 0; i < count; ++i) {
      v[i] = modarith::montgomery_reduce(m, modarith::mul_wide(v[i], v[i]));
      v[i] <<= (exps[i] >> bit) & 1;
    }
  }
  for (u32 i = 0; i < count; ++i) out[i] = modarith::montgomery_exit(m, v[i]);
}

}  // namespace modarith
