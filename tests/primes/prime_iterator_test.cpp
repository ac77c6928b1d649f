#include "primes/prime_iterator.hpp"

#include <gtest/gtest.h>

#include "primes/small_primes.hpp"
#include "tests/primes/segment_checks.hpp"

namespace {
using primes::PrimeIterator;
using primes::segment_span;
using u64 = std::uint64_t;

class PrimeIteratorTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    if (primes::small_prime_count != 2063689) primes::build_small_primes(primes::small_prime_limit);
  }
  void start(u64 pmin) {
    it.segment_stopwatch.reset();
    it.segment_stopwatch.start();
    it.position(pmin);
  }
  PrimeIterator it;
};

// From an odd prime pmin, through the whole first segment into the next one:
// every prime exactly once, in order, with its factor list, and then the
// first prime beyond the window (the one a range would stop at).
TEST_F(PrimeIteratorTest, YieldsEveryPrimeAcrossASegmentBoundary) {
  // The last start reaches past 2^50, where the sieve stops at the table's end.
  for (u64 pmin : {u64{1000000007}, u64{1000000000039}, u64{1000000000000037}, u64{1125899898353957}}) {
    SCOPED_TRACE(pmin);
    const u64 hi = pmin + segment_span + 200000;
    const std::vector<u64> reference = primes_reference::primes_between(pmin, hi);
    it = PrimeIterator();  // a fresh run: no segment completed yet
    start(pmin);
    EXPECT_EQ(it.segment_pos(), -1);
    EXPECT_EQ(it.current_rate, 0u);
    for (std::size_t j = 0; j < reference.size(); ++j) {
      const u64 p = it.next_prime();
      ASSERT_EQ(p, reference[j]) << "prime number " << j;
      ASSERT_EQ(it.segment().base() + 2 * static_cast<u64>(it.segment_pos()) + 1, p);
      if (j % 500 == 0 || j + 1 == reference.size()) {
        const u64 last = primes_test::expected_last_sieving_prime(it.segment().base() + segment_span);
        const auto f = it.current_factors();
        ASSERT_EQ(std::vector<u64>(f.begin(), f.end()), primes_test::expected_factors(p, last)) << "p " << p;
      }
    }
    u64 beyond = hi + 1;
    while (!primes_reference::is_prime(beyond)) ++beyond;
    EXPECT_EQ(it.next_prime(), beyond);
    EXPECT_EQ(it.segment().base(), (pmin & ~u64{1}) + segment_span);
    // One segment has been completed and timed.
    EXPECT_GT(it.current_rate, 0u);
  }
}

TEST_F(PrimeIteratorTest, FirstPrimeIsTheSmallestAbovePminMadeEven) {
  struct Case {
    u64 pmin, first;
  };
  const Case cases[] = {
      {1000000007, 1000000007},  // an odd prime is returned itself
      {1000000008, 1000000009},
      {1000000001, 1000000007},  // odd composite
      {1000000000, 1000000007},
      {1000016539, 1000016539},
  };
  for (const Case& c : cases) {
    start(c.pmin);
    EXPECT_EQ(it.next_prime(), c.first) << c.pmin;
  }
  // 1000016539 - 1 = 2 * 3 * 31 * 37 * 331 * 439; 1000000007 - 1 has no listed factor.
  const auto f = it.current_factors();
  EXPECT_EQ(std::vector<u64>(f.begin(), f.end()), (std::vector<u64>{31, 37, 331, 439}));
  start(1000000007);
  it.next_prime();
  EXPECT_TRUE(it.current_factors().empty());
}

TEST_F(PrimeIteratorTest, RepositioningAnywhereGivesTheSamePrimes) {
  const u64 a = 1000000000000;
  start(a);
  const u64 first = it.next_prime();
  while (it.next_prime() < a + segment_span + 100) {
  }
  // Back to the start, then straight to the segment the iterator came from
  // last (its successor), then forward beyond it.
  for (u64 pmin : {a, a + segment_span, a + 3 * segment_span}) {
    SCOPED_TRACE(pmin);
    start(pmin);
    const std::vector<u64> reference = primes_reference::primes_between(pmin, pmin + 20000);
    for (u64 p : reference) {
      ASSERT_EQ(it.next_prime(), p);
      const auto f = it.current_factors();
      const u64 last = primes_test::expected_last_sieving_prime(it.segment().base() + segment_span);
      ASSERT_EQ(std::vector<u64>(f.begin(), f.end()), primes_test::expected_factors(p, last)) << "p " << p;
    }
  }
  start(a);
  EXPECT_EQ(it.next_prime(), first);
}

TEST(SegmentRate, ThousandsOfIntegersPerSecondFromTheStopwatch) {
  struct Case {
    int seconds, milliseconds;
    primes::u32 rate;
  };
  const Case cases[] = {
      {1, 0, 8388},          // the segment's 8388608 integers in one second
      {0, 500, 16777},       //
      {2, 250, 3728},        //
      {10, 999, 762},        //
      {0, 1, 8380227},       //
      {0, 0, 4093640704u},   // 8388608000 truncated, low 32 bits kept
      {-1, 0, 4294958908u},  // a negative time wraps like the integer it gives
  };
  for (const Case& c : cases) {
    common::Stopwatch w;
    w.seconds = c.seconds;
    w.milliseconds = static_cast<common::i16>(c.milliseconds);
    EXPECT_EQ(primes::segment_rate(w), c.rate) << c.seconds << " s " << c.milliseconds << " ms";
  }
}

}  // namespace
