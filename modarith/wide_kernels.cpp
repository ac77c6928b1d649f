// Eight-lane (AVX-512 IFMA) giant-table fill and baby walks; see the header.
#include "modarith/wide_kernels.hpp"

#include <algorithm>
#include <bit>

#include "modarith/lane_source.hpp"
#include "modarith/lanes52.hpp"
#include "modarith/geometric_fill.hpp"

namespace modarith {

#if QUARROW_LANES52

namespace {

using modarith::lanes_montgomery;
using modarith::lanes_reduce;
using modarith::lanes_shoup;
using modarith::low_52_bits;
using modarith::shoup_52;

constexpr u32 lanes = 8;
static_assert(max_parallel_powers <= 2 * lanes, "powers side by side fit two vectors");

// The 52-bit Shoup constant of a lane's factor: from the walk's prepared
// step without a division, else one division.
struct Shoup52Factor {
  static u64 of(const modarith::ModContext&, const modarith::ScaledMultiplier& step) { return shoup_52(step); }
  static u64 of(const modarith::ModContext& m, u64 mult) { return shoup_52(m, mult); }
};
using LaneSource = modarith::LaneSource<lanes, Shoup52Factor>;

QUARROW_LANES52_TARGET void fill_wide(const modarith::ModContext& m, BabyStepTable& table, u64 x,
                            const modarith::ScaledMultiplier& f, u64 count, u32 first_index) {
  alignas(64) u64 start[lanes];
  start[0] = x;
  for (u32 c = 1; c < lanes; ++c) start[c] = modarith::mulmod_scaled(m, start[c - 1], f);
  u64 f8 = f.mult;
  for (int i = 0; i < 3; ++i) f8 = modarith::sqrmod(m, f8);
  const __m512i mult = _mm512_set1_epi64(static_cast<long long>(f8));
  const __m512i w = _mm512_set1_epi64(
      static_cast<long long>(shoup_52(m, f8)));
  const __m512i p = _mm512_set1_epi64(static_cast<long long>(m.p));
  const __m512i mask = _mm512_set1_epi64(static_cast<long long>(low_52_bits));
  __m512i v = _mm512_load_si512(start);

  const BabyStepTable::Inserter fill = table.inserter();
  alignas(64) u64 keys[lanes];
  alignas(64) u64 homes[lanes];
  alignas(64) u64 tag_bits[lanes];
  const __m512i home_mask = _mm512_set1_epi64(static_cast<long long>(fill.home_mask));
  const __m128i home_shift = _mm_cvtsi32_si128(static_cast<int>(fill.home_shift));
  const __m512i five_bits = _mm512_set1_epi64(31);
  const __m512i one = _mm512_set1_epi64(1);
  const u64 full = count / lanes * lanes;
  u64 i = 0;
  // Eight entries at a time: the keys go to their (consecutive) positions in
  // one store, homes and tag bits are formed in the lanes, and only the
  // chain links are made one by one.
  const __m512i lane_offsets = _mm512_set_epi64(7, 6, 5, 4, 3, 2, 1, 0);
  const __m512i low_half = _mm512_set1_epi64(static_cast<long long>(BabyStepTable::tag_bits_mask));
  for (; i < full; i += lanes) {
    const __m512i key = lanes_reduce(v, p);
    v = lanes_shoup(v, mult, w, p, mask);
    const u32 b = static_cast<u32>(first_index + i) - fill.base;
    _mm512_storeu_si512(fill.keys + b, key);
    const __m512i home = _mm512_and_si512(key, home_mask);
    const __m512i tag = _mm512_sllv_epi64(one, _mm512_and_si512(_mm512_srl_epi64(key, home_shift), five_bits));
    // Two of the eight in one home (the lanes compared with the vector
    // turned by one to four lanes meet every pair) must be linked in turn;
    // that is rare, a few groups in a hundred for the smallest tables.
    const __mmask8 shared = static_cast<__mmask8>(
        _mm512_cmpeq_epi64_mask(home, _mm512_alignr_epi64(home, home, 1)) |
        _mm512_cmpeq_epi64_mask(home, _mm512_alignr_epi64(home, home, 2)) |
        _mm512_cmpeq_epi64_mask(home, _mm512_alignr_epi64(home, home, 3)) |
        _mm512_cmpeq_epi64_mask(home, _mm512_alignr_epi64(home, home, 4)));
    if (shared != 0) {
      _mm512_store_si512(homes, home);
      _mm512_store_si512(tag_bits, tag);
      for (u32 c = 0; c < lanes; ++c) fill.link(homes[c], tag_bits[c], b + c);
      continue;
    }
    // Otherwise all eight links at once: each entry takes its home's old
    // head as its successor (eight consecutive positions of the chain
    // array), and each home word gets its tag and the entry's index.
    const __m512i old = _mm512_i64gather_epi64(home, fill.homes, 8);
    const __m512i old_heads = _mm512_srli_epi64(old, BabyStepTable::head_shift);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(fill.next + b), _mm512_cvtepi64_epi32(old_heads));
    const __m512i index = _mm512_add_epi64(_mm512_set1_epi64(b), lane_offsets);
    _mm512_i64scatter_epi64(fill.homes, home,
                            _mm512_or_si512(_mm512_or_si512(_mm512_and_si512(old, low_half), tag),
                                            _mm512_slli_epi64(index, BabyStepTable::head_shift)),
                            8);
  }
  _mm512_store_si512(keys, lanes_reduce(v, p));
  for (u32 c = 0; i < count; ++i, ++c) fill.insert(keys[c], static_cast<u32>(first_index + i));
}

// The table's miss test for eight keys at once: a lane of `open` is in the
// result when its key's tag bit is set in its home word. The tag bits are
// the low half of each home word (little-endian), so one 32-bit gather
// reads them.
struct LaneFilter {
  const u64* homes;
  __m512i home_mask;
  __m512i tag_bits;
  __m128i home_shift;
  __m256i one;
};

QUARROW_LANES52_TARGET inline LaneFilter lane_filter(const BabyStepTable& table) {
  const BabyStepTable::Filter filter = table.filter();
  return LaneFilter{filter.homes, _mm512_set1_epi64(static_cast<long long>(filter.home_mask)), _mm512_set1_epi64(31),
                    _mm_cvtsi32_si128(static_cast<int>(filter.home_shift)), _mm256_set1_epi32(1)};
}

QUARROW_LANES52_TARGET inline __mmask8 lanes_maybe(const LaneFilter& f, __m512i key, __mmask8 open) {
  const __m512i home = _mm512_and_si512(key, f.home_mask);
  const __m256i bit = _mm512_cvtepi64_epi32(_mm512_and_si512(_mm512_srl_epi64(key, f.home_shift), f.tag_bits));
  const __m256i tags = _mm512_mask_i64gather_epi32(_mm256_setzero_si256(), open, home, f.homes, 8);
  return _mm256_mask_test_epi32_mask(open, _mm256_srlv_epi32(tags, bit), f.one);
}

QUARROW_LANES52_TARGET void walks_wide(const modarith::ModContext& m, const BabyStepTable& table, const Walk* walks, u32 count,
                             std::vector<WalkHit>& hits) {
  hits.clear();
  LaneSource source(m, walks, count);
  Lane lane[lanes];
  alignas(64) u64 keys[lanes];
  const __m512i p = _mm512_set1_epi64(static_cast<long long>(m.p));
  const __m512i mask = _mm512_set1_epi64(static_cast<long long>(low_52_bits));
  const LaneFilter filter = lane_filter(table);
  // The lanes' values, factors and constants stay in registers from one
  // stretch to the next; a lane that takes a new part gets its three values
  // put in by masked broadcasts (storing them one by one and loading the
  // vector would wait for the stores to reach the cache). A lane without a
  // part multiplies by 0 outside the mask.
  __m512i v = _mm512_setzero_si512();
  __m512i vm = _mm512_setzero_si512();
  __m512i vw = _mm512_setzero_si512();
  bool more = true;
  __mmask8 active = 0;
  for (;;) {
    // Lanes that have finished take the next part of a walk; a lane with
    // nothing left to do leaves the mask.
    u64 run = ~u64{0};
    for (u32 l = 0; l < lanes; ++l) {
      const auto bit = static_cast<__mmask8>(1u << l);
      if (lane[l].left == 0) {
        if (more && source.next(lane[l])) {
          v = _mm512_mask_set1_epi64(v, bit, static_cast<long long>(lane[l].x));
          vm = _mm512_mask_set1_epi64(vm, bit, static_cast<long long>(lane[l].mult));
          vw = _mm512_mask_set1_epi64(vw, bit, static_cast<long long>(lane[l].w));
          active = static_cast<__mmask8>(active | bit);
        } else {
          more = false;
          vm = _mm512_mask_set1_epi64(vm, bit, 0);
          vw = _mm512_mask_set1_epi64(vw, bit, 0);
          active = static_cast<__mmask8>(active & ~bit);
          continue;
        }
      }
      run = std::min(run, lane[l].left);
    }
    if (active == 0) break;
    // `run` positions of every active lane: none finishes inside.
    for (u64 step = 0; step < run; ++step) {
      const __m512i key = lanes_reduce(v, p);
      const __mmask8 maybe = lanes_maybe(filter, key, active);
      if (maybe != 0) {
        _mm512_store_si512(keys, key);
        for (u32 bits = maybe; bits != 0; bits &= bits - 1) {
          const u32 l = static_cast<u32>(std::countr_zero(bits));
          if (table.first(keys[l]) != 0) {
            hits.push_back(WalkHit{lane[l].walk, lane[l].position + step * lane[l].stride, keys[l]});
          }
        }
      }
      v = lanes_shoup(v, vm, vw, p, mask);
    }
    for (u32 l = 0; l < lanes; ++l) {
      if (((active >> l) & 1) == 0) continue;
      lane[l].left -= run;
      lane[l].position += run * lane[l].stride;
    }
  }
  // Lanes and parts finish out of order.
  sort_walk_hits(hits);
}

// Up to eight lanes of first-hit walks (see first_hits_wide); returns the
// solved lanes.
QUARROW_LANES52_TARGET u32 first_hits_group(const modarith::ModContext& m, const BabyStepTable& table,
                                            const modarith::ScaledMultiplier& step, u32 m_s, const u64* z, u32 count,
                                            u32* log) {
  const auto lanes_used = static_cast<__mmask8>((1u << count) - 1);
  const __m512i p = _mm512_set1_epi64(static_cast<long long>(m.p));
  const __m512i mask = _mm512_set1_epi64(static_cast<long long>(low_52_bits));
  const __m512i mult = _mm512_set1_epi64(static_cast<long long>(step.mult));
  const __m512i w = _mm512_set1_epi64(static_cast<long long>(shoup_52(step)));
  const LaneFilter filter = lane_filter(table);
  alignas(64) u64 keys[lanes];
  __m512i v = _mm512_maskz_loadu_epi64(lanes_used, z);
  __mmask8 open = lanes_used;
  u32 solved = 0;
  for (u32 s = 0; s < m_s; ++s) {
    const __m512i key = lanes_reduce(v, p);
    const __mmask8 maybe = lanes_maybe(filter, key, open);
    // A tag bit is rarely set; a set one is mostly a false alarm.
    if (maybe != 0) {
      _mm512_store_si512(keys, key);
      for (u32 bits = maybe; bits != 0; bits &= bits - 1) {
        const u32 l = static_cast<u32>(std::countr_zero(bits));
        const u32 b = table.first(keys[l]);
        if (b == 0) continue;
        log[l] = (b - 1) * m_s + s;
        solved |= 1u << l;
        open = static_cast<__mmask8>(open & ~(1u << l));
      }
      if (open == 0) break;
    }
    v = lanes_shoup(v, mult, w, p, mask);
  }
  return solved;
}

// Right-to-left powering of vectors*8 lanes with one exponent e > 0, the
// vectors' chains interleaved.
template <u32 vectors>
QUARROW_LANES52_TARGET void powmod_vectors(const modarith::ModContext& m, const u64* bases, u64* out, u32 count, u64 e) {
  alignas(64) u64 lanes_in[vectors * lanes] = {};
  for (u32 i = 0; i < count; ++i) lanes_in[i] = bases[i] < m.p ? bases[i] : bases[i] % m.p;
  const u64 r2 = modarith::lanes_entry_factor(m);
  const __m512i p = _mm512_set1_epi64(static_cast<long long>(m.p));
  const __m512i p_inv = _mm512_set1_epi64(static_cast<long long>(m.mont_p_inv & low_52_bits));
  const __m512i to_form = _mm512_set1_epi64(static_cast<long long>(r2));
  __m512i base[vectors];
  __m512i acc[vectors];
  for (u32 v = 0; v < vectors; ++v) {
    base[v] = lanes_montgomery(_mm512_load_si512(lanes_in + v * lanes), to_form, p, p_inv);
  }
  for (; (e & 1) == 0; e >>= 1) {
    for (u32 v = 0; v < vectors; ++v) base[v] = lanes_montgomery(base[v], base[v], p, p_inv);
  }
  for (u32 v = 0; v < vectors; ++v) acc[v] = base[v];
  for (e >>= 1; e != 0; e >>= 1) {
    for (u32 v = 0; v < vectors; ++v) base[v] = lanes_montgomery(base[v], base[v], p, p_inv);
    if (e & 1) {
      for (u32 v = 0; v < vectors; ++v) acc[v] = lanes_montgomery(acc[v], base[v], p, p_inv);
    }
  }
  // Out of the 2^52 form (a product with 1 lands in (0, p]) and reduced.
  const __m512i one = _mm512_set1_epi64(1);
  alignas(64) u64 lanes_out[vectors * lanes];
  for (u32 v = 0; v < vectors; ++v) {
    _mm512_store_si512(lanes_out + v * lanes, lanes_reduce(lanes_montgomery(acc[v], one, p, p_inv), p));
  }
  for (u32 i = 0; i < count; ++i) out[i] = lanes_out[i];
}

}  // namespace

