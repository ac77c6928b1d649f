// The step table's contract, against a plain map kept alongside it: every
// key gives all of its indices in ascending order (first() the smallest, even
// when the larger ones were inserted before or after it), a key never
// inserted gives nothing, and a reset to another size or index range forgets
// every earlier entry. The cases are the ones a chained table gets wrong
// first: equal keys, keys that share a home and tag bit, homes reused after a
// reset to a smaller table.
#include "modarith/babystep_table.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <random>
#include <vector>

namespace {
using common::u32;
using common::u64;
using modarith::BabyStepTable;

using Reference = std::map<u64, std::vector<u32>>;

void expect_contents(const BabyStepTable& table, const Reference& ref, const std::vector<u64>& misses) {
  int errors = 0;
  for (const auto& [key, indices] : ref) {
    std::vector<u32> want = indices;
    std::sort(want.begin(), want.end());
    std::vector<u32> got;
    table.all(key, got);
    if (got != want || table.first(key) != want.front()) {
      ADD_FAILURE() << "key " << key << ": first " << table.first(key) << ", want " << want.front() << "; "
                    << got.size() << " indices, want " << want.size();
      if (++errors == 10) return;
    }
    for (u32 skip = 0; skip <= want.size(); ++skip) {
      EXPECT_EQ(table.lookup(key, skip), skip < want.size() ? want[skip] : 0) << "key " << key << " skip " << skip;
    }
  }
  for (const u64 key : misses) {
    if (ref.count(key) != 0) continue;
    std::vector<u32> got;
    table.all(key, got);
    EXPECT_EQ(table.first(key), 0u) << "absent key " << key;
    EXPECT_TRUE(got.empty()) << "absent key " << key;
  }
}

// Fills `table` (reset for first_index .. first_index + keys.size() - 1)
// with keys[i] at the index `order[i]`, and returns the reference.
Reference fill(BabyStepTable& table, const std::vector<u64>& keys, u32 first_index, bool reversed) {
  table.reset(static_cast<u32>(keys.size()), first_index);
  Reference ref;
  for (std::size_t n = 0; n < keys.size(); ++n) {
    const std::size_t i = reversed ? keys.size() - 1 - n : n;
    const u32 index = first_index + static_cast<u32>(i);
    table.insert(keys[i], index);
    ref[keys[i]].push_back(index);
  }
  return ref;
}

TEST(BabyStepTable, EqualKeysComeBackInAscendingIndexWhateverTheInsertOrder) {
  // Key 77 at indices 3, 5 and 9 of 1..10, with other keys of its home and
  // tag bit (differing above both) in between; inserted upwards, as a fill
  // does, and downwards.
  const u64 same_home = 77 | (u64{1} << 45);
  const std::vector<u64> keys = {1, 2, 77, 4, 77, same_home, 8, 77 | (u64{1} << 40), 77, 10};
  for (const bool reversed : {false, true}) {
    SCOPED_TRACE(reversed ? "inserted downwards" : "inserted upwards");
    BabyStepTable table;
    const Reference ref = fill(table, keys, 1, reversed);
    EXPECT_EQ(table.first(77), 3u);
    expect_contents(table, ref, {0, 5, 78, 77 | (u64{1} << 41), u64{1} << 49});
  }
}

TEST(BabyStepTable, RandomFillsOfEverySizeAgainstAMap) {
  struct Case {
    u32 entries;
    u32 first_index;
    u64 key_range;  // small ranges give many equal keys
  };
  const Case cases[] = {{1, 1, 1u << 20}, {63, 1, 16}, {64, 7, 1u << 20}, {3157, 1, 1u << 30},
                        {3157, 1001, 500}, {40000, 1, u64{1} << 50}, {5000, 123456, 2}};
  std::mt19937_64 rng(0x7ab1e5);
  BabyStepTable table;  // reused: every reset must forget the case before
  std::vector<u64> previous;
  for (const Case& c : cases) {
    SCOPED_TRACE(::testing::Message() << c.entries << " entries from " << c.first_index << ", keys below "
                                      << c.key_range);
    std::vector<u64> keys(c.entries);
    for (u64& key : keys) key = rng() % c.key_range;
    const Reference ref = fill(table, keys, c.first_index, false);
    EXPECT_EQ(table.size(), c.entries);
    std::vector<u64> misses = previous;
    for (int i = 0; i < 2000; ++i) misses.push_back(rng() % (2 * c.key_range + 2));
    expect_contents(table, ref, misses);
    previous = keys;
  }
}

TEST(BabyStepTable, ResetToASmallerTableForgetsTheLargerOne) {
  BabyStepTable table;
  std::vector<u64> large(20000);
  for (u32 i = 0; i < large.size(); ++i) large[i] = 1000003ULL * i;
  fill(table, large, 1, false);
  const std::vector<u64> small = {5, 6, 5};
  const Reference ref = fill(table, small, 4, true);
  expect_contents(table, ref, large);
}

}  // namespace
