// Multiplication and powering modulo the prime under test, 10^9 <= p <= 2^50.
//
// Every product is reduced by the reciprocal method: a double-precision
// estimate E of a*b/p is rounded to an integer q, and r = a*b - q*p is formed
// in wrapping 64-bit arithmetic. While |E - a*b/p| < 1/2, q is floor(a*b/p)
// or one more, so r lies in [-p, p) and a single branch-free correction gives
// the exact residue in [0, p). With a 53-bit significand the estimate suffers
// at most three roundings, an error below 3 * 2^-53 * (a*b/p); for
// a*b < 2^50 * p that is below 0.375. docs/arithmetic.md has the details.
//
// The modulus context is a small value the per-prime driver builds once and
// passes to every kernel; nothing here keeps state between calls.
#pragma once
#include "common/types.hpp"
#include "modarith/int128.hpp"

namespace modarith {
using common::u32;

struct ModContext {
  u64 p = 0;
  double p_recip = 0.0;  // 1.0 / p, rounded once per prime
};

inline ModContext make_mod_context(u64 p) {
  ModContext ctx;
  ctx.p = p;
  ctx.p_recip = 1.0 / static_cast<double>(p);
  return ctx;
}

// Exact residue of a*b given the low 64 bits of a*b and an estimate of a*b/p
// within 1/2 of the truth. Result in [0, p).
inline u64 reduce_estimate(u64 p, u64 product_low, double estimate) {
  const i64 q = round_to_i64(estimate);
  i64 r = static_cast<i64>(product_low - static_cast<u64>(q) * p);
  r += (r >> 63) & static_cast<i64>(p);
  return static_cast<u64>(r);
}

// a*b mod p for a*b < 2^50 * p (any a, b < p; also a small k times a residue).
inline u64 mulmod(const ModContext& m, u64 a, u64 b) {
  const double estimate = (static_cast<double>(a) * m.p_recip) * static_cast<double>(b);
  return reduce_estimate(m.p, a * b, estimate);
}

// x^2 mod p for x <= p.
inline u64 sqrmod(const ModContext& m, u64 x) {
  const double xd = static_cast<double>(x);
  return reduce_estimate(m.p, x * x, (xd * xd) * m.p_recip);
}

// 2x mod p for x < p: one subtraction and a branch-free add-back.
inline u64 dblmod(const ModContext& m, u64 x) {
  i64 d = static_cast<i64>(2 * x - m.p);
  d += (d >> 63) & static_cast<i64>(m.p);
  return static_cast<u64>(d);
}

// The paired step of right-to-left powering: acc = acc*base and
// base = base^2, both from the old base; both results exact in [0, p).
inline void sqr_mul_pair(const ModContext& m, u64& base, u64& acc) {
  const double bd = static_cast<double>(base);
  const double t = bd * m.p_recip;
  const u64 new_acc = reduce_estimate(m.p, acc * base, t * static_cast<double>(acc));
  base = reduce_estimate(m.p, base * base, t * bd);
  acc = new_acc;
}

// 2^e mod p, left to right; the base's multiplications are doublings.
inline u64 pow2mod(const ModContext& m, u64 e) {
  if (e == 0) return 1;
  int bit = 63 - __builtin_clzll(e);
  u64 v = 2;
  while (--bit >= 0) {
    v = sqrmod(m, v);
    if ((e >> bit) & 1) v = dblmod(m, v);
  }
  return v;
}

// a^e mod p for a <= p (a = p, from an empty slot's -0, gives 0 for e > 0),
// right to left; the first multiplication into 1 is a copy.
inline u64 powmod(const ModContext& m, u64 a, u64 e) {
  u64 base = a >= m.p ? a - m.p : a;
  while (e != 0 && (e & 1) == 0) {
    base = sqrmod(m, base);
    e >>= 1;
  }
  if (e == 0) return 1;
  u64 acc = base;
  e >>= 1;
  if (e == 0) return acc;
  base = sqrmod(m, base);
  // From here base = a^(2^i) for the bit i under e's lowest bit.
  while (e != 0) {
    if (e & 1) {
      sqr_mul_pair(m, base, acc);
    } else {
      base = sqrmod(m, base);
    }
    e >>= 1;
  }
  return acc;
}

// A fixed multiplier prepared for repeated use: w approximates mult/p.
struct ScaledMultiplier {
  u64 mult = 0;
  double w = 0.0;
};

// w = mult * (1/p), one rounding on top of the reciprocal's.
inline ScaledMultiplier prepare_scaled(const ModContext& m, u64 mult) {
  return ScaledMultiplier{mult, static_cast<double>(mult) * m.p_recip};
}

// w = mult / p in one correctly rounded division.
inline ScaledMultiplier prepare_scaled_div(const ModContext& m, u64 mult) {
  return ScaledMultiplier{mult, static_cast<double>(mult) / static_cast<double>(m.p)};
}

// x*mult mod p for x, mult < p, with one floating multiply for the estimate.
inline u64 mulmod_scaled(const ModContext& m, u64 x, const ScaledMultiplier& s) {
  return reduce_estimate(m.p, x * s.mult, static_cast<double>(x) * s.w);
}

}  // namespace modarith
