// The two baby-step giant-step scans, called by hand with a chosen prime and
// chosen classes, against brute force over the classes. Every hit must be a
// true factor; every factor of a searched class inside [n_min, n_max] must be
// a hit.
#include "search/scans.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <vector>

#include "tests/search/scans_reference.hpp"

namespace {
using namespace scans_reference;
using search::Hit;
using search::SearchContext;
using sievedata::SieveTable;

constexpr u64 giant = 15840;
// ord(2) = 88 divides 15840: every general giant entry has the key -1, and
// every n of one class mod 88 is a factor for a suitable k.
constexpr u64 p_order88 = 2931542417ULL;
constexpr u64 p_1e9 = 1000000007ULL;            // ord(2) = (p - 1) / 2
constexpr u64 p_1e12 = 1000000000039ULL;        // ord(2) = (p - 1) / 2
constexpr u64 p_top = 1125899906842597ULL;      // just below 2^50

SearchContext context_for(u64 p) {
  SearchContext ctx;
  ctx.mod = modarith::make_mod_context(p);
  return ctx;
}

// -2^(-offset) mod p: the key of the giant entry for `offset`.
u64 giant_key(u64 p, u64 offset) { return p - pow_mod((p + 1) / 2, offset, p); }

// Every hit is a true factor of its slot's k, reported with p and xmod.
void expect_sound(const std::vector<Hit>& hits, const SieveTable& table, u64 p, u32 xmod) {
  for (const Hit& h : hits) {
    ASSERT_EQ(h.p, p);
    ASSERT_TRUE(divides(p, table.k_values[h.slot], h.n)) << "slot " << h.slot << " n " << h.n;
    ASSERT_EQ(h.xmod, xmod);
  }
}

std::set<u64> in_range(const std::vector<Hit>& hits, u32 slot, u64 lo, u64 hi) {
  std::set<u64> s;
  for (const Hit& h : hits) {
    if (h.slot == slot && h.n >= lo && h.n <= hi) s.insert(h.n);
  }
  return s;
}

// The general scan's table starts at 0 up to n_min = 500000 and at the block
// holding n_min above it; it ends at the last multiple of 15840 <= n_max, and
// stays empty for a backwards range.
TEST(ScansTest, GeneralGiantTableCoversTheRange) {
  struct Case {
    u32 n_min, n_max;
    u64 first_offset;
    u32 first_index, entries;
  };
  const Case cases[] = {
      {1000, 1000000, 0, 1, 64},
      {500000, 1000000, 0, 1, 64},
      {500001, 1000000, 491040, 32, 33},
      {500001, 500001, 491040, 32, 1},
      {0, 4294967295u, 0, 1, 271147},
      {2000000, 1500000, 0, 0, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.n_min << ".." << c.n_max);
    SieveTable table;
    table.n_min = c.n_min;
    table.n_max = c.n_max;
    SearchContext ctx = context_for(p_1e12);
    search::check_factors(ctx, table, p_1e12, 0);
    EXPECT_EQ(ctx.steps.size(), c.entries);
    if (c.entries == 0) continue;
    EXPECT_EQ(ctx.steps.lookup(giant_key(p_1e12, c.first_offset), 0), c.first_index);
    const u64 last_offset = c.first_offset + giant * (c.entries - 1);
    EXPECT_LE(last_offset, c.n_max);
    EXPECT_GT(last_offset + giant, c.n_max);
    EXPECT_EQ(ctx.steps.lookup(giant_key(p_1e12, last_offset), 0), c.first_index + c.entries - 1);
  }
}

// With ord(2) | 15840 all seven giant entries share one key: a matching baby
// value yields one n per entry, in table order, position by position. The
// first block reports n below n_min, the last one n above n_max.
TEST(ScansTest, EqualKeysReportOneNPerEntryInTableOrder) {
  SieveTable table;
  table.n_min = 1000;
  table.n_max = 100000;
  const u64 k = k_for(p_order88, 5);  // factors exactly for n = 5 (mod 88)
  set_classes(table, 3, static_cast<u32>(k), 24, 5, 24, {5});
  SearchContext ctx = context_for(p_order88);
  search::check_factors(ctx, table, p_order88, 1u << 3);

  std::vector<u64> expected;
  for (u64 s = 0; s < giant; s += 264) {  // 5 + s = 5 (mod 88) and s = 0 (mod 24)
    for (u64 b = 0; b < 7; ++b) expected.push_back(giant * b + 5 + s);
  }
  std::vector<u64> got;
  for (const Hit& h : ctx.hits) got.push_back(h.n);
  EXPECT_EQ(got, expected);
  expect_sound(ctx.hits, table, p_order88, 1);
  EXPECT_LT(got.front(), table.n_min);
  EXPECT_GT(got.back(), table.n_max);
}

// Every n of the slots' classes in [n_min, n_max] that is a factor is found,
// for moduli that divide 15840 and for moduli that do not (a single-n slot
// gets 49, the loader may pick 7 * 8, a huge gap gives a modulus above the
// giant step): the blocks must continue the class across their boundaries.
TEST(ScansTest, GeneralScanFindsEveryFactorOfTheClasses) {
  struct SlotCase {
    u32 d, r, M;
    std::vector<u32> residues;
  };
  const std::vector<SlotCase> slots = {
      {24, 5, 24, {5}},       {8, 3, 120, {3, 27, 91}}, {8, 5, 56, {5, 21, 45}},
      {1, 0, 49, {17}},       {12, 6, 15840, {6, 7206}}, {20, 7, 31680, {7, 20007}},
  };
  for (u64 p : {p_order88, p_1e9, p_1e12, p_top}) {
    SCOPED_TRACE(p);
    const u64 ord = order_of_two(p);
    SieveTable table;
    table.n_min = 600000;
    // Near 2^50 a 32-bit k needs about 2^18 tries along the class.
    table.n_max = p == p_top ? 4000000000u : 9000000;
    search::SlotMask mask = 0;
    std::array<u64, 12> planted{};
    for (std::size_t j = 0; j < slots.size(); ++j) {
      const SlotCase& s = slots[j];
      // Plant a factor in the class of the first residue; with ord 88 every
      // member of its class mod 88 is one, so many n per slot are found.
      std::pair<u64, u64> nk;
      if (p == p_order88) {
        nk = {s.residues[0], k_for(p, s.residues[0])};
      } else if (s.M > 1000) {
        continue;  // a huge modulus has too few members to plant a 32-bit k
      } else {
        nk = craft_pair(p, 700000, s.residues[0], s.M);
        ASSERT_LE(nk.first, table.n_max);
      }
      planted[j] = nk.first;
      set_classes(table, static_cast<int>(j), static_cast<u32>(nk.second), s.d, s.r, s.M, s.residues);
      mask |= 1u << j;
    }
    SearchContext ctx = context_for(p);
    search::check_factors(ctx, table, p, mask);
    expect_sound(ctx.hits, table, p, 1);
    for (std::size_t j = 0; j < slots.size(); ++j) {
      if (((mask >> j) & 1) == 0) continue;
      SCOPED_TRACE(testing::Message() << "slot " << j << " modulus " << slots[j].M);
      const auto& res = table.n_residues[j];
      const auto res_end = res.begin() + table.n_residue_count[j];
      auto in_classes = [&](u64 n) { return std::find(res.begin(), res_end, n % slots[j].M) != res_end; };
      // The factors of this k are exactly the n = planted (mod ord).
      std::set<u64> expected;
      for (u64 n = planted[j] % ord; n <= table.n_max; n += ord) {
        if (n >= table.n_min && in_classes(n)) expected.insert(n);
      }
      EXPECT_FALSE(expected.empty());
      EXPECT_EQ(in_range(ctx.hits, static_cast<u32>(j), table.n_min, table.n_max), expected);
      EXPECT_EQ(std::count_if(ctx.hits.begin(), ctx.hits.end(),
                              [&](const Hit& h) { return h.slot == j && !in_classes(h.n); }),
                0)
          << "hits outside the slot's classes";
    }
  }
}

// k at or above 2^31 (and above p) is an unsigned multiplier; n ranges up to
// 2^32 - 1 neither wrap the offsets nor produce an n of 33 bits: slot 10's
// factor n = 2^32 + 205 lies in the last block's walk and must be dropped,
// not reported as n = 205.
TEST(ScansTest, LargeKAndFullWidthRange) {
  SieveTable table;
  table.n_min = 0;
  table.n_max = 4294967295u;
  const u64 p = p_1e9;
  const u64 ord = order_of_two(p);
  const u64 planted[2] = {4294967501ULL, 4294967000ULL};
  for (int i = 0; i < 2; ++i) {
    u64 k = k_for(p, planted[i]);
    k += p * ((0x80000000ULL - k + p - 1) / p);  // same residue, now >= 2^31
    ASSERT_LT(k, 0x100000000ULL);
    set_classes(table, 10 + i, static_cast<u32>(k), 1, 0, 1, {0});
  }
  SearchContext ctx = context_for(p);
  search::check_factors(ctx, table, p, 3u << 10);
  expect_sound(ctx.hits, table, p, 1);
  for (int i = 0; i < 2; ++i) {
    std::set<u64> expected;
    for (u64 n = planted[i] % ord; n <= 4294967295ULL; n += ord) expected.insert(n);
    EXPECT_EQ(in_range(ctx.hits, 10 + i, 0, 4294967295ULL), expected);
  }
  EXPECT_TRUE(in_range(ctx.hits, 11, 0, 4294967295ULL).count(planted[1]));
}

// Giant step of the single-class scan: G = t*a with
// t = floor(sqrt((n_max - n_min) / a * 0.1)), t = 1 below 4; the table holds
// the multiples of G from the block of n_min (or 0) up to n_max, at least one.
TEST(ScansTest, SingleClassGiantTable) {
  struct Case {
    u32 n_min, n_max;
    u64 a;
    u64 first_offset;
    u32 first_index, entries;
  };
  const Case cases[] = {
      {1000, 40000, 1000, 0, 1, 41},             // 3.9 -> t = 1, G = a
      {1000, 1001000, 1000, 0, 1, 101},          // t = 10, G = 10000
      {600000, 1600000, 120, 598080, 179, 299},  // t = 28, G = 3360
      {0, 4294967295u, 360, 0, 1, 10926},        // t = 1092, G = 393120
      {2000000, 1500000, 120, 0, 1, 1},          // backwards: W wraps, one entry
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.n_min << ".." << c.n_max << " a " << c.a);
    SieveTable table;
    table.n_min = c.n_min;
    table.n_max = c.n_max;
    SearchContext ctx = context_for(p_1e12);
    search::check_factors_sph(ctx, table, c.a, p_1e12, 0, 1, {}, {});
    if (c.n_min > c.n_max) {
      // W wraps to nearly 2^32: G is so large that the only block is the one
      // holding n_min.
      EXPECT_EQ(ctx.steps.size(), 1u);
      continue;
    }
    EXPECT_EQ(ctx.steps.size(), c.entries);
    EXPECT_EQ(ctx.steps.lookup(giant_key(p_1e12, c.first_offset), 0), c.first_index);
  }
}

