// The table of giant (or baby) steps of one discrete-logarithm search: maps a
// residue mod p to the 1-based indices b of the steps that produced it.
//
// Built for the search's access pattern: the number of entries is known
// before the fill, entries come with dense indices 1..count, and almost every
// lookup misses. So:
// - the keys sit in an array indexed by b, and entries whose keys share their
//   low bits are chained through a second array (an insert is three stores,
//   no probing);
// - every home (two per entry) has a word of 32 tag bits, one per value of
//   the five key bits above the home's bits: a lookup tests its tag bit
//   (about one in 64 is set), which answers almost every miss with one load
//   and a well-predicted branch;
// - only the tag words are cleared per search (eight bytes per entry). A chain
//   head is read only when its home has a tag of this search, so stale heads
//   are never read.
// Equal keys are returned in ascending index (their insertion order in a
// fill that runs the indices upwards), whatever order they were inserted in.
#pragma once
#include <algorithm>
#include <cstring>
#include <vector>

#include "common/types.hpp"

namespace search {
using common::u32;
using common::u64;

class StepTable {
 public:
  // Empties the table and makes room for the indices first_index ..
  // first_index + entries - 1 (first_index >= 1).
  void reset(u32 entries, u32 first_index = 1) {
    base_ = first_index - 1;
    u64 homes = min_homes;
    while (homes < u64{entries} * 2) homes *= 2;
    home_mask_ = homes - 1;
    home_shift_ = static_cast<u32>(__builtin_ctzll(homes));
    if (tags_.size() < homes) {
      tags_.resize(homes);
      heads_.resize(homes);
    }
    if (keys_.size() < u64{entries} + 1) {
      keys_.resize(u64{entries} + 1);
      next_.resize(u64{entries} + 1);
    }
    std::memset(tags_.data(), 0, homes * sizeof(u32));
    count_ = 0;
  }

  // Stores key with an index of the reset's range, each index once.
  void insert(u64 key, u32 index) {
    const u32 b = index - base_;
    const u64 home = key & home_mask_;
    // A head is valid only when an earlier key of this fill tagged its home.
    next_[b] = tags_[home] != 0 ? heads_[home] : 0;
    tags_[home] |= tag_of(key);
    heads_[home] = b;
    keys_[b] = key;
    ++count_;
  }

  // False when key is certainly not in the table.
  bool maybe(u64 key) const { return (tags_[key & home_mask_] & tag_of(key)) != 0; }

  // The smallest index stored with key, or 0.
  u32 first(u64 key) const {
    if (!maybe(key)) return 0;
    u32 best = 0;
    for (u32 b = heads_[key & home_mask_]; b != 0; b = next_[b]) {
      if (keys_[b] == key) best = b;  // chains run from the newest entry down
    }
    return best == 0 ? 0 : best + base_;
  }

  // Every index stored with key, ascending, appended to `out`.
  void all(u64 key, std::vector<u32>& out) const {
    if (!maybe(key)) return;
    const std::size_t from = out.size();
    for (u32 b = heads_[key & home_mask_]; b != 0; b = next_[b]) {
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

  u32 size() const { return count_; }

 private:
  static constexpr u64 min_homes = 64;

  // One of 32 tag bits, from the five key bits above the home's bits.
  u32 tag_of(u64 key) const { return u32{1} << ((key >> home_shift_) & 31); }

  std::vector<u32> tags_;
  std::vector<u32> heads_;
  std::vector<u64> keys_;
  std::vector<u32> next_;
  u64 home_mask_ = 0;
  u32 home_shift_ = 0;
  u32 base_ = 0;  // index = position in keys_ + base_
  u32 count_ = 0;
};

}  // namespace search
