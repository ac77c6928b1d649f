#include "primes/prime_segment.hpp"

#include <gtest/gtest.h>

#include "primes/small_primes.hpp"
#include "tests/primes/segment_checks.hpp"

namespace {
using primes::PrimeSegment;
using primes::segment_span;
using primes_test::expect_segment_correct;
using primes_test::listed;
using u64 = std::uint64_t;

constexpr u64 two_to_50 = 1125899906842624ULL;
// q values whose lists are checked in full: the first listed prime, small
// ones, both sides of the segment's bit count, and the table's last prime.
const std::vector<u64> probes = {31, 37, 41, 331, 439, 997, 65537, 4194301, 4194319, 16777259, 33554393};

class PrimeSegmentTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (primes::small_prime_count != 2063689) primes::build_small_primes(primes::small_prime_limit);
  }
};

// A segment sieved before anyone built the table builds it itself instead of
// reading an empty one; a table rebuilt with another size between two
// segments resizes the carried offsets.
TEST(PrimeSegmentTable, BuiltOnDemandAndFollowedOnRebuild) {
  primes::small_prime_count = 0;
  primes::small_prime_gaps.clear();
  PrimeSegment segment;
  segment.sieve(1000000000);
  EXPECT_EQ(primes::small_prime_count, 2063689);
  EXPECT_EQ(listed(segment, 8269), (std::vector<u64>{31, 37, 331, 439}));

  // The primes up to 10^5 suffice for segments near 10^9.
  primes::build_small_primes(100000);
  PrimeSegment small;
  small.sieve(1000000000);
  expect_segment_correct(small, probes, 1000);
  primes::build_small_primes(primes::small_prime_limit);
  small.sieve(1000000000000);  // needs eight times as many sieving primes
  expect_segment_correct(small, probes, 1000);
}

TEST_F(PrimeSegmentTest, KnownFactorLists) {
  PrimeSegment segment;
  segment.sieve(1000000000);
  // 1000000007 - 1 = 2 * 500000003: nothing between 31 and the sieving bound.
  ASSERT_FALSE(segment.is_composite(3));
  EXPECT_TRUE(segment.factors(3).empty());
  // 1000016539 - 1 = 2 * 3 * 31 * 37 * 331 * 439.
  ASSERT_FALSE(segment.is_composite(8269));
  EXPECT_EQ(listed(segment, 8269), (std::vector<u64>{31, 37, 331, 439}));
  // 1000000001 = 7 * 142857143 is composite.
  EXPECT_TRUE(segment.is_composite(0));
}

// The first and last bit of a segment, where the sieving primes above the
// segment's bit count cross off or list at most once.
TEST_F(PrimeSegmentTest, FirstAndLastBitOfASegment) {
  // 31622741 * 31622743: no factor below the segment's bit count.
  const u64 composite = 999997811598563;
  // p - 1 = 2 * 5 * 17 * 541 * 1249 * 8705453.
  const u64 prime = 1000000000000091;
  const std::vector<u64> prime_list = {541, 1249, 8705453};
  for (primes::u32 bit : {0u, primes::segment_odd_count - 1}) {
    SCOPED_TRACE(bit);
    PrimeSegment segment;
    segment.sieve(composite - 2 * u64{bit} - 1);
    EXPECT_TRUE(segment.is_composite(bit));
    segment.sieve(prime - 2 * u64{bit} - 1);
    ASSERT_FALSE(segment.is_composite(bit));
    EXPECT_EQ(listed(segment, bit), prime_list);
  }
}

TEST_F(PrimeSegmentTest, SegmentsAcrossTheProgramRange) {
  // Near 2^50 the sieving primes run out before their square reaches the
  // segment end; the last table prime then already covers the square root.
  for (u64 base : {u64{1000000000}, u64{1000000000000}, u64{1000000000000000}, two_to_50 - segment_span, two_to_50}) {
    SCOPED_TRACE(base);
    PrimeSegment segment;
    segment.sieve(base);
    expect_segment_correct(segment, probes, 400);
  }
}

TEST_F(PrimeSegmentTest, CarriedOffsetsMatchTheReferenceAcrossSievingBoundChanges) {
  struct Case {
    const char* what;
    u64 square;  // the square the second segment's end passes
  };
  const Case cases[] = {
      {"a new sieving prime enters", u64{1000003} * 1000003},
      {"the table's last prime stops the sieve", u64{33554393} * 33554393},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const u64 first = (c.square - segment_span - 1001) & ~u64{1};
    PrimeSegment segment;
    segment.sieve(first);
    segment.sieve(first + segment_span);
    expect_segment_correct(segment, probes, 400);
    segment.sieve(first + 2 * segment_span);
    expect_segment_correct(segment, probes, 400);
    // Going back starts afresh.
    segment.sieve(first);
    expect_segment_correct(segment, probes, 400);
  }
}

// Over more segments than the bucket ring has slots, a run that carries its
// offsets and buckets along sieves exactly what a fresh start at each base does.
TEST_F(PrimeSegmentTest, LongRunMatchesFreshSieves) {
  for (u64 start : {u64{1000000000000000}, two_to_50 - 18 * u64{segment_span}}) {
    SCOPED_TRACE(start);
    PrimeSegment run;
    // Two segments taking turns: neither ever sieves the successor of its last base.
    PrimeSegment fresh_pair[2];
    for (u64 s = 0; s < 18; ++s) {
      const u64 base = start + s * segment_span;
      run.sieve(base);
      PrimeSegment& fresh = fresh_pair[s % 2];
      fresh.sieve(base);
      ASSERT_EQ(run.prime_count(), fresh.prime_count()) << "segment " << s;
      primes::u32 i = run.next_prime_index(0);
      primes::u32 j = fresh.next_prime_index(0);
      for (;;) {
        ASSERT_EQ(i, j) << "segment " << s;
        if (i == primes::segment_odd_count) break;
        const auto a = run.factors(i);
        const auto b = fresh.factors(j);
        ASSERT_TRUE(std::equal(a.begin(), a.end(), b.begin(), b.end())) << "segment " << s << " bit " << i;
        i = run.next_prime_index(i + 1);
        j = fresh.next_prime_index(j + 1);
      }
    }
    expect_segment_correct(run, probes, 400);
  }
}

}  // namespace
