// The whole per-prime search against an independent oracle: for every prime
// of a stretch (taken from the prime iterator and checked against a
// Miller-Rabin test of every odd number in the stretch) and every listed
// (k, n) of a small table with n in [n_min, n_max], the oracle decides
// p | k*2^n+1 with 128-bit arithmetic. The search (prepare_search, then
// test_idea with the iterator's factor lists) must report every such pair,
// and every hit it reports must be a true factor, both with the
// Pohlig-Hellman route and with the general scan alone.
//
// Chance factors of listed pairs are rare, so the tables are built around
// planted ones: for the free multipliers, k is chosen for one prime and n of
// the stretch; for the twelve known multipliers (fixed k, fixed classes) the
// test finds, for primes below 2^32, the n of each class that are factors by
// its own baby-step giant-step search over the class, and lists them.
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <set>
#include <tuple>
#include <unordered_map>
#include <vector>

#include "primes/prime_iterator.hpp"
#include "primes/small_primes.hpp"
#include "search/factor_search.hpp"
#include "tests/search/scans_reference.hpp"

namespace {
using namespace scans_reference;
using sievedata::SieveTable;

// (p, slot, n)
using Pair = std::tuple<u64, u32, u64>;

struct Stretch {
  std::vector<u64> primes;
  std::vector<std::vector<u32>> factors;  // the sieve's list for each prime
};

// The twelve multipliers with their classes n = r (mod d), written out here
// on their own: the table that switches the search to its fixed-set filter.
struct KnownRow {
  u32 k, r, d;
};
constexpr KnownRow known_rows[12] = {
    {4847, 15, 24},  {5359, 6, 8},   {10223, 5, 12},  {19249, 14, 36}, {21181, 20, 24}, {22699, 46, 72},
    {24737, 7, 24},  {27653, 33, 36}, {28433, 1, 24}, {33661, 0, 24},  {55459, 10, 12}, {67607, 3, 8},
};

// A fixed, replayable sequence (64-bit LCG, high bits).
struct Lcg {
  u64 state;
  u64 next(u64 bound) {
    state = state * 6364136223846793005ULL + 1442695040888963407ULL;
    return (state >> 33) % bound;
  }
};

class SearchOracleTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (primes::small_prime_count != 2063689) primes::build_small_primes(primes::small_prime_limit);
  }

  // The first `count` primes above `start` (and not above 2^50), with their
  // factor lists; every odd number passed over must be composite.
  static Stretch take_primes(u64 start, std::size_t count) {
    Stretch s;
    primes::PrimeIterator it;
    it.segment_stopwatch.reset();
    it.segment_stopwatch.start();
    it.position(start);
    u64 expect_from = (start & ~u64{1}) + 1;
    while (s.primes.size() < count) {
      const u64 p = it.next_prime();
      if (p > common::p_ceiling) break;
      EXPECT_TRUE(is_prime(p)) << p;
      for (u64 m = expect_from; m < p; m += 2) EXPECT_FALSE(is_prime(m)) << "prime " << m << " passed over";
      expect_from = p + 2;
      s.primes.push_back(p);
      const auto f = it.current_factors();
      s.factors.emplace_back(f.begin(), f.end());
    }
    return s;
  }
};

// Every pair (p, slot, n) with n listed in the slot, n_min <= n <= n_max and
// p | k*2^n+1, decided with 128-bit arithmetic.
std::set<Pair> oracle(const Stretch& stretch, const SieveTable& table) {
  std::set<Pair> found;
  for (u64 p : stretch.primes) {
    for (u32 j = 0; j < 12; ++j) {
      const u64 k = table.k_values[j];
      u64 prev = 0;
      u64 power = 1;  // 2^prev mod p
      u64 gap = 0, gap_power = 1;
      for (u32 n : table.n_sets[j]) {
        if (n < table.n_min || n > table.n_max) continue;
        if (n - prev != gap) {
          gap = n - prev;
          gap_power = pow_mod(2, gap, p);
        }
        power = mul_mod(power, gap_power, p);
        prev = n;
        if ((mul_mod(k % p, power, p) + 1) % p == 0) found.insert({p, j, n});
      }
    }
  }
  return found;
}

struct SearchResult {
  std::set<Pair> listed;  // hits on listed pairs in range
  u64 hits = 0;
  u64 route_hits = 0;  // hits scanned in a single class (xmod != 1)
};

