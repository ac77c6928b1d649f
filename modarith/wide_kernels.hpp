// The giant-table fill and the baby walks on eight 52-bit lanes at once
// (AVX-512 IFMA), for processors that have it.
//
// Every p below 2^50 and every value of a lazy chain (below 2p) fits a 52-bit
// lane, so one vector multiply-add does eight of the scalar products (the
// lane arithmetic is modarith/lanes52.hpp). The fixed-factor product is the
// same Shoup step as the scalar one with 2^52 in place of 2^64, so every key
// is the same exact residue and the table, the hits and their order are the
// ones the scalar kernels give. The scalar kernels stay the
// fallback: each entry point below is only called when
// wide_kernels_supported() says so.
#pragma once
#include <vector>

#include "common/types.hpp"
#include "modarith/modmul.hpp"
#include "modarith/geometric_fill.hpp"
#include "modarith/babystep_table.hpp"
#include "modarith/walks.hpp"

namespace modarith {

// True when the processor runs the eight-lane kernels (checked once).
bool wide_kernels_supported();

// The name of the kernel set this processor runs, for the start-up line
// "Using ... kernels". Another set added later gets its name here, beside
// the check that chooses it.
inline const char* kernel_set_name() { return wide_kernels_supported() ? "AVX-512 IFMA" : "scalar"; }

// As fill_geometric.
void fill_geometric_wide(const modarith::ModContext& m, BabyStepTable& table, u64 x, const modarith::ScaledMultiplier& f,
                         u64 count, u32 first_index);

// As run_walks: the same hits in the same order.
void run_walks_wide(const modarith::ModContext& m, const BabyStepTable& table, const Walk* walks, u32 count,
                    std::vector<WalkHit>& hits);

// As powmod_many, for count <= max_parallel_powers: the exact residues
// bases[i]^e mod p, up to eight at once per vector (Montgomery with 2^52).
void powmod_many_wide(const modarith::ModContext& m, const u64* bases, u64* out, u32 count, u64 e);

// The eight-lane kernel when `wide` (SearchContext::wide()), else the scalar
// one; the same results either way.
inline void fill_geometric_with(bool wide, const modarith::ModContext& m, BabyStepTable& table, u64 x,
                                const modarith::ScaledMultiplier& f, u64 count, u32 first_index) {
  if (wide) {
    fill_geometric_wide(m, table, x, f, count, first_index);
  } else {
    fill_geometric(m, table, x, f, count, first_index);
  }
}

inline void run_walks_with(bool wide, const modarith::ModContext& m, const BabyStepTable& table, const Walk* walks,
                           u32 count, std::vector<WalkHit>& hits) {
  if (wide) {
    run_walks_wide(m, table, walks, count, hits);
  } else {
    run_walks(m, table, walks, count, hits);
  }
}

inline void powmod_many_with(bool wide, const modarith::ModContext& m, const u64* bases, u64* out, u32 count, u64 e) {
  if (wide) {
    powmod_many_wide(m, bases, out, count, e);
  } else {
    powmod_many(m, bases, out, count, e);
  }
}

}  // namespace modarith
