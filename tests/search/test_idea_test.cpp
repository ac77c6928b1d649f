// The per-prime test: the quadratic-residue filter against Euler's
// criterion, the slot filter against planted factors and a reference power
// test in 128-bit arithmetic, and the counters of test_idea.
#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <numeric>
#include <set>
#include <utility>
#include <random>
#include <vector>

#include "search/factor_search.hpp"
#include "search/residue_symbols.hpp"
#include "search/order2.hpp"
#include "tests/search/reference_numbers.hpp"

namespace {
using namespace search_reference;
using search::SlotMask;

constexpr u64 p_floor = 1000000000ULL;
constexpr u64 p_ceiling = 1ULL << 50;

u64 next_prime_from(u64 n) {
  n |= 1;
  while (!is_prime(n)) n += 2;
  return n;
}

u64 previous_prime_from(u64 n) {
  n = (n - 1) | 1;
  while (!is_prime(n)) n -= 2;
  return n;
}

// A prime spread log-uniformly over [lo, hi].
u64 random_prime(std::mt19937_64& rng, u64 lo, u64 hi) {
  const double l = std::log(static_cast<double>(lo)), h = std::log(static_cast<double>(hi));
  const double x = l + (h - l) * std::uniform_real_distribution<double>(0.0, 1.0)(rng);
  const u64 start = std::clamp<u64>(static_cast<u64>(std::exp(x)), lo, hi - 200000);
  return next_prime_from(start);
}

// The sieve's list for p: primes 31 <= q <= sqrt(p) dividing p - 1.
std::vector<u32> sieve_list(u64 p, const Factorisation& f) {
  std::vector<u32> out;
  for (const auto& [q, e] : f) {
    if (q >= 31 && q * q <= p) out.push_back(static_cast<u32>(q));
  }
  return out;
}

// Reference slot test: some n = r (mod d) has k*2^n = -1 (mod p) iff
// -k*2^r is in the subgroup of order ord / gcd(d, ord).
bool reference_survives(u64 p, u64 ord, u64 k, u32 r, u32 d) {
  if (d == 0) return false;
  const u64 t = mul_mod(k % p, pow_mod(2, r, p), p);
  return pow_mod((p - t) % p, ord / std::gcd<u64>(d, ord), p) == 1;
}

// The table-driven symbols of the filter values -k*2^(r mod 2), against
// Euler's criterion, for the known set and for generic k: primes just below
// and above the table limit (those above are left out, as are slots without
// a value), k at or above 2^31, even k, a square, a prime power. Primes across the range, the first
// and last eight of it, and small primes that divide a value (symbol 0).
TEST(QuadraticResidueFilterTest, SymbolsAgreeWithEulersCriterion) {
  std::array<u64, common::slot_count> known{};
  for (u32 j = 0; j < common::slot_count; ++j) known[j] = known_rows[j].k << (known_rows[j].r % 2);
  const std::array<u64, common::slot_count> generic = {
      2147483647, 3221225473ULL * 2, 4000000007, 1000000007ULL * 2, 3 * 3 * 5,        0,
      1ULL << 20, 1048573 * 2,      131071,     4294967291ULL,      3 * 131101 * 2, 1162261467};
  const std::array<u64, common::slot_count>* sets[] = {&known, &generic};
  for (const auto* values : sets) {
    std::mt19937_64 rng(5150);
    std::vector<u64> ps = {3, 5, 7, 23, 37, 131, 233, 1789, 10223, 67607, 131071, 131101, 1048573};
    u64 low = p_floor, high = p_ceiling;
    for (int i = 0; i < 8; ++i) {
      ps.push_back(low = next_prime_from(low + 1));
      ps.push_back(high = previous_prime_from(high));
    }
    while (ps.size() < 3000) ps.push_back(random_prime(rng, p_floor, p_ceiling));
    const search::ResidueSymbols table(*values);
    u32 negatives = 0, zeros = 0;
    for (u64 p : ps) {
      const search::KnownSymbols symbols = table.evaluate(p);
      for (u32 j = 0; j < common::slot_count; ++j) {
        const u64 value = (*values)[j];
        // Left out: no value, or an odd prime above the limit of the tables.
        u64 odd = value >> std::countr_zero(value | (1ULL << 40)), largest = 1;
        for (u64 q = 3; q * q <= odd; q += 2) {
          for (; odd % q == 0; odd /= q) largest = q;
        }
        if (odd > 1) largest = odd;
        const bool evaluated = value != 0 && largest <= search::ResidueSymbols::table_prime_limit;
        ASSERT_EQ((table.slots() >> j) & 1, evaluated ? 1u : 0u) << "value " << value;
        if (!evaluated) {
          ASSERT_EQ(((symbols.zero | symbols.negative) >> j) & 1, 0u);
          continue;
        }
        const u64 residue = (p - value % p) % p;
        const int expected = residue == 0 ? 0 : pow_mod(residue, (p - 1) / 2, p) == 1 ? 1 : -1;
        const int actual = ((symbols.zero >> j) & 1) != 0 ? 0 : ((symbols.negative >> j) & 1) != 0 ? -1 : 1;
        ASSERT_EQ(actual, expected) << "slot " << j << " value " << value << " p = " << p;
        negatives += expected < 0;
        zeros += expected == 0;
      }
    }
    EXPECT_GT(negatives, ps.size() * 6 / 3);
    EXPECT_GT(zeros, 3u);
  }
}

// Slot j gets k with k*2^n0 = -1 (mod p) planted at a random n0, so its
// solutions are exactly n = n0 (mod ord); with steps d it must survive iff
// n0 = r (mod gcd(d, ord)). p lies in (2^31, 2^32) so that k can be any
// residue: half of them are 2^31 or more, and some k are even above p.
TEST(SlotFilterTest, KeepsExactlyTheSlotsWithAPlantedSolution) {
  const u64 seed = 424242;
  std::mt19937_64 rng(seed);
  const u32 steps[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 12, 24, 36, 72};
  u32 large_k = 0, kept = 0, whacked = 0;
  for (int trial = 0; trial < 300; ++trial) {
    const u64 p = next_prime_from((1ULL << 31) + rng() % ((1ULL << 32) - (1ULL << 31) - 1000));
    const u64 ord = order_of_two(p, trial_factorise(p - 1));
    sievedata::SieveTable table;
    table.n_min = 1000;
    table.n_max = 50000000;
    SlotMask expected = 0;
    for (int j = 0; j < 12; ++j) {
      const u32 n0 = static_cast<u32>(rng() % 50000000);
      u64 k = (p - pow_mod((p + 1) / 2, n0, p)) % p;
      if (rng() % 4 == 0 && k + p < (1ULL << 32)) k += p;
      const u32 d = steps[rng() % std::size(steps)];
      const u32 r = rng() % 2 == 0 ? n0 % d : static_cast<u32>(rng() % d);
      table.k_values[j] = static_cast<u32>(k);
      table.n_step[j] = d;
      table.n_offset[j] = r;
      const u64 g = std::gcd<u64>(d, ord);
      if ((n0 % g + g - r % g) % g == 0) expected |= SlotMask{1} << j;
      large_k += k >= (1ULL << 31);
    }
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " p = " << p);
    search::SearchSetup setup = search::prepare_search(table);
    search::SearchContext ctx;
    ctx.mod = modarith::make_mod_context(p);
    const SlotMask mask = search::filter_slots(ctx, setup, table, p, ord);
    EXPECT_EQ(mask, expected);
    EXPECT_EQ(ctx.counters.whacked_k, 12u - std::popcount(mask));
    // A multiple of the order keeps at least the same slots.
    EXPECT_EQ(search::filter_slots(ctx, setup, table, p, p - 1) & expected, expected);
    // Without a common step each slot takes its own gcd: same result.
    setup.n_step_lcm = 0;
    EXPECT_EQ(search::filter_slots(ctx, setup, table, p, ord), expected);
    kept += std::popcount(expected);
    whacked += 12 - std::popcount(expected);
  }
  EXPECT_GT(large_k, 1000u);
  EXPECT_GT(kept, 500u);
  EXPECT_GT(whacked, 500u);
}