// Runs the search over the stretch with one context, as the range driver
// does; every hit must be a true factor.
SearchResult run_search(const Stretch& stretch, const SieveTable& table, bool general_scan_only,
                        bool known_set_mode) {
  const search::SearchSetup setup = search::prepare_search(table);
  EXPECT_EQ(setup.known_set_mode, known_set_mode);
  search::SearchContext ctx;
  ctx.general_scan_only = general_scan_only;
  SearchResult result;
  for (std::size_t i = 0; i < stretch.primes.size(); ++i) {
    const u64 p = stretch.primes[i];
    search::test_idea(ctx, setup, table, p, stretch.factors[i]);
    for (const search::Hit& h : ctx.hits) {
      EXPECT_EQ(h.p, p);
      EXPECT_TRUE(divides(p, table.k_values[h.slot], h.n)) << p << " slot " << h.slot << " n " << h.n;
      ++result.hits;
      if (h.xmod != 1) ++result.route_hits;
      if (h.n >= table.n_min && h.n <= table.n_max && table.n_sets[h.slot].count(h.n)) {
        result.listed.insert({p, h.slot, h.n});
      }
    }
  }
  EXPECT_EQ(ctx.counters.tested_p, stretch.primes.size());
  return result;
}

// Both ways through the search find exactly the oracle's pairs.
void check_against_oracle(const Stretch& stretch, const SieveTable& table, bool known_set_mode,
                          std::size_t min_pairs) {
  const std::set<Pair> expected = oracle(stretch, table);
  EXPECT_GE(expected.size(), min_pairs) << "too few planted factors for the test to bite";
  const SearchResult route = run_search(stretch, table, false, known_set_mode);
  const SearchResult general = run_search(stretch, table, true, known_set_mode);
  EXPECT_EQ(route.listed, expected) << "with the Pohlig-Hellman route";
  EXPECT_EQ(general.listed, expected) << "with the general scan only";
  EXPECT_EQ(general.route_hits, 0u);
  if (!expected.empty()) {
    EXPECT_GT(route.route_hits, 0u) << "the route never ran";
  }
}

// Class members r + d*t in [lo, hi]: every one (dense) or `count` of them.
std::vector<u32> class_members(u64 r, u64 d, u64 lo, u64 hi, std::size_t count, Lcg& lcg) {
  const u64 first = lo + (r + d - lo % d) % d;
  const u64 members = (hi - first) / d + 1;
  std::set<u32> ns;
  if (count == 0) {
    for (u64 t = 0; t < members; ++t) ns.insert(static_cast<u32>(first + d * t));
  } else {
    // Two neighbours pin the step to d; the rest are spread over the range.
    ns.insert(static_cast<u32>(first));
    ns.insert(static_cast<u32>(first + d));
    while (ns.size() < count) ns.insert(static_cast<u32>(first + d * lcg.next(members)));
  }
  return {ns.begin(), ns.end()};
}

// Free multipliers: slot j gets k planted for one prime of the stretch and
// one n of its class; dense and sparse lists alternate; slot 3 holds a single
// n (step 1, modulus 49), slot 5 a step of 7 (a modulus that does not divide
// the general giant step), slot 11 a k of 2^31 or more.
SieveTable free_table(const Stretch& stretch, u32 n_min, u32 n_max, u64 seed) {
  SieveTable table;
  table.n_min = n_min;
  table.n_max = n_max;
  Lcg lcg{seed};
  const u32 steps[12] = {24, 8, 12, 1, 36, 7, 24, 72, 6, 2, 12, 24};
  for (u32 j = 0; j < 12; ++j) {
    const u64 p = stretch.primes[(7 + 23 * j) % stretch.primes.size()];
    const u64 d = steps[j];
    const u64 r = (5 * j + 1) % d;
    const u64 k_min = j == 11 ? 0x80000000ULL : 1;
    u64 n = 0, k = 0;
    if (p < 0x100000000ULL) {
      const u64 first = n_min + (r + d - n_min % d) % d;
      n = first + d * lcg.next((n_max - first) / d + 1);
      k = k_for(p, n);
      if (k < k_min) k += p * ((k_min - k + p - 1) / p);
    } else {
      std::tie(n, k) = craft_pair(p, n_min + lcg.next(1000000), r, d, k_min);
    }
    EXPECT_LE(n, n_max);
    EXPECT_LT(k, 0x100000000ULL);
    std::vector<u32> ns;
    if (j == 3) {
      ns = {static_cast<u32>(n)};
    } else if (j % 2 == 0) {
      ns = class_members(r, d, n_min + 1000, n_min + 1000 + 80 * d, 0, lcg);
    } else {
      ns = class_members(r, d, n_min, n_max, 30, lcg);
    }
    ns.push_back(static_cast<u32>(n));
    std::sort(ns.begin(), ns.end());
    ns.erase(std::unique(ns.begin(), ns.end()), ns.end());
    set_slot(table, static_cast<int>(j), static_cast<u32>(k), ns);
  }
  return table;
}

