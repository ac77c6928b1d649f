// The remaining n of one slot: ascending, each once, in one sorted array.
//
// The data file lists the n of a k in ascending order, so loading only
// appends; afterwards the set is read far more often than changed (a lookup
// per reported factor, one pass for the residue choice and for -u), and an n
// leaves it only when a factor is found. An array takes 4 bytes per n where a
// tree takes about 48 (2.6 million n: 10 MB instead of 126 MB).
#pragma once
#include <algorithm>
#include <cstddef>
#include <initializer_list>
#include <vector>

#include "common/types.hpp"

namespace sievedata {
using common::u32;

class NSet {
 public:
  using value_type = u32;
  using const_iterator = std::vector<u32>::const_iterator;
  using iterator = const_iterator;

  NSet() = default;
  NSet(std::initializer_list<u32> ns) {
    for (const u32 n : ns) insert(n);
  }
  template <class It>
  NSet(It first, It last) {
    for (; first != last; ++first) insert(*first);
  }

  // Adds n unless present; appending in ascending order costs no search.
  // Returns whether n was added.
  bool insert(u32 n) {
    if (values_.empty() || n > values_.back()) {
      values_.push_back(n);
      return true;
    }
    const auto it = std::lower_bound(values_.begin(), values_.end(), n);
    if (*it == n) return false;
    values_.insert(it, n);
    return true;
  }

  // Removes n if present; returns how many were removed (0 or 1).
  std::size_t erase(u32 n) {
    const auto it = std::lower_bound(values_.begin(), values_.end(), n);
    if (it == values_.end() || *it != n) return 0;
    values_.erase(it);
    return 1;
  }

  std::size_t count(u32 n) const { return std::binary_search(values_.begin(), values_.end(), n) ? 1 : 0; }
  const_iterator lower_bound(u32 n) const { return std::lower_bound(values_.begin(), values_.end(), n); }
  const_iterator upper_bound(u32 n) const { return std::upper_bound(values_.begin(), values_.end(), n); }
  const_iterator begin() const { return values_.begin(); }
  const_iterator end() const { return values_.end(); }
  std::size_t size() const { return values_.size(); }
  bool empty() const { return values_.empty(); }

  friend bool operator==(const NSet& a, const NSet& b) { return a.values_ == b.values_; }

 private:
  std::vector<u32> values_;
};

}  // namespace sievedata
