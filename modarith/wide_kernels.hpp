// The kernel sets and their run-time choice; the giant-table fill, the baby
// walks and powmod_many on eight 52-bit lanes at once (AVX-512 IFMA) and on
// four double lanes (AVX2 + FMA, the kernels of wide_kernels_avx2.cpp), for
// processors that have them.
//
// Every p below 2^50 and every value of a lazy chain (below 2p) fits a 52-bit
// lane, so one vector multiply-add does eight of the scalar products (the
// lane arithmetic is modarith/lanes52.hpp). The fixed-factor product is the
// same Shoup step as the scalar one with 2^52 in place of 2^64, so every key
// is the same exact residue and the table, the hits and their order are the
// ones the scalar kernels give. The four double lanes reach the same exact
// residues another way (modarith/lanes_fma.hpp). The scalar kernels stay the
// fallback: a lane entry point is only called for a set that
// kernel_set_runs() accepts.
#pragma once
#include <string>
#include <vector>

#include "common/types.hpp"
#include "modarith/modmul.hpp"
#include "modarith/geometric_fill.hpp"
#include "modarith/babystep_table.hpp"
#include "modarith/first_hits.hpp"
#include "modarith/walks.hpp"

namespace modarith {

// The kernel sets, each with the same three entry points (the giant-table
// fill, the baby walks, powmod_many) and the same results: eight 52-bit
// lanes (AVX-512 IFMA), four double lanes (AVX2 + FMA), and the scalar
// kernels, which every processor runs.
enum class KernelSet : u32 { scalar, avx2, avx512 };

// Every set, fastest first: the order of the run-time choice.
inline constexpr KernelSet kernel_sets_fastest_first[] = {KernelSet::avx512, KernelSet::avx2, KernelSet::scalar};

// True when the processor runs the eight-lane kernels (checked once).
bool wide_kernels_supported();

// True when the processor runs the AVX2 kernels (AVX2 and FMA, checked once).
bool avx2_kernels_supported();

// Whether this build and this processor run the set (the scalar one always).
bool kernel_set_runs(KernelSet set);

// The fastest set this build and processor run.
KernelSet best_kernel_set();

// The set's name in the start-up line "Using ... kernels".
const char* kernel_set_name(KernelSet set);

// The set's value of the environment variable QUARROW_KERNELS.
const char* kernel_set_key(KernelSet set);

// The kernel set of a run: `set`, or, when `error` is not empty, the one-line
// message that ends the run (the request names no set, or one this build or
// processor cannot run; `set` is then the best one, for callers that do not
// stop).
struct KernelChoice {
  KernelSet set = KernelSet::scalar;
  std::string error;
};

// The choice for a value of QUARROW_KERNELS: none (nullptr) or an empty one
// takes the best set.
KernelChoice choose_kernel_set(const char* request);

// The choice of this process, made once from its environment's
// QUARROW_KERNELS at the first call; every search context takes its set from
// here.
const KernelChoice& kernel_choice();

// The set this process runs, for the start-up line.
inline const char* kernel_set_name() { return kernel_set_name(kernel_choice().set); }

// As fill_geometric.
void fill_geometric_wide(const modarith::ModContext& m, BabyStepTable& table, u64 x, const modarith::ScaledMultiplier& f,
                         u64 count, u32 first_index);

// As run_walks: the same hits in the same order.
void run_walks_wide(const modarith::ModContext& m, const BabyStepTable& table, const Walk* walks, u32 count,
                    std::vector<WalkHit>& hits);

// As first_hits: eight lanes step side by side, each leaving the mask at
// its first hit.
u32 first_hits_wide(const modarith::ModContext& m, const BabyStepTable& table, const modarith::ScaledMultiplier& step,
                    u32 m_s, const u64* z, u32 count, u32* log);

// As powmod_many, for count <= max_parallel_powers: the exact residues
// bases[i]^e mod p, up to eight at once per vector (Montgomery with 2^52).
void powmod_many_wide(const modarith::ModContext& m, const u64* bases, u64* out, u32 count, u64 e);

// The same three on four double lanes (AVX2 + FMA, modarith/lanes_fma.hpp),
// several vectors in flight, for p < 2^50.
void fill_geometric_avx2(const modarith::ModContext& m, BabyStepTable& table, u64 x,
                         const modarith::ScaledMultiplier& f, u64 count, u32 first_index);
void run_walks_avx2(const modarith::ModContext& m, const BabyStepTable& table, const Walk* walks, u32 count,
                    std::vector<WalkHit>& hits);
void powmod_many_avx2(const modarith::ModContext& m, const u64* bases, u64* out, u32 count, u64 e);

// The kernel of `set` (SearchContext::wide(): a lane set only for p < 2^50);
// the same results whichever runs.
inline void fill_geometric_with(KernelSet set, const modarith::ModContext& m, BabyStepTable& table, u64 x,
                                const modarith::ScaledMultiplier& f, u64 count, u32 first_index) {
  switch (set) {
    case KernelSet::avx512:
      fill_geometric_wide(m, table, x, f, count, first_index);
      return;
    case KernelSet::avx2:
      fill_geometric_avx2(m, table, x, f, count, first_index);
      return;
    case KernelSet::scalar:
      break;
  }
  fill_geometric(m, table, x, f, count, first_index);
}

inline void run_walks_with(KernelSet set, const modarith::ModContext& m, const BabyStepTable& table,
                           const Walk* walks, u32 count, std::vector<WalkHit>& hits) {
  switch (set) {
    case KernelSet::avx512:
      run_walks_wide(m, table, walks, count, hits);
      return;
    case KernelSet::avx2:
      run_walks_avx2(m, table, walks, count, hits);
      return;
    case KernelSet::scalar:
      break;
  }
  run_walks(m, table, walks, count, hits);
}

// The AVX2 set takes the scalar form: its four lanes have fewer chains in
// flight than the scalar form's twelve.
inline u32 first_hits_with(KernelSet set, const modarith::ModContext& m, const BabyStepTable& table,
                           const modarith::ScaledMultiplier& step, u32 m_s, const u64* z, u32 count, u32* log) {
  if (set == KernelSet::avx512) return first_hits_wide(m, table, step, m_s, z, count, log);
  return first_hits(m, table, step, m_s, z, count, log);
}

inline void powmod_many_with(KernelSet set, const modarith::ModContext& m, const u64* bases, u64* out, u32 count,
                             u64 e) {
  switch (set) {
    case KernelSet::avx512:
      powmod_many_wide(m, bases, out, count, e);
      return;
    case KernelSet::avx2:
      powmod_many_avx2(m, bases, out, count, e);
      return;
    case KernelSet::scalar:
      break;
  }
  powmod_many(m, bases, out, count, e);
}

}  // namespace modarith
