// Baby-step giant-step scans for one prime p.
//
// Both scans rest on k*2^(x0+s) = -2^(-G*i) (mod p) <=> p | k*2^n+1 with
// n = G*i + x0 + s: the values -2^(-G*i) of every giant block the n range
// needs go into the table once, then each slot walks k*2^(x0+s) over its own
// baby positions and looks every value up. A giant step that is a multiple of
// the walk's step makes each block continue the slot's classes where the block
// before stopped, so the blocks together cover every n of the classes from the
// first block's start up to n_max.
//
// The hot loops are the giant fill and the baby walks: one multiplication by
// a fixed factor (prepared once) and one table insert or miss test per
// position, several chains side by side. Hits are rare; the walks only note
// where they happened, and the reports are made afterwards in order.
#include "search/scans.hpp"

#include <algorithm>
#include <numeric>

#include "modarith/walks.hpp"
#include "modarith/wide_kernels.hpp"
#include "search/scans_giant_step.hpp"

namespace search {
namespace {

using modarith::ModContext;
using modarith::ScaledMultiplier;

// Giant step of the general scan: 2^5 * 3^2 * 5 * 11, a multiple of the
// n_modulus values the project's data files produce (96, 120, 144, 180, 264,
// 360, 720); the walk below also serves moduli that do not divide it.
inline constexpr u32 general_giant_step = 15840;
// Below this n_min the giant table starts at n = 0: the blocks under n_min
// cost little next to the powering that a later start would need.
inline constexpr u32 zero_start_limit = 500000;
// An n above this cannot be listed in any data file (n is a 32-bit number).
inline constexpr u64 n_ceiling = 0xffffffffULL;
inline constexpr u32 slots = slot_count;

// Fills ctx.steps with the giant entries -2^(-offset) for the offsets of
// step G from the first block (0, or the multiple of G at or below n_min)
// up to the largest multiple of G not above n_max; the entry for offset
// G*(b-1) holds index b. With `may_stay_empty` and a first offset above
// n_max (a range with n_min > n_max) the table stays empty. Returns the
// number of entries. G >= 2 keeps every index below 2^32.
//
// Offsets are 64-bit: with n_max near 2^32 a 32-bit offset would wrap and the
// loop would never end. The count is known in advance, so the table is sized
// once. The general scan needs at most 2^32 / 15840 = 271147 entries; the
// single-class scan about sqrt(10 * (n_max - n_min) / a), plus up to
// 500000 / a blocks below n_min when the table starts at 0 (a >= 5 from
// sph_idea). A very wide n range costs memory and time in proportion but
// never overflows an index.
u64 build_giant_table(SearchContext& ctx, u64 p, u64 G, u32 n_min, u32 n_max, bool may_stay_empty) {
  const ModContext& mod = ctx.mod;
  modarith::BabyStepTable& table = ctx.steps;
  const u64 h = (p + 1) / 2;  // 2^(-1) mod p
  u64 offset = 0;
  u64 b = 1;
  u64 u = p - 1;  // -2^0
  if (n_min > zero_start_limit) {
    const u64 i0 = n_min / G;
    offset = G * i0;
    b = i0 + 1;
    u = p - modarith::powmod(mod, h, offset);
  }
  u64 count = 0;
  if (offset <= n_max) {
    count = (n_max - offset) / G + 1;
  } else if (!may_stay_empty) {
    count = 1;
  }
  table.reset(static_cast<u32>(count), static_cast<u32>(b));
  if (count == 0) return 0;
  const ScaledMultiplier beta = modarith::prepare_scaled(mod, modarith::powmod(mod, h, G));
  modarith::fill_geometric_with(ctx.wide(), mod, table, u, beta, count, static_cast<u32>(b));
  return count;
}

// Appends one hit per giant entry whose key equals x, in ascending index.
// n = G*(v-1) + base is formed in 64 bits, and an n that does not fit in 32
// bits is dropped: no data file can list it. With class_modulus != 0 only
// n = class_residue (mod class_modulus) are reported (the general scan's
// walk for a modulus that does not divide the giant step passes over other
// classes too).
[[gnu::noinline]] void report_entries(const modarith::BabyStepTable& table, std::vector<u32>& found, std::vector<Hit>& hits, u64 x,
                                      u64 p, u32 slot, u64 G, u64 base, u32 xmod, u32 class_modulus,
                                      u32 class_residue) {
  found.clear();
  table.all(x, found);
  for (const u32 v : found) {
    const u64 n = G * (v - 1) + base;
    if (n <= n_ceiling && (class_modulus == 0 || n % class_modulus == class_residue)) {
      hits.push_back(Hit{p, slot, static_cast<u32>(n), xmod});
    }
  }
}

}  // namespace

void check_factors(SearchContext& ctx, const sievedata::SieveTable& table, u64 p, SlotMask slot_mask) {
  if (build_giant_table(ctx, p, general_giant_step, table.n_min, table.n_max, true) == 0) return;
  const ModContext mod = ctx.mod;

  // One walk per residue class of every surviving slot, in report order.
  struct ClassWalk {
    u32 slot;
    u32 x0;
    u32 step;
    u32 filter;
    u32 residue;
  };
  std::array<ClassWalk, slot_count * sievedata::max_residues> classes;
  std::array<modarith::Walk, slot_count * sievedata::max_residues> walks;
  u32 count = 0;
  for (u32 j = 0; j < slots; ++j) {
    if (((slot_mask >> j) & 1) == 0) continue;
    const u32 modulus = table.n_modulus[j];
    if (modulus == 0) continue;  // a slot without n has no classes to walk
    const u32 k = table.k_values[j];  // unsigned: k up to 2^32 - 1 is valid
    // When n_modulus divides the giant step, walking s = 0, M, 2M, ... below
    // the step continues each class from one block to the next. Otherwise a
    // block boundary falls inside the class's period and those positions
    // would miss n; then the walk takes every position of the coarser class
    // mod g = gcd(n_modulus, giant step), which the blocks do continue, and
    // keeps only the n of the slot's own class.
    const bool continues = general_giant_step % modulus == 0;
    const u32 step = continues ? modulus : std::gcd(modulus, general_giant_step);
    const u32 filter = continues ? 0 : modulus;
    const ScaledMultiplier c = modarith::prepare_scaled(mod, modarith::pow2mod(mod, step));
    const u32 residue_count = table.n_residue_count[j];
    for (u32 i = 0; i < residue_count; ++i) {
      const u32 r = table.n_residues[j][i];
      const u32 x0 = r % step;  // = r when the modulus divides the step
      classes[count] = ClassWalk{j, x0, step, filter, r};
      walks[count] = modarith::Walk{modarith::mulmod(mod, k, modarith::pow2mod(mod, x0)), c, (general_giant_step - 1) / step + 1};
      ++count;
    }
  }
  modarith::run_walks_with(ctx.wide(), mod, ctx.steps, walks.data(), count, ctx.walk_hits);
  for (const modarith::WalkHit& w : ctx.walk_hits) {
    const ClassWalk& cw = classes[w.walk];
    report_entries(ctx.steps, ctx.found, ctx.hits, w.key, p, cw.slot, general_giant_step,
                   u64{cw.x0} + w.position * cw.step, 1, cw.filter, cw.residue);
  }
}

void check_factors_sph(SearchContext& ctx, const sievedata::SieveTable& table, u64 a, u64 p, SlotMask slot_mask,
                       u32 M, const std::array<u32, slot_count>& S, const std::array<u32, slot_count>& X) {
  if (a == 0) return;  // no common step: nothing can be walked
  const u32 n_max = table.n_max;
  u64 G = sph_giant_step(table.n_max - table.n_min, a);
  if (G == 1) G = 2;  // only for a = 1; keeps giant indices below 2^32
  build_giant_table(ctx, p, G, table.n_min, n_max, false);
  const ModContext mod = ctx.mod;
  const u64 c = modarith::pow2mod(mod, M);

  std::array<u32, slot_count> slot_of{};
  std::array<modarith::Walk, slot_count> walks;
  u32 count = 0;
  for (u32 j = 0; j < slots; ++j) {
    if (((slot_mask >> j) & 1) == 0) continue;
    const u64 class_step = u64{S[j]} * M;  // divides a, so below 2^32
    if (class_step == 0) continue;
    // The walk covers s = 0, class_step, ... while s < G and s <= n_max:
    // with x0 = 0 and the table starting at 0, s = n_max is n = n_max itself.
    const u64 positions = std::min((G - 1) / class_step, u64{n_max} / class_step) + 1;
    slot_of[count] = j;
    walks[count] = modarith::Walk{modarith::mulmod(mod, table.k_values[j], modarith::pow2mod(mod, X[j])),
                        modarith::prepare_scaled(mod, modarith::powmod(mod, c, S[j])), positions};
    ++count;
  }
  modarith::run_walks_with(ctx.wide(), mod, ctx.steps, walks.data(), count, ctx.walk_hits);
  for (const modarith::WalkHit& w : ctx.walk_hits) {
    const u32 j = slot_of[w.walk];
    const u64 class_step = u64{S[j]} * M;
    report_entries(ctx.steps, ctx.found, ctx.hits, w.key, p, j, G, X[j] + w.position * class_step,
                   static_cast<u32>(class_step), 0, 0);
  }
}

}  // namespace search
