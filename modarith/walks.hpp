// Baby walks of the scans, several at a time.
//
// One walk multiplies a value by a fixed factor over and over and looks every
// value up in the giant table. Alone it is a chain of dependent products, so
// the multiplier waits for each result; four walks advanced side by side
// keep four chains in flight. Within a walk the chain runs on values in
// [0, 2p) (the lazy form of the fixed-factor product accepts them), and only
// the value looked up is fully reduced, which keeps the correction out of
// the chain.
#pragma once
#include <vector>

#include "common/types.hpp"
#include "modarith/modmul.hpp"
#include "modarith/babystep_table.hpp"

namespace modarith {
using common::u32;
using common::u64;

struct Walk {
  u64 x = 0;  // value at position 0, in [0, p)
  modarith::ScaledMultiplier step;  // factor from one position to the next
  u64 positions = 0;  // positions looked up: 0 .. positions - 1
};

// A position whose value is in the table.
struct WalkHit {
  u32 walk = 0;
  u64 position = 0;
  u64 key = 0;
};

// Puts hits into walk order and, within a walk, position order (each pair
// occurs once). An insertion sort: hits are few and arrive almost in order,
// and it never allocates.
inline void sort_walk_hits(std::vector<WalkHit>& hits) {
  for (std::size_t i = 1; i < hits.size(); ++i) {
    const WalkHit h = hits[i];
    std::size_t k = i;
    for (; k > 0 && (hits[k - 1].walk > h.walk || (hits[k - 1].walk == h.walk && hits[k - 1].position > h.position));
         --k) {
      hits[k] = hits[k - 1];
    }
    hits[k] = h;
  }
}

// Looks up every position of walks[0 .. count) and appends the found ones
// to `hits` (cleared first), ordered by walk and, within a walk, by position.
inline void run_walks(const modarith::ModContext& m, const BabyStepTable& table, const Walk* walks, u32 count,
                      std::vector<WalkHit>& hits) {
  hits.clear();
  constexpr u32 lanes = 4;
  u64 x[lanes] = {};
  u64 mult[lanes] = {};
  u64 w_int[lanes] = {};
  u64 position[lanes] = {};
  u64 end[lanes] = {};
  u32 walk_of[lanes] = {};
  u32 next = 0;
  u32 active = 0;
  const auto start = [&](u32 lane) {
    while (next < count && walks[next].positions == 0) ++next;
    if (next == count) return false;
    x[lane] = walks[next].x;
    mult[lane] = walks[next].step.mult;
    w_int[lane] = walks[next].step.w_int;
    position[lane] = 0;
    end[lane] = walks[next].positions;
    walk_of[lane] = next++;
    return true;
  };
  bool live[lanes] = {};
  for (u32 l = 0; l < lanes; ++l) {
    live[l] = start(l);
    active += live[l] ? 1 : 0;
  }
  const u64 p = m.p;
  const BabyStepTable::Filter filter = table.filter();
  while (active != 0) {
    for (u32 l = 0; l < lanes; ++l) {
      if (!live[l]) continue;
      const u64 v = x[l];
      const u64 key = reduce_once(p, v);
      if (filter.maybe(key) && table.first(key) != 0) hits.push_back(WalkHit{walk_of[l], position[l], key});
      if (++position[l] == end[l]) {
        if (!start(l)) {
          live[l] = false;
          --active;
        }
        continue;
      }
      x[l] = shoup_lazy(v, mult[l], w_int[l], p);
    }
  }
  // Lanes finish out of walk order.
  sort_walk_hits(hits);
}

}  // namespace modarith
