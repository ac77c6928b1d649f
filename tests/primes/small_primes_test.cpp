#include "primes/small_primes.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "tests/primes/reference.hpp"

namespace {
using primes::build_small_primes;
using primes::small_prime_count;
using primes::small_prime_gaps;

// The primes the table stands for, rebuilt from its gaps.
std::vector<std::uint64_t> table_primes() {
  std::vector<std::uint64_t> out;
  std::uint64_t p = 2;
  out.push_back(small_prime_gaps[0]);
  for (int k = 1; k < small_prime_count; ++k) out.push_back(p += small_prime_gaps[static_cast<std::size_t>(k)]);
  return out;
}

TEST(SmallPrimes, ProgramTableHoldsEveryPrimeUpTo2To25) {
  build_small_primes(primes::small_prime_limit);
  EXPECT_EQ(small_prime_count, 2063689);
  EXPECT_EQ(small_prime_gaps[0], 2);
  const std::vector<int> first = {1, 2, 2, 4, 2, 4, 2, 4, 6, 2};  // 3, 5, ..., 29, 31
  for (std::size_t k = 1; k <= first.size(); ++k) EXPECT_EQ(small_prime_gaps[k], first[k - 1]) << "entry " << k;

  const auto table = table_primes();
  EXPECT_EQ(table.back(), 33554393u);
  EXPECT_EQ(*std::max_element(small_prime_gaps.begin() + 1, small_prime_gaps.begin() + small_prime_count), 210);
  EXPECT_EQ(table, primes_reference::primes_up_to(33554432));
}

TEST(SmallPrimes, OtherLimitsAreHonouredOrCutToTheBitArray) {
  struct Case {
    int limit;
    int count;
    std::uint64_t last;
  };
  const Case cases[] = {
      {100, 25, 97},
      {97, 25, 97},
      {3, 2, 3},
      {2, 1, 2},
      {-5, 1, 2},
      // The bit array covers odd numbers up to 33554447; larger limits stop there.
      {33554447, 2063689, 33554393},
      {2147483647, 2063689, 33554393},
  };
  for (const Case& c : cases) {
    build_small_primes(c.limit);
    EXPECT_EQ(small_prime_count, c.count) << c.limit;
    EXPECT_EQ(table_primes().back(), c.last) << c.limit;
  }
  build_small_primes(primes::small_prime_limit);
  EXPECT_EQ(small_prime_count, 2063689);
}

}  // namespace
