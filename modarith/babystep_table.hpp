// The table of giant (or baby) steps of one discrete-logarithm search: maps a
// residue mod p to the 1-based indices b of the steps that produced it.
//
// Built for the search's access pattern: the number of entries is known
// before the fill, entries come with dense indices 1..count, and almost every
// lookup misses. So:
// - the keys sit in an array indexed by b, and entries whose keys share their
//   low bits are chained through a second array (an insert is one load and
//   three stores, no probing);
// - every home (two to four per entry: a tag bit set by chance, which costs
//   a chain walk, stays rare) has one 64-bit word: 32 tag bits, one
//   per value of the five key bits above the home's bits, and the index of
//   the home's newest entry. A lookup tests its tag bit (at most one in 32 is
//   set), which answers almost every miss with one load and a
//   well-predicted branch; an insert touches one word of the home array;
// - only the home words are cleared per search (16 to 32 bytes per entry).
// Equal keys are returned in ascending index (their insertion order in a
// fill that runs the indices upwards), whatever order they were inserted in.
#pragma once
#include <algorithm>
#include <bit>
#include <cstring>
#include <vector>

#include "common/types.hpp"

namespace modarith {
using common::u32;
using common::u64;

class BabyStepTable {
 public:
  // Empties the table and makes room for the indices first_index ..
  // first_index + entries - 1 (first_index >= 1).
  void reset(u32 entries, u32 first_index = 1) {
    base_ = first_index - 1;
    u64 homes = min_homes;
    while (homes < 2 * u64{entries}) homes *= 2;
    home_mask_ = homes - 1;
    home_shift_ = static_cast<u32>(std::countr_zero(homes));
    if (homes_.size() < homes) homes_.resize(homes);
    if (keys_.size() < u64{entries} + 1) {
      keys_.resize(u64{entries} + 1);
      next_.resize(u64{entries} + 1);
    }
    std::memset(homes_.data(), 0, homes * sizeof(u64));
    count_ = entries;
  }

  // One word per home: 32 tag bits below, the position of the home's newest
  // entry from bit 32 up (0: none). Named here for the lane fills, which
  // link eight entries in one gather and one scatter and must write the
  // same words as Inserter::link.
  static constexpr u64 tag_bits_mask = 0xffffffffULL;
  static constexpr u32 head_shift = 32;

  // Stores key with an index of the reset's range, each index once.
  void insert(u64 key, u32 index) { inserter().insert(key, index); }

  // The insert with the table's fields copied into locals: a fill loop that
  // keeps one in a local variable holds them in registers, where the stores
  // into the arrays cannot make the compiler reload them.
  struct Inserter {
    u64* homes;
    u64* keys;
    u32* next;
    u64 home_mask;
    u32 home_shift;
    u32 base;
    void insert(u64 key, u32 index) const {
      const u32 b = index - base;
      link(key & home_mask, u64{1} << ((key >> home_shift) & 31), b);
      keys[b] = key;
    }
    // The chain and tag part of an insert, for a fill that has stored the
    // key at position b itself and computed its home and tag bit. One load
    // and one store per home: the cleared word reads as no tag and no chain,
    // so the old head needs no test.
    void link(u64 home, u64 tag_bit, u32 b) const {
      const u64 word = homes[home];
      next[b] = static_cast<u32>(word >> head_shift);
      homes[home] = ((word & tag_bits_mask) | tag_bit) | (u64{b} << head_shift);
    }
  };
  Inserter inserter() {
    return Inserter{homes_.data(), keys_.data(), next_.data(), home_mask_, home_shift_, base_};
  }

  // The miss test with the table's fields in locals (see Inserter).
  struct Filter {
    const u64* homes;
    u64 home_mask;
    u32 home_shift;
    bool maybe(u64 key) const {
      return (static_cast<u32>(homes[key & home_mask]) >> ((key >> home_shift) & 31)) & 1;
    }
  };
  Filter filter() const { return Filter{homes_.data(), home_mask_, home_shift_}; }

  // False when key is certainly not in the table.
  bool maybe(u64 key) const { return (static_cast<u32>(homes_[key & home_mask_]) & tag_of(key)) != 0; }

  // The smallest index stored with key, or 0.
  u32 first(u64 key) const {
    if (!maybe(key)) return 0;
    u32 best = 0;
    for (u32 b = head(key); b != 0; b = next_[b]) {
      // The chain runs from the newest entry down, which in an upward fill is
      // already descending; the compare keeps the smallest for any order.
      if (keys_[b] == key && (best == 0 || b < best)) best = b;
    }
    return best == 0 ? 0 : best + base_;
  }

  // Every index stored with key, ascending, appended to `out`.
  void all(u64 key, std::vector<u32>& out) const {
    if (!maybe(key)) return;
    const std::size_t from = out.size();
    for (u32 b = head(key); b != 0; b = next_[b]) {
      if (keys_[b] == key) out.push_back(b + base_);
    }
    std::sort(out.begin() + static_cast<std::ptrdiff_t>(from), out.end());
  }

  // The (skip+1)-th smallest index stored with key, or 0 (for tests).
  u32 lookup(u64 key, u32 skip) const {
    std::vector<u32> found;
    all(key, found);
    return skip < found.size() ? found[skip] : 0;
  }

  // The number of entries the reset made room for (a fill stores them all).
  u32 size() const { return count_; }

 private:
  static constexpr u64 min_homes = 64;

  // One of 32 tag bits, from the five key bits above the home's bits.
  u32 tag_of(u64 key) const { return u32{1} << ((key >> home_shift_) & 31); }

  // Newest entry of the key's home (valid only when the home has a tag).
  u32 head(u64 key) const { return static_cast<u32>(homes_[key & home_mask_] >> head_shift); }

  // The home words (see tag_bits_mask).
  std::vector<u64> homes_;
  std::vector<u64> keys_;
  std::vector<u32> next_;
  u64 home_mask_ = 0;
  u32 home_shift_ = 0;
  u32 base_ = 0;  // index = position in keys_ + base_
  u32 count_ = 0;
};

}  // namespace modarith
