// The range loop over whole segments: one per-segment routine (sieve the
// segment, test its primes, a report out), run inline with one thread and on
// workers with several, and one writer path that replays the reports.
//
// Segment j of a range starts at pmin + j * segment_span, the same bases the
// one-thread iterator walks. Workers claim segments in ascending order from a
// shared counter, but never more than `window` ahead of the segment the
// writer is waiting for, so memory stays at a few reports per worker however
// unevenly the segments take. A worker's report is the set of primes it
// tested (one bit per odd number, as in the segment), their hits in report
// order, its counters and its proof of work. From the bits the writer finds the primes at
// which the one-thread loop would have saved: the first tested prime at
// least save_interval above the last save, again and again.
//
// A worker's segment sieve jumps from base to base instead of walking on to
// the next segment, so it recomputes its sieving primes' offsets for every
// segment (one division each, tens of milliseconds near 2^50, against
// seconds of search per segment).
#include "app/parallel_sieve.hpp"

#include <algorithm>
#include <array>
#include <bit>
#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "common/host_api.hpp"
#include "common/platform.hpp"
#include "common/stopwatch.hpp"
#include "primes/prime_iterator.hpp"
#include "primes/prime_segment.hpp"
#include "search/factor_search.hpp"

namespace app {
namespace {

using primes::segment_odd_count;
using primes::segment_span;
using primes::segment_words;

struct SegmentReport {
  std::vector<u64> tested;  // bit i: the prime base + 2i + 1 was tested
  std::vector<search::Hit> hits;
  search::Counters counters;
  search::WorkChecksum work;  // of the primes above range.counted_through
  u64 first_above_pmax = 0;  // 0 when the segment ends at or below pmax
};

// The hand-over between workers and the writer. Report j lives in slot
// j % window from its delivery until the writer releases it; a worker may
// only claim j once the writer has released j - window, so a slot is never
// written while the writer reads it.
class SegmentQueue {
 public:
  SegmentQueue(u64 segment_count, u32 window) : segment_count_(segment_count), window_(window), slots_(window) {}

  // The next segment for a worker; nothing when the range is used up or
  // the writer has stopped.
  std::optional<u64> claim() {
    std::unique_lock lock(mutex_);
    claimable_.wait(lock, [&] { return stopped_ || next_claim_ >= segment_count_ || next_claim_ < released_ + window_; });
    if (stopped_ || next_claim_ >= segment_count_) return std::nullopt;
    return next_claim_++;
  }

  // Hands report j over; `report` gets back the buffers of an earlier one.
  void deliver(u64 j, SegmentReport& report) {
    {
      std::lock_guard lock(mutex_);
      Slot& slot = slots_[j % window_];
      std::swap(slot.report, report);
      slot.ready = true;
    }
    delivered_.notify_all();
  }

  // The writer: waits for report j (j = the number released so far).
  const SegmentReport& wait_for(u64 j) {
    std::unique_lock lock(mutex_);
    Slot& slot = slots_[j % window_];
    delivered_.wait(lock, [&] { return slot.ready; });
    return slot.report;
  }

  // The writer is done with report j: its slot may take report j + window.
  void release(u64 j) {
    {
      std::lock_guard lock(mutex_);
      slots_[j % window_].ready = false;
      released_ = j + 1;
    }
    claimable_.notify_all();
  }

  // No further claims (the writer leaves, normally or not).
  void stop() {
    {
      std::lock_guard lock(mutex_);
      stopped_ = true;
    }
    claimable_.notify_all();
  }

 private:
  struct Slot {
    SegmentReport report;
    bool ready = false;
  };

