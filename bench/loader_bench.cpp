// Start-up cost of the large data file: reading, scanning, building the
// ordered sets and choosing the residue classes, as one load_sieve_data.
// Also the -u rewrite of the same table.
#include <filesystem>
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>

#include "sievedata/data_loader.hpp"
#include "sievedata/data_writer.hpp"

namespace {

const char* const data_path = QUARROW_SHARED_DATA;

void BM_LoadVesk50M(benchmark::State& state) {
  if (!std::filesystem::exists(data_path)) {
    state.SkipWithError("the 50M data file is not on this machine");
    return;
  }
  std::size_t n_count = 0;
  for (auto _ : state) {
    sievedata::SieveTable table;
    std::ostringstream out;
    if (!sievedata::load_sieve_data(data_path, table, 0, out)) {
      state.SkipWithError(out.str().c_str());
      return;
    }
    n_count = 0;
    for (const auto& n_set : table.n_sets) n_count += n_set.size();
    benchmark::DoNotOptimize(table);
  }
  state.counters["n"] = static_cast<double>(n_count);
}
BENCHMARK(BM_LoadVesk50M)->Unit(benchmark::kMillisecond);

void BM_SaveVesk50M(benchmark::State& state) {
  if (!std::filesystem::exists(data_path)) {
    state.SkipWithError("the 50M data file is not on this machine");
    return;
  }
  sievedata::SieveTable table;
  std::ostringstream out;
  if (!sievedata::load_sieve_data(data_path, table, 0, out)) {
    state.SkipWithError(out.str().c_str());
    return;
  }
  const std::string target = (std::filesystem::temp_directory_path() / "quarrow_loader_bench.dat").string();
  for (auto _ : state) {
    if (!sievedata::save_sieve_data(table, target)) {
      state.SkipWithError("could not write the copy");
      break;
    }
  }
  std::filesystem::remove(target);
}
BENCHMARK(BM_SaveVesk50M)->Unit(benchmark::kMillisecond);

}  // namespace
