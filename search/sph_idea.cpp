// The Pohlig-Hellman route: n modulo P, a product of small moduli q of the
// order of 2, then a scan of a single class per slot.
//
// With ord the order of 2 (or a multiple holding the same q-parts) and
// h = 2^(-1), p | k*2^n+1 means h^n = -k. Raised to ord/q this reads
// beta^n = (-k)^(ord/q) with beta = h^(ord/q) of order q, so n mod q is a
// discrete logarithm in a group of q elements, solved by baby steps and giant
// steps in a table of order sqrt(q) entries. A run of equal moduli q, q, ...
// stands for q^e: each further copy finds the next base-q digit of n from the
// digits found so far, with the same table. The residues are combined by the
// Chinese remainder theorem, merged with the slot's own class r mod d, and
// check_factors_sph scans the resulting single class.
//
// Before it touches a counter the route checks that the scan it would end in
// fits the scan's 32-bit quantities and stays short; otherwise it declines and
// the general scan takes the prime, so no data file can make it wrap or crawl.
// The steps are one function each: plan_route (or decline), find_digits
// (with the baby walks of modarith::first_hits_with), combine_residues (the
// CRT) and lift_to_slot_class.
#include "search/sph_idea.hpp"

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <utility>

#include "modarith/modmul.hpp"
#include "modarith/wide_kernels.hpp"
#include "search/order2.hpp"
#include "search/scans.hpp"
#include "search/scans_giant_step.hpp"

