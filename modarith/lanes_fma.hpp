// Modular arithmetic on four double-precision lanes (AVX2 + FMA), for p < 2^50.
//
// Processors without AVX-512 IFMA still multiply four doubles per
// instruction, and a fused multiply-add gives the exact low part of a
// product: h = x*y rounded and l = fma(x, y, -h) satisfy x*y = h + l
// exactly. Every residue below 2^50 is an exact double, so a product of two
// residues (below 2^100) is held exactly as the pair (h, l). A quotient
// estimate q = round(x * m/p) (a fixed multiplier, the Shoup form) or
// q = round(h * 1/p) (two varying factors) is off by less than one, and
// r = (h - q*p) + l is then exact in both steps and lies in (-p, p). The
// lanes keep this signed form along their chains; only values that leave
// the lanes are brought into [0, p). The proofs are in docs/arithmetic.md.
//
// The lanes rely on the floating-point environment's default (round to
// nearest), which the program never changes. Every function here needs the
// processor features of QUARROW_LANES_FMA_TARGET: callers compile with that
// attribute and call only after a run-time check of the processor.
#pragma once
#include <bit>

#include "modarith/modmul.hpp"

// A scalar-only build (QUARROW_SCALAR_ONLY) leaves all of it out.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__)) && !defined(QUARROW_SCALAR_ONLY)
#define QUARROW_LANES_FMA 1
#define QUARROW_LANES_FMA_TARGET __attribute__((target("avx2,fma")))
#include <immintrin.h>

namespace modarith {

// 2^52 as a double and as its bit pattern: the double 2^52 + x, for an
// integer 0 <= x < 2^52, has the bits of 2^52 with x in its low 52 bits.
inline constexpr double lanes_fma_two_52 = 4503599627370496.0;
inline constexpr u64 lanes_fma_two_52_bits = 0x4330000000000000ULL;

// The constant of a fixed multiplier mult < p: mult/p rounded (one
// correctly rounded division; both operands are exact doubles).
inline u64 lanes_fma_factor(const ModContext& m, u64 mult) {
  return std::bit_cast<u64>(static_cast<double>(mult) / static_cast<double>(m.p));
}

// Integers 0 <= x < 2^52 in every lane, as doubles (exact).
QUARROW_LANES_FMA_TARGET inline __m256d lanes_fma_from_u64(__m256i x) {
  const __m256i magic = _mm256_set1_epi64x(static_cast<long long>(lanes_fma_two_52_bits));
  return _mm256_sub_pd(_mm256_castsi256_pd(_mm256_or_si256(x, magic)), _mm256_set1_pd(lanes_fma_two_52));
}

// Integer-valued doubles 0 <= x < 2^52 in every lane, as integers (exact).
QUARROW_LANES_FMA_TARGET inline __m256i lanes_fma_to_u64(__m256d x) {
  const __m256d biased = _mm256_add_pd(x, _mm256_set1_pd(lanes_fma_two_52));
  return _mm256_xor_si256(_mm256_castpd_si256(biased),
                          _mm256_set1_epi64x(static_cast<long long>(lanes_fma_two_52_bits)));
}

// r = x*mult - q*p in (-p, p), congruent to x*mult, for integers |x| < p,
// 0 <= mult < p < 2^50 and w = mult/p rounded (lanes_fma_factor): q =
// round(x*w) is within 3/4 + 2^-56 of x*mult/p, and (h - q*p) + l is formed
// without rounding. Chains feed r straight back in.
QUARROW_LANES_FMA_TARGET inline __m256d lanes_fma_shoup(__m256d x, __m256d mult, __m256d w, __m256d p) {
  const __m256d h = _mm256_mul_pd(x, mult);
  const __m256d l = _mm256_fmsub_pd(x, mult, h);
  const __m256d q = _mm256_round_pd(_mm256_mul_pd(x, w), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  return _mm256_add_pd(_mm256_fnmadd_pd(q, p, h), l);
}

// r = x*y - q*p in (-p, p), congruent to x*y, for integers |x|, |y| < p <
// 2^50 and p_inv = 1/p rounded: q = round(h*p_inv) is within 7/8 + 2^-50 of
// x*y/p. Products of its own results are valid inputs again, so powering
// chains need no correction between steps.
QUARROW_LANES_FMA_TARGET inline __m256d lanes_fma_mulmod(__m256d x, __m256d y, __m256d p, __m256d p_inv) {
  const __m256d h = _mm256_mul_pd(x, y);
  const __m256d l = _mm256_fmsub_pd(x, y, h);
  const __m256d q = _mm256_round_pd(_mm256_mul_pd(h, p_inv), _MM_FROUND_TO_NEAREST_INT | _MM_FROUND_NO_EXC);
  return _mm256_add_pd(_mm256_fnmadd_pd(q, p, h), l);
}

// The residue in [0, p) of each lane's integer |x| < p: p is added where
// x < 0 (a compare, so a zero of either sign stays 0).
QUARROW_LANES_FMA_TARGET inline __m256d lanes_fma_reduce(__m256d x, __m256d p) {
  const __m256d negative = _mm256_cmp_pd(x, _mm256_setzero_pd(), _CMP_LT_OQ);
  return _mm256_add_pd(x, _mm256_and_pd(negative, p));
}

}  // namespace modarith

#endif
