// The order of 2 and the moduli list: the result is checked against the
// order computed from an independently known factorisation of p - 1 (built
// by construction or by trial division in the test), the list against its
// invariants for every prime and against crafted factor lists for each rule.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <random>
#include <span>
#include <vector>

#include "search/order2.hpp"
#include "tests/search/reference_numbers.hpp"

namespace {
using namespace search_reference;
using search::max_moduli;

constexpr u64 p_floor = 1000000000ULL;
constexpr u64 p_ceiling = 1ULL << 50;

u64 isqrt(u64 n) {
  u64 r = static_cast<u64>(std::sqrt(static_cast<double>(n)));
  while (r * r > n) --r;
  while ((r + 1) * (r + 1) <= n) ++r;
  return r;
}

// A prime with the full factorisation of p - 1 and the list the segment
// sieve gives for it: the primes 31 <= q <= sqrt(p) dividing p - 1 (the
// sieve reaches at least sqrt(p), so no larger q is assumed listed).
struct Case {
  u64 p = 0;
  Factorisation p_minus_1;
  std::vector<u32> sieve_list;
  bool fully_listed = true;  // every prime factor >= 31 is in the list
};

Case make_case(u64 p, Factorisation f) {
  Case c{p, std::move(f), {}, true};
  const u64 bound = isqrt(p);
  for (const auto& [q, e] : c.p_minus_1) {
    if (q < 31) continue;
    if (q <= bound) {
      c.sieve_list.push_back(static_cast<u32>(q));
    } else {
      c.fully_listed = false;
    }
  }
  return c;
}

// The odd primes below 2^25, by a plain sieve of the test's own.
const std::vector<u32>& factor_primes() {
  static const std::vector<u32> list = [] {
    const u32 limit = 1u << 25;
    std::vector<bool> composite(limit, false);
    std::vector<u32> out;
    for (u32 i = 3; i < limit; i += 2) {
      if (composite[i]) continue;
      out.push_back(i);
      for (u64 j = u64{i} * i; j < limit; j += 2 * u64{i}) composite[j] = true;
    }
    return out;
  }();
  return list;
}

// A random prime in [lo, hi] from the list (lo <= hi, both within it).
u32 random_prime(std::mt19937_64& rng, u64 lo, u64 hi) {
  const auto& list = factor_primes();
  const auto first = std::lower_bound(list.begin(), list.end(), lo);
  const auto last = std::upper_bound(list.begin(), list.end(), hi);
  if (first >= last) return 0;
  return *(first + static_cast<std::ptrdiff_t>(rng() % static_cast<u64>(last - first)));
}

// Primes p in [10^9, 2^50] built as 1 + 2^a * (powers of 3..29) * (larger
// primes up to 2^25, sometimes squared), so p - 1 is known completely.
std::vector<Case> constructed_cases(std::mt19937_64& rng, u32 wanted) {
  std::vector<Case> out;
  while (out.size() < wanted) {
    const u32 bits = 31 + static_cast<u32>(rng() % 20);  // p - 1 below 2^bits
    const u64 ceiling = 1ULL << bits;
    const u32 twos = rng() % 4 == 0 ? 1 + static_cast<u32>(rng() % 24) : 1 + static_cast<u32>(rng() % 4);
    u64 m = 1ULL << twos;
    std::map<u64, u32> f{{2, twos}};
    for (u64 q : {3, 5, 7, 11, 13, 17, 19, 23, 29}) {
      if (rng() % 3 != 0) continue;
      for (u32 e = 1 + static_cast<u32>(rng() % 3); e > 0 && m * q < ceiling; --e) {
        m *= q;
        ++f[q];
      }
    }
    while (m < ceiling / 2) {
      const u64 room = ceiling / m;
      if (room < 31) break;
      const u32 top_bits = std::min<u32>(25, static_cast<u32>(std::log2(static_cast<double>(room))));
      const u32 s = 5 + static_cast<u32>(rng() % std::max<u32>(1, top_bits - 4));
      const u32 q = random_prime(rng, std::max<u64>(31, 1ULL << (s - 1)), std::min<u64>(room, 1ULL << s));
      if (q == 0) break;
      m *= q;
      ++f[q];
      if (rng() % 5 == 0 && m * q < ceiling) {
        m *= q;
        ++f[q];
      }
    }
    const u64 p = m + 1;
    if (p < p_floor || p > p_ceiling || !is_prime(p)) continue;
    out.push_back(make_case(p, Factorisation(f.begin(), f.end())));
  }
  return out;
}

// Random primes in [10^9, 10^12], p - 1 factorised by trial division.
std::vector<Case> random_cases(std::mt19937_64& rng, u32 wanted) {
  std::vector<Case> out;
  while (out.size() < wanted) {
    u64 p = (p_floor + rng() % (1000000000000ULL - p_floor)) | 1;
    while (!is_prime(p)) p += 2;
    out.push_back(make_case(p, trial_factorise(p - 1)));
  }
  return out;
}

// Every modulus divides the order (the product of all of them too, digits
// q, q of a prime power included), is a prime up to 2^24 or a merged
// product below lim, and the list ends in 0.
void expect_moduli_sound(const search::SearchContext& ctx, u64 order, u32 lim) {
  const u32 count = ctx.sph_moduli_count;
  ASSERT_LE(count, max_moduli);
  EXPECT_EQ(ctx.sph_moduli[count], 0u);
  u64 rest = order;
  for (u32 i = 0; i < count; ++i) {
    const u32 m = ctx.sph_moduli[i];
    EXPECT_GT(m, 1u);
    EXPECT_LE(m, search::moduli_prime_ceiling);
    EXPECT_TRUE(m < lim || is_prime(m)) << "modulus " << m << " lim " << lim;
    ASSERT_EQ(rest % m, 0u) << "modulus " << m << " does not divide what is left of the order";
    rest /= m;
  }
}

class Order2Test : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ensure_small_primes(); }
  static void check_batch_orders(modarith::KernelSet set);
};

