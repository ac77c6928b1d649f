// The search set-up: the common step of the slots and recognition of the
// known set of twelve k, which must match in all 36 values.
#include <gtest/gtest.h>

#include <utility>
#include <vector>

#include "search/factor_search.hpp"
#include "tests/search/reference_numbers.hpp"

namespace {
using namespace search_reference;

TEST(PrepareSearchTest, KnownSetModeOnForTheExactTable) {
  const search::SearchSetup setup = search::prepare_search(known_set_table());
  EXPECT_TRUE(setup.known_set_mode);
  EXPECT_EQ(setup.n_step_lcm, 72u);
  for (int j = 0; j < 12; ++j) {
    SCOPED_TRACE(::testing::Message() << "slot " << j);
    const u64 k = known_rows[j].k;
    const u32 r = known_rows[j].r;
    const auto [a, b] = setup.known_kpow[j];
    // k*2^r whole while r < 24, else split as (k*2^23, 2^(r-23)): slots 5, 7.
    if (r < 24) {
      EXPECT_EQ(a, k << r);
      EXPECT_EQ(b, 0u);
    } else {
      EXPECT_EQ(a, k << 23);
      EXPECT_EQ(b, u64{1} << (r - 23));
      EXPECT_EQ(static_cast<u128>(a) * b, static_cast<u128>(k) << r);
    }
  }
  EXPECT_NE(setup.known_kpow[5].second, 0u);
  EXPECT_NE(setup.known_kpow[7].second, 0u);
}

TEST(PrepareSearchTest, KnownSetModeOffWhenAnyValueDiffers) {
  for (int j = 0; j < 12; ++j) {
    for (int column = 0; column < 3; ++column) {
      sievedata::SieveTable table = known_set_table();
      u32& value = column == 0 ? table.k_values[j] : column == 1 ? table.n_offset[j] : table.n_step[j];
      value += 2;  // keeps the parity: only the value itself differs
      const search::SearchSetup setup = search::prepare_search(table);
      EXPECT_FALSE(setup.known_set_mode) << "slot " << j << " column " << column;
      EXPECT_EQ(setup.known_kpow[j], (std::pair<u64, u64>{0, 0}));
    }
  }
  for (int i = 0; i < 12; ++i) {
    for (int j = i + 1; j < 12; ++j) {
      sievedata::SieveTable table = known_set_table();
      std::swap(table.k_values[i], table.k_values[j]);
      std::swap(table.n_offset[i], table.n_offset[j]);
      std::swap(table.n_step[i], table.n_step[j]);
      EXPECT_FALSE(search::prepare_search(table).known_set_mode) << "slots " << i << " and " << j << " swapped";
    }
  }
  // The same k with other classes, and an empty last slot.
  sievedata::SieveTable table = known_set_table();
  table.k_values[11] = 0;
  table.n_offset[11] = 0;
  table.n_step[11] = 0;
  EXPECT_FALSE(search::prepare_search(table).known_set_mode);
}

TEST(PrepareSearchTest, CommonStepLeavesOutSlotsWithoutStep) {
  struct Case {
    std::vector<u32> steps;  // the first slots; the rest have no step
    u32 expected;
  };
  const std::vector<Case> cases = {
      {{24, 8, 12, 36, 24, 72, 24, 36, 24, 24, 12, 8}, 72},
      {{24, 0, 36, 0, 0, 7}, 504},
      {{1}, 1},
      {{}, 1},  // no slot has a step
      {{65536, 65535}, 4294901760u},
      {{65521, 65519, 65497}, 0},  // no common step below 2^32
      {{4294967291u, 2}, 0},
  };
  for (const Case& c : cases) {
    sievedata::SieveTable table;
    for (std::size_t j = 0; j < c.steps.size(); ++j) {
      table.k_values[j] = 3;
      table.n_step[j] = c.steps[j];
    }
    const search::SearchSetup setup = search::prepare_search(table);
    EXPECT_EQ(setup.n_step_lcm, c.expected) << "first step " << (c.steps.empty() ? 0 : c.steps[0]);
    EXPECT_FALSE(setup.known_set_mode);
  }
}

}  // namespace
