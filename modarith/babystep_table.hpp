// Hash table of baby or giant steps for the discrete-logarithm searches:
// maps a residue mod p to the 1-based index of its step, keeps equal
// residues as separate entries and returns them in insertion order.
//
// Home slot = the key's low bits, collisions resolved by linear probing with
// wrap-around. The table is sized at every clear from the number of entries
// the search announces, to keep the load factor at or below 1/2 (short probe
// runs on the many misses) and the clear cheap for the common small tables.
// An insert beyond the announced number grows the table instead of ever
// filling it, so no search can make a lookup loop without end. Growing keeps
// the order of equal keys: the old slots are re-inserted in probe order,
// starting after an empty slot (see grow()), so no record of the insertion
// order is needed and an insert is two stores.
//
// Keys and indices live in separate arrays: emptiness is decided by the
// 4-byte index alone, so a clear fills only the index array and a probe
// that meets an empty slot (most lookups miss) reads no key.
#pragma once
#include <vector>

#include "common/types.hpp"

namespace modarith {
using common::u32;
using common::u64;

class BabyStepTable {
 public:
  // Smallest number of slots; a small table is cleared with one short fill.
  static constexpr u32 min_slots = 64;

  // Empties the table and sizes it for `expected_entries` inserts.
  void clear(u32 expected_entries);

  // Stores (key, index); index must be at least 1 (0 marks an empty slot).
  // Any number of inserts is accepted: past half the slots the table doubles.
  void insert(u64 key, u32 index) {
    if (count_ >= max_load_) grow();
    place(key, index);
    ++count_;
  }

  // The index stored with the (skip+1)-th entry equal to key, in insertion
  // order, or 0 when there are not that many.
  u32 lookup(u64 key, u32 skip) const {
    u64 s = key & mask_;
    while (values_[s] != 0) {
      if (keys_[s] == key) {
        if (skip == 0) return values_[s];
        --skip;
      }
      s = (s + 1) & mask_;
    }
    return 0;
  }

  u32 size() const { return count_; }
  u32 slot_count() const { return static_cast<u32>(mask_ + 1); }

 private:
  void place(u64 key, u32 index) {
    u64 s = key & mask_;
    while (values_[s] != 0) s = (s + 1) & mask_;
    keys_[s] = key;
    values_[s] = index;
  }
  void resize_slots(u64 slots);
  void grow();

  std::vector<u64> keys_ = std::vector<u64>(min_slots);
  std::vector<u32> values_ = std::vector<u32>(min_slots);
  u64 mask_ = min_slots - 1;
  u32 count_ = 0;
  u32 max_load_ = min_slots / 2;
};

}  // namespace modarith
