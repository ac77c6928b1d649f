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
#include <bit>
#include <cmath>
#include <numeric>
#include <utility>

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

// The first block of a scan with block step G: offset 0 up to n_min =
// 500000, else the multiple of G at or below n_min; the entry for that
// offset has index `first_index`, and the blocks up to the largest multiple
// of G not above n_max are `blocks` (0 when the first offset lies beyond
// n_max, a range with n_min > n_max). Offsets are 64-bit: with n_max near
// 2^32 a 32-bit offset would wrap and a loop over them would never end.
struct Blocks {
  u64 first_offset = 0;
  u64 first_index = 1;
  u64 blocks = 0;
};

Blocks scan_blocks(u64 G, u32 n_min, u32 n_max) {
  Blocks b;
  if (n_min > zero_start_limit) {
    const u64 i0 = n_min / G;
    b.first_offset = G * i0;
    b.first_index = i0 + 1;
  }
  if (b.first_offset <= n_max) b.blocks = (n_max - b.first_offset) / G + 1;
  return b;
}

// Fills ctx.steps with `count` giant entries -2^(-offset) for the offsets
// first_offset, first_offset + step, ...; the entry for first_offset + step*i
// holds index first_index + i. The count is known in advance, so the table
// is sized once. step >= 2 keeps every index below 2^32 for any n range.
void build_giant_table(SearchContext& ctx, u64 p, const Blocks& from, u64 step, u64 count) {
  const ModContext& mod = ctx.mod;
  modarith::BabyStepTable& table = ctx.steps;
  const u64 h = (p + 1) / 2;  // 2^(-1) mod p
  const u64 u = from.first_offset == 0 ? p - 1 : p - modarith::powmod(mod, h, from.first_offset);
  table.reset(static_cast<u32>(count), static_cast<u32>(from.first_index));
  if (count == 0) return;
  const ScaledMultiplier beta = modarith::prepare_scaled(mod, modarith::powmod(mod, h, step));
  modarith::fill_geometric_with(ctx.wide(), mod, table, u, beta, count, static_cast<u32>(from.first_index));
}

// Table step of the general scan. Its hits are every n of the walked classes
// in the blocks of 15840 from the first block to n_max, so any table step
// that continues every walk's class (a multiple of every walk step, which
// all divide 15840) finds the same n; only the cost differs. With E giant
// entries (span / step) and B baby positions (step * classes_per_n) the cost
// E + B is least at step = sqrt(span / classes_per_n): for data whose slots
// keep many classes (n mod 2 or 4 only) that is far below 15840, which would
// make the walks about fifty times longer than the table. The step stays at
// most 15840 (never more entries' worth of walking than before) and keeps
// the table within max_general_entries.
inline constexpr u64 max_general_entries = u64{1} << 19;

u64 general_table_step(u64 span, u32 step_lcm, double classes_per_n) {
  if (classes_per_n <= 0) return general_giant_step;
  const double best = std::sqrt(static_cast<double>(span) / classes_per_n);
  u64 c = static_cast<u64>(best / step_lcm + 0.5);
  const u64 least = (span / max_general_entries) / step_lcm + 1;
  c = std::max({c, least, u64{1}});
  u64 step = std::min(c * step_lcm, u64{general_giant_step});
  if (step < 2) step = 2;  // step_lcm = 1 and a tiny span
  return step;
}

// Appends one hit per giant entry whose key equals x, in ascending index.
// n = first_offset + G*(v - first_index) + base is formed in 64 bits, and an
// n beyond n_last (the end of the covered blocks, or of the 32-bit n every
// data file's n fit in) is dropped. With class_modulus != 0 only
// n = class_residue (mod class_modulus) are reported (the general scan's
// walk for a modulus that does not divide the giant step passes over other
// classes too).
[[gnu::noinline]] void report_entries(const modarith::BabyStepTable& table, std::vector<u32>& found, std::vector<Hit>& hits, u64 x,
                                      u64 p, u32 slot, const Blocks& from, u64 G, u64 base, u64 n_last, u32 xmod,
                                      u32 class_modulus, u32 class_residue) {
  found.clear();
  table.all(x, found);
  for (const u32 v : found) {
    const u64 n = from.first_offset + G * (v - from.first_index) + base;
    if (n <= n_last && (class_modulus == 0 || n % class_modulus == class_residue)) {
      hits.push_back(Hit{p, slot, static_cast<u32>(n), xmod});
    }
  }
}

// The hits of one class walk in the order of a walk over blocks of 15840:
// by the position in the block (n - first_offset) mod 15840, then by block.
void sort_as_blocks(std::vector<Hit>::iterator from, std::vector<Hit>::iterator to, u64 first_offset) {
  const auto key = [first_offset](const Hit& h) {
    return std::pair{(h.n - first_offset) % general_giant_step, h.n};
  };
  for (auto i = from; i != to; ++i) {
    const Hit h = *i;
    auto k = i;
    for (; k != from && key(*(k - 1)) > key(h); --k) *k = *(k - 1);
    *k = h;
  }
}

}  // namespace