bool wide_kernels_supported() {
  // The compiler's CPU check also asks the system whether it saves the
  // AVX-512 registers; it is set up here in case this runs before the
  // runtime's own start-up has done it.
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
           __builtin_cpu_supports("avx512ifma");
  }();
  return supported;
}

void fill_geometric_wide(const modarith::ModContext& m, BabyStepTable& table, u64 x, const modarith::ScaledMultiplier& f,
                         u64 count, u32 first_index) {
  // Short fills do not repay the eight starting values.
  if (count < 8 * lanes) {
    fill_geometric(m, table, x, f, count, first_index);
    return;
  }
  fill_wide(m, table, x, f, count, first_index);
}

void run_walks_wide(const modarith::ModContext& m, const BabyStepTable& table, const Walk* walks, u32 count,
                    std::vector<WalkHit>& hits) {
  walks_wide(m, table, walks, count, hits);
}

u32 first_hits_wide(const modarith::ModContext& m, const BabyStepTable& table, const modarith::ScaledMultiplier& step,
                    u32 m_s, const u64* z, u32 count, u32* log) {
  u32 solved = 0;
  for (u32 from = 0; from < count; from += lanes) {
    const u32 group = std::min(lanes, count - from);
    solved |= first_hits_group(m, table, step, m_s, z + from, group, log + from) << from;
  }
  return solved;
}