// The known set: the residue filter may only remove slots that the power
// test removes too, so the fast mode and the general path give the same
// slots and counts, and both equal the reference power test.
TEST(SlotFilterTest, KnownSetModeAgreesWithThePowerTest) {
  const u64 seed = 99001;
  std::mt19937_64 rng(seed);
  ensure_small_primes();
  const sievedata::SieveTable table = known_set_table();
  const search::SearchSetup fast = search::prepare_search(table);
  ASSERT_TRUE(fast.known_set_mode);
  search::SearchSetup general = fast;
  general.known_set_mode = false;

  u32 survivors = 0, residue_removed = 0;
  for (int trial = 0; trial < 1500; ++trial) {
    // Up to 10^11 the true order comes from trial division; above it the
    // order computation with no sieve list gives a multiple of the order.
    const bool small = trial % 3 == 0;
    const u64 p = random_prime(rng, p_floor, small ? 100000000000ULL : p_ceiling);
    search::SearchContext ctx;
    ctx.mod = modarith::make_mod_context(p);
    const u64 ord = small ? order_of_two(p, trial_factorise(p - 1)) : search::order2(ctx, table, p, {});
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " p = " << p << " ord = " << ord);

    SlotMask expected = 0;
    for (int j = 0; j < 12; ++j) {
      const KnownRow& row = known_rows[j];
      if (reference_survives(p, ord, row.k, row.r, row.d)) expected |= SlotMask{1} << j;
      const u64 filter_value = p - (u64{row.k} << (row.r % 2));
      residue_removed += pow_mod(filter_value, (p - 1) / 2, p) != 1;
    }
    const SlotMask with_filter = search::filter_slots(ctx, fast, table, p, ord);
    const u64 whacked_fast = ctx.counters.whacked_k;
    const SlotMask without_filter = search::filter_slots(ctx, general, table, p, ord);
    EXPECT_EQ(with_filter, expected);
    EXPECT_EQ(without_filter, expected);
    EXPECT_EQ(whacked_fast, 12u - std::popcount(expected));
    EXPECT_EQ(ctx.counters.whacked_k, 2 * whacked_fast);
    survivors += std::popcount(expected);
  }
  EXPECT_GT(survivors, 1000u);
  EXPECT_GT(residue_removed, 5000u);
}