  std::mutex mutex_;
  std::condition_variable claimable_;
  std::condition_variable delivered_;
  const u64 segment_count_;
  const u32 window_;
  std::vector<Slot> slots_;
  u64 next_claim_ = 0;
  u64 released_ = 0;
  bool stopped_ = false;
};

// The per-segment routine, the same for one thread and for many: sieves
// the segment at `base` and tests its primes up to pmax, and fills `report`
// (the tested primes, their hits in report order, the counters, the first
// prime above pmax when the segment holds one, the proof of work of the
// primes above counted_through). A segment sieve that was last used for the
// segment just below `base` carries its offsets over.
void search_segment(const search::SearchSetup& setup, const sievedata::SieveTable& table, u64 base,
                    const ParallelRange& range, primes::PrimeSegment& segment, search::SearchContext& context,
                    SegmentReport& report) {
  segment.sieve(base);
  report.tested.assign(segment_words, 0);
  report.hits.clear();
  report.first_above_pmax = 0;
  context.counters = search::Counters{};
  context.work = search::WorkChecksum{};
  // The primes go through the order of 2 and the slot filter a batch at a
  // time (their powers side by side), then one by one through the rest of
  // the test, in ascending order as before.
  std::array<u64, search::order_batch_size> primes;
  std::array<std::span<const u32>, search::order_batch_size> factor_lists;
  std::array<u32, search::order_batch_size> bits;
  u32 i = segment.next_prime_index(0);
  bool past_pmax = false;
  while (i < segment_odd_count && !past_pmax) {
    u32 count = 0;
    for (; i < segment_odd_count && count < search::order_batch_size; i = segment.next_prime_index(i + 1)) {
      const u64 p = base + 2 * u64{i} + 1;
      if (p > range.pmax) {
        report.first_above_pmax = p;
        past_pmax = true;
        break;
      }
      primes[count] = p;
      factor_lists[count] = segment.factors(i);
      bits[count++] = i;
    }
    if (count == 0) break;
    search::start_batch(context, setup, table, primes.data(), factor_lists.data(), count);
    for (u32 b = 0; b < count; ++b) {
      const search::WorkChecksum counted = context.work;
      search::test_idea_in_batch(context, setup, table, b);
      if (primes[b] <= range.counted_through) context.work = counted;
      report.hits.insert(report.hits.end(), context.hits.begin(), context.hits.end());
      report.tested[bits[b] >> 6] |= u64{1} << (bits[b] & 63);
    }
  }
  report.counters = context.counters;
  report.work = context.work;
}

void worker_loop(const ParallelRange& range, const search::SearchSetup& setup, const sievedata::SieveTable& table,
                 SegmentQueue& queue) {
  common::host_worker_started();
  common::set_priority(range.process_priority, range.thread_priority);
  primes::PrimeSegment segment;
  search::SearchContext context;
  SegmentReport report;
  while (const std::optional<u64> j = queue.claim()) {
    common::host_worker_pause_point();
    search_segment(setup, table, range.pmin + *j * segment_span, range, segment, context, report);
    queue.deliver(*j, report);
  }
}

// The first set bit at or after `from`, or segment_odd_count.
u32 next_set_bit(const std::vector<u64>& bits, u32 from) {
  if (from >= segment_odd_count) return segment_odd_count;
  u32 w = from >> 6;
  u64 open = bits[w] & (~u64{0} << (from & 63));
  while (open == 0) {
    if (++w == segment_words) return segment_odd_count;
    open = bits[w];
  }
  return w * 64 + static_cast<u32>(std::countr_zero(open));
}

// The bit of the first tested prime p at or after bit `from` with
// p - last_save_p >= save_interval, or segment_odd_count.
u32 next_save_bit(const SegmentReport& report, u64 base, u64 last_save_p, u64 save_interval, u32 from) {
  if (save_interval > std::numeric_limits<u64>::max() - last_save_p) return segment_odd_count;
  const u64 threshold = last_save_p + save_interval;
  // base + 2i + 1 >= threshold  <=>  i >= (threshold - base) / 2
  if (threshold > base) {
    const u64 first = (threshold - base) / 2;
    if (first >= segment_odd_count) return segment_odd_count;
    from = std::max(from, static_cast<u32>(first));
  }
  return next_set_bit(report.tested, from);
}

// Replays one segment as the one-thread loop runs it: per prime, its hits,
// then its save if one is due. False as soon as a hit could not be written.
// A save's proof of work is `work` (the segments before) plus this whole
// segment's, covering through its end.
bool replay(const SegmentReport& report, u64 base, const ParallelRange& range, u32 rate, u64& last_save_p,
            const search::WorkChecksum& work, const RangeWriter& writer) {
  const u64 covered = std::min(base + segment_span - 1, range.pmax);
  search::WorkChecksum with_segment = work;
  with_segment += report.work;
  const u64 save_interval = range.save_interval;
  std::size_t h = 0;
  for (u32 i = next_save_bit(report, base, last_save_p, save_interval, 0); i < segment_odd_count;
       i = next_save_bit(report, base, last_save_p, save_interval, i + 1)) {
    const u64 p = base + 2 * u64{i} + 1;
    for (; h < report.hits.size() && report.hits[h].p <= p; ++h) {
      if (!writer.report(report.hits[h])) return false;
    }
    if (writer.save(p, rate, covered, with_segment)) last_save_p = p;
  }
  for (; h < report.hits.size(); ++h) {
    if (!writer.report(report.hits[h])) return false;
  }
  return true;
}

// The first prime of the segment at base (there is always one: prime gaps
// below 2^51 are far shorter than a segment).
u64 first_prime_from(u64 base) {
  primes::PrimeSegment segment;
  for (;; base += segment_span) {
    segment.sieve(base);
    const u32 i = segment.next_prime_index(0);
    if (i < segment_odd_count) return base + 2 * u64{i} + 1;
  }
}

// The single writer path: takes the reports in order of their segments,
// replays each, sums the counters and keeps the rate over the segments it
// has finished (so with several workers it shows their combined speed).
class SegmentWriter {
 public:
  SegmentWriter(const ParallelRange& range, const RangeWriter& writer, search::Counters& counters,
                search::WorkChecksum& work, u32& current_rate)
      : range_(range),
        writer_(writer),
        counters_(counters),
        work_(work),
        current_rate_(current_rate),
        last_save_p_(range.pmin) {
    stopwatch_.reset();
    stopwatch_.start();
  }

