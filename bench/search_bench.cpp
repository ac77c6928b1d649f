// Cost per prime of the per-prime test on the realistic data (the 50M file:
// the known twelve k, n up to 5*10^7) at p ~ 10^12 and p ~ 10^15, and the
// parts of it: the order of 2 with the moduli list, and the slot filter.
// The primes and their factor lists are taken from the iterator beforehand,
// so the sieve's time is not counted.
#include <benchmark/benchmark.h>

#include <bit>
#include <filesystem>
#include <span>
#include <sstream>
#include <vector>

#include "primes/prime_iterator.hpp"
#include "primes/small_primes.hpp"
#include "search/factor_search.hpp"
#include "search/order2.hpp"
#include "sievedata/data_loader.hpp"

namespace {
using common::u32;
using common::u64;

const char* const data_path = QUARROW_SHARED_DATA;
constexpr u32 batch_size = 50000;

// The 50M table, loaded once; null when the file is absent or unreadable.
const sievedata::SieveTable* shared_table() {
  static const sievedata::SieveTable* table = [] {
    if (!std::filesystem::exists(data_path)) return static_cast<sievedata::SieveTable*>(nullptr);
    auto* loaded = new sievedata::SieveTable;
    std::ostringstream out;
    if (!sievedata::load_sieve_data(data_path, *loaded, 0, out)) return static_cast<sievedata::SieveTable*>(nullptr);
    return loaded;
  }();
  return table;
}

// Consecutive primes from `start` with copies of their factor lists.
struct PrimeBatch {
  std::vector<u64> primes;
  std::vector<u32> list_start;  // primes.size() + 1 offsets into factors
  std::vector<u32> factors;

  std::span<const u32> list(std::size_t i) const {
    return {factors.data() + list_start[i], list_start[i + 1] - list_start[i]};
  }
};

PrimeBatch collect_primes(u64 start) {
  if (primes::small_prime_count == 0) primes::build_small_primes(primes::small_prime_limit);
  primes::PrimeIterator it;
  it.segment_stopwatch.reset();
  it.segment_stopwatch.start();
  it.position(start);
  PrimeBatch batch;
  batch.list_start.push_back(0);
  for (u32 i = 0; i < batch_size; ++i) {
    batch.primes.push_back(it.next_prime());
    const std::span<const u32> list = it.current_factors();
    batch.factors.insert(batch.factors.end(), list.begin(), list.end());
    batch.list_start.push_back(static_cast<u32>(batch.factors.size()));
  }
  return batch;
}

u64 start_of(const benchmark::State& state) {
  u64 start = 1;
  for (int64_t i = 0; i < state.range(0); ++i) start *= 10;
  return start;
}

void report_counters(benchmark::State& state, const search::Counters& c, u64 hits) {
  const double tested = static_cast<double>(c.tested_p);
  state.counters["slots_kept/p"] = (12.0 * tested - static_cast<double>(c.whacked_k)) / tested;
  state.counters["primes_whacked"] = static_cast<double>(c.whacked_p) / tested;
  state.counters["hits"] = static_cast<double>(hits);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

// One iteration: test_idea on one prime, Pohlig-Hellman route first (as the
// program runs) or the general scan alone; with the run's kernel set (the
// fastest the processor runs, or the one QUARROW_KERNELS forces), or the
// scalar ones.
void run_test_idea(benchmark::State& state, bool general_scan_only, bool scalar_kernels = false) {
  const sievedata::SieveTable* table = shared_table();
  if (table == nullptr) {
    state.SkipWithError("the 50M data file is not on this machine");
    return;
  }
  const search::SearchSetup setup = search::prepare_search(*table);
  const PrimeBatch batch = collect_primes(start_of(state));
  search::SearchContext ctx;
  ctx.general_scan_only = general_scan_only;
  if (scalar_kernels) ctx.kernels = modarith::KernelSet::scalar;
  state.counters["kernel_set"] = static_cast<double>(ctx.kernels);
  std::size_t i = 0;
  u64 hits = 0;
  for (auto _ : state) {
    search::test_idea(ctx, setup, *table, batch.primes[i], batch.list(i));
    hits += ctx.hits.size();
    if (++i == batch.primes.size()) i = 0;
  }
  report_counters(state, ctx.counters, hits);
}

void BM_TestIdea(benchmark::State& state) { run_test_idea(state, false); }
void BM_TestIdeaGeneralScanOnly(benchmark::State& state) { run_test_idea(state, true); }
void BM_TestIdeaScalarKernels(benchmark::State& state) { run_test_idea(state, false, true); }
// Argument: log10 of the first p.
BENCHMARK(BM_TestIdea)->Arg(12)->Arg(15);
BENCHMARK(BM_TestIdeaGeneralScanOnly)->Arg(12)->Arg(15);
BENCHMARK(BM_TestIdeaScalarKernels)->Arg(12)->Arg(15);

// One iteration: the order of 2 and the moduli list of one prime.
void BM_Order2(benchmark::State& state) {
  const sievedata::SieveTable* table = shared_table();
  if (table == nullptr) {
    state.SkipWithError("the 50M data file is not on this machine");
    return;
  }
  const PrimeBatch batch = collect_primes(start_of(state));
  search::SearchContext ctx;
  std::size_t i = 0;
  u64 sum = 0;
  for (auto _ : state) {
    ctx.mod = modarith::make_mod_context(batch.primes[i]);
    sum += search::order2(ctx, *table, batch.primes[i], batch.list(i));
    if (++i == batch.primes.size()) i = 0;
  }
  benchmark::DoNotOptimize(sum);
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}
BENCHMARK(BM_Order2)->Arg(12)->Arg(15);

// One iteration: the slot filter of one prime (its order precomputed), with
// the known set's stored k*2^r and with k*2^r taken by a power.
void run_filter(benchmark::State& state, bool known_set_mode) {
  const sievedata::SieveTable* table = shared_table();
  if (table == nullptr) {
    state.SkipWithError("the 50M data file is not on this machine");
    return;
  }
  search::SearchSetup setup = search::prepare_search(*table);
  setup.known_set_mode = setup.known_set_mode && known_set_mode;
  const PrimeBatch batch = collect_primes(start_of(state));
  search::SearchContext ctx;
  std::vector<u64> orders;
  for (std::size_t i = 0; i < batch.primes.size(); ++i) {
    ctx.mod = modarith::make_mod_context(batch.primes[i]);
    orders.push_back(search::order2(ctx, *table, batch.primes[i], batch.list(i)));
  }
  std::size_t i = 0;
  u64 kept = 0;
  for (auto _ : state) {
    ctx.mod = modarith::make_mod_context(batch.primes[i]);
    kept += static_cast<u64>(std::popcount(search::filter_slots(ctx, setup, *table, batch.primes[i], orders[i])));
    if (++i == batch.primes.size()) i = 0;
  }
  state.counters["slots_kept/p"] = static_cast<double>(kept) / static_cast<double>(state.iterations());
  state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
}

void BM_SlotFilterKnownSet(benchmark::State& state) { run_filter(state, true); }
void BM_SlotFilterPowersOnly(benchmark::State& state) { run_filter(state, false); }
BENCHMARK(BM_SlotFilterKnownSet)->Arg(12)->Arg(15);
BENCHMARK(BM_SlotFilterPowersOnly)->Arg(12)->Arg(15);

}  // namespace
