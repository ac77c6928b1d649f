// The data file is the input users edit by hand most, and a damaged one must
// never cost them a crash, a hang or a silently wrong table. Each input is
// loaded as a data file through the real loader (from an in-memory file, so
// that reading, scanning, deriving and the -vv diagnostics all run), and
// then:
// - a refused file must come with an "Error:" message and leave the
//   caller's table untouched;
// - a loaded table must keep every invariant the search relies on (each n
//   in its slot's class, at most ten residue classes that cover every n,
//   empty slots with no step);
// - the search set-up and the per-prime test must run on it for a few fixed
//   primes (small, middling and just below 2^50, with the sieve's factor
//   lists of p - 1), and every hit they return must be a true factor
//   (tables with an n range wider than 2^26 are loaded and checked but not
//   searched: see below).
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "fuzz/fuzz_check.hpp"
#include "primes/prime_iterator.hpp"
#include "primes/small_primes.hpp"
#include "search/factor_search.hpp"
#include "sievedata/data_loader.hpp"
#include "sievedata/factor_check.hpp"

namespace {

using common::u32;
using common::u64;

struct TestPrime {
  u64 p = 0;
  std::vector<u32> sieve_factors;  // what the segment sieve hands test_idea
};

// The first prime above `base` (even), with the factor list of p - 1 the
// way the range driver gets it from the iterator.
TestPrime first_prime_above(u64 base) {
  primes::PrimeIterator it;
  it.segment_stopwatch.reset();
  it.segment_stopwatch.start();
  it.position(base);
  TestPrime prime;
  prime.p = it.next_prime();
  const std::span<const u32> factors = it.current_factors();
  prime.sieve_factors.assign(factors.begin(), factors.end());
  return prime;
}

struct Fixture {
  std::vector<TestPrime> primes;
  int fd = -1;
  std::string path;

  Fixture() {
    primes::build_small_primes(primes::small_prime_limit);
    // 1000016539: p - 1 = 2*3*31*37*331*439, the Pohlig-Hellman route;
    // 1000000007: p - 1 = 2*500000003, the general scan; and the top end.
    for (const u64 base : {u64{1000016538}, u64{1000000006}, u64{1000000000000}, u64{1125899906842000}}) {
      primes.push_back(first_prime_above(base));
    }
    fd = ::memfd_create("quarrow-fuzz-data", MFD_CLOEXEC);
    check(fd >= 0, "memfd_create failed");
    path = "/proc/self/fd/" + std::to_string(fd);
  }

  static void check(bool holds, const char* what) { fuzz::check(holds, what); }
};

const Fixture& fixture() {
  static const Fixture instance;
  return instance;
}

void write_file(int fd, const std::uint8_t* data, std::size_t size) {
  fuzz::check(::ftruncate(fd, 0) == 0, "ftruncate failed");
  std::size_t done = 0;
  while (done < size) {
    const ssize_t wrote = ::pwrite(fd, data + done, size - done, static_cast<off_t>(done));
    fuzz::check(wrote > 0, "pwrite failed");
    done += static_cast<std::size_t>(wrote);
  }
}

bool untouched(const sievedata::SieveTable& table) {
  for (int slot = 0; slot < common::slot_count; ++slot) {
    if (table.k_values[slot] != 0 || !table.n_sets[slot].empty() || table.n_step[slot] != 0) return false;
  }
  return table.n_min == 0 && table.n_max == 0;
}

void check_invariants(const sievedata::SieveTable& table) {
  for (int slot = 0; slot < common::slot_count; ++slot) {
    const u32 step = table.n_step[slot];
    const u32 modulus = table.n_modulus[slot];
    const u32 count = table.n_residue_count[slot];
    if (table.n_sets[slot].empty()) {
      fuzz::check(step == 0 && modulus == 0 && count == 0, "a slot without n has a step, modulus or residues");
      continue;
    }
    fuzz::check(step >= 1, "a slot with n has no step");
    fuzz::check(modulus % step == 0 && modulus / step >= 1 && modulus / step <= 49, "modulus is not m*d, m <= 49");
    fuzz::check(count >= 1 && count <= sievedata::max_residues, "residue count outside 1..10");
    const auto& residues = table.n_residues[slot];
    for (u32 i = 0; i < count; ++i) {
      fuzz::check(residues[i] < modulus, "a residue is not below the modulus");
      fuzz::check(i == 0 || residues[i - 1] < residues[i], "residues not strictly ascending");
    }
    for (const u32 n : table.n_sets[slot]) {
      fuzz::check(n % step == table.n_offset[slot] % step, "an n lies outside its slot's class");
      bool covered = false;
      for (u32 i = 0; i < count && !covered; ++i) covered = residues[i] == n % modulus;
      fuzz::check(covered, "an n lies in none of its slot's residue classes");
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Fixture& f = fixture();
  write_file(f.fd, data, size);

  sievedata::SieveTable table;
  std::ostringstream out;
  if (!sievedata::load_sieve_data(f.path, table, 2, out)) {
    fuzz::check(fuzz::says_why(out.str()) && out.str().find("Error: ") != std::string::npos,
                "a refused data file without an error line");
    fuzz::check(untouched(table), "a refused data file changed the table");
    return 0;
  }
  check_invariants(table);

  const search::SearchSetup setup = search::prepare_search(table);
  // A giant table spans the n range, so one prime over an n range of 2^32
  // takes most of a second in this instrumented build; the search's own
  // tests cover such ranges. Here the search runs on every table whose
  // range is narrower (or upside down, which the search must bear as well).
  constexpr u32 widest_searched_range = u32{1} << 26;
  if (table.n_max >= table.n_min && table.n_max - table.n_min > widest_searched_range) return 0;
  search::SearchContext ctx;
  for (const TestPrime& prime : f.primes) {
    search::test_idea(ctx, setup, table, prime.p, prime.sieve_factors);
    for (const search::Hit& hit : ctx.hits) {
      fuzz::check(hit.p == prime.p && hit.slot < static_cast<u32>(common::slot_count), "a hit names another p or slot");
      if (!sievedata::is_true_factor(hit.p, table.k_values[hit.slot], hit.n)) {
        std::fprintf(stderr, "false hit: p=%llu k=%u n=%u xmod=%u\n", static_cast<unsigned long long>(hit.p),
                     table.k_values[hit.slot], hit.n, hit.xmod);
        fuzz::check(false, "the search reported a false hit");
      }
    }
  }
  fuzz::check(ctx.counters.tested_p == f.primes.size(), "tested_p does not count every prime");
  return 0;
}
