// The baby-step table against a plain multimap kept alongside it: every key
// must come back with all of its indices in insertion order and then 0, for
// small tables, tables filled far beyond what clear() announced, and the
// collision cases that linear probing gets wrong first (shared home slots,
// wrap-around at the last slot, stale keys left by a previous search).
#include "modarith/babystep_table.hpp"

#include <gtest/gtest.h>

#include <random>
#include <unordered_map>
#include <vector>

namespace {
using common::u32;
using common::u64;
using modarith::BabyStepTable;

constexpr u64 seed = 0x7ab1e5;

// Reference contents: for each key, its indices in insertion order.
using Reference = std::unordered_map<u64, std::vector<u32>>;

// Checks every key of `ref` (all skips, then the 0 after the last) and
// `misses` keys that were never inserted; stops after the first few errors.
void expect_contents(const BabyStepTable& table, const Reference& ref, const std::vector<u64>& misses) {
  int errors = 0;
  for (const auto& [key, indices] : ref) {
    for (u32 skip = 0; skip <= indices.size() && errors < 10; ++skip) {
      const u32 want = skip < indices.size() ? indices[skip] : 0;
      const u32 got = table.lookup(key, skip);
      if (got != want) {
        ADD_FAILURE() << "seed " << seed << ": key " << key << " skip " << skip << " gave " << got << ", want " << want;
        ++errors;
      }
    }
  }
  for (u64 key : misses) {
    if (ref.count(key) == 0 && table.lookup(key, 0) != 0 && errors++ < 10) ADD_FAILURE() << "absent key " << key << " found";
  }
}

TEST(BabyStepTable, ClearedTableFindsNothing) {
  BabyStepTable fresh;
  BabyStepTable table;
  for (u32 expected : {0u, 1u, 40u, 3000u, 100000u}) {
    table.clear(expected);
    EXPECT_EQ(table.size(), 0u);
    EXPECT_GE(table.slot_count(), 2 * expected);
    for (u64 key : {u64{0}, u64{1}, u64{4095}, u64{1} << 49, ~u64{0}}) {
      for (u32 skip : {0u, 1u, 7u}) {
        EXPECT_EQ(table.lookup(key, skip), 0u) << key;
        EXPECT_EQ(fresh.lookup(key, skip), 0u) << key;
      }
    }
  }
}

// Keys that differ only above the home-slot bits share a home in every table
// size; keys that differ in the low bits share it only in a small table.
TEST(BabyStepTable, KeysSharingAHomeSlotKeepTheirOwnIndices) {
  BabyStepTable table;
  table.clear(10);
  const u64 home = 13;
  const u64 keys[] = {home, home | (u64{1} << 40), home | (u64{1} << 49), home + table.slot_count()};
  Reference ref;
  u32 index = 100;
  for (u64 key : keys) table.insert(key, index), ref[key].push_back(index++);
  expect_contents(table, ref, {home + 1, home | (u64{1} << 41), home + 2 * u64{table.slot_count()}});
}

TEST(BabyStepTable, EqualKeysComeBackInInsertionOrder) {
  BabyStepTable table;
  table.clear(3);
  table.insert(77, 5);
  table.insert(77 + (u64{1} << 45), 6);  // same home slot, different key, in between
  table.insert(77, 9);
  table.insert(78, 7);
  table.insert(77, 12);
  EXPECT_EQ(table.lookup(77, 0), 5u);
  EXPECT_EQ(table.lookup(77, 1), 9u);
  EXPECT_EQ(table.lookup(77, 2), 12u);
  EXPECT_EQ(table.lookup(77, 3), 0u);
  EXPECT_EQ(table.lookup(78, 0), 7u);
  EXPECT_EQ(table.lookup(78, 1), 0u);
  EXPECT_EQ(table.size(), 5u);
}

TEST(BabyStepTable, ProbingWrapsFromTheLastSlotToTheFirst) {
  BabyStepTable table;
  table.clear(16);
  const u64 last = table.slot_count() - 1;
  Reference ref;
  // Three keys at home in the last slot: two of them wrap to slots 0 and 1.
  // A key at home in slot 0 must then go past them.
  const u64 keys[] = {last, last | (u64{1} << 33), last | (u64{1} << 34), 0, u64{1} << 35, last};
  u32 index = 1;
  for (u64 key : keys) table.insert(key, index), ref[key].push_back(index++);
  expect_contents(table, ref, {1, 2, last - 1, last | (u64{1} << 36)});
}

// Equal keys whose run wraps past the last slot when the table grows: the
// copy from the old slots must not put the wrapped entries first.
TEST(BabyStepTable, GrowingKeepsEqualKeysInOrderAcrossTheWrap) {
  BabyStepTable table;
  table.clear(0);
  const u32 slots = table.slot_count();
  const u64 key = slots - 1;  // home in the last slot
  Reference ref;
  u32 index = 1;
  table.insert(key, index), ref[key].push_back(index++);   // the last slot
  table.insert(key, index), ref[key].push_back(index++);   // wraps to slot 0
  table.insert(key | (u64{1} << 40), index), ref[key | (u64{1} << 40)].push_back(index++);
  table.insert(key, index), ref[key].push_back(index++);
  for (u64 k = 10; table.slot_count() == slots; ++k) table.insert(k, index), ref[k].push_back(index++);
  table.insert(key, index), ref[key].push_back(index++);  // after the growth
  expect_contents(table, ref, {key | (u64{1} << 41), slots + key});
}

// A search clears the table and stores new keys; the previous search's keys
// are still in memory but must never be found.
TEST(BabyStepTable, StaleKeysAreInvisibleAfterClear) {
  BabyStepTable table;
  table.clear(20);
  for (u32 i = 1; i <= 20; ++i) table.insert(1000 + i, i);
  table.clear(20);
  for (u32 i = 1; i <= 20; ++i) EXPECT_EQ(table.lookup(1000 + i, 0), 0u) << i;
  // A new key at the home of an old one; the old key is still absent.
  table.insert(1005 | (u64{1} << 40), 3);
  EXPECT_EQ(table.lookup(1005 | (u64{1} << 40), 0), 3u);
  EXPECT_EQ(table.lookup(1005, 0), 0u);
  EXPECT_EQ(table.lookup(1006, 0), 0u);
}

TEST(BabyStepTable, StoresFull32BitIndices) {
  BabyStepTable table;
  table.clear(4);
  table.insert(9, 0xffffffffu);
  table.insert(9, 65536);
  table.insert(10, 65535);
  EXPECT_EQ(table.lookup(9, 0), 0xffffffffu);
  EXPECT_EQ(table.lookup(9, 1), 65536u);
  EXPECT_EQ(table.lookup(10, 0), 65535u);
}

// Random residues below 2^50, with every tenth key a repeat of an earlier one
// and a block of keys that all share one home slot.
std::vector<u64> many_keys(std::mt19937_64& rng, u32 count) {
  std::vector<u64> keys;
  keys.reserve(count);
  for (u32 i = 0; i < count; ++i) {
    if (i % 10 == 9) {
      keys.push_back(keys[rng() % keys.size()]);
    } else if (i % 150 == 0) {
      keys.push_back(0x2a5 | ((rng() % (u64{1} << 30)) << 20));
    } else {
      keys.push_back(rng() >> 14);
    }
  }
  return keys;
}

// Far beyond the 4095 entries a fixed table could hold, announced correctly
// and announced much too low (the table then grows many times mid-search).
TEST(BabyStepTable, HundredsOfThousandsOfEntriesWithEqualKeys) {
  std::mt19937_64 rng(seed);
  for (u32 announced : {300000u, 3000u, 0u}) {
    BabyStepTable table;
    table.clear(announced);
    const auto keys = many_keys(rng, 300000);
    Reference ref;
    for (u32 i = 0; i < keys.size(); ++i) table.insert(keys[i], i + 1), ref[keys[i]].push_back(i + 1);
    EXPECT_EQ(table.size(), keys.size());
    EXPECT_LE(table.size(), table.slot_count() / 2);
    std::vector<u64> misses;
    for (int i = 0; i < 100000; ++i) misses.push_back(rng() >> 14);
    SCOPED_TRACE(announced);
    expect_contents(table, ref, misses);
  }
}

// The scans reuse one table per prime: a large search, then small ones, then
// a large one again, each seeing only its own entries.
TEST(BabyStepTable, ReusedAcrossSearchesOfDifferentSizes) {
  std::mt19937_64 rng(seed + 1);
  BabyStepTable table;
  for (u32 count : {5000u, 30u, 3u, 20000u, 40u, 3157u}) {
    table.clear(count);
    Reference ref;
    std::vector<u64> keys = many_keys(rng, count);
    for (u32 i = 0; i < count; ++i) table.insert(keys[i], i + 1), ref[keys[i]].push_back(i + 1);
    std::vector<u64> misses;
    for (int i = 0; i < 5000; ++i) misses.push_back(rng() >> 14);
    SCOPED_TRACE(count);
    expect_contents(table, ref, misses);
  }
}

}  // namespace
