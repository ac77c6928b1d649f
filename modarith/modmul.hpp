// Multiplication and powering modulo the prime under test, 10^9 <= p <= 2^50.
//
// Three exact reductions, each chosen for the way its kernel is used (the
// proofs are in docs/arithmetic.md):
// - Barrett (mulmod, sqrmod): a product of two arbitrary
//   factors. q = floor(floor(x / 2^s) * v / 2^64) with v = floor(2^(64+s) / p)
//   is floor(x / p) or one less, so one conditional subtraction gives [0, p).
// - Shoup (mulmod_scaled): a fixed multiplier m with w = floor(m * 2^64 / p)
//   prepared once; q = mulhi(x, w) is again off by at most one.
// - Montgomery (the powers, single and side by side): long chains of squarings,
//   kept in (0, 2p) without any correction until the one conversion back.
// No kernel divides; the divisions happen once per prime in make_mod_context
// and once per multiplier in prepare_scaled. Every result is the fully
// reduced residue in [0, p), identical to (a * b) % p.
//
// The modulus context is a small value the per-prime driver builds once with
// make_mod_context and passes to every kernel; nothing here keeps state
// between calls, so several contexts can be in use side by side.
#pragma once
#include <bit>

#include "common/types.hpp"
#include "modarith/int128.hpp"