  // Replays the report of segment j; false when a hit could not be written.
  bool take(u64 j, const SegmentReport& report) {
    if (!replay(report, range_.pmin + j * segment_span, range_, current_rate_, last_save_p_, work_, writer_)) {
      return false;
    }
    counters_ += report.counters;
    work_ += report.work;
    if (report.first_above_pmax != 0) p_end_ = report.first_above_pmax;
    stopwatch_.stop();
    current_rate_ = primes::segment_rate(stopwatch_);
    stopwatch_.reset();
    stopwatch_.start();
    return true;
  }

  // The first prime above pmax once all `segment_count` segments are taken.
  u64 p_end(u64 segment_count) const {
    // pmax lay in the last segment's final gap: the next prime is beyond it.
    return p_end_ != 0 ? p_end_ : first_prime_from(range_.pmin + segment_count * segment_span);
  }

 private:
  const ParallelRange& range_;
  const RangeWriter& writer_;
  search::Counters& counters_;
  search::WorkChecksum& work_;
  u32& current_rate_;
  common::Stopwatch stopwatch_;
  u64 last_save_p_;
  u64 p_end_ = 0;
};

// Joins the workers however the writer leaves.
class Workers {
 public:
  explicit Workers(SegmentQueue& queue) : queue_(queue) {}
  Workers(const Workers&) = delete;
  Workers& operator=(const Workers&) = delete;
  ~Workers() {
    queue_.stop();
    for (std::thread& t : threads_) t.join();
  }
  template <class... Args>
  void start(Args&&... args) {
    threads_.emplace_back(std::forward<Args>(args)...);
  }

 private:
  SegmentQueue& queue_;
  std::vector<std::thread> threads_;
};

}  // namespace

std::optional<u64> sieve_range_segments(const ParallelRange& range, const search::SearchSetup& setup,
                                        const sievedata::SieveTable& table, const RangeWriter& writer,
                                        search::Counters& counters, search::WorkChecksum& range_work,
                                        u32& current_rate) {
  const u64 segment_count = (range.pmax - range.pmin) / segment_span + 1;
  SegmentWriter out(range, writer, counters, range_work, current_rate);
  if (range.threads <= 1) {
    // One thread: the segments in order on this thread, each written as
    // soon as it is searched; one segment sieve walks them all, carrying its
    // offsets from each segment to the next.
    primes::PrimeSegment segment;
    search::SearchContext context;
    SegmentReport report;
    for (u64 j = 0; j < segment_count; ++j) {
      search_segment(setup, table, range.pmin + j * segment_span, range, segment, context, report);
      if (!out.take(j, report)) return std::nullopt;
    }
    return out.p_end(segment_count);
  }
  // Two segments per worker: one being searched, one waiting for the writer.
  SegmentQueue queue(segment_count, 2 * range.threads);
  {
    Workers workers(queue);
    for (u32 t = 0; t < range.threads; ++t) {
      workers.start(worker_loop, std::cref(range), std::cref(setup), std::cref(table), std::ref(queue));
    }
    for (u64 j = 0; j < segment_count; ++j) {
      // Leaving the block stops and joins the workers.
      if (!out.take(j, queue.wait_for(j))) return std::nullopt;
      queue.release(j);
    }
  }
  return out.p_end(segment_count);
}

}  // namespace app
