// Several modular powers with one common exponent, computed side by side.
//
// A single power is a chain of dependent squarings: each waits for the
// multiplier's full latency, and the multiplier idles most of the time. The
// per-prime test needs many powers that share their exponent (one per slot
// of the filter, one per surviving slot in the Pohlig-Hellman route), so
// walking the bits once for all of them keeps several independent chains in
// flight and the multiplier busy. Same Montgomery steps as modarith::powmod,
// so every result is the exact residue in [0, p).
#pragma once
#include "common/types.hpp"
#include "modarith/modmul.hpp"

namespace search {
using common::u32;
using common::u64;

// Most powers taken side by side in one call.
inline constexpr u32 max_parallel_powers = 12;

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

}  // namespace search
