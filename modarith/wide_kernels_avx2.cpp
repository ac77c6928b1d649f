// Giant-table fill, baby walks and powers on four double lanes (AVX2 + FMA);
// see wide_kernels.hpp, and modarith/lanes_fma.hpp for the arithmetic.
//
// One product takes some fifteen cycles from its input to its result, and
// two vector pipes start a new one every few cycles, so a single vector of
// four chains leaves the multipliers idle most of the time. The walks run
// four vectors side by side (sixteen lanes: 1.0 ns per position against 1.1
// with two vectors and 1.7-2.1 with three, whose twelve lanes split walks
// into parts unevenly), and test the tag bits by a gather (1.2-1.3 ns per
// position when the four keys are tested one by one). The fill runs two
// (1.3 ns per entry; four vectors gave 2.1, the chain links then wait), and
// the powers one vector per four bases. Figures: one core of the project's
// AMD EPYC machine, 3000 entries, 4096 positions a walk, p = 10^12 + 39.
#include <algorithm>
#include <bit>

#include "modarith/wide_kernels.hpp"
#include "modarith/lane_source.hpp"
#include "modarith/lanes_fma.hpp"

namespace modarith {

#if QUARROW_LANES_FMA

namespace {

constexpr u32 lanes = 4;
constexpr u32 fill_vectors = 2;
constexpr u32 walk_vectors = 4;
static_assert(max_parallel_powers <= 4 * lanes, "powers side by side fit four vectors");

// A lane's constant for its factor: mult/p as a double, in its bits.
struct FmaFactor {
  static u64 of(const ModContext& m, const ScaledMultiplier& step) { return lanes_fma_factor(m, step.mult); }
  static u64 of(const ModContext& m, u64 mult) { return lanes_fma_factor(m, mult); }
};

QUARROW_LANES_FMA_TARGET inline __m256i load_u64(const u64* from) {
  return _mm256_load_si256(reinterpret_cast<const __m256i*>(from));
}

QUARROW_LANES_FMA_TARGET inline void store_u64(u64* to, __m256i v) {
  _mm256_store_si256(reinterpret_cast<__m256i*>(to), v);
}

QUARROW_LANES_FMA_TARGET void fill_fma(const ModContext& m, BabyStepTable& table, u64 x, const ScaledMultiplier& f,
                                       u64 count, u32 first_index) {
  // Entry i + c of a block is lane c % 4 of vector c / 4; every chain steps
  // by f^chains.
  constexpr u32 chains = fill_vectors * lanes;
  alignas(32) u64 start[chains];
  start[0] = x;
  for (u32 c = 1; c < chains; ++c) start[c] = mulmod_scaled(m, start[c - 1], f);
  u64 f_chains = f.mult;
  for (u32 s = 1; s < chains; s *= 2) f_chains = sqrmod(m, f_chains);
  const __m256d mult = _mm256_set1_pd(static_cast<double>(f_chains));
  const __m256d w = _mm256_set1_pd(std::bit_cast<double>(lanes_fma_factor(m, f_chains)));
  const __m256d p = _mm256_set1_pd(static_cast<double>(m.p));
  __m256d v[fill_vectors];
  for (u32 j = 0; j < fill_vectors; ++j) v[j] = lanes_fma_from_u64(load_u64(start + j * lanes));

  const BabyStepTable::Inserter fill = table.inserter();
  alignas(32) u64 homes[chains];
  alignas(32) u64 tag_bits[chains];
  const __m256i home_mask = _mm256_set1_epi64x(static_cast<long long>(fill.home_mask));
  const __m128i home_shift = _mm_cvtsi32_si128(static_cast<int>(fill.home_shift));
  const __m256i five_bits = _mm256_set1_epi64x(31);
  const __m256i one = _mm256_set1_epi64x(1);
  const u64 full = count / chains * chains;
  u64 i = 0;
  // As the eight-lane fill: the keys go to their consecutive positions,
  // homes and tag bits are formed in the lanes, the chain links one by one.
  for (; i < full; i += chains) {
    const u32 b = static_cast<u32>(first_index + i) - fill.base;
    for (u32 j = 0; j < fill_vectors; ++j) {
      const __m256i key = lanes_fma_to_u64(lanes_fma_reduce(v[j], p));
      v[j] = lanes_fma_shoup(v[j], mult, w, p);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(fill.keys + b + j * lanes), key);
      store_u64(homes + j * lanes, _mm256_and_si256(key, home_mask));
      store_u64(tag_bits + j * lanes,
                _mm256_sllv_epi64(one, _mm256_and_si256(_mm256_srl_epi64(key, home_shift), five_bits)));
    }
    for (u32 c = 0; c < chains; ++c) fill.link(homes[c], tag_bits[c], b + c);
  }
  alignas(32) u64 keys[chains];
  for (u32 j = 0; j < fill_vectors; ++j) store_u64(keys + j * lanes, lanes_fma_to_u64(lanes_fma_reduce(v[j], p)));
  for (u32 c = 0; i < count; ++i, ++c) fill.insert(keys[c], static_cast<u32>(first_index + i));
}

QUARROW_LANES_FMA_TARGET void walks_fma(const ModContext& m, const BabyStepTable& table, const Walk* walks,
                                        u32 count, std::vector<WalkHit>& hits) {
  constexpr u32 all = walk_vectors * lanes;
  hits.clear();
  LaneSource<all, FmaFactor> source(m, walks, count);
  Lane lane[all];
  alignas(32) u64 keys[lanes];
  const __m256d p = _mm256_set1_pd(static_cast<double>(m.p));
  const BabyStepTable::Filter filter = table.filter();
  const long long* const homes = reinterpret_cast<const long long*>(filter.homes);
  const __m256i home_mask = _mm256_set1_epi64x(static_cast<long long>(filter.home_mask));
  const __m256i five_bits = _mm256_set1_epi64x(31);
  const __m128i home_shift = _mm_cvtsi32_si128(static_cast<int>(filter.home_shift));
  const __m256i lane_numbers = _mm256_set_epi64x(3, 2, 1, 0);
  // The lanes' values, factors and constants stay in registers from one
  // stretch to the next; a lane that takes a new part gets its three values
  // blended in (storing them one by one and loading the vectors would wait
  // for the stores to reach the cache). A lane with nothing left to do runs
  // on 0 (home 0, a valid word) outside the mask.
  __m256d v[walk_vectors];
  __m256d vm[walk_vectors];
  __m256d vw[walk_vectors];
  for (u32 j = 0; j < walk_vectors; ++j) v[j] = vm[j] = vw[j] = _mm256_setzero_pd();
  bool more = true;
  u32 active = 0;
  for (;;) {
    u64 run = ~u64{0};
    for (u32 l = 0; l < all; ++l) {
      if (lane[l].left == 0) {
        const u32 j = l / lanes;
        const __m256d pick = _mm256_castsi256_pd(_mm256_cmpeq_epi64(lane_numbers, _mm256_set1_epi64x(l % lanes)));
        if (more && source.next(lane[l])) {
          const __m256i x = _mm256_set1_epi64x(static_cast<long long>(lane[l].x));
          v[j] = _mm256_blendv_pd(v[j], lanes_fma_from_u64(x), pick);
          vm[j] = _mm256_blendv_pd(vm[j], _mm256_set1_pd(static_cast<double>(lane[l].mult)), pick);
          vw[j] = _mm256_blendv_pd(vw[j], _mm256_set1_pd(std::bit_cast<double>(lane[l].w)), pick);
          active |= 1u << l;
        } else {
          more = false;
          v[j] = _mm256_andnot_pd(pick, v[j]);
          vm[j] = _mm256_andnot_pd(pick, vm[j]);
          vw[j] = _mm256_andnot_pd(pick, vw[j]);
          active &= ~(1u << l);
          continue;
        }
      }
      run = std::min(run, lane[l].left);
    }
    if (active == 0) break;
    // `run` positions of every active lane: none finishes inside.
    // A vector whose four lanes all have nothing left (the last parts of
    // a scan with few walks) is skipped: the test is the same for the whole
    // stretch, so it predicts well.
    u32 live_vectors = 0;
    for (u32 j = 0; j < walk_vectors; ++j) live_vectors |= ((active >> (j * lanes)) & 15u) != 0 ? 1u << j : 0u;
    for (u64 step = 0; step < run; ++step) {
      for (u32 j = 0; j < walk_vectors; ++j) {
        if (((live_vectors >> j) & 1) == 0) continue;
        const __m256i key = lanes_fma_to_u64(lanes_fma_reduce(v[j], p));
        const __m256i home = _mm256_and_si256(key, home_mask);
        const __m256i bit = _mm256_and_si256(_mm256_srl_epi64(key, home_shift), five_bits);
        const __m256i words = _mm256_i64gather_epi64(homes, home, 8);
        // The tag bit moved to the sign bit of its lane.
        const __m256i tag = _mm256_slli_epi64(_mm256_srlv_epi64(words, bit), 63);
        const u32 maybe =
            static_cast<u32>(_mm256_movemask_pd(_mm256_castsi256_pd(tag))) & (active >> (j * lanes)) & 15u;
        if (maybe != 0) {
          store_u64(keys, key);
          for (u32 bits = maybe; bits != 0; bits &= bits - 1) {
            const u32 c = static_cast<u32>(std::countr_zero(bits));
            const Lane& at = lane[j * lanes + c];
            if (table.first(keys[c]) != 0) hits.push_back(WalkHit{at.walk, at.position + step * at.stride, keys[c]});
          }
        }
        v[j] = lanes_fma_shoup(v[j], vm[j], vw[j], p);
      }
    }
    for (u32 l = 0; l < all; ++l) {
      if (((active >> l) & 1) == 0) continue;
      lane[l].left -= run;
      lane[l].position += run * lane[l].stride;
    }
  }
  // Lanes and parts finish out of order.
  sort_walk_hits(hits);
}

// Right-to-left powering of vectors*4 lanes with one exponent e > 0, the
// vectors' chains interleaved. The lanes hold plain residues (no special
// form), so there is no conversion in or out beyond the last correction.
template <u32 vectors>
QUARROW_LANES_FMA_TARGET void powmod_vectors(const ModContext& m, const u64* bases, u64* out, u32 count, u64 e) {
  alignas(32) u64 lanes_in[vectors * lanes] = {};
  for (u32 i = 0; i < count; ++i) lanes_in[i] = bases[i] < m.p ? bases[i] : bases[i] % m.p;
  const __m256d p = _mm256_set1_pd(static_cast<double>(m.p));
  const __m256d p_inv = _mm256_set1_pd(1.0 / static_cast<double>(m.p));
  __m256d base[vectors];
  __m256d acc[vectors];
  for (u32 v = 0; v < vectors; ++v) base[v] = lanes_fma_from_u64(load_u64(lanes_in + v * lanes));
  for (; (e & 1) == 0; e >>= 1) {
    for (u32 v = 0; v < vectors; ++v) base[v] = lanes_fma_mulmod(base[v], base[v], p, p_inv);
  }
  for (u32 v = 0; v < vectors; ++v) acc[v] = base[v];
  for (e >>= 1; e != 0; e >>= 1) {
    for (u32 v = 0; v < vectors; ++v) base[v] = lanes_fma_mulmod(base[v], base[v], p, p_inv);
    if (e & 1) {
      for (u32 v = 0; v < vectors; ++v) acc[v] = lanes_fma_mulmod(acc[v], base[v], p, p_inv);
    }
  }
  alignas(32) u64 lanes_out[vectors * lanes];
  for (u32 v = 0; v < vectors; ++v) store_u64(lanes_out + v * lanes, lanes_fma_to_u64(lanes_fma_reduce(acc[v], p)));
  for (u32 i = 0; i < count; ++i) out[i] = lanes_out[i];
}

}  // namespace

