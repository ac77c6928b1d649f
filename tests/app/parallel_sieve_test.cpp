// The multi-threaded range loop against the one-thread loop, in process and
// without files: the same hits in the same order, the same saves at the same
// primes between them, the same counters and the same first prime above
// pmax, for save intervals from every prime to never and for ranges that end
// at awkward places relative to the segments; and the proof of work of one
// thread, at every save and for the range, also when the range continues a
// checksum (primes up to a point tested again but not counted).
#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "app/parallel_sieve.hpp"
#include "primes/prime_iterator.hpp"
#include "primes/small_primes.hpp"
#include "scratch_dir.hpp"
#include "search/factor_search.hpp"
#include "sievedata/data_loader.hpp"

namespace {
using common::u32;
using common::u64;
using primes::segment_span;

// "hit p slot n xmod" and "save p", in the order the writer sees them.
struct Trace {
  std::vector<std::string> events;
  search::Counters counters;
  u64 p_end = 0;
  search::WorkChecksum work;  // of the range, as handed back
  // Of each save: what its checksum says it covers, and the checksum.
  std::vector<std::pair<u64, search::WorkChecksum>> save_work;
};

std::string hit_event(const search::Hit& hit) {
  return "hit " + std::to_string(hit.p) + " " + std::to_string(hit.slot) + " " + std::to_string(hit.n) + " " +
         std::to_string(hit.xmod);
}

class ParallelSieve : public ScratchDir {
 protected:
  void SetUp() override {
    ScratchDir::SetUp();
    // Three k of the project with every n of their class in [1000, 60000]:
    // hits on most stretches of a few million p near 10^9.
    struct Slot {
      u32 k, r, d;
    };
    const Slot slots[] = {{4847, 15, 24}, {5359, 6, 8}, {67607, 3, 8}};
    std::ostringstream data;
    data << "12\n1000\n60000\n";
    for (const Slot& s : slots) {
      u32 n = 1000 + (s.r + s.d - 1000 % s.d) % s.d;
      data << "k=" << s.k << "\n" << n << "\n";
      for (n += s.d; n <= 60000; n += s.d) data << "+" << s.d << "\n";
    }
    write("Vesk.dat", data.str());
    std::ostringstream load_output;
    ASSERT_TRUE(sievedata::load_sieve_data("Vesk.dat", table_, 0, load_output)) << load_output.str();
    primes::build_small_primes(primes::small_prime_limit);
    setup_ = search::prepare_search(table_);
  }

  // The loop of the one-thread range driver over [pmin, pmax_limit], kept
  // per prime so that every shorter range and every save interval can be
  // read off it without searching again.
  struct Walk {
    std::vector<u64> primes;                 // ascending, and the first prime above the limit last
    std::vector<std::vector<std::string>> hits;  // per prime
    std::vector<search::Counters> counters;  // after each prime
    std::vector<search::WorkChecksum> work;  // after each prime

    // The proof of work of the walk's primes in (from, through].
    search::WorkChecksum work_between(u64 from, u64 through) const {
      const auto after = [&](u64 limit) {
        const auto end = std::upper_bound(primes.begin(), primes.end() - 1, limit);
        return end == primes.begin() ? search::WorkChecksum{} : work[end - primes.begin() - 1];
      };
      const search::WorkChecksum a = after(from);
      const search::WorkChecksum b = after(through);
      return {b.primes - a.primes, b.sum - a.sum};
    }
  };
  Walk one_thread(u64 pmin, u64 pmax_limit) {
    Walk walk;
    primes::PrimeIterator iterator;
    iterator.segment_stopwatch.reset();
    iterator.segment_stopwatch.start();
    iterator.position(pmin);
    search::SearchContext context;
    u64 p = iterator.next_prime();
    for (; p <= pmax_limit; p = iterator.next_prime()) {
      search::test_idea(context, setup_, table_, p, iterator.current_factors());
      walk.primes.push_back(p);
      walk.hits.emplace_back();
      for (const search::Hit& hit : context.hits) walk.hits.back().push_back(hit_event(hit));
      walk.counters.push_back(context.counters);
      walk.work.push_back(context.work);
    }
    walk.primes.push_back(p);
    return walk;
  }