void powmod_many_wide(const modarith::ModContext& m, const u64* bases, u64* out, u32 count, u64 e) {
  if (e == 0) {
    for (u32 i = 0; i < count; ++i) out[i] = 1;
  } else if (count <= lanes) {
    powmod_vectors<1>(m, bases, out, count, e);
  } else {
    powmod_vectors<2>(m, bases, out, count, e);
  }
}

#else  // no eight-lane kernels on this processor family

bool wide_kernels_supported() { return false; }

u32 first_hits_wide(const modarith::ModContext& m, const BabyStepTable& table, const modarith::ScaledMultiplier& step,
                    u32 m_s, const u64* z, u32 count, u32* log) {
  return first_hits(m, table, step, m_s, z, count, log);
}

void fill_geometric_wide(const modarith::ModContext& m, BabyStepTable& table, u64 x, const modarith::ScaledMultiplier& f,
                         u64 count, u32 first_index) {
  fill_geometric(m, table, x, f, count, first_index);
}

void run_walks_wide(const modarith::ModContext& m, const BabyStepTable& table, const Walk* walks, u32 count,
                    std::vector<WalkHit>& hits) {
  run_walks(m, table, walks, count, hits);
}

void powmod_many_wide(const modarith::ModContext& m, const u64* bases, u64* out, u32 count, u64 e) {
  powmod_many(m, bases, out, count, e);
}

#endif

}  // namespace modarith
