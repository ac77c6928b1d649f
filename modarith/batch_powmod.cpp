// Powers modulo a batch of primes; see the header.
#include "modarith/batch_powmod.hpp"

#include <algorithm>
#include <bit>

#include "modarith/lanes52.hpp"
#include "modarith/wide_kernels.hpp"

namespace modarith {

void powmod_batch(const ModContext* contexts, const BatchPower* powers, u32 count, u64* out) {
  u64 bases[max_parallel_powers];
  for (u32 first = 0; first < count;) {
    const BatchPower& head = powers[first];
    u32 end = first + 1;
    while (end < count && end - first < max_parallel_powers && powers[end].context == head.context &&
           powers[end].exponent == head.exponent) {
      ++end;
    }
    for (u32 i = first; i < end; ++i) bases[i - first] = powers[i].base;
    powmod_many(contexts[head.context], bases, out + first, end - first, head.exponent);
    first = end;
  }
}

#if QUARROW_LANES52

namespace {

using modarith::lanes_montgomery;
using modarith::lanes_reduce;

constexpr u32 lanes = 8;
// Four vectors in flight cover the multiply-add latency of a Montgomery step.
constexpr u32 max_vectors = 4;
constexpr u32 group_powers = max_vectors * lanes;

// The lanes' inputs of one group. Lanes past the last power take the first
// power's modulus with exponent 0 and stay idle.
struct Group {
  alignas(64) u64 p[group_powers];
  alignas(64) u64 p_inv[group_powers];
  alignas(64) u64 one[group_powers];    // 2^52 mod p, the 2^52 form of 1
  alignas(64) u64 entry[group_powers];  // 2^104 mod p, into the 2^52 form
  alignas(64) u64 base[group_powers];   // below p
  alignas(64) u64 exponent[group_powers];
};

void load_group(const ModContext* contexts, const BatchPower* powers, u32 count, Group& g) {
  LanePrimes primes(contexts);
  for (u32 i = 0; i < group_powers; ++i) {
    const bool real = i < count;
    const BatchPower& power = powers[real ? i : 0];
    const LanePrime& lane = primes.of(power.context);
    g.p[i] = lane.p;
    g.p_inv[i] = lane.p_inv;
    g.one[i] = lane.one;
    g.entry[i] = lane.entry;
    g.base[i] = power.base < lane.p ? power.base : power.base % lane.p;
    g.exponent[i] = real ? power.exponent : 0;
  }
}

// Left to right over the longest exponent of the group: every lane squares,
// and multiplies by its base where its own bit is set.
template <u32 vectors>
QUARROW_LANES52_TARGET void powmod_group(const Group& g, u64* out, u32 count) {
  __m512i acc[vectors];
  __m512i base[vectors];
  __m512i p[vectors];
  __m512i p_inv[vectors];
  __m512i e[vectors];
  u64 all_bits = 0;
  for (u32 v = 0; v < vectors; ++v) {
    p[v] = _mm512_load_si512(g.p + v * lanes);
    p_inv[v] = _mm512_load_si512(g.p_inv + v * lanes);
    acc[v] = _mm512_load_si512(g.one + v * lanes);
    base[v] = lanes_montgomery(_mm512_load_si512(g.base + v * lanes), _mm512_load_si512(g.entry + v * lanes), p[v],
                               p_inv[v]);
    e[v] = _mm512_load_si512(g.exponent + v * lanes);
  }
  for (u32 i = 0; i < vectors * lanes; ++i) all_bits |= g.exponent[i];
  for (int b = 63 - std::countl_zero(all_bits | 1); b >= 0; --b) {
    const __m512i bit = _mm512_set1_epi64(static_cast<long long>(u64{1} << b));
    for (u32 v = 0; v < vectors; ++v) {
      acc[v] = lanes_montgomery(acc[v], acc[v], p[v], p_inv[v]);
      const __mmask8 set = _mm512_test_epi64_mask(e[v], bit);
      acc[v] = _mm512_mask_mov_epi64(acc[v], set, lanes_montgomery(acc[v], base[v], p[v], p_inv[v]));
    }
  }
  // Out of the 2^52 form (a product with 1 lands in (0, p]) and reduced.
  const __m512i one = _mm512_set1_epi64(1);
  alignas(64) u64 result[vectors * lanes];
  for (u32 v = 0; v < vectors; ++v) {
    _mm512_store_si512(result + v * lanes, lanes_reduce(lanes_montgomery(acc[v], one, p[v], p_inv[v]), p[v]));
  }
  for (u32 i = 0; i < count; ++i) out[i] = result[i];
}

}  // namespace

void powmod_batch_wide(const ModContext* contexts, const BatchPower* powers, u32 count, u64* out) {
  if (!wide_kernels_supported() || !lanes_take_every_prime(contexts, powers, count)) {
    powmod_batch(contexts, powers, count, out);
    return;
  }
  Group g;
  for (u32 first = 0; first < count; first += group_powers) {
    const u32 n = std::min(group_powers, count - first);
    load_group(contexts, powers + first, n, g);
    switch ((n + lanes - 1) / lanes) {
      case 1: powmod_group<1>(g, out + first, n); break;
      case 2: powmod_group<2>(g, out + first, n); break;
      case 3: powmod_group<3>(g, out + first, n); break;
      default: powmod_group<4>(g, out + first, n); break;
    }
  }
}

#else  // no eight-lane kernels on this processor family

void powmod_batch_wide(const ModContext* contexts, const BatchPower* powers, u32 count, u64* out) {
  powmod_batch(contexts, powers, count, out);
}

#endif

}  // namespace modarith
