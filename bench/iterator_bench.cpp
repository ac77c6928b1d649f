// Speed of the candidate primes: the segment sieve with its factor lists in
// steady state (consecutive segments) and on repositioning, and the iterator
// walking every prime with its list, at the low and high end of the p range.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <vector>

#include "primes/prime_iterator.hpp"
#include "primes/small_primes.hpp"

namespace {
using primes::u64;

void ensure_table() {
  if (primes::small_prime_count == 0) primes::build_small_primes(primes::small_prime_limit);
}

// One iteration: the next segment of a run (offsets carried over).
void BM_SegmentSieve(benchmark::State& state) {
  ensure_table();
  const u64 start = static_cast<u64>(state.range(0)) * 1000000000ULL;
  primes::PrimeSegment segment;
  u64 base = start;
  segment.sieve(base);
  u64 primes_seen = 0;
  for (auto _ : state) {
    base += primes::segment_span;
    segment.sieve(base);
    primes_seen += segment.prime_count();
  }
  state.counters["primes/segment"] = static_cast<double>(primes_seen) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * primes::segment_span);
}
// Argument: the start of the run in units of 10^9.
BENCHMARK(BM_SegmentSieve)
    ->Arg(1)
    ->Arg(1000)
    ->Arg(1000000)
    ->Arg(1125899)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); });

// One iteration: a segment sieved afresh, as at the start of every range.
void BM_SegmentSieveFresh(benchmark::State& state) {
  ensure_table();
  const u64 start = static_cast<u64>(state.range(0)) * 1000000000ULL;
  primes::PrimeSegment segment;
  u64 base = start;
  for (auto _ : state) {
    segment.sieve(base);
    base += 2 * primes::segment_span;  // never the successor
  }
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()) * primes::segment_span);
}
BENCHMARK(BM_SegmentSieveFresh)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

// One iteration: the next prime and a look at its factor list, as the range
// driver and the order computation do; segment changes included.
void BM_NextPrime(benchmark::State& state) {
  ensure_table();
  primes::PrimeIterator it;
  it.segment_stopwatch.reset();
  it.segment_stopwatch.start();
  it.position(static_cast<u64>(state.range(0)) * 1000000000ULL);
  u64 sum = 0;
  for (auto _ : state) {
    sum += it.next_prime();
    sum += it.current_factors().size();
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_NextPrime)->Arg(1000)->Arg(1000000);

void BM_BuildSmallPrimes(benchmark::State& state) {
  for (auto _ : state) primes::build_small_primes(primes::small_prime_limit);
}
BENCHMARK(BM_BuildSmallPrimes)->Unit(benchmark::kMillisecond);

}  // namespace