TEST(SlotFilterTest, SlotsWithoutStepAreNeverSearched) {
  const u64 seed = 5150;
  std::mt19937_64 rng(seed);
  sievedata::SieveTable table = known_set_table();
  table.n_step[2] = 0;  // k listed without any n left
  table.n_offset[2] = 0;
  table.k_values[6] = 0;  // empty slot
  table.n_step[6] = 0;
  table.n_offset[6] = 0;
  table.k_values[9] = 0;  // k = 0 with a step: the power test rules it out
  const search::SearchSetup setup = search::prepare_search(table);
  EXPECT_FALSE(setup.known_set_mode);
  EXPECT_EQ(setup.n_step_lcm, 72u);

  const SlotMask never = (1u << 2) | (1u << 6) | (1u << 9);
  u64 whacked = 0;
  search::SearchContext ctx;
  for (int trial = 0; trial < 500; ++trial) {
    const u64 p = random_prime(rng, p_floor, p_ceiling);
    ctx.mod = modarith::make_mod_context(p);
    const SlotMask mask = search::filter_slots(ctx, setup, table, p, p - 1);
    EXPECT_EQ(mask & never, 0u) << "p = " << p;
    whacked += 12 - std::popcount(mask);
  }
  EXPECT_EQ(ctx.counters.whacked_k, whacked);
}

