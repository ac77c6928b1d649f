// The parts of the order of 2 for a batch of primes; see the header.
#include "modarith/order_parts.hpp"

#include <algorithm>
#include <bit>

#include "modarith/lanes52.hpp"
#include "modarith/wide_kernels.hpp"

namespace modarith {

u32 raisings_to_one(const ModContext& m, const OrderPart& part, u64 y) {
  // The last raising is never taken: if y^(q^(copies-1)) is not 1, the
  // answer is copies whatever its q-th power is.
  u32 j = 0;
  for (; y != 1 && j + 1 < part.copies; ++j) y = powmod(m, y, part.q);
  return y != 1 ? part.copies : j;
}

void order_parts(const ModContext* contexts, const OrderPart* parts, u32 count, u32* needed) {
  u64 exps[max_parallel_powers_of_2];
  u64 y[max_parallel_powers_of_2];
  for (u32 first = 0; first < count;) {
    const u32 context = parts[first].context;
    u32 end = first + 1;
    while (end < count && parts[end].context == context && end - first < max_parallel_powers_of_2) ++end;
    const ModContext& m = contexts[context];
    for (u32 i = first; i < end; ++i) exps[i - first] = parts[i].exponent;
    pow2mod_many(m, exps, y, end - first);
    for (u32 i = first; i < end; ++i) needed[i] = raisings_to_one(m, parts[i], y[i - first]);
    first = end;
  }
}

#if QUARROW_LANES52

namespace {

using modarith::lanes_montgomery;
using modarith::lanes_reduce;

constexpr u32 lanes = 8;
// Four vectors of long powers in flight cover the multiply-add latency of
// one Montgomery step; more would only spill registers.
constexpr u32 max_vectors = 4;
constexpr u32 group_parts = max_vectors * lanes;

// The lanes' inputs of one group of parts. Lanes past the last part repeat
// the first part's modulus with no copies, so they stay valid and idle.
struct Group {
  alignas(64) u64 p[group_parts];
  alignas(64) u64 p_inv[group_parts];
  alignas(64) u64 one[group_parts];  // 2^52 mod p, the 2^52 form of 1
  alignas(64) u64 exponent[group_parts];
  alignas(64) u64 q[group_parts];
  alignas(64) u64 copies[group_parts];
};

void load_group(const ModContext* contexts, const OrderPart* parts, u32 count, Group& g) {
  LanePrimes primes(contexts);
  for (u32 i = 0; i < group_parts; ++i) {
    const bool real = i < count;
    const OrderPart& part = parts[real ? i : 0];
    const LanePrime& lane = primes.of(part.context);
    g.p[i] = lane.p;
    g.p_inv[i] = lane.p_inv;
    g.one[i] = lane.one;
    g.exponent[i] = real ? part.exponent : 0;
    g.q[i] = real ? part.q : 1;
    g.copies[i] = real ? part.copies : 0;
  }
}

// The smallest j with y^(q^j) = 1, j <= copies, in every lane of one vector;
// y in the 2^52 form. Each raising is a left-to-right power with the lane's
// own q; a lane whose q is shorter than the longest starts from 1.
QUARROW_LANES52_TARGET __m512i raise_until_one(const Group& g, u32 v, __m512i y) {
  const __m512i p = _mm512_load_si512(g.p + v * lanes);
  const __m512i p_inv = _mm512_load_si512(g.p_inv + v * lanes);
  const __m512i one = _mm512_load_si512(g.one + v * lanes);
  const __m512i q = _mm512_load_si512(g.q + v * lanes);
  const __m512i copies = _mm512_load_si512(g.copies + v * lanes);
  const __m512i one_step = _mm512_set1_epi64(1);
  const __m512i last = _mm512_sub_epi64(copies, one_step);
  __m512i j = _mm512_setzero_si512();
  // As in the scalar kernel, the raising to the copies-th power is never
  // taken: a lane still not at 1 after copies - 1 of them needs them all.
  __mmask8 active = _mm512_cmpneq_epu64_mask(lanes_reduce(y, p), one) & _mm512_cmpgt_epu64_mask(copies, one_step);
  while (active != 0) {
    u64 longest = 0;
    for (u32 l = 0; l < lanes; ++l) {
      if ((active >> l) & 1) longest = std::max(longest, g.q[v * lanes + l]);
    }
    const int top = 63 - std::countl_zero(longest);
    const __mmask8 full_length = _mm512_test_epi64_mask(q, _mm512_set1_epi64(static_cast<long long>(u64{1} << top)));
    __m512i acc = _mm512_mask_mov_epi64(one, full_length, y);
    for (int b = top - 1; b >= 0; --b) {
      acc = lanes_montgomery(acc, acc, p, p_inv);
      const __mmask8 set = _mm512_test_epi64_mask(q, _mm512_set1_epi64(static_cast<long long>(u64{1} << b)));
      acc = _mm512_mask_mov_epi64(acc, set, lanes_montgomery(acc, y, p, p_inv));
    }
    y = _mm512_mask_mov_epi64(y, active, acc);
    j = _mm512_mask_add_epi64(j, active, j, one_step);
    active = active & _mm512_cmplt_epu64_mask(j, last) & _mm512_cmpneq_epu64_mask(lanes_reduce(y, p), one);
  }
  return _mm512_mask_mov_epi64(j, _mm512_cmpneq_epu64_mask(lanes_reduce(y, p), one), copies);
}

// The long powers 2^exponent of `vectors` vectors side by side, then each
// vector's raisings.
template <u32 vectors>
QUARROW_LANES52_TARGET void order_group(const Group& g, u32* needed, u32 count) {
  __m512i x[vectors];
  __m512i p[vectors];
  __m512i p_inv[vectors];
  __m512i two_p[vectors];
  __m512i e[vectors];
  u64 all_bits = 0;
  for (u32 v = 0; v < vectors; ++v) {
    x[v] = _mm512_load_si512(g.one + v * lanes);
    p[v] = _mm512_load_si512(g.p + v * lanes);
    p_inv[v] = _mm512_load_si512(g.p_inv + v * lanes);
    two_p[v] = _mm512_add_epi64(p[v], p[v]);
    e[v] = _mm512_load_si512(g.exponent + v * lanes);
  }
  for (u32 i = 0; i < vectors * lanes; ++i) all_bits |= g.exponent[i];
  // Left to right: square, and double where the lane's bit is set. Twice a
  // value below 2p is below 4p; taking 2p off where that does not wrap
  // brings it back below 2p, the squaring's input range.
  for (int b = 63 - std::countl_zero(all_bits | 1); b >= 0; --b) {
    const __m512i bit = _mm512_set1_epi64(static_cast<long long>(u64{1} << b));
    for (u32 v = 0; v < vectors; ++v) {
      x[v] = lanes_montgomery(x[v], x[v], p[v], p_inv[v]);
      const __mmask8 set = _mm512_test_epi64_mask(e[v], bit);
      const __m512i twice = _mm512_add_epi64(x[v], x[v]);
      x[v] = _mm512_mask_min_epu64(x[v], set, twice, _mm512_sub_epi64(twice, two_p[v]));
    }
  }
  alignas(64) u64 j[vectors * lanes];
  for (u32 v = 0; v < vectors; ++v) _mm512_store_si512(j + v * lanes, raise_until_one(g, v, x[v]));
  for (u32 i = 0; i < count; ++i) needed[i] = static_cast<u32>(j[i]);
}

}  // namespace

void order_parts_wide(const ModContext* contexts, const OrderPart* parts, u32 count, u32* needed) {
  if (!wide_kernels_supported() || !lanes_take_every_prime(contexts, parts, count)) {
    order_parts(contexts, parts, count, needed);
    return;
  }
  Group g;
  for (u32 first = 0; first < count; first += group_parts) {
    const u32 n = std::min(group_parts, count - first);
    load_group(contexts, parts + first, n, g);
    switch ((n + lanes - 1) / lanes) {
      case 1: order_group<1>(g, needed + first, n); break;
      case 2: order_group<2>(g, needed + first, n); break;
      case 3: order_group<3>(g, needed + first, n); break;
      default: order_group<4>(g, needed + first, n); break;
    }
  }
}

#else  // no eight-lane kernels on this processor family

void order_parts_wide(const ModContext* contexts, const OrderPart* parts, u32 count, u32* needed) {
  order_parts(contexts, parts, count, needed);
}

#endif

}  // namespace modarith
