// The Pohlig-Hellman route's baby walks, scalar form: up to twelve lanes,
// each a chain of its own, side by side.
#include "modarith/first_hits.hpp"

#include <array>
#include <bit>
#include <utility>

namespace modarith {
namespace {

// What every lane of a baby walk shares: the table, its filter, p and the
// step alpha (Shoup form), and the walk's length m_s.
struct WalkShared {
  const BabyStepTable& babies;
  BabyStepTable::Filter filter;
  u64 p;
  u64 mult;
  u64 w_int;
  u32 m_s;
};

u32 walk_open_lanes(const WalkShared& w, u32 count, u32 s, u64* v, u32* lane, u32* log);

// `count` open lanes from position s on: v[i] is the value of lane lane[i]
// there. The values stay in registers while no lane is solved (the count
// is fixed, so every loop over the lanes unrolls); a solved lane leaves and
// the rest go on with one lane fewer. Returns the solved lanes (bit
// lane[i]).
template <u32 count>
u32 walk_fixed(const WalkShared& w, u32 s, u64* v, u32* lane, u32* log) {
  u64 x[count];
#pragma GCC unroll 12
  for (u32 i = 0; i < count; ++i) x[i] = v[i];
  for (; s < w.m_s; ++s) {
    u64 key[count];
    u32 maybe = 0;
#pragma GCC unroll 12
    for (u32 i = 0; i < count; ++i) {
      key[i] = reduce_once(w.p, x[i]);
      maybe |= static_cast<u32>(w.filter.maybe(key[i])) << i;
      x[i] = shoup_lazy(x[i], w.mult, w.w_int, w.p);
    }
    // A tag bit is rarely set; a set one is mostly a false alarm.
    if (maybe == 0) continue;
    u32 solved = 0;
    u32 solved_lanes = 0;
    for (; maybe != 0; maybe &= maybe - 1) {
      const u32 i = static_cast<u32>(std::countr_zero(maybe));
      const u32 b = w.babies.first(key[i]);
      if (b == 0) continue;
      log[lane[i]] = (b - 1) * w.m_s + s;
      solved |= u32{1} << i;
      solved_lanes |= u32{1} << lane[i];
    }
    if (solved == 0) continue;
#pragma GCC unroll 12
    for (u32 i = 0; i < count; ++i) v[i] = x[i];
    u32 left = 0;
    for (u32 i = 0; i < count; ++i) {
      if ((solved >> i) & 1) continue;
      v[left] = v[i];
      lane[left] = lane[i];
      ++left;
    }
    return solved_lanes | walk_open_lanes(w, left, s + 1, v, lane, log);
  }
  return 0;
}

template <u32... counts>
u32 walk_by_count(const WalkShared& w, u32 count, u32 s, u64* v, u32* lane, u32* log,
                  std::integer_sequence<u32, counts...>) {
  using Walker = u32 (*)(const WalkShared&, u32, u64*, u32*, u32*);
  static constexpr Walker walkers[] = {walk_fixed<counts + 1>...};
  return walkers[count - 1](w, s, v, lane, log);
}

u32 walk_open_lanes(const WalkShared& w, u32 count, u32 s, u64* v, u32* lane, u32* log) {
  if (count == 0 || s >= w.m_s) return 0;
  return walk_by_count(w, count, s, v, lane, log, std::make_integer_sequence<u32, max_first_hit_lanes>{});
}

}  // namespace

u32 first_hits(const ModContext& m, const BabyStepTable& table, const ScaledMultiplier& step, u32 m_s, const u64* z,
               u32 count, u32* log) {
  const WalkShared w{table, table.filter(), m.p, step.mult, step.w_int, m_s};
  std::array<u64, max_first_hit_lanes> v{};
  std::array<u32, max_first_hit_lanes> lane{};
  for (u32 l = 0; l < count; ++l) {
    v[l] = z[l];
    lane[l] = l;
  }
  return walk_open_lanes(w, count, 0, v.data(), lane.data(), log);
}

}  // namespace modarith
