// The modulus choice against a plain reference that counts every class of
// n mod m*d over all n with no shortcut, on seeded random slots shaped to
// make many different multipliers win.
#include "sievedata/residue_choice.hpp"

#include <algorithm>
#include <limits>
#include <numeric>
#include <random>
#include <sstream>
#include <vector>

#include <gtest/gtest.h>

#include "sievedata_reference.hpp"

namespace {
using sievedata::u32;
using namespace sievedata_test;

std::vector<u32> random_slot(std::mt19937_64& rng) {
  static const u32 steps[] = {1, 2, 6, 8, 12, 24, 36, 72, 997};
  const u32 d = steps[rng() % std::size(steps)];
  const u32 r = static_cast<u32>(rng() % d);
  // The quotients q (n = r + d*q) keep to a few classes mod some pattern
  // modulus, so that the best multiplier varies from slot to slot.
  const u32 pattern = 1 + static_cast<u32>(rng() % 60);
  std::vector<u32> allowed;
  const u32 classes = 1 + static_cast<u32>(rng() % std::min<u32>(pattern, 12));
  for (u32 i = 0; i < classes; ++i) allowed.push_back(static_cast<u32>(rng() % pattern));
  const u32 count = 1 + static_cast<u32>(rng() % 400);
  std::vector<u32> n;
  for (u32 i = 0; i < count; ++i) {
    const u32 q = pattern * static_cast<u32>(rng() % 5000) + allowed[rng() % allowed.size()];
    n.push_back(r + d * q);
  }
  std::sort(n.begin(), n.end());
  n.erase(std::unique(n.begin(), n.end()), n.end());
  return n;
}

TEST(ResidueChoice, MatchesFullCountOnRandomSlots) {
  const std::uint64_t seed = 20240611;
  std::mt19937_64 rng(seed);
  std::vector<int> winners(50, 0);
  for (int trial = 0; trial < 1000; ++trial) {
    const std::vector<u32> n = random_slot(rng);
    const auto [step, offset] = step_and_offset(n);
    std::ostringstream quiet;
    const sievedata::NSet n_set(n.begin(), n.end());
    const sievedata::ResidueChoice choice = sievedata::choose_residues(n_set, 5, step, offset, 0, quiet);
    const ReferenceChoice expected = reference_choice(n, step);
    ASSERT_EQ(choice.n_modulus, expected.modulus) << "seed " << seed << " trial " << trial;
    ASSERT_EQ(std::vector<u32>(choice.n_residues.begin(), choice.n_residues.begin() + choice.n_residue_count),
              expected.residues)
        << "seed " << seed << " trial " << trial;
    ++winners[choice.n_modulus / step];
  }
  // The shapes above must really exercise the choice, not just m = 1 or 49.
  EXPECT_GT(std::count_if(winners.begin(), winners.end(), [](int w) { return w > 0; }), 10);
}

TEST(ResidueChoice, EmptySlot) {
  std::ostringstream quiet;
  const sievedata::ResidueChoice choice = sievedata::choose_residues({}, 0, 0, 0, 0, quiet);
  EXPECT_EQ(choice.n_modulus, 0u);
  EXPECT_EQ(choice.n_residue_count, 0u);
}

}  // namespace
