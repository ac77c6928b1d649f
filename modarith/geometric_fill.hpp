// Fills a step table with one geometric run: the entries x*f^i, i = 0 ..
// count-1, with the indices first_index + i.
//
// Computed as two interleaved runs of factor f^2, so two independent
// products are in flight instead of one dependent chain (more runs measured
// slower: the fill then runs out of registers); each run is kept in
// [0, 2p) (the lazy fixed-factor product) and reduced only for its key. The
// entries are the same exact residues a single chain gives.
#pragma once
#include "common/types.hpp"
#include "modarith/modmul.hpp"
#include "modarith/babystep_table.hpp"

namespace modarith {
using common::u32;
using common::u64;

// x < p; table already reset for the index range.
inline void fill_geometric(const modarith::ModContext& m, BabyStepTable& table, u64 x,
                           const modarith::ScaledMultiplier& f, u64 count, u32 first_index) {
  const BabyStepTable::Inserter fill = table.inserter();
  constexpr u64 runs = 2;
  if (count < 4 * runs) {
    for (u64 i = 0; i < count; ++i) {
      fill.insert(x, static_cast<u32>(first_index + i));
      x = modarith::mulmod_scaled(m, x, f);
    }
    return;
  }
  u64 r[runs];
  r[0] = x;
  for (u64 i = 1; i < runs; ++i) r[i] = modarith::mulmod_scaled(m, r[i - 1], f);
  const modarith::ScaledMultiplier f2 =
      modarith::prepare_scaled(m, modarith::sqrmod(m, f.mult));
  const u64 p = m.p;
  const u64 mult = f2.mult;
  const u64 w_int = f2.w_int;
  const u64 full = count / runs * runs;
  u64 i = 0;
  for (; i < full; i += runs) {
    for (u64 c = 0; c < runs; ++c) {
      const u64 v = r[c];
      fill.insert(reduce_once(p, v), static_cast<u32>(first_index + i + c));
      r[c] = shoup_lazy(v, mult, w_int, p);
    }
  }
  for (u64 c = 0; i < count; ++i, ++c) {
    const u64 v = r[c];
    fill.insert(reduce_once(p, v), static_cast<u32>(first_index + i));
  }
}

}  // namespace modarith