TEST_F(Order2Test, ExactOrderWhenFactoredMultipleOtherwise) {
  const u64 seed = 20240611;
  std::mt19937_64 rng(seed);
  std::vector<Case> cases = constructed_cases(rng, 320);
  std::vector<Case> more = random_cases(rng, 120);
  cases.insert(cases.end(), more.begin(), more.end());

  // Two tables: the wide range of the real data, and a narrow one whose
  // lim (2000) drops factors.
  sievedata::SieveTable wide;
  wide.n_min = 1000;
  wide.n_max = 50000000;
  sievedata::SieveTable narrow;
  narrow.n_min = 1000;
  narrow.n_max = 5000;

  u32 exact = 0, partial = 0, twos_removed = 0, odd_removed = 0;
  for (std::size_t i = 0; i < cases.size(); ++i) {
    const Case& c = cases[i];
    SCOPED_TRACE(::testing::Message() << "seed " << seed << " p = " << c.p);
    const sievedata::SieveTable& table = i % 4 == 3 ? narrow : wide;
    search::SearchContext ctx;
    ctx.mod = modarith::make_mod_context(c.p);
    const u64 o = search::order2(ctx, table, c.p, c.sieve_list);
    const u64 order = order_of_two(c.p, c.p_minus_1);
    if (c.fully_listed) {
      ++exact;
      EXPECT_EQ(o, order);
      EXPECT_TRUE(is_order_of_two(o, c.p, c.p_minus_1));
    } else {
      ++partial;
      EXPECT_EQ(o % order, 0u);
      EXPECT_EQ((c.p - 1) % o, 0u);
    }
    expect_moduli_sound(ctx, o, search::moduli_limit(table.n_min, table.n_max));
    if (((c.p - 1) / order) % 2 == 0) ++twos_removed;
    if (((c.p - 1) / order) % 2 != 0 || ((c.p - 1) / order) > 2) ++odd_removed;
  }
  // The sample must exercise both outcomes and the removal of copies.
  EXPECT_GE(exact, 250u);
  EXPECT_GE(partial, 30u);
  EXPECT_GE(twos_removed, 20u);
  EXPECT_GE(odd_removed, 20u);
}

// The batch (all powers of several primes through the kernels together,
// with every kernel set the processor runs) gives every prime the order and
// moduli list it has alone: partial batches, the primes in any mix of
// factor shapes, two tables.
TEST_F(Order2Test, BatchGivesEveryPrimeItsOwnOrderAndModuli) {
  for (const modarith::KernelSet set : modarith::kernel_sets_fastest_first) {
    if (!modarith::kernel_set_runs(set)) continue;
    SCOPED_TRACE(modarith::kernel_set_name(set));
    check_batch_orders(set);
  }
}

void Order2Test::check_batch_orders(modarith::KernelSet set) {
  const u64 seed = 20261210;
  std::mt19937_64 rng(seed);
  std::vector<Case> cases = constructed_cases(rng, 200);
  std::vector<Case> more = random_cases(rng, 60);
  cases.insert(cases.end(), more.begin(), more.end());
  sievedata::SieveTable table;
  table.n_min = 1000;
  table.n_max = 3000000;

  search::SearchContext batch_ctx;
  batch_ctx.kernels = set;
  const std::array<u32, 5> batch_sizes{8, 3, 1, 8, 5};
  std::size_t next = 0;
  for (u32 round = 0; next < cases.size(); ++round) {
    const u32 count = std::min<u32>(batch_sizes[round % batch_sizes.size()], static_cast<u32>(cases.size() - next));
    std::array<u64, search::order_batch_size> primes{};
    std::array<std::span<const u32>, search::order_batch_size> lists{};
    for (u32 i = 0; i < count; ++i) {
      primes[i] = cases[next + i].p;
      lists[i] = cases[next + i].sieve_list;
    }
    search::order2_batch(batch_ctx, table, primes.data(), lists.data(), count);
    ASSERT_EQ(batch_ctx.order_batch.count, count);
    for (u32 i = 0; i < count; ++i) {
      const Case& c = cases[next + i];
      SCOPED_TRACE(::testing::Message() << "seed " << seed << " p = " << c.p << " place " << i << " of " << count);
      search::SearchContext alone;
      alone.kernels = modarith::KernelSet::scalar;
      alone.mod = modarith::make_mod_context(c.p);
      const u64 o = search::order2(alone, table, c.p, c.sieve_list);
      EXPECT_EQ(batch_ctx.order_batch.mod[i].p, c.p);
      EXPECT_EQ(batch_ctx.order_batch.ord[i], o);
      if (c.fully_listed) {
        EXPECT_EQ(o, order_of_two(c.p, c.p_minus_1));
      }
      const u32 moduli = batch_ctx.order_batch.moduli_count[i];
      ASSERT_EQ(moduli, alone.sph_moduli_count);
      for (u32 j = 0; j <= moduli; ++j) EXPECT_EQ(batch_ctx.order_batch.moduli[i][j], alone.sph_moduli[j]);
    }
    next += count;
  }
}