// Every n = r (mod d) in [lo, hi] with k*2^n = -1 (mod p), for p < 2^32, by
// baby steps and giant steps over the class: n = r + d*(m*i + b).
std::vector<u64> class_factors_below_2_32(u64 p, u64 k, u64 r, u64 d, u64 lo, u64 hi) {
  auto mul = [p](u64 a, u64 b) { return a * b % p; };  // p < 2^32: no overflow
  auto pw = [&](u64 a, u64 e) {
    u64 x = 1;
    for (; e != 0; e >>= 1, a = mul(a, a)) {
      if (e & 1) x = mul(x, a);
    }
    return x;
  };
  const u64 first = lo + (r + d - lo % d) % d;
  if (first > hi) return {};
  const u64 members = (hi - first) / d + 1;
  const u64 m = 2048;
  const u64 g = pw(2, d);
  // Target: g^t = -1 / (k * 2^first).
  const u64 target = p - pw(mul(k % p, pw(2, first)), p - 2);
  std::unordered_map<u64, std::vector<u64>> baby;
  u64 x = 1;
  for (u64 b = 0; b < m; ++b, x = mul(x, g)) baby[x].push_back(b);
  const u64 giant = pw(pw(g, m), p - 2);  // g^-m
  std::vector<u64> found;
  u64 y = target;
  for (u64 i = 0; i * m < members; ++i, y = mul(y, giant)) {
    auto at = baby.find(y);
    if (at == baby.end()) continue;
    for (u64 b : at->second) {
      if (m * i + b < members) found.push_back(first + d * (m * i + b));
    }
  }
  return found;
}

// The twelve known rows, each with a dense stretch or a sparse spread of its
// class, plus (for primes below 2^32) the factors of the class found for the
// first primes of the stretch.
SieveTable known_table(const Stretch& stretch, u32 n_min, u32 n_max, u64 seed, std::size_t planted_primes) {
  SieveTable table;
  table.n_min = n_min;
  table.n_max = n_max;
  Lcg lcg{seed};
  for (u32 j = 0; j < 12; ++j) {
    const KnownRow& row = known_rows[j];
    std::vector<u32> ns = j % 2 == 0 ? class_members(row.r, row.d, n_min + 500, n_min + 500 + 80 * row.d, 0, lcg)
                                     : class_members(row.r, row.d, n_min, n_max, 40, lcg);
    for (std::size_t i = 0; i < planted_primes && i < stretch.primes.size(); ++i) {
      const u64 p = stretch.primes[i];
      if (p >= 0x100000000ULL) break;
      for (u64 n : class_factors_below_2_32(p, row.k, row.r, row.d, n_min, n_max)) ns.push_back(static_cast<u32>(n));
    }
    std::sort(ns.begin(), ns.end());
    ns.erase(std::unique(ns.begin(), ns.end()), ns.end());
    set_slot(table, static_cast<int>(j), row.k, ns);
  }
  return table;
}

TEST_F(SearchOracleTest, FreeMultipliersJustAbove1e9) {
  const Stretch stretch = take_primes(1000000000ULL, 300);
  check_against_oracle(stretch, free_table(stretch, 1000, 2000000, 11), false, 12);
}

TEST_F(SearchOracleTest, FreeMultipliersNear1e12) {
  const Stretch stretch = take_primes(1000000000000ULL, 300);
  check_against_oracle(stretch, free_table(stretch, 1000, 5000000, 12), false, 12);
}

TEST_F(SearchOracleTest, FreeMultipliersJustBelow2To50) {
  const Stretch stretch = take_primes(common::p_ceiling - 15000, 300);
  ASSERT_GE(stretch.primes.size(), 200u);
  check_against_oracle(stretch, free_table(stretch, 1000, 200000000, 13), false, 12);
}

// n up to 2^32 - 1: the widest range a data file can have.
TEST_F(SearchOracleTest, FreeMultipliersOverTheFullNRange) {
  const Stretch stretch = take_primes(1000000000000ULL, 60);
  check_against_oracle(stretch, free_table(stretch, 0, 4294967295u, 14), false, 12);
}

TEST_F(SearchOracleTest, KnownMultipliersJustAbove1e9) {
  const Stretch stretch = take_primes(1000000000ULL, 300);
  check_against_oracle(stretch, known_table(stretch, 1000, 100000000, 21, 300), true, 15);
}

// Above 2^32 no factor can be planted for fixed k in reasonable time; the
// stretch still checks every hit and the agreement of the two ways.
TEST_F(SearchOracleTest, KnownMultipliersNear1e12AndBelow2To50) {
  for (u64 start : {u64{1000000000000ULL}, u64{common::p_ceiling - 15000}}) {
    SCOPED_TRACE(start);
    const Stretch stretch = take_primes(start, 300);
    check_against_oracle(stretch, known_table(stretch, 1000, 100000000, 22, 0), true, 0);
  }
}

}  // namespace
