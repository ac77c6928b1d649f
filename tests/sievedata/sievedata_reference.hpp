// Plain references for the residue data: the step and class of a slot and
// its modulus choice, computed by counting every class over every n.
#pragma once
#include <algorithm>
#include <limits>
#include <numeric>
#include <utility>
#include <vector>

#include "common/types.hpp"

namespace sievedata_test {
using common::u32;
using common::u64;

// (gcd of the differences, last n mod it); (1, 0) for one n, (0, 0) for none.
inline std::pair<u32, u32> step_and_offset(const std::vector<u32>& n) {
  if (n.empty()) return {0, 0};
  u32 g = 0;
  for (std::size_t i = 1; i < n.size(); ++i) g = std::gcd(g, n[i] - n[i - 1]);
  if (g == 0) return {1, 0};
  return {g, n.back() % g};
}

struct ReferenceChoice {
  u32 modulus = 0;
  std::vector<u32> residues;
};

// Tries m = 1..49 (while m*d fits 32 bits), counting the classes of n mod m*d
// over all n; keeps the largest ratio m / classes (at most 10 classes) that
// beats the best by more than 1e-10.
inline ReferenceChoice reference_choice(const std::vector<u32>& n, u32 d) {
  ReferenceChoice choice;
  if (n.empty()) return choice;
  double best = 0.0;
  u32 m_best = 1;
  for (u32 m = 1; m <= 49 && u64(m) * d <= std::numeric_limits<u32>::max(); ++m) {
    const u32 modulus = m * d;
    std::vector<u32> classes;
    if (modulus <= (1u << 22)) {  // a flag per class: fast on large slots
      std::vector<char> seen(modulus, 0);
      for (const u32 value : n) seen[value % modulus] = 1;
      for (u32 c = 0; c < modulus; ++c) {
        if (seen[c] != 0) classes.push_back(c);
      }
    } else {
      for (const u32 value : n) classes.push_back(value % modulus);
      std::sort(classes.begin(), classes.end());
      classes.erase(std::unique(classes.begin(), classes.end()), classes.end());
    }
    if (classes.size() > 10) continue;
    const double ratio = double(m) / double(classes.size());
    if (ratio > best + 1e-10) {
      best = ratio;
      m_best = m;
      choice.residues = classes;
    }
  }
  choice.modulus = m_best * d;
  return choice;
}

}  // namespace sievedata_test
