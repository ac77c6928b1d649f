#include "modarith/babystep_table.hpp"

#include <algorithm>

namespace modarith {

void BabyStepTable::resize_slots(u64 slots) {
  if (keys_.size() < slots) {
    keys_.resize(slots);
    values_.resize(slots);
  }
  mask_ = slots - 1;
  max_load_ = static_cast<u32>(std::min<u64>(slots / 2, 0xffffffffu));
  std::fill(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(slots), 0u);
}

void BabyStepTable::clear(u32 expected_entries) {
  u64 slots = min_slots;
  while (slots / 2 < expected_entries) slots *= 2;
  resize_slots(slots);
  count_ = 0;
}

// Equal keys lie in one run of occupied slots from their common home, in
// insertion order. Walking the old slots once around the circle from an
// empty one visits every run from its start, so each group of equal keys is
// re-inserted in its old order, which in the new table is again probe order.
// The table is at most half full, so the empty starting slot exists.
void BabyStepTable::grow() {
  const u64 old_slots = mask_ + 1;
  const std::vector<u64> old_keys(keys_.begin(), keys_.begin() + static_cast<std::ptrdiff_t>(old_slots));
  const std::vector<u32> old_values(values_.begin(), values_.begin() + static_cast<std::ptrdiff_t>(old_slots));
  resize_slots(old_slots * 2);
  u64 start = 0;
  while (old_values[start] != 0) ++start;
  for (u64 i = 1; i <= old_slots; ++i) {
    const u64 s = (start + i) & (old_slots - 1);
    if (old_values[s] != 0) place(old_keys[s], old_values[s]);
  }
}

}  // namespace modarith