namespace modarith {
using common::u32;

// x mod p for x < 2p, with p passed by value: the form for loops that keep
// p in a register of their own.
inline u64 reduce_once(u64 p, u64 x) { return x >= p ? x - p : x; }

// The lazy Shoup step on raw operands: x*mult mod p up to one p, a value in
// [0, 2p), for any x < 2^64, mult < p and w_int = floor(mult * 2^64 / p).
// x*mult - q*p with q = floor(x*w_int / 2^64) is exact modulo 2^64, and q
// is floor(x*mult / p) or one less. Chains feed the result straight back in.
inline u64 shoup_lazy(u64 x, u64 mult, u64 w_int, u64 p) { return x * mult - mulhi(x, w_int) * p; }

struct ModContext {
  u64 p = 0;
  // Barrett: v = floor(2^(64 + shift) / p), shift = bit length of p minus 2.
  u64 barrett_v = 0;
  u32 barrett_shift = 0;
  // Montgomery with R = 2^64: p_inv = p^-1 mod 2^64, r2 = R^2 mod p.
  u64 mont_p_inv = 0;
  u64 mont_r2 = 0;
};

// The context of an odd modulus p, 3 <= p < 2^60 (the search uses
// 10^9 <= p <= 2^50; the Montgomery powering needs 16p < 2^64). Costs
// two divisions; build it once per prime.
inline ModContext make_mod_context(u64 p) {
  ModContext ctx;
  ctx.p = p;
  const u32 bits = 64 - static_cast<u32>(std::countl_zero(p));
  ctx.barrett_shift = bits - 2;
  ctx.barrett_v = divide_wide(u128{1} << (64 + ctx.barrett_shift), p);
  // Newton's iteration doubles the correct low bits: p*p = 1 mod 8 gives 3.
  u64 inv = p;
  for (int i = 0; i < 5; ++i) inv *= 2 - p * inv;
  ctx.mont_p_inv = inv;
  // R^2 mod p = (R mod p)^2 mod p by the Barrett step below (written out:
  // it is defined after this function), instead of a 128-bit division.
  const u64 r1 = (0 - p) % p;  // 2^64 mod p
  const u128 square = mul_wide(r1, r1);
  const u64 q = mulhi(shift_right(square, ctx.barrett_shift), ctx.barrett_v);
  const u64 r2 = static_cast<u64>(square) - q * p;
  ctx.mont_r2 = reduce_once(p, r2);
  return ctx;
}

// x mod p for x < 2p: the one conditional subtraction (a compare and a
// conditional move).
inline u64 reduce_once(const ModContext& m, u64 x) { return reduce_once(m.p, x); }

// x mod p for x < 2^61 * p (Barrett, one correction).
inline u64 reduce_barrett(const ModContext& m, u128 x) {
  const u64 q = mulhi(shift_right(x, m.barrett_shift), m.barrett_v);
  return reduce_once(m, static_cast<u64>(x) - q * m.p);
}

// a*b mod p for a*b < 2^61 * p: any a, b < p, and a 32-bit k (or any
// factor below 2^61) times a residue.
inline u64 mulmod(const ModContext& m, u64 a, u64 b) { return reduce_barrett(m, mul_wide(a, b)); }

// x^2 mod p for x^2 < 2^61 * p (x <= p included: p itself gives 0).
inline u64 sqrmod(const ModContext& m, u64 x) { return reduce_barrett(m, mul_wide(x, x)); }

// Montgomery reduction with the result left in (0, 2p): for x < p * 2^64,
// a value congruent to x / 2^64 mod p. Inputs below 4p keep every product
// of two of them in range (16p < 2^64), so powering chains need no
// correction between steps.
inline u64 montgomery_reduce(const ModContext& m, u128 x) {
  const u64 q = static_cast<u64>(x) * m.mont_p_inv;  // q*p = x mod 2^64
  return static_cast<u64>(x >> 64) + m.p - mulhi(q, m.p);
}

// The residue in [0, p) of a Montgomery value x < 2^64 (x / 2^64 mod p).
inline u64 montgomery_exit(const ModContext& m, u64 x) {
  i64 r = -static_cast<i64>(mulhi(x * m.mont_p_inv, m.p));
  r += (r >> 63) & static_cast<i64>(m.p);
  return static_cast<u64>(r);
}

// Montgomery powering. A single power is a chain of dependent squarings:
// each waits for the multiplier's full latency, and the multiplier idles
// most of the time. The per-prime test needs many powers that share their
// exponent (one per slot of the filter, one per surviving slot in the
// Pohlig-Hellman route) or their base (2, for the order), so the powers are
// written for several at once, walking the bits once for all of them and
// keeping independent chains in flight; a single power is the case of one.
// Every result is the exact residue in [0, p).

// Whether every item's prime (contexts[item.context].p) fits the vector
// lanes (eight 52-bit or four double lanes), which take p < 2^50.
template <class Item>
bool lanes_take_every_prime(const ModContext* contexts, const Item* items, u32 count) {
  for (u32 i = 0; i < count; ++i) {
    if (contexts[items[i].context].p >= common::p_ceiling) return false;
  }
  return true;
}

// Most powers taken side by side in one call: one per slot and two more
// (the Pohlig-Hellman bases ride along with the slots' targets).
inline constexpr u32 max_parallel_powers = common::slot_count + 2;

// out[i] = bases[i]^e mod p for i < count (count <= max_parallel_powers), for
// any bases (a base of p or more is taken mod p) and any e (e = 0 gives 1).
// `out` may be `bases`.
inline void powmod_many(const ModContext& m, const u64* bases, u64* out, u32 count, u64 e) {
  if (e == 0) {
    for (u32 i = 0; i < count; ++i) out[i] = 1;
    return;
  }
  u64 base[max_parallel_powers];
  u64 acc[max_parallel_powers];
  for (u32 i = 0; i < count; ++i) base[i] = montgomery_reduce(m, mul_wide(bases[i], m.mont_r2));
  for (; (e & 1) == 0; e >>= 1) {
    for (u32 i = 0; i < count; ++i) base[i] = montgomery_reduce(m, mul_wide(base[i], base[i]));
  }
  for (u32 i = 0; i < count; ++i) acc[i] = base[i];
  for (e >>= 1; e != 0; e >>= 1) {
    for (u32 i = 0; i < count; ++i) base[i] = montgomery_reduce(m, mul_wide(base[i], base[i]));
    if (e & 1) {
      for (u32 i = 0; i < count; ++i) acc[i] = montgomery_reduce(m, mul_wide(acc[i], base[i]));
    }
  }
  for (u32 i = 0; i < count; ++i) out[i] = montgomery_exit(m, acc[i]);
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
inline void pow2mod_many(const ModContext& m, const u64* exps, u64* out, u32 count) {
  u64 all_bits = 0;
  for (u32 i = 0; i < count; ++i) all_bits |= exps[i];
  const int bits = all_bits == 0 ? 0 : 64 - std::countl_zero(all_bits);
  int bit = bits > 6 ? bits - 6 : 0;
  u64 v[max_parallel_powers_of_2];
  for (u32 i = 0; i < count; ++i) {
    v[i] = montgomery_reduce(m, static_cast<u128>(m.mont_r2) << (exps[i] >> bit));
  }
  while (--bit >= 0) {
    for (u32 i = 0; i < count; ++i) {
      v[i] = montgomery_reduce(m, mul_wide(v[i], v[i]));
      v[i] <<= (exps[i] >> bit) & 1;
    }
  }
  for (u32 i = 0; i < count; ++i) out[i] = montgomery_exit(m, v[i]);
}

// 2^e mod p for any e (2^0 = 1): the one-exponent case of pow2mod_many.
inline u64 pow2mod(const ModContext& m, u64 e) {
  u64 out;
  pow2mod_many(m, &e, &out, 1);
  return out;
}

// a^e mod p for any a (a = p, the residue -0 of an empty slot, gives 0 for
// e > 0) and any e; a^0 = 1 even for a = 0: the one-base case of
// powmod_many.
inline u64 powmod(const ModContext& m, u64 a, u64 e) {
  u64 out;
  powmod_many(m, &a, &out, 1, e);
  return out;
}

// A fixed multiplier prepared for repeated use: mult < p and the exact
// quotient factor w_int = floor(mult * 2^64 / p) that mulmod_scaled uses.
// Build it only with prepare_scaled.
struct ScaledMultiplier {
  u64 mult = 0;
  u64 w_int = 0;
};

// One division; a multiplier of p or more is reduced first. (An estimate
// from the Barrett reciprocal with a correction loop measured slower: the
// loop's count varies from call to call, and the divider is quick for this
// 128-by-64-bit form.)
inline ScaledMultiplier prepare_scaled(const ModContext& m, u64 mult) {
  if (mult >= m.p) mult %= m.p;
  return ScaledMultiplier{mult, divide_wide(u128{mult} << 64, m.p)};
}

// x*mult mod p, up to one p: a value in [0, 2p) congruent to x*mult, for
// any x < 2^64. Chains of giant or baby steps can feed it back into itself
// and fully reduce (reduce_once) only the values they compare.
inline u64 mulmod_scaled_lazy(const ModContext& m, u64 x, const ScaledMultiplier& s) {
  return shoup_lazy(x, s.mult, s.w_int, m.p);
}

// x*mult mod p in [0, p), for any x < 2^64 (Shoup, one correction).
inline u64 mulmod_scaled(const ModContext& m, u64 x, const ScaledMultiplier& s) {
  return reduce_once(m, mulmod_scaled_lazy(m, x, s));
}

}  // namespace modarith
