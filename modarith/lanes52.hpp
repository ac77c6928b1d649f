// Modular arithmetic on eight 52-bit lanes (AVX-512 IFMA), for p < 2^50.
//
// One multiply-add instruction gives, for eight 64-bit lanes, the low 52 bits
// or the next 52 bits of the 104-bit product of the lanes' low 52 bits. Every
// p < 2^50 and every value below 2p < 2^51 fits a lane, so the scalar Shoup
// and Montgomery forms carry over with 2^52 in place of 2^64; the proofs are
// in docs/arithmetic.md. Every function here needs the processor features of
// QUARROW_LANES52_TARGET: callers compile with that attribute and call only
// after a run-time check of the processor.
#pragma once
#include "modarith/modmul.hpp"

// A scalar-only build (QUARROW_SCALAR_ONLY) leaves all of it out.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(QUARROW_SCALAR_ONLY)
#define QUARROW_LANES52 1
#define QUARROW_LANES52_TARGET __attribute__((target("avx512f,avx512vl,avx512ifma")))
// GCC 12's AVX-512 intrinsics start from an "undefined" vector that its own
// flow analysis then reports as uninitialised; the warning is about the
// compiler's header, not about values of this project.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#pragma GCC diagnostic ignored "-Wuninitialized"
#endif
#include <immintrin.h>
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace modarith {

inline constexpr u64 low_52_bits = (u64{1} << 52) - 1;

// The quotient factor of the 52-bit Shoup step, floor(mult * 2^52 / p), from
// a prepared multiplier: the 64-bit factor shifted right by 12 (a floor of a
// floor), no division.
inline u64 shoup_52(const ScaledMultiplier& f) { return f.w_int >> 12; }

// The same for a multiplier mult < p prepared only for the lanes (one division).
inline u64 shoup_52(const ModContext& m, u64 mult) { return divide_wide(static_cast<u128>(mult) << 52, m.p); }

// x*mult mod p up to one p in every lane, for x < 2^52, mult < p < 2^50 and
// w = shoup_52(mult): q = floor(x*w / 2^52) makes x*mult - q*p a value in
// [0, 2p), which the low 52 bits of the two products give exactly (2p <
// 2^52). `mask` holds low_52_bits in every lane.
QUARROW_LANES52_TARGET inline __m512i lanes_shoup(__m512i x, __m512i mult, __m512i w, __m512i p, __m512i mask) {
  const __m512i zero = _mm512_setzero_si512();
  const __m512i q = _mm512_madd52hi_epu64(zero, x, w);
  const __m512i product = _mm512_madd52lo_epu64(zero, x, mult);
  const __m512i correction = _mm512_madd52lo_epu64(zero, q, p);
  return _mm512_and_si512(_mm512_sub_epi64(product, correction), mask);
}

// The residue of each lane's value x in [0, 2p): x - p wraps above 2^63 when
// x < p, so the unsigned minimum picks the reduced one.
QUARROW_LANES52_TARGET inline __m512i lanes_reduce(__m512i x, __m512i p) {
  return _mm512_min_epu64(x, _mm512_sub_epi64(x, p));
}

// x*y / 2^52 mod p in (0, 2p) in every lane, for x, y < 2p and p < 2^50, with
// p_inv = p^-1 mod 2^52 in every lane: with mq = lo(x*y) * p_inv mod 2^52 the
// low halves of x*y and mq*p agree, so (x*y - mq*p) / 2^52 is the difference
// of the high halves, in (-p, p); adding p keeps every lane positive and
// below 2p, a valid input again.
QUARROW_LANES52_TARGET inline __m512i lanes_montgomery(__m512i x, __m512i y, __m512i p, __m512i p_inv) {
  const __m512i zero = _mm512_setzero_si512();
  const __m512i lo = _mm512_madd52lo_epu64(zero, x, y);
  const __m512i hi = _mm512_madd52hi_epu64(zero, x, y);
  const __m512i mq = _mm512_madd52lo_epu64(zero, lo, p_inv);
  const __m512i mh = _mm512_madd52hi_epu64(zero, mq, p);
  return _mm512_add_epi64(_mm512_sub_epi64(hi, mh), p);
}

// 2^104 mod p, the factor that brings a residue into the 2^52 form by one
// lanes_montgomery: (2^128 mod p) * 2^40 / 2^64, exact since
// r2 * 2^40 < p * 2^64.
inline u64 lanes_entry_factor(const ModContext& m) {
  return reduce_once(m, montgomery_reduce(m, static_cast<u128>(m.mont_r2) << 40));
}

// What a lane working modulo its own prime p < 2^50 needs: p, p^-1 mod 2^52,
// 1 in the 2^52 form (2^52 mod p, one Barrett step) and the entry factor.
struct LanePrime {
  u64 p = 0;
  u64 p_inv = 0;
  u64 one = 0;
  u64 entry = 0;
};

inline LanePrime lane_prime(const ModContext& m) {
  return LanePrime{m.p, m.mont_p_inv & low_52_bits, reduce_barrett(m, u128{1} << 52), lanes_entry_factor(m)};
}

// The constants of contexts[i], computed once for a run of requests with the
// same i (the items of one prime stand together).
class LanePrimes {
 public:
  explicit LanePrimes(const ModContext* contexts) : contexts_(contexts) {}
  const LanePrime& of(u32 context) {
    if (context != last_) {
      last_ = context;
      value_ = lane_prime(contexts_[context]);
    }
    return value_;
  }

 private:
  const ModContext* contexts_;
  u32 last_ = ~u32{0};
  LanePrime value_;
};

}  // namespace modarith

#endif
