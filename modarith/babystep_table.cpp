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
  log_keys_.clear();
  log_values_.clear();
}

void BabyStepTable::grow() {
  resize_slots((mask_ + 1) * 2);
  for (std::size_t i = 0; i < log_keys_.size(); ++i) place(log_keys_[i], log_values_[i]);
}

}  // namespace modarith