namespace search {
namespace {

using modarith::ModContext;
using modarith::max_parallel_powers;
using modarith::ScaledMultiplier;

inline constexpr u64 u32_ceiling = 0xffffffffULL;
// Below this product the moduli narrow n too little for the route to pay.
inline constexpr u64 min_product = 5;
// Longest baby walk per slot the single-class scan may take, as a power of
// two: 2^22 positions. Real data (a common step of 72) needs under 2^17 even
// for n ranges 2^32 wide; only a common step far above a slot's own class
// step makes the walk longer (up to 2^32 / 5 positions per prime), and then
// the general scan, whose walks are bounded by 10 * 15840 positions per
// slot, is the better choice.
inline constexpr u32 max_walk_shift = 22;

// The inverse of a modulo m (m >= 1), taken in 1..m, by the extended
// Euclidean algorithm; 0 when gcd(a, m) != 1. Every modulus the route inverts
// by (a product of moduli, a slot's step) fits 32 bits, where the remainders
// are cheaper.
u64 inverse_mod(u64 a, u32 m) {
  if (m == 1) return 1;
  // Invariants: r0 = s0*a (mod m), r1 = s1*a (mod m); signed cofactors stay
  // below m in absolute value.
  common::i64 s0 = 1;
  common::i64 s1 = 0;
  u32 r0 = static_cast<u32>(a % m);
  u32 r1 = m;
  while (r1 != 0) {
    const u32 q = r0 / r1;
    const u32 r2 = r0 - q * r1;
    const common::i64 s2 = s0 - static_cast<common::i64>(q) * s1;
    r0 = r1;
    r1 = r2;
    s0 = s1;
    s1 = s2;
  }
  if (r0 != 1) return 0;
  return s0 <= 0 ? static_cast<u64>(s0 + static_cast<common::i64>(m)) : static_cast<u64>(s0);
}

// gcd(x, d) for a slot's step d >= 1: one remainder brings x below d, where
// the gcd takes a few rounds instead of the many a 32-bit x would cost.
inline u64 gcd_with_step(u64 x, u64 d) { return std::gcd(static_cast<u32>(x % d), static_cast<u32>(d)); }

// -k mod p for k < 2^32 (k may exceed p when p < 2^32); p itself when p | k,
// which powmod treats as 0.
inline u64 negated_k(u64 p, u64 k) {
  while (k >= p) k -= p;  // at most four rounds: p > 10^9
  return p - k;
}

// out[j] = in[j]^e for the slots of the mask, a_out = a^e and b_out = b^e:
// one exponent for all, so one pass over its bits (packed in slot order,
// the pair last).
void raise_side_by_side(const SearchContext& ctx, SlotMask slot_mask, const std::array<u64, slot_count>& in, u64 a,
                        u64 b, u64 e, std::array<u64, slot_count>& out, u64& a_out, u64& b_out) {
  std::array<u64, slot_count + 2> packed{};
  u32 count = 0;
  for_each_slot(slot_mask, [&](u32 j) { packed[count++] = in[j]; });
  packed[count] = a;
  packed[count + 1] = b;
  modarith::powmod_many_with(ctx.wide(), ctx.mod, packed.data(), packed.data(), count + 2, e);
  a_out = packed[count];
  b_out = packed[count + 1];
  count = 0;
  for_each_slot(slot_mask, [&](u32 j) { out[j] = packed[count++]; });
}

// n mod (modulus i) for slot j, or n mod q^e along a run.
using Residues = std::array<std::array<u32, slot_count>, max_moduli>;

// Plans the route (L, P and a of `plan`), or declines (false) when it does
// not pay or the scan it would end in does not fit its 32-bit quantities.
// Reads only.
bool plan_route(const u32* moduli, u32 count, const SearchSetup& setup, const sievedata::SieveTable& table,
                SlotMask slot_mask, RouteStart& plan) {
  if (count == 0) return false;

  // Prefix of the moduli whose product P still fits the n range: n mod P
  // then leaves at least one member of each class in the range.
  const u32 width = table.n_max - table.n_min;
  u64 P = 1;
  u32 L = 0;
  while (L < count) {
    const u32 q = moduli[L];
    // A modulus above the prime ceiling would need a table the route was not
    // sized for; none comes from order2, but a list that breaks the bound
    // ends the prefix rather than the run.
    if (q == 0 || q > moduli_prime_ceiling || q > width / P) break;
    P *= q;
    ++L;
  }
  if (P < min_product) return false;

  // The scan this prime would end in: a = lcm(P, n_step_lcm) is its common
  // step and every slot's class step lcm(P, d) must divide it. The scan's n,
  // steps and giant step are 32-bit quantities; when one would not fit (or
  // the set-up gives no common step), decline.
  const u64 step_lcm = setup.n_step_lcm;
  if (step_lcm == 0) return false;
  const u64 a = P / gcd_with_step(P, step_lcm) * step_lcm;
  if (a > u32_ceiling) return false;
  const u64 G = sph_giant_step(width, a);
  if (G > u32_ceiling) return false;
  // A slot walks at most min(G, n_max + 1) / lcm(P, d) positions. As
  // lcm(P, d) >= P, a span within P << max_walk_shift needs no lcm.
  const u64 walk_span = std::min<u64>(G, u64{table.n_max} + 1);
  const bool short_walks = walk_span <= (P << max_walk_shift);
  const bool scans_fit = all_slots(slot_mask, [&](u32 j) {
    const u64 d = table.n_step[j];
    if (d == 0 || step_lcm % d != 0) return false;
    return short_walks || walk_span <= ((P / gcd_with_step(P, d) * d) << max_walk_shift);
  });
  if (!scans_fit) return false;
  plan.L = L;
  plan.P = P;
  plan.a = a;
  return true;
}

// The digits: R[i][j] = n mod moduli[i] for i < L, where `moduli` (a copy of
// the moduli list) has each run q, q, ..., q turned into 0, ..., 0, q^e.
// Slots whose target is no power of the modulus's base have no n at all:
// they are dropped and counted in whacked_k. Returns the surviving slots
// (0 as soon as none survives).
SlotMask find_digits(SearchContext& ctx, const sievedata::SieveTable& table, u64 p, u64 ord, const RouteStart& plan,
                     SlotMask slot_mask, std::array<u32, max_moduli + 1>& moduli, Residues& R) {
  const ModContext mod = ctx.mod;
  modarith::BabyStepTable& babies = ctx.steps;
  const u64 P = plan.P;
  // Raised to P/q, the first powers Y, H and T of the plan give the target
  // of modulus q, its base beta = h^(ord/q) = H^(P/q) and beta^-1 = T^(P/q).
  const std::array<u64, slot_count>& Y = plan.Y;
  const u64 H = plan.H;
  const u64 T = plan.T;
  std::array<u64, slot_count> neg_k{};
  for_each_slot(slot_mask, [&](u32 j) { neg_k[j] = negated_k(p, table.k_values[j]); });

  u32 prev = 0;
  u32 m = 1;
  u32 m_s = 1;
  u64 beta = 1;
  u64 beta_inverse = 1;
  for (u32 i = 0; i < plan.L; ++i) {
    if (slot_mask == 0) return 0;
    const u32 q = moduli[i];
    std::array<u64, slot_count> target{};
    if (q == prev) {
      // Next digit of a run: the table of q stays. The target depends on
      // the digits found so far.
      m *= q;
      moduli[i - 1] = 0;
      // One exponent for every slot: the powers are taken side by side.
      std::array<u64, slot_count> base{};
      u32 count = 0;
      for_each_slot(slot_mask, [&](u32 j) {
        base[count++] = modarith::mulmod(mod, neg_k[j], modarith::pow2mod(mod, R[i - 1][j]));
      });
      modarith::powmod_many_with(ctx.wide(), mod, base.data(), base.data(), count, ord / (u64{q} * m));
      count = 0;
      for_each_slot(slot_mask, [&](u32 j) { target[j] = base[count++]; });
    } else {
      // First digit: the targets Y^(P/q), beta = H^(P/q) and beta^-1 =
      // T^(P/q) share their exponent and are taken side by side.
      raise_side_by_side(ctx, slot_mask, Y, H, T, P / q, target, beta, beta_inverse);
      // Table of q: gamma^(b-1) -> b for b = 1 .. ceil(q/m_s), gamma = beta^m_s.
      // Baby steps per walk. beta has order exactly q (every prime of q
      // keeps its full power in ord), so the logarithm in [0, q) is unique
      // and every split of q into table entries and walk steps finds the
      // same one: a walk first meets the table at s = n mod m_s. The split
      // is chosen for cost: the table is filled once, but every surviving
      // slot walks (about m_s / 2 steps on average), so with S slots the
      // table takes about sqrt(S / 1.5) times more entries than sqrt(q).
      const double walkers = std::max(1, std::popcount(slot_mask));
      m_s = static_cast<u32>(std::sqrt(1.5 * static_cast<double>(q) / walkers)) + 1;
      const u32 entries = (q + m_s - 1) / m_s;
      babies.reset(entries);
      const ScaledMultiplier gamma = modarith::prepare_scaled(mod, modarith::powmod(mod, beta, m_s));
      modarith::fill_geometric_with(ctx.wide(), mod, babies, 1, gamma, entries, 1);
      prev = q;
      m = 1;
    }
    // The surviving slots' targets as lanes, walked by beta^-1.
    std::array<u32, slot_count> lane_slot{};
    std::array<u64, slot_count> z{};
    u32 lanes = 0;
    for_each_slot(slot_mask, [&](u32 j) {
      lane_slot[lanes] = j;
      z[lanes] = target[j];
      ++lanes;
    });
    std::array<u32, slot_count> log{};
    const u32 solved = modarith::first_hits_with(ctx.wide(), mod, babies, modarith::prepare_scaled(mod, beta_inverse),
                                                 m_s, z.data(), lanes, log.data());
    for (u32 l = 0; l < lanes; ++l) {
      const u32 j = lane_slot[l];
      if ((solved >> l) & 1) {
        R[i][j] = m == 1 ? log[l] : log[l] * m + R[i - 1][j];
      } else {  // the target is no power of beta: no n at all
        slot_mask &= ~(SlotMask{1} << j);
        ++ctx.counters.whacked_k;
      }
    }
    moduli[i] *= m;
  }
  return slot_mask;
}

// Chinese remainder theorem over the non-zero moduli of the first L (a run
// has become 0, ..., 0, q^e): X[j] = n mod M for the slots of the mask, M the
// product. False when two moduli share a factor and cannot be combined.
bool combine_residues(const std::array<u32, max_moduli + 1>& moduli, u32 L, const Residues& R, SlotMask slot_mask,
                      std::array<u32, slot_count>& X, u64& M) {
  M = 1;
  for (u32 i = 0; i < L; ++i) {
    const u64 q = moduli[i];
    if (q == 0) continue;
    if (M == 1) {
      for_each_slot(slot_mask, [&](u32 j) { X[j] = R[i][j]; });
      M = q;
      continue;
    }
    const u64 c = inverse_mod(M, static_cast<u32>(q));
    if (c == 0) return false;
    for_each_slot(slot_mask, [&](u32 j) {
      // (R - X + M) keeps the difference positive; M*c = 1 (mod q) cancels
      // the added M against the -1. All below 2^49 (q <= 2^24, q*M <= 2^32).
      const u64 digit = ((R[i][j] - u64{X[j]} + M) * c - 1) % q;
      X[j] = static_cast<u32>(X[j] + M * digit);
    });
    M *= q;
  }
  return true;
}

// Merges n = X (mod M) with the slot's own class n = r (mod d) and lifts it
// to the smallest n >= 0 of the combined class mod lcm(M, d): X[j] becomes
// that n and S[j] = d / gcd(M, d). The two agree only when X = r (mod
// gcd(M, d)); a slot where they do not, or whose smallest n lies above
// n_max, is dropped and counted in whacked_k. Returns the surviving slots.
SlotMask lift_to_slot_class(SearchContext& ctx, const sievedata::SieveTable& table, SlotMask slot_mask, u64 M,
                            std::array<u32, slot_count>& X, std::array<u32, slot_count>& S) {
  // What depends on the step alone (g = gcd(M, d), d/g and (M/g)^-1 mod
  // d/g) is worked out once per distinct step: the slots of a file share a
  // few steps, and each of these costs a chain of divisions.
  struct StepSolve {
    u32 d = 0;
    u32 g = 1;
    u32 d_g = 1;
    u64 inverse = 0;
  };
  std::array<StepSolve, slot_count> solves;
  u32 solve_count = 0;
  for_each_slot(slot_mask, [&](u32 j) {
    const u32 d = table.n_step[j];
    const u32 r = table.n_offset[j];  // below d
    u32 c = 0;
    while (c < solve_count && solves[c].d != d) ++c;
    if (c == solve_count) {
      StepSolve& fresh = solves[solve_count++];
      fresh.d = d;
      fresh.g = static_cast<u32>(gcd_with_step(M, d));
      fresh.d_g = d / fresh.g;
      if (fresh.d_g > 1) fresh.inverse = inverse_mod((M / fresh.g) % fresh.d_g, fresh.d_g);
    }
    const StepSolve& step = solves[c];
    // The two classes meet only when X = r (mod g).
    const u32 x = X[j];
    if (x % step.g != r % step.g) {
      slot_mask &= ~(SlotMask{1} << j);
      ++ctx.counters.whacked_k;
      return;
    }
    // X + M*t with (M/g)*t = (r - X)/g (mod d/g), solved directly instead
    // of by adding M until it fits, which would take up to d/g rounds.
    u64 n = x;
    if (step.d_g > 1) {
      u64 need = u64{r} + d - x % d;  // (r - X) mod d, in (0, 2d) before the step back
      if (need >= d) need -= d;
      const u64 t = need / step.g * step.inverse % step.d_g;
      n += M * t;
    }
    if (n > table.n_max) {
      slot_mask &= ~(SlotMask{1} << j);
      ++ctx.counters.whacked_k;
    } else {
      X[j] = static_cast<u32>(n);
      S[j] = step.d_g;
    }
  });
  return slot_mask;
}

}  // namespace

bool sph_plan(const u32* moduli, u32 moduli_count, const SearchSetup& setup, const sievedata::SieveTable& table,
              SlotMask slot_mask, RouteStart& start) {
  start.planned = plan_route(moduli, moduli_count, setup, table, slot_mask, start);
  return start.planned;
}

u32 sph_first_bases(const sievedata::SieveTable& table, u64 p, SlotMask slot_mask, u64* bases) {
  u32 count = 0;
  for_each_slot(slot_mask, [&](u32 j) { bases[count++] = negated_k(p, table.k_values[j]); });
  bases[count] = (p + 1) / 2;
  bases[count + 1] = 2;
  return count + 2;
}

void sph_store_first_powers(SlotMask slot_mask, const u64* powers, RouteStart& start) {
  u32 count = 0;
  for_each_slot(slot_mask, [&](u32 j) { start.Y[j] = powers[count++]; });
  start.H = powers[count];
  start.T = powers[count + 1];
}

bool sph_idea(SearchContext& ctx, const SearchSetup& setup, const sievedata::SieveTable& table, u64 p, u64 ord,
              SlotMask& slot_mask, const RouteStart* start) {
  RouteStart own;
  if (start == nullptr) {
    if (!sph_plan(ctx.sph_moduli.data(), ctx.sph_moduli_count, setup, table, slot_mask, own)) return false;
    std::array<u64, max_parallel_powers> powers{};
    const u32 count = sph_first_bases(table, p, slot_mask, powers.data());
    modarith::powmod_many_with(ctx.wide(), ctx.mod, powers.data(), powers.data(), count, ord / own.P);
    sph_store_first_powers(slot_mask, powers.data(), own);
    start = &own;
  } else if (!start->planned) {
    return false;
  }
  const RouteStart& plan = *start;

  std::array<u32, max_moduli + 1> moduli = ctx.sph_moduli;
  Residues R;
  slot_mask = find_digits(ctx, table, p, ord, plan, slot_mask, moduli, R);
  if (slot_mask == 0) {
    ++ctx.counters.whacked_p;
    return true;
  }
  std::array<u32, slot_count> X{};
  u64 M = 1;
  // Moduli that share a factor cannot be combined. order2 never gives such
  // a list; should one appear, the surviving slots (whose drops above are
  // sound) go back to the caller for the general scan, so nothing is lost.
  if (!combine_residues(moduli, plan.L, R, slot_mask, X, M)) return false;
  std::array<u32, slot_count> S{};
  slot_mask = lift_to_slot_class(ctx, table, slot_mask, M, X, S);
  if (slot_mask == 0) {
    ++ctx.counters.whacked_p;
    return true;
  }
  check_factors_sph(ctx, table, plan.a, p, slot_mask, static_cast<u32>(M), S, X);
  return true;
}

}  // namespace search
