// Powers and order parts for a batch of primes on four double lanes (AVX2 +
// FMA), each lane modulo its own prime; see batch_powmod.hpp and
// order_parts.hpp, and lanes_fma.hpp for the arithmetic.
//
// A product takes some twenty cycles from its inputs to its result and the
// two vector pipes start one every three or four, so a single chain of four
// lanes leaves them idle most of the time. The chains of a group (up to
// max_vectors vectors, one per four powers) step together: a batch of eight
// primes brings some thirty order parts or filter powers, enough to fill
// the pipes where one prime's few chains could not.
#include <algorithm>
#include <bit>

#include "modarith/batch_powmod.hpp"
#include "modarith/lanes_fma.hpp"
#include "modarith/order_parts.hpp"
#include "modarith/wide_kernels.hpp"

namespace modarith {

#if QUARROW_LANES_FMA

namespace {

constexpr u32 lanes = 4;
constexpr u32 max_vectors = 8;
constexpr u32 group_size = max_vectors * lanes;

// Every lane's modulus as a double, and its rounded inverse.
struct LaneModuli {
  alignas(32) double p[group_size];
  alignas(32) double p_inv[group_size];
};

// The lanes of one group take their moduli from contexts[item.context];
// lanes past the last item repeat the first item's and stay idle.
template <class Item>
void load_moduli(const ModContext* contexts, const Item* items, u32 count, LaneModuli& out) {
  u32 last = ~u32{0};
  double p = 0;
  double p_inv = 0;
  for (u32 i = 0; i < group_size; ++i) {
    const u32 context = items[i < count ? i : 0].context;
    if (context != last) {  // the items of one prime stand together
      last = context;
      p = static_cast<double>(contexts[context].p);
      p_inv = 1.0 / p;
    }
    out.p[i] = p;
    out.p_inv[i] = p_inv;
  }
}

QUARROW_LANES_FMA_TARGET inline __m256d lane_load(const double* from, u32 v) { return _mm256_load_pd(from + v * lanes); }

// Lanes whose exponent (as a 64-bit integer) has `bit` set, as a mask of
// all-ones doubles.
QUARROW_LANES_FMA_TARGET inline __m256d bit_set(const u64* exponents, u32 v, u64 bit) {
  const __m256i e = _mm256_load_si256(reinterpret_cast<const __m256i*>(exponents + v * lanes));
  const __m256i b = _mm256_set1_epi64x(static_cast<long long>(bit));
  return _mm256_castsi256_pd(_mm256_cmpeq_epi64(_mm256_and_si256(e, b), b));
}

// 2x for |x| < p, back in (-p, p): one p off where 2x >= p, one on where
// 2x <= -p (both exact, every value below 2^52).
QUARROW_LANES_FMA_TARGET inline __m256d twice_mod(__m256d x, __m256d p) {
  const __m256d t = _mm256_add_pd(x, x);
  const __m256d high = _mm256_and_pd(_mm256_cmp_pd(t, p, _CMP_GE_OQ), p);
  const __m256d low = _mm256_and_pd(_mm256_cmp_pd(t, _mm256_sub_pd(_mm256_setzero_pd(), p), _CMP_LE_OQ), p);
  return _mm256_add_pd(_mm256_sub_pd(t, high), low);
}

// The residues in [0, p) of a group's lanes, as integers.
template <u32 vectors>
QUARROW_LANES_FMA_TARGET void store_residues(const LaneModuli& mod, const __m256d* x, u64* out, u32 count) {
  alignas(32) u64 result[vectors * lanes];
  for (u32 v = 0; v < vectors; ++v) {
    const __m256i r = lanes_fma_to_u64(lanes_fma_reduce(x[v], lane_load(mod.p, v)));
    _mm256_store_si256(reinterpret_cast<__m256i*>(result + v * lanes), r);
  }
  for (u32 i = 0; i < count; ++i) out[i] = result[i];
}

// Left to right over the longest exponent of a group: every lane squares,
// and where its own bit is set takes raise(square, v, p, p_inv) instead
// (vector v's lanes), then the residues leave the lanes.
template <u32 vectors, class Raise>
QUARROW_LANES_FMA_TARGET void left_to_right(const LaneModuli& mod, const u64* exponent, u64* out, u32 count,
                                            const Raise& raise) {
  __m256d acc[vectors];
  u64 all_bits = 0;
  for (u32 i = 0; i < vectors * lanes; ++i) all_bits |= exponent[i];
  for (u32 v = 0; v < vectors; ++v) acc[v] = _mm256_set1_pd(1.0);
  for (int b = 63 - std::countl_zero(all_bits | 1); b >= 0; --b) {
    for (u32 v = 0; v < vectors; ++v) {
      const __m256d p = lane_load(mod.p, v);
      const __m256d p_inv = lane_load(mod.p_inv, v);
      const __m256d square = lanes_fma_mulmod(acc[v], acc[v], p, p_inv);
      acc[v] = _mm256_blendv_pd(square, raise(square, v, p, p_inv), bit_set(exponent, v, u64{1} << b));
    }
  }
  store_residues<vectors>(mod, acc, out, count);
}

struct PowerGroup {
  LaneModuli mod;
  alignas(32) double base[group_size];
  alignas(32) u64 exponent[group_size];
};

// The raise of a power: the set bits multiply by the lane's base.
struct TimesBase {
  const double* base;
  QUARROW_LANES_FMA_TARGET __m256d operator()(__m256d square, u32 v, __m256d p, __m256d p_inv) const {
    return lanes_fma_mulmod(square, lane_load(base, v), p, p_inv);
  }
};

template <u32 vectors>
QUARROW_LANES_FMA_TARGET void powmod_group(const PowerGroup& g, u64* out, u32 count) {
  left_to_right<vectors>(g.mod, g.exponent, out, count, TimesBase{g.base});
}

struct OrderGroup {
  LaneModuli mod;
  alignas(32) u64 exponent[group_size];
};

// The raise of a power of 2: the set bits double.
struct Twice {
  QUARROW_LANES_FMA_TARGET __m256d operator()(__m256d square, u32, __m256d p, __m256d) const {
    return twice_mod(square, p);
  }
};

// The long powers 2^exponent of the group side by side.
template <u32 vectors>
QUARROW_LANES_FMA_TARGET void order_group(const OrderGroup& g, u64* y, u32 count) {
  left_to_right<vectors>(g.mod, g.exponent, y, count, Twice{});
}

// run(first, n, vectors) for each group of up to group_size items.
template <class Run>
void by_groups(u32 count, Run&& run) {
  for (u32 first = 0; first < count; first += group_size) {
    const u32 n = std::min(group_size, count - first);
    run(first, n, (n + lanes - 1) / lanes);
  }
}

}  // namespace

void powmod_batch_avx2(const ModContext* contexts, const BatchPower* powers, u32 count, u64* out) {
  if (!avx2_kernels_supported() || !lanes_take_every_prime(contexts, powers, count)) {
    powmod_batch(contexts, powers, count, out);
    return;
  }
  PowerGroup g;
  by_groups(count, [&](u32 first, u32 n, u32 vectors) {
    load_moduli(contexts, powers + first, n, g.mod);
    for (u32 i = 0; i < group_size; ++i) {
      const BatchPower& power = powers[first + (i < n ? i : 0)];
      const u64 p = contexts[power.context].p;
      g.base[i] = static_cast<double>(power.base < p ? power.base : power.base % p);
      g.exponent[i] = i < n ? power.exponent : 0;
    }
    switch (vectors) {
      case 1: powmod_group<1>(g, out + first, n); break;
      case 2: powmod_group<2>(g, out + first, n); break;
      case 3: powmod_group<3>(g, out + first, n); break;
      case 4: powmod_group<4>(g, out + first, n); break;
      case 5: powmod_group<5>(g, out + first, n); break;
      case 6: powmod_group<6>(g, out + first, n); break;
      case 7: powmod_group<7>(g, out + first, n); break;
      default: powmod_group<8>(g, out + first, n); break;
    }
  });
}

void order_parts_avx2(const ModContext* contexts, const OrderPart* parts, u32 count, u32* needed) {
  if (!avx2_kernels_supported() || !lanes_take_every_prime(contexts, parts, count)) {
    order_parts(contexts, parts, count, needed);
    return;
  }
  OrderGroup g;
  u64 y[group_size];
  by_groups(count, [&](u32 first, u32 n, u32 vectors) {
    load_moduli(contexts, parts + first, n, g.mod);
    for (u32 i = 0; i < group_size; ++i) g.exponent[i] = i < n ? parts[first + i].exponent : 0;
    switch (vectors) {
      case 1: order_group<1>(g, y, n); break;
      case 2: order_group<2>(g, y, n); break;
      case 3: order_group<3>(g, y, n); break;
      case 4: order_group<4>(g, y, n); break;
      case 5: order_group<5>(g, y, n); break;
      case 6: order_group<6>(g, y, n); break;
      case 7: order_group<7>(g, y, n); break;
      default: order_group<8>(g, y, n); break;
    }
    // The raisings are short (q is a small prime, a few of them per part)
    // and most parts need none, so they stay scalar.
    for (u32 i = 0; i < n; ++i) {
      const OrderPart& part = parts[first + i];
      needed[first + i] = raisings_to_one(contexts[part.context], part, y[i]);
    }
  });
}

#else  // no four-lane kernels on this processor family

void powmod_batch_avx2(const ModContext* contexts, const BatchPower* powers, u32 count, u64* out) {
  powmod_batch(contexts, powers, count, out);
}

void order_parts_avx2(const ModContext* contexts, const OrderPart* parts, u32 count, u32* needed) {
  order_parts(contexts, parts, count, needed);
}

#endif

}  // namespace modarith