// The single-class scan finds every factor of the class n = X (mod M*S) in
// range, reports xmod M*S, and reaches n = n_max itself when the giant step
// exceeds n_max and the class starts at 0.
TEST(ScansTest, SingleClassScanFindsEveryFactorOfTheClass) {
  struct Case {
    u64 p;
    u32 n_min, n_max;
    u64 a;
    u32 M, S, X;
    u64 planted;  // an n of the class that is made a factor
  };
  const Case cases[] = {
      {p_order88, 1000, 2000000, 264, 11, 24, 5, 269},
      {p_order88, 600000, 2000000, 264 * 5, 11, 24, 5, 269},
      {p_1e9, 0, 120, 840, 5, 24, 0, 120},
      {p_1e12, 1000, 50000000, 3 * 5 * 7 * 72, 105, 24, 111, 111 + 2520 * 1000},
      {p_top, 0, 4294967295u, 360, 5, 24, 48, 4000000008ULL},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.p << " " << c.n_min << ".." << c.n_max);
    SieveTable table;
    table.n_min = c.n_min;
    table.n_max = c.n_max;
    const u64 step = u64{c.M} * c.S;
    ASSERT_EQ(c.planted % step, c.X);
    // The first n of the class from `planted` on whose k fits in 32 bits.
    const auto [planted, k] = craft_pair(c.p, c.planted, c.X, step);
    ASSERT_LE(planted, c.n_max);
    table.k_values[7] = static_cast<u32>(k);
    std::array<u32, 12> S{}, X{};
    S[7] = c.S;
    X[7] = c.X;
    SearchContext ctx = context_for(c.p);
    search::check_factors_sph(ctx, table, c.a, c.p, 1u << 7, c.M, S, X);
    expect_sound(ctx.hits, table, c.p, static_cast<u32>(step));
    // The factors of this k are the n = planted (mod ord(2)); those of the
    // class are the n = planted (mod lcm(ord, step)).
    const u64 period = std::lcm(order_of_two(c.p), step);
    std::set<u64> expected;
    for (u64 n = planted % period; n <= c.n_max; n += period) {
      if (n >= c.n_min) expected.insert(n);
    }
    if (c.n_max - c.n_min <= 100000000u) {  // narrow enough to step through
      const std::vector<u64> brute = brute_force_class(c.p, k, c.X, step, c.n_min, c.n_max);
      EXPECT_EQ(std::set<u64>(brute.begin(), brute.end()), expected);
    }
    EXPECT_EQ(expected.count(planted), planted >= c.n_min ? 1u : 0u);
    EXPECT_FALSE(expected.empty());
    EXPECT_EQ(in_range(ctx.hits, 7, c.n_min, c.n_max), expected);
  }
}

}  // namespace