TEST_F(Order2Test, SieveListThatDoesNotBelongToPNeverGivesAWrongOrder) {
  // p - 1 = 2 * 3 * 31 * 37 * 331 * 439.
  const u64 p = 1000016539;
  const Factorisation f = trial_factorise(p - 1);
  const u64 order = order_of_two(p, f);
  search::SearchContext ctx;
  ctx.mod = modarith::make_mod_context(p);
  sievedata::SieveTable table;
  table.n_min = 1000;
  table.n_max = 1000000;

  EXPECT_EQ(search::order2(ctx, table, p, std::vector<u32>{31, 37, 331, 439}), order);
  // Primes that do not divide p - 1, a repeat, and the entries 0 and 1 are
  // ignored; the missing 331 leaves a multiple of the order.
  const std::vector<u32> foreign{0, 1, 31, 31, 37, 41, 439, 1000003};
  const u64 o = search::order2(ctx, table, p, foreign);
  EXPECT_EQ(o % order, 0u);
  EXPECT_EQ((p - 1) % o, 0u);
  expect_moduli_sound(ctx, o, search::moduli_limit(table.n_min, table.n_max));
}

struct ModuliCase {
  const char* rule;
  std::vector<u32> factors;
  u32 lim;
  std::vector<u32> expected;
};

TEST(ModuliListTest, MergeRules) {
  const u32 wide = 8388608;
  const std::vector<ModuliCase> cases = {
      {"small primes accumulate until 30000", {2, 3, 5, 7, 11, 13, 17, 19}, wide, {2310, 4199}},
      {"a prime power reaching 30000 starts its own entry", {2, 2, 7, 7, 7, 7, 7, 7}, wide, {4, 117649}},
      {"a small prime power merges", {2, 2, 7, 7}, wide, {196}},
      {"first copy removed: the kept power still starts its own entry", {2, 0, 7, 7, 7, 7, 7, 7}, wide, {2, 117649}},
      {"q >= 174 twice gives one entry per copy", {2, 401, 401}, wide, {2, 401, 401}},
      {"q = 174 alone twice", {174, 174}, wide, {174, 174}},
      {"q = 173 twice still merges", {2, 173, 173}, wide, {2, 29929}},
      {"three copies of a large prime", {401, 401, 401}, wide, {401, 401, 401}},
      {"q above 2^24 left out", {2, 3, 16777259, 5}, wide, {30}},
      {"the largest prime below 2^24 is kept", {2, 16777213}, wide, {2, 16777213}},
      {"lim below 30000 drops factors", {2, 3, 5, 7, 11, 13}, 1000, {210}},
      {"a single prime is appended whatever lim", {2, 3, 40009}, 1000, {6, 40009}},
      {"merges stop below lim", {2, 2, 2, 2}, 8, {4}},
      {"removed copies are skipped", {0, 0, 2, 3, 0, 5}, wide, {30}},
      {"all copies removed", {0, 0, 0}, wide, {}},
      {"empty list", {}, wide, {}},
  };
  for (const ModuliCase& c : cases) {
    SCOPED_TRACE(c.rule);
    std::array<u32, max_moduli + 1> moduli;
    moduli.fill(0xdeadbeef);
    const u32 count = search::build_moduli_list(c.factors, c.lim, moduli);
    ASSERT_EQ(count, c.expected.size());
    EXPECT_EQ(std::vector<u32>(moduli.begin(), moduli.begin() + count), c.expected);
    EXPECT_EQ(moduli[count], 0u);
  }
}

TEST(ModuliListTest, LimitFromTheNRange) {
  EXPECT_EQ(search::moduli_limit(1000, 50000000), 8388608u);
  EXPECT_EQ(search::moduli_limit(1000, 1000000), 499500u);
  EXPECT_EQ(search::moduli_limit(1000, 60999), 29999u);
  EXPECT_EQ(search::moduli_limit(1000, 1001), 0u);
  EXPECT_EQ(search::moduli_limit(0, 0xffffffffu), 8388608u);
  EXPECT_EQ(search::moduli_limit(5000, 1000), 0u);  // a backwards range has no room
}

}  // namespace