  // What the one-thread range driver does for [pmin, pmax] (pmax within the
  // walk): per prime its hits, then a save when one is due.
  static Trace one_thread_trace(const Walk& walk, u64 pmin, u64 pmax, u64 save_interval) {
    Trace trace;
    u64 last_save_p = pmin;
    std::size_t i = 0;
    for (; walk.primes[i] <= pmax; ++i) {
      const u64 p = walk.primes[i];
      for (const std::string& hit : walk.hits[i]) trace.events.push_back(hit);
      if (p - last_save_p >= save_interval) {
        trace.events.push_back("save " + std::to_string(p));
        last_save_p = p;
      }
      trace.counters = walk.counters[i];
    }
    trace.p_end = walk.primes[i];
    return trace;
  }

  // `counted_through`: primes up to it are already in the checksum handed
  // in. `failing_hit`: the report of that hit (counted from 0) fails.
  Trace threads(u32 count, u64 pmin, u64 pmax, u64 save_interval, u64 counted_through = 0,
                std::size_t failing_hit = ~std::size_t{0}) {
    Trace trace;
    std::size_t hits = 0;
    app::ParallelRange range;
    range.counted_through = counted_through;
    range.pmin = pmin;
    range.pmax = pmax;
    range.save_interval = save_interval;
    range.threads = count;
    range.process_priority = 2;  // normal: a test must not lower its own priority
    app::RangeWriter writer;
    writer.report = [&](const search::Hit& hit) {
      trace.events.push_back(hit_event(hit));
      return hits++ != failing_hit;
    };
    writer.save = [&](u64 p, u32, u64 covered, const search::WorkChecksum& work) {
      trace.events.push_back("save " + std::to_string(p));
      EXPECT_GE(covered, p);
      trace.save_work.emplace_back(covered, work);
      return true;
    };
    u32 rate = 0;
    const std::optional<u64> p_end =
        app::sieve_range_segments(range, setup_, table_, writer, trace.counters, trace.work, rate);
    EXPECT_EQ(p_end.has_value(), hits <= failing_hit) << "a failed report ends the range";
    trace.p_end = p_end.value_or(0);
    if (failing_hit == ~std::size_t{0}) {
      EXPECT_GT(rate, 0u) << "every finished segment sets the rate";
    }
    return trace;
  }

  void expect_same(const Trace& one, const Trace& many, const std::string& what) {
    EXPECT_EQ(many.events, one.events) << what;
    EXPECT_EQ(many.counters.tested_p, one.counters.tested_p) << what;
    EXPECT_EQ(many.counters.whacked_k, one.counters.whacked_k) << what;
    EXPECT_EQ(many.counters.whacked_p, one.counters.whacked_p) << what;
    EXPECT_EQ(many.p_end, one.p_end) << what;
  }

  // Every checksum the threads handed over is the one-thread checksum of
  // the primes it claims, above `counted_through`.
  static void expect_same_work(const Walk& walk, const Trace& many, u64 pmax, u64 counted_through,
                               const std::string& what) {
    EXPECT_EQ(many.work, walk.work_between(counted_through, pmax)) << what;
    for (const auto& [covered, work] : many.save_work) {
      EXPECT_LE(covered, pmax) << what;
      EXPECT_EQ(work, walk.work_between(counted_through, covered)) << what << ", save covering " << covered;
    }
  }

