// The Pohlig-Hellman route, called by hand with a chosen prime, its exact
// order of 2 and a chosen moduli list: when it declines (nothing touched),
// which n it finds (checked against the solutions n = planted (mod ord)),
// how it rewrites the moduli, and how it counts dropped slots and primes.
#include "search/sph_idea.hpp"

#include <gtest/gtest.h>

#include <numeric>
#include <tuple>
#include <set>
#include <string>
#include <vector>

#include "search/scans.hpp"
#include "tests/search/scans_reference.hpp"

namespace {
using namespace scans_reference;
using search::Hit;
using search::SearchContext;
using search::SearchSetup;
using sievedata::SieveTable;

// p - 1 = 2^2 * 3 * 5 * 7 * 11 * 13 * 179^2 and ord(2) = p - 1.
constexpr u64 p_smooth = 1924382461ULL;
// p - 1 = 2^2 * 3 * 5 * 7 * 11 * 29 * 179^2 * 233, ord(2) = p - 1.
constexpr u64 p_1e12 = 1000234790941ULL;
// p - 1 = 2^3 * 3^3 * 5 * 7 * 11 * 179^2 * 422549, ord(2) = (p - 1) / 2.
constexpr u64 p_top = 1125894301048441ULL;
// p - 1 = 2 * (odd), ord(2) = (p - 1) / 2 = 3 * 5 * 7 * 11 * 179^2 * 13513:
// 2 is a residue and -1 is not, so -k lies outside <2> for every square k.
constexpr u64 p_half = 1000160776231ULL;
// ord(2) = 88.
constexpr u64 p_order88 = 2931542417ULL;

enum class KSource {
  planted,      // k made so that p | k*2^n+1 for the first n = r (mod d) from `n` on
  planted_big,  // the same with k >= 2^31
  fixed,        // k = `n` itself
};

struct SlotSpec {
  u32 d, r;
  u64 n;
  KSource source = KSource::planted;
};

constexpr u64 no_planted_n = ~u64{0};

// One call of sph_idea on a table built from `slots` (slot j = entry j).
struct SphRun {
  SearchContext ctx;
  SieveTable table;
  SearchSetup setup;
  std::vector<u64> planted;  // the n each slot's k was made for
  bool handled = false;
  search::SlotMask mask = 0;  // the slots after the call (handed back when not handled)
};

// n_step_lcm is the common step of the slots unless `step_lcm` says otherwise
// (0 and 1 included: pass kUseSlots for the slots' own).
constexpr u64 kUseSlots = ~u64{0};

void run_sph(SphRun& run, u64 p, const std::vector<u32>& moduli, u32 n_min, u32 n_max,
             const std::vector<SlotSpec>& slots, u64 step_lcm = kUseSlots) {
  run.table.n_min = n_min;
  run.table.n_max = n_max;
  u64 common = 1;
  search::SlotMask mask = 0;
  for (std::size_t j = 0; j < slots.size(); ++j) {
    const SlotSpec& s = slots[j];
    u64 n = no_planted_n;
    u64 k = s.n;
    if (s.source != KSource::fixed) {
      const u64 k_min = s.source == KSource::planted_big ? 0x80000000ULL : 1;
      if (p < 0x100000000ULL) {
        // Below 2^32 every class member works; k may also exceed p.
        n = s.n;
        k = k_for(p, n);
        if (k < k_min) k += p * ((k_min - k + p - 1) / p);
      } else {
        std::tie(n, k) = craft_pair(p, s.n, s.r, s.d, k_min);
      }
    }
    EXPECT_LT(k, 0x100000000ULL);
    run.planted.push_back(n);
    set_classes(run.table, static_cast<int>(j), static_cast<u32>(k), s.d, s.r, s.d, {s.r});
    common = std::lcm(common, u64{s.d});
    mask |= 1u << j;
  }
  run.setup.n_step_lcm = static_cast<u32>(step_lcm == kUseSlots ? common : step_lcm);
  run.ctx.mod = modarith::make_mod_context(p);
  run.ctx.sph_moduli.fill(0);
  std::copy(moduli.begin(), moduli.end(), run.ctx.sph_moduli.begin());
  run.ctx.sph_moduli_count = static_cast<u32>(moduli.size());
  run.handled = search::sph_idea(run.ctx, run.setup, run.table, p, order_of_two(p), mask);
  run.mask = mask;
}

std::vector<u32> moduli_after(const SphRun& run) {
  return std::vector<u32>(run.ctx.sph_moduli.begin(), run.ctx.sph_moduli.begin() + run.ctx.sph_moduli_count);
}

// The n in [n_min, n_max] of slot j's class that are factors: with
// k = -2^(-planted) they are the n = planted (mod ord) with n = r (mod d).
std::set<u64> expected_hits(const SphRun& run, u64 p, int j) {
  std::set<u64> s;
  const u64 planted = run.planted[j];
  const u64 d = run.table.n_step[j];
  if (planted == no_planted_n || planted % d != run.table.n_offset[j]) return s;
  const u64 period = std::lcm(order_of_two(p), d);
  for (u64 n = planted % period; n <= run.table.n_max; n += period) {
    if (n >= run.table.n_min) s.insert(n);
  }
  return s;
}

std::set<u64> hits_in_range(const SphRun& run, u32 slot) {
  std::set<u64> s;
  for (const Hit& h : run.ctx.hits) {
    if (h.slot == slot && h.n >= run.table.n_min && h.n <= run.table.n_max) s.insert(h.n);
  }
  return s;
}

// Every hit is a true factor, with xmod = lcm(P, d) of its slot (1 when the
// general scan ran), and each slot's hits in range are exactly its factors.
void expect_hits(const SphRun& run, u64 p, u64 P) {
  for (const Hit& h : run.ctx.hits) {
    ASSERT_TRUE(divides(p, run.table.k_values[h.slot], h.n)) << "slot " << h.slot << " n " << h.n;
    ASSERT_EQ(h.xmod, P == 1 ? 1 : std::lcm(P, u64{run.table.n_step[h.slot]})) << "slot " << h.slot;
  }
  for (std::size_t j = 0; j < run.planted.size(); ++j) {
    SCOPED_TRACE(testing::Message() << "slot " << j);
    EXPECT_EQ(hits_in_range(run, static_cast<u32>(j)), expected_hits(run, p, static_cast<int>(j)));
  }
}

// Declining leaves everything as it was: no counter, no hit, the same moduli.
TEST(SphIdeaTest, DeclinesWithoutTouchingAnything) {
  struct Case {
    std::string name;
    std::vector<u32> moduli;
    u32 n_min, n_max, d;
    u64 step_lcm;
  };
  const Case cases[] = {
      {"no moduli", {}, 1000, 1000000, 24, kUseSlots},
      {"3 alone is too little", {3}, 1000, 1000000, 24, kUseSlots},
      {"first modulus above the n width", {105}, 1000, 1100, 24, kUseSlots},
      {"prefix product below 5", {3, 5}, 1000, 1010, 1, kUseSlots},
      {"common step beyond 32 bits", {105}, 1000, 1000000, 4294967291u, kUseSlots},
      {"slot step not dividing the common step", {105}, 1000, 1000000, 7, 24},
      {"no common step", {105}, 1000, 1000000, 24, 0},
      {"baby walk far too long", {5}, 0, 1000000000, 1, 1u << 24},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SphRun run;
    run_sph(run, p_smooth, c.moduli, c.n_min, c.n_max, {{c.d, 0, 5000 - 5000 % c.d}}, c.step_lcm);
    EXPECT_FALSE(run.handled);
    EXPECT_EQ(run.mask, 1u);
    EXPECT_EQ(run.ctx.counters.whacked_k, 0u);
    EXPECT_EQ(run.ctx.counters.whacked_p, 0u);
    EXPECT_TRUE(run.ctx.hits.empty());
    EXPECT_EQ(moduli_after(run), c.moduli);
  }
}

// Every factor of each slot's class in range is found and nothing false;
// the moduli list stays as order2 made it (runs q, q are combined inside).
// Moduli that cannot be combined hand every slot back for the general
// scan, which the test then runs as test_idea does.
TEST(SphIdeaTest, FindsEveryFactorOfEachSlotsClass) {
  struct Case {
    std::string name;
    u64 p;
    std::vector<u32> moduli;
    u32 n_min, n_max;
    std::vector<SlotSpec> slots;
    u64 P;  // the product used; 1: the general scan took the slots
  };
  using K = KSource;
  const std::vector<Case> cases = {
      {"a run (179, 179) solved as the two digits of n mod 179^2",
       p_smooth, {179, 179}, 1000, 1000000,
       {{24, 15, 480015}, {8, 3, 999995}, {12, 5, 600005, K::planted_big}},
       32041},
      {"CRT of composite moduli and a run over the full 32-bit n range",
       p_smooth, {420, 143, 179, 179}, 0, 4294967295u,
       {{1, 0, 4294967000u}, {12, 5, 3600000005u, K::planted_big}, {4, 3, 1003}},
       1924382460},
      {"the prefix stops where the product would pass the n width",
       p_smooth, {420, 143, 179, 179}, 1000, 10000000,
       {{24, 15, 480015}, {8, 3, 9999995}},
       60060},
      {"just below 2^50",
       p_top, {3780, 11, 179, 179}, 0, 4294967295u,
       {{24, 15, 1000000000}, {8, 3, 2000000000, K::planted_big}},
       1332264780},
      {"about 10^12, the run inside the prefix",
       p_1e12, {4620, 179, 179, 6757}, 0, 4294967295u,
       {{12, 5, 3000000000u}, {6, 1, 100000, K::planted_big}},
       148029420},
      {"order 88: every n = 5 (mod 88) of the class, with equal giant keys",
       p_order88, {8, 11}, 1000, 1000000,
       {{24, 5, 5}, {88, 5, 5}},
       88},
      {"moduli that share a factor fall back to the general scan",
       p_smooth, {6, 10}, 1000, 1000000,
       {{24, 15, 480015}},
       1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SphRun run;
    run_sph(run, c.p, c.moduli, c.n_min, c.n_max, c.slots);
    EXPECT_EQ(run.handled, c.P != 1);
    EXPECT_EQ(run.ctx.counters.whacked_k, 0u);
    EXPECT_EQ(run.ctx.counters.whacked_p, 0u);
    EXPECT_EQ(moduli_after(run), c.moduli);
    if (!run.handled) {
      EXPECT_EQ(run.mask, (1u << c.slots.size()) - 1);
      search::check_factors(run.ctx, run.table, c.p, run.mask);
    }
    for (std::size_t j = 0; j < c.slots.size(); ++j) EXPECT_FALSE(expected_hits(run, c.p, static_cast<int>(j)).empty());
    expect_hits(run, c.p, c.P);
  }
}

// Slots without a solution are dropped and counted in whacked_k; a prime
// that loses every slot is counted once in whacked_p, wherever it happens.
TEST(SphIdeaTest, CountsDroppedSlotsAndPrimes) {
  struct Case {
    std::string name;
    u64 p;
    std::vector<u32> moduli;
    u32 n_min, n_max;
    std::vector<SlotSpec> slots;
    u64 whacked_k, whacked_p, P;
  };
  using K = KSource;
  const std::vector<Case> cases = {
      {"every slot dropped in the first of two passes (-k outside <2>)",
       p_half, {105, 11}, 1000, 1000000, {{2, 0, 1, K::fixed}, {2, 0, 4, K::fixed}}, 2, 1, 1155},
      {"the last slot dropped in the final pass",
       p_half, {105}, 1000, 1000000, {{2, 0, 1, K::fixed}, {2, 0, 4, K::fixed}}, 2, 1, 105},
      {"one slot dropped, the other scanned",
       p_half, {105, 11}, 1000, 1000000, {{2, 0, 1, K::fixed}, {2, 1, 5001}}, 1, 0, 1155},
      {"the residues disagree with the slot's class",
       p_smooth, {420}, 1000, 1000000, {{2, 0, 5001}}, 1, 1, 420},
      {"the smallest n of the class lies above n_max",
       p_smooth, {105}, 0, 1000, {{100, 0, 2000}}, 1, 1, 105},
      {"one slot above n_max, the other scanned",
       p_smooth, {105}, 0, 1000, {{100, 0, 2000}, {100, 0, 700}}, 1, 0, 105},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    SphRun run;
    run_sph(run, c.p, c.moduli, c.n_min, c.n_max, c.slots);
    EXPECT_TRUE(run.handled);
    EXPECT_EQ(run.ctx.counters.whacked_k, c.whacked_k);
    EXPECT_EQ(run.ctx.counters.whacked_p, c.whacked_p);
    EXPECT_EQ(run.ctx.counters.tested_p, 0u);
    if (c.whacked_p == 1) {
      EXPECT_TRUE(run.ctx.hits.empty());
    }
    expect_hits(run, c.p, c.P);
  }
}

}  // namespace