TEST(TestIdeaTest, PrimeWithoutSurvivorsCountsOnceAndSearchesNothing) {
  ensure_small_primes();
  const sievedata::SieveTable table = known_set_table();
  const search::SearchSetup setup = search::prepare_search(table);
  // The first prime above 10^9 for which the reference rules out all twelve.
  u64 p = p_floor + 1;
  Factorisation f;
  for (;; p += 2) {
    if (!is_prime(p)) continue;
    f = trial_factorise(p - 1);
    const u64 ord = order_of_two(p, f);
    bool any = false;
    for (const KnownRow& row : known_rows) any = any || reference_survives(p, ord, row.k, row.r, row.d);
    if (!any) break;
  }
  SCOPED_TRACE(::testing::Message() << "p = " << p);
  for (bool general_scan_only : {false, true}) {
    search::SearchContext ctx;
    ctx.general_scan_only = general_scan_only;
    ctx.hits.push_back(search::Hit{3, 1, 2, 1});  // left over from an earlier prime
    search::test_idea(ctx, setup, table, p, sieve_list(p, f));
    EXPECT_TRUE(ctx.hits.empty());
    EXPECT_EQ(ctx.counters.tested_p, 1u);
    EXPECT_EQ(ctx.counters.whacked_k, 12u);
    EXPECT_EQ(ctx.counters.whacked_p, 1u);
  }
}

// Every slot gets a planted factor k*2^n0+1 with n0 in the range; both
// routes (Pohlig-Hellman first, and the general scan alone) must report
// exactly the n of the range that solve the slot's class, and only true
// factors outside it.
TEST(TestIdeaTest, PlantedFactorsReportedByBothRoutes) {
  const u64 seed = 31337;
  std::mt19937_64 rng(seed);
  ensure_small_primes();
  const u32 steps[] = {1, 2, 4, 8, 12, 24};  // divisors of the general giant step
  u32 class_hits = 0;
  for (int trial = 0; trial < 24; ++trial) {
    const u64 p = next_prime_from((1ULL << 31) + rng() % ((1ULL << 32) - (1ULL << 31) - 1000));
    const Factorisation f = trial_factorise(p - 1);
    const u64 ord = order_of_two(p, f);
    sievedata::SieveTable table;
    table.n_min = 1000;
    table.n_max = 300000;
    std::set<std::pair<u32, u32>> expected;
    for (u32 j = 0; j < 12; ++j) {
      const u32 n0 = table.n_min + static_cast<u32>(rng() % (table.n_max - table.n_min + 1));
      const u32 d = steps[rng() % std::size(steps)];
      table.k_values[j] = static_cast<u32>((p - pow_mod((p + 1) / 2, n0, p)) % p);
      table.n_sets[j] = {n0};
      table.n_step[j] = d;
      table.n_offset[j] = n0 % d;
      table.n_modulus[j] = d;
      table.n_residue_count[j] = 1;
      table.n_residues[j][0] = n0 % d;
      const u64 period = std::lcm<u64>(ord, d);
      for (u64 n = n0 % period; n <= table.n_max; n += period) {
        if (n >= table.n_min) expected.insert({j, static_cast<u32>(n)});
      }
    }
    const search::SearchSetup setup = search::prepare_search(table);
    for (bool general_scan_only : {false, true}) {
      SCOPED_TRACE(::testing::Message() << "seed " << seed << " p = " << p << " general " << general_scan_only);
      search::SearchContext ctx;
      ctx.general_scan_only = general_scan_only;
      search::test_idea(ctx, setup, table, p, sieve_list(p, f));
      std::set<std::pair<u32, u32>> in_range;
      for (const search::Hit& hit : ctx.hits) {
        EXPECT_EQ(hit.p, p);
        ASSERT_LT(hit.slot, 12u);
        const u64 k = table.k_values[hit.slot];
        EXPECT_EQ((mul_mod(k, pow_mod(2, hit.n, p), p) + 1) % p, 0u) << "slot " << hit.slot << " n " << hit.n;
        if (hit.n >= table.n_min && hit.n <= table.n_max) in_range.insert({hit.slot, hit.n});
        class_hits += hit.xmod > 1;
      }
      EXPECT_EQ(in_range, expected);
      EXPECT_EQ(ctx.counters.tested_p, 1u);
    }
  }
  EXPECT_GT(class_hits, 0u);  // the Pohlig-Hellman route did report
}

}  // namespace