bool avx2_kernels_supported() {
  // As wide_kernels_supported(): the compiler's check also asks whether the
  // system saves the vector registers.
  static const bool supported = [] {
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
  }();
  return supported;
}

void fill_geometric_avx2(const ModContext& m, BabyStepTable& table, u64 x, const ScaledMultiplier& f, u64 count,
                         u32 first_index) {
  // Short fills do not repay the eight starting values.
  if (count < 4 * fill_vectors * lanes) {
    fill_geometric(m, table, x, f, count, first_index);
    return;
  }
  fill_fma(m, table, x, f, count, first_index);
}

void run_walks_avx2(const ModContext& m, const BabyStepTable& table, const Walk* walks, u32 count,
                    std::vector<WalkHit>& hits) {
  walks_fma(m, table, walks, count, hits);
}

void powmod_many_avx2(const ModContext& m, const u64* bases, u64* out, u32 count, u64 e) {
  if (e == 0) {
    for (u32 i = 0; i < count; ++i) out[i] = 1;
  } else if (count <= lanes) {
    powmod_vectors<1>(m, bases, out, count, e);
  } else if (count <= 2 * lanes) {
    powmod_vectors<2>(m, bases, out, count, e);
  } else if (count <= 3 * lanes) {
    powmod_vectors<3>(m, bases, out, count, e);
  } else {
    powmod_vectors<4>(m, bases, out, count, e);
  }
}

#else  // no four-lane kernels in this build

bool avx2_kernels_supported() { return false; }

void fill_geometric_avx2(const ModContext& m, BabyStepTable& table, u64 x, const ScaledMultiplier& f, u64 count,
                         u32 first_index) {
  fill_geometric(m, table, x, f, count, first_index);
}

void run_walks_avx2(const ModContext& m, const BabyStepTable& table, const Walk* walks, u32 count,
                    std::vector<WalkHit>& hits) {
  run_walks(m, table, walks, count, hits);
}

void powmod_many_avx2(const ModContext& m, const u64* bases, u64* out, u32 count, u64 e) {
  powmod_many(m, bases, out, count, e);
}

#endif

}  // namespace modarith