void check_factors(SearchContext& ctx, const sievedata::SieveTable& table, u64 p, SlotMask slot_mask) {
  const Blocks blocks = scan_blocks(general_giant_step, table.n_min, table.n_max);
  if (blocks.blocks == 0) {
    ctx.steps.reset(0, 1);
    return;
  }
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
  u32 step_lcm = 1;
  double classes_per_n = 0;
  for_each_slot(slot_mask, [&](u32 j) {
    const u32 modulus = table.n_modulus[j];
    if (modulus == 0) return;  // a slot without n has no classes to walk
    // When n_modulus divides the giant step, walking s = 0, M, 2M, ... below
    // the step continues each class from one block to the next. Otherwise a
    // block boundary falls inside the class's period and those positions
    // would miss n; then the walk takes every position of the coarser class
    // mod g = gcd(n_modulus, giant step), which the blocks do continue, and
    // keeps only the n of the slot's own class.
    const bool continues = general_giant_step % modulus == 0;
    const u32 step = continues ? modulus : std::gcd(modulus, general_giant_step);
    const u32 filter = continues ? 0 : modulus;
    step_lcm = std::lcm(step_lcm, step);  // divides 15840
    const u32 residue_count = table.n_residue_count[j];
    classes_per_n += static_cast<double>(residue_count) / step;
    for (u32 i = 0; i < residue_count; ++i) {
      const u32 r = table.n_residues[j][i];
      classes[count++] = ClassWalk{j, r % step, step, filter, r};  // x0 = r when the modulus divides the step
    }
  });

  // The walks cover n = first_offset + G*i + x0 + step*s for every block i of
  // the table and s < G / step: from the first block's start to the end of
  // the last block of 15840 (n_last), whatever G is.
  const u64 span = general_giant_step * blocks.blocks;
  const u64 n_last = std::min(blocks.first_offset + span - 1, n_ceiling);
  const u64 G = general_table_step(span, step_lcm, classes_per_n);
  build_giant_table(ctx, p, blocks, G, (span + G - 1) / G);
  if (count == 0) return;
  for (u32 i = 0; i < count; ++i) {
    const ClassWalk& cw = classes[i];
    const u32 k = table.k_values[cw.slot];  // unsigned: k up to 2^32 - 1 is valid
    walks[i] = modarith::Walk{modarith::mulmod(mod, k, modarith::pow2mod(mod, cw.x0)),
                              modarith::prepare_scaled(mod, modarith::pow2mod(mod, cw.step)), G / cw.step};
  }
  modarith::run_walks_with(ctx.wide(), mod, ctx.steps, walks.data(), count, ctx.walk_hits);
  std::size_t walk_begin = ctx.hits.size();
  for (std::size_t h = 0; h < ctx.walk_hits.size(); ++h) {
    const modarith::WalkHit& w = ctx.walk_hits[h];
    const ClassWalk& cw = classes[w.walk];
    report_entries(ctx.steps, ctx.found, ctx.hits, w.key, p, cw.slot, blocks, G, u64{cw.x0} + w.position * cw.step,
                   n_last, 1, cw.filter, cw.residue);
    if (h + 1 == ctx.walk_hits.size() || ctx.walk_hits[h + 1].walk != w.walk) {
      sort_as_blocks(ctx.hits.begin() + static_cast<std::ptrdiff_t>(walk_begin), ctx.hits.end(), blocks.first_offset);
      walk_begin = ctx.hits.size();
    }
  }
}

void check_factors_sph(SearchContext& ctx, const sievedata::SieveTable& table, u64 a, u64 p, SlotMask slot_mask,
                       u32 M, const std::array<u32, slot_count>& S, const std::array<u32, slot_count>& X) {
  if (a == 0) return;  // no common step: nothing can be walked
  const u32 n_max = table.n_max;
  u64 G = sph_giant_step(table.n_max - table.n_min, a);
  if (G == 1) G = 2;  // only for a = 1; keeps giant indices below 2^32
  // At least one entry, also for a range with n_min > n_max.
  const Blocks blocks = scan_blocks(G, table.n_min, n_max);
  build_giant_table(ctx, p, blocks, G, std::max(blocks.blocks, u64{1}));
  const ModContext mod = ctx.mod;

  std::array<u32, slot_count> slot_of{};
  u32 count = 0;
  // 2^M and 2^X of every walked slot: independent chains, taken side by side.
  std::array<u64, slot_count + 1> exponents{};
  std::array<u64, slot_count + 1> powers{};
  exponents[0] = M;
  for_each_slot(slot_mask, [&](u32 j) {
    if (S[j] == 0) return;
    slot_of[count] = j;
    exponents[++count] = X[j];
  });
  modarith::pow2mod_many(mod, exponents.data(), powers.data(), count + 1);
  const u64 c = powers[0];
  std::array<modarith::Walk, slot_count> walks;
  for (u32 i = 0; i < count; ++i) {
    const u32 j = slot_of[i];
    const u64 class_step = u64{S[j]} * M;  // divides a, so below 2^32
    // The walk covers s = 0, class_step, ... while s < G and s <= n_max:
    // with x0 = 0 and the table starting at 0, s = n_max is n = n_max itself.
    const u64 positions = std::min((G - 1) / class_step, u64{n_max} / class_step) + 1;
    walks[i] = modarith::Walk{modarith::mulmod(mod, table.k_values[j], powers[i + 1]),
                              modarith::prepare_scaled(mod, modarith::powmod(mod, c, S[j])), positions};
  }
  modarith::run_walks_with(ctx.wide(), mod, ctx.steps, walks.data(), count, ctx.walk_hits);
  for (const modarith::WalkHit& w : ctx.walk_hits) {
    const u32 j = slot_of[w.walk];
    const u64 class_step = u64{S[j]} * M;
    report_entries(ctx.steps, ctx.found, ctx.hits, w.key, p, j, blocks, G, X[j] + w.position * class_step, n_ceiling,
                   static_cast<u32>(class_step), 0, 0);
  }
}

}  // namespace search