  sievedata::SieveTable table_;
  search::SearchSetup setup_;
};

// Two segments and a bit: saves at every prime, at distances around the
// segment size (so a save falls near, on and across segment ends), and never.
TEST_F(ParallelSieve, SameHitsSavesAndCountersForEverySaveInterval) {
  const u64 pmin = 1000000000;
  const u64 pmax = pmin + 2 * u64{segment_span} + 123457;
  const Walk walk = one_thread(pmin, pmax);
  ASSERT_GT(walk.primes.size(), 500000u);
  std::size_t hits = 0;
  for (const auto& of_prime : walk.hits) hits += of_prime.size();
  ASSERT_GE(hits, 10u) << "hits must fall between the saves to show their order";
  const u64 intervals[] = {0, 999983, segment_span - 1, segment_span + 1, ~u64{0}};
  u32 count = 1;
  for (const u64 interval : intervals) {
    const Trace one = one_thread_trace(walk, pmin, pmax, interval);
    // Continuing a checksum that already holds the primes of the first
    // half segment.
    const u64 counted_through = interval == 0 ? 0 : pmin + segment_span / 2 + 1;
    const Trace many = threads(count, pmin, pmax, interval, counted_through);
    const std::string what = "interval " + std::to_string(interval) + ", " + std::to_string(count) + " threads";
    expect_same(one, many, what);
    expect_same_work(walk, many, pmax, counted_through, what);
    count = count % 3 + 1;
  }
}

// Where the range ends decides which segment holds the first prime above
// pmax, and a pmin that is not a multiple of anything shifts every segment.
TEST_F(ParallelSieve, RangeEndsAtAndAcrossSegmentEnds) {
  const u64 pmin = 1234567890;
  const Walk walk = one_thread(pmin, pmin + 2 * u64{segment_span} + 1);
  // The last prime of the first segment [pmin, pmin + segment_span).
  const u64 last_prime = *(std::lower_bound(walk.primes.begin(), walk.primes.end(), pmin + segment_span) - 1);
  ASSERT_LT(last_prime + 2, pmin + segment_span);

  const u64 ends[] = {
      last_prime,               // the last prime of the first segment itself
      last_prime + 1,           // in its final gap: the next prime lies in a segment never searched
      pmin + segment_span - 1,  // the first segment's last odd number
      pmin + segment_span,      // the second segment's base: it holds no prime to test
      pmin + 2 * u64{segment_span} + 1,
      pmin + 1000,              // less than a segment
  };
  u32 count = 3;
  for (const u64 pmax : ends) {
    const Trace one = one_thread_trace(walk, pmin, pmax, 500000);
    const Trace many = threads(count, pmin, pmax, 500000);
    const std::string what = "pmax " + std::to_string(pmax) + ", " + std::to_string(count) + " threads";
    expect_same(one, many, what);
    expect_same_work(walk, many, pmax, 0, what);
    count = count == 3 ? 1 : 3;
  }
}

// A factor line that cannot be written ends the range at that very hit: no
// save after it (a restart must find the factor again), no further hit.
TEST_F(ParallelSieve, FailedReportStopsBeforeAnyLaterSave) {
  const u64 pmin = 1000000000;
  const u64 pmax = pmin + 2 * u64{segment_span} + 123457;
  const Walk walk = one_thread(pmin, pmax);
  const Trace one = one_thread_trace(walk, pmin, pmax, 999983);
  std::vector<std::size_t> hit_events;
  for (std::size_t e = 0; e < one.events.size(); ++e) {
    if (!one.events[e].starts_with("save ")) hit_events.push_back(e);
  }
  ASSERT_GE(hit_events.size(), 10u);
  u32 count = 2;
  for (const std::size_t failing : {std::size_t{0}, hit_events.size() / 2, hit_events.size() - 1}) {
    const Trace many = threads(count, pmin, pmax, 999983, 0, failing);
    const std::vector<std::string> expected(one.events.begin(), one.events.begin() + hit_events[failing] + 1);
    EXPECT_EQ(many.events, expected) << "failing hit " << failing << ", " << count << " threads";
    count = count == 2 ? 1 : 2;
  }
}

}  // namespace
