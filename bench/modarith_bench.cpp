// Microbenchmarks of the modular kernels and the baby-step table, at a
// typical prime (just above 10^12) and at the largest prime below 2^50.
// Every benchmark reports "per_op": the time of one kernel call, or of one
// table operation (printed as 7.4n for 7.4 ns). Latency benchmarks feed each result into the next
// call (as powering and the giant/baby-step walks do); throughput benchmarks
// run independent calls.
#include <benchmark/benchmark.h>

#include <random>
#include <vector>

#include "modarith/babystep_table.hpp"
#include "modarith/modmul.hpp"
#include "modarith/wide_kernels.hpp"

namespace {
using common::u32;
using common::u64;
using namespace modarith;

constexpr u64 prime_1e12 = 1000000000039ULL;        // smallest prime above 10^12
constexpr u64 prime_2pow50 = 1125899906842597ULL;   // largest prime below 2^50
constexpr int block = 1024;                         // operations per benchmark iteration

void report_ns_per_op(benchmark::State& state, double ops_per_iteration) {
  state.counters["per_op"] = benchmark::Counter(ops_per_iteration, benchmark::Counter::kIsIterationInvariantRate |
                                                                      benchmark::Counter::kInvert);
}

std::vector<u64> residues(u64 p, int count, u64 seed) {
  std::mt19937_64 rng(seed);
  std::vector<u64> v(count);
  for (auto& x : v) x = rng() % p;
  return v;
}

std::vector<u64> exponents_50_bit(int count) {
  std::mt19937_64 rng(7);
  std::vector<u64> v(count);
  for (auto& e : v) e = (rng() >> 14) | (u64{1} << 49);
  return v;
}

// Runs `step` as a dependent chain: each result is the next call's input.
template <class Step>
void run_chain(benchmark::State& state, u64 x, Step step) {
  for (auto _ : state) {
    for (int i = 0; i < block; ++i) x = step(x);
    benchmark::DoNotOptimize(x);
  }
  report_ns_per_op(state, block);
}

// Runs `call(i)` for i = 0 .. block-1, calls independent of each other.
template <class Call>
void run_independent(benchmark::State& state, Call call) {
  for (auto _ : state) {
    u64 sum = 0;
    for (int i = 0; i < block; ++i) sum += call(i);
    benchmark::DoNotOptimize(sum);
  }
  report_ns_per_op(state, block);
}

void BM_mulmod_latency(benchmark::State& state) {
  const u64 p = static_cast<u64>(state.range(0));
  const auto m = make_mod_context(p);
  u64 y = p - 12345;
  benchmark::DoNotOptimize(y);
  run_chain(state, p / 3, [&](u64 x) { return mulmod(m, x, y); });
}

void BM_mulmod_throughput(benchmark::State& state) {
  const u64 p = static_cast<u64>(state.range(0));
  const auto m = make_mod_context(p);
  const auto a = residues(p, block, 1), b = residues(p, block, 2);
  run_independent(state, [&](int i) { return mulmod(m, a[i], b[i]); });
}

void BM_sqrmod_latency(benchmark::State& state) {
  const u64 p = static_cast<u64>(state.range(0));
  const auto m = make_mod_context(p);
  run_chain(state, p / 3, [&](u64 x) { return sqrmod(m, x); });
}

// The giant and baby steps: one fixed multiplier, each step on the last.
void BM_mulmod_scaled_latency(benchmark::State& state) {
  const u64 p = static_cast<u64>(state.range(0));
  const auto m = make_mod_context(p);
  const auto s = prepare_scaled(m, p / 7 + 5);
  run_chain(state, p - 1, [&](u64 x) { return mulmod_scaled(m, x, s); });
}

// The same chain left in [0, 2p) between steps (a compare would reduce only
// the values that are looked up).
void BM_mulmod_scaled_lazy_latency(benchmark::State& state) {
  const u64 p = static_cast<u64>(state.range(0));
  const auto m = make_mod_context(p);
  const auto s = prepare_scaled(m, p / 7 + 5);
  run_chain(state, p - 1, [&](u64 x) { return mulmod_scaled_lazy(m, x, s); });
}

void BM_prepare_scaled(benchmark::State& state) {
  const u64 p = static_cast<u64>(state.range(0));
  const auto m = make_mod_context(p);
  const auto mults = residues(p, block, 3);
  run_independent(state, [&](int i) { return prepare_scaled(m, mults[i]).w_int; });
}

void BM_pow2mod(benchmark::State& state) {
  const u64 p = static_cast<u64>(state.range(0));
  const auto m = make_mod_context(p);
  const auto es = exponents_50_bit(block);
  run_independent(state, [&](int i) { return pow2mod(m, es[i]); });
}

void BM_powmod(benchmark::State& state) {
  const u64 p = static_cast<u64>(state.range(0));
  const auto m = make_mod_context(p);
  const auto es = exponents_50_bit(block);
  const auto bases = residues(p, block, 4);
  run_independent(state, [&](int i) { return powmod(m, bases[i], es[i]); });
}

// Giant-table sizes: ~3000 entries (n up to 5*10^7, giant step 15840) and a
// few dozen (a Pohlig-Hellman modulus).
void BM_table_insert(benchmark::State& state) {
  const u32 count = static_cast<u32>(state.range(0));
  const auto keys = residues(prime_2pow50, static_cast<int>(count), 5);
  BabyStepTable table;
  for (auto _ : state) {
    table.reset(count);
    for (u32 i = 0; i < count; ++i) table.insert(keys[i], i + 1);
    benchmark::DoNotOptimize(table);
  }
  report_ns_per_op(state, count);
}

// Lookups in a table of `count` random residues: the second argument 1
// looks up stored keys (hits), 0 fresh residues (misses, the common case of
// a baby step).
void BM_table_lookup(benchmark::State& state) {
  const u32 count = static_cast<u32>(state.range(0));
  const bool hits = state.range(1) != 0;
  const auto keys = residues(prime_2pow50, static_cast<int>(count), 5);
  BabyStepTable table;
  table.reset(count);
  for (u32 i = 0; i < count; ++i) table.insert(keys[i], i + 1);
  std::vector<u64> probes = residues(prime_2pow50, block, 8);
  if (hits) {
    for (int i = 0; i < block; ++i) probes[i] = keys[probes[i] % count];
  }
  run_independent(state, [&](int i) { return table.first(probes[i]); });
}

// The general scan's shape per prime: a giant table of 3157 steps, then a
// baby walk of dependent steps that each look their value up (all misses).
// The second argument 1 runs both chains lazily, reducing only the keys.
void BM_giant_table_and_baby_walk(benchmark::State& state) {
  const bool lazy = state.range(1) != 0;
  const u64 p = static_cast<u64>(state.range(0));
  const auto m = make_mod_context(p);
  const u32 giant_count = 3157;
  const int baby_count = 4096;
  BabyStepTable table;
  const auto beta = prepare_scaled(m, pow2mod(m, p - 1 - 15840));
  const auto c = prepare_scaled(m, pow2mod(m, 16));
  for (auto _ : state) {
    table.reset(giant_count);
    u64 u = p - 1;
    u64 x = mulmod(m, 3, pow2mod(m, 5));
    u32 hits = 0;
    if (lazy) {
      for (u32 b = 1; b <= giant_count; ++b) {
        table.insert(reduce_once(m, u), b);
        u = mulmod_scaled_lazy(m, u, beta);
      }
      for (int s = 0; s < baby_count; ++s) {
        hits += table.first(reduce_once(m, x));
        x = mulmod_scaled_lazy(m, x, c);
      }
    } else {
      for (u32 b = 1; b <= giant_count; ++b) {
        table.insert(u, b);
        u = mulmod_scaled(m, u, beta);
      }
      for (int s = 0; s < baby_count; ++s) {
        hits += table.first(x);
        x = mulmod_scaled(m, x, c);
      }
    }
    benchmark::DoNotOptimize(hits);
  }
  report_ns_per_op(state, giant_count + baby_count);
}

// A geometric fill of the giant table with each kernel set the processor
// runs (second argument: 0 scalar, 1 AVX2, 2 eight-lane); sizes of a
// Pohlig-Hellman table and of a single-class scan's giant table.
void BM_fill_geometric(benchmark::State& state) {
  const u32 count = static_cast<u32>(state.range(0));
  const auto set = static_cast<KernelSet>(state.range(1));
  if (!kernel_set_runs(set)) {
    state.SkipWithError("kernel set not run by this processor");
    return;
  }
  const auto m = make_mod_context(prime_1e12);
  const auto f = prepare_scaled(m, pow2mod(m, 12345));
  BabyStepTable table;
  for (auto _ : state) {
    table.reset(count);
    fill_geometric_with(set, m, table, 3, f, count, 1);
    benchmark::DoNotOptimize(table);
  }
  report_ns_per_op(state, count);
}

#define MODARITH_PRIMES ->Arg(prime_1e12)->Arg(prime_2pow50)
// Baby walks against a filled giant table with each kernel set the processor
// runs (second argument as above): the single-class scan's shape (235
// entries, three walks of 73 positions) and the general scan's (3157 entries,
// 24 walks of 67). Almost every lookup misses, as in the search.
void BM_run_walks(benchmark::State& state) {
  const bool general = state.range(0) != 0;
  const auto set = static_cast<KernelSet>(state.range(1));
  if (!kernel_set_runs(set)) {
    state.SkipWithError("kernel set not run by this processor");
    return;
  }
  const auto m = make_mod_context(prime_1e12);
  const u32 entries = general ? 3157 : 235;
  const u32 walk_count = general ? 24 : 3;
  const u64 positions = general ? 67 : 73;
  BabyStepTable table;
  table.reset(entries);
  fill_geometric_with(set, m, table, 3, prepare_scaled(m, pow2mod(m, 12345)), entries, 1);
  std::vector<Walk> walks;
  for (u32 i = 0; i < walk_count; ++i) {
    walks.push_back(Walk{mulmod(m, 5 + i, pow2mod(m, i)), prepare_scaled(m, pow2mod(m, 72)), positions});
  }
  std::vector<WalkHit> hits;
  for (auto _ : state) {
    run_walks_with(set, m, table, walks.data(), walk_count, hits);
    benchmark::DoNotOptimize(hits);
  }
  report_ns_per_op(state, static_cast<double>(walk_count * positions));
}

BENCHMARK(BM_mulmod_latency) MODARITH_PRIMES;
BENCHMARK(BM_mulmod_throughput) MODARITH_PRIMES;
BENCHMARK(BM_sqrmod_latency) MODARITH_PRIMES;
BENCHMARK(BM_mulmod_scaled_latency) MODARITH_PRIMES;
BENCHMARK(BM_mulmod_scaled_lazy_latency) MODARITH_PRIMES;
BENCHMARK(BM_prepare_scaled) MODARITH_PRIMES;
BENCHMARK(BM_pow2mod) MODARITH_PRIMES;
BENCHMARK(BM_powmod) MODARITH_PRIMES;
BENCHMARK(BM_table_insert)->Arg(40)->Arg(3000);
BENCHMARK(BM_table_lookup)->ArgsProduct({{40, 3000}, {0, 1}});
BENCHMARK(BM_fill_geometric)->ArgsProduct({{140, 600, 3000}, {0, 1, 2}});
BENCHMARK(BM_run_walks)->ArgsProduct({{0, 1}, {0, 1, 2}});
BENCHMARK(BM_giant_table_and_baby_walk)->ArgsProduct({{prime_1e12, prime_2pow50}, {0, 1}});

}  // namespace
