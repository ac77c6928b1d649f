// Pins the whole observable output of the per-prime test on the project's
// real data: for stretches of consecutive primes at 10^9, 10^12, 10^15 and
// just below 2^50 (on the data file as it is, and with multipliers planted
// for some of them and for primes where 2 has a tiny order), every
// hit in report order (p, slot, n, xmod) and the counters after every prime
// are folded into one hash, which must match the one recorded in
// golden/search_output.txt. The search may be made faster in any way, but
// which n it reports, in which order, with which xmod, and what it counts
// (including which route handles a prime) must stay exactly as recorded.
//
// The factor lists handed to test_idea are built here, independently of the
// prime sieve, by the sieve's rule: the distinct primes 31 <= q <= sqrt(p)
// dividing p - 1, ascending. Primes are found by Miller-Rabin.
//
// On a mismatch the test writes what it found to search_golden_actual.txt in
// its working directory, so a deliberate change of the output can be
// recorded by copying that file over the golden one.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "modarith/wide_kernels.hpp"
#include "search/factor_search.hpp"
#include "sievedata/data_loader.hpp"
#include "tests/search/reference_numbers.hpp"

namespace {
using namespace search_reference;

const char* const golden_path = QUARROW_SOURCE_DIR "/tests/search/golden/search_output.txt";
const char* const vesk_path = QUARROW_SOURCE_DIR "/examples/Vesk.dat";

u64 gcd64(u64 a, u64 b) {
  while (b != 0) {
    const u64 r = a % b;
    a = b;
    b = r;
  }
  return a;
}

// A non-trivial factor of the odd composite n (Pollard's rho, Brent's cycle).
u64 rho_factor(u64 n) {
  for (u64 c = 1;; ++c) {
    u64 x = 2, y = 2, d = 1;
    const auto f = [&](u64 v) { return (mul_mod(v, v, n) + c) % n; };
    for (u64 power = 1; d == 1; power *= 2) {
      x = y;
      for (u64 i = 0; i < power && d == 1; ++i) {
        y = f(y);
        d = gcd64(x > y ? x - y : y - x, n);
      }
    }
    if (d != n) return d;
  }
}

void factor_into(u64 n, std::vector<u64>& out) {
  if (n == 1) return;
  if (is_prime(n)) {
    out.push_back(n);
    return;
  }
  const u64 d = rho_factor(n);
  factor_into(d, out);
  factor_into(n / d, out);
}

// The distinct primes 31 <= q <= sqrt(p) of p - 1, ascending.
std::vector<u32> sieve_style_factors(u64 p) {
  u64 n = p - 1;
  for (u64 q : {2, 3, 5, 7, 11, 13, 17, 19, 23, 29}) {
    while (n % q == 0) n /= q;
  }
  std::vector<u64> all;
  factor_into(n, all);
  std::sort(all.begin(), all.end());
  all.erase(std::unique(all.begin(), all.end()), all.end());
  const u64 bound = static_cast<u64>(std::sqrt(static_cast<double>(p)));
  std::vector<u32> list;
  for (u64 q : all) {
    if (q <= bound) list.push_back(static_cast<u32>(q));
  }
  return list;
}

std::vector<u64> primes_from(u64 start, u32 count) {
  std::vector<u64> found;
  for (u64 m = start | 1; found.size() < count && m <= common::p_ceiling; m += 2) {
    if (is_prime(m)) found.push_back(m);
  }
  return found;
}

// Primes between 10^9 and 2^32 where 2 has the tiny order 31, 118 and 80
// (factors of 2^31 - 1, 2^59 + 1 and 2^40 + 1): a slot with a factor there
// has one every few hundred n, and the giant table holds equal keys.
const std::vector<u64> small_order_primes = {2147483647ULL, 1824726041ULL, 4278255361ULL};

// The table with every k replaced by one planted for a prime of `primes`
// (slot j for the prime at j * size / 12): k = -2^(-n) mod p for the first n
// of the slot's class at or above n_min + 1000 * j that gives k < 2^32. The
// classes stay those of the data file, so the known-set filter is off.
sievedata::SieveTable planted_table(sievedata::SieveTable table, const std::vector<u64>& primes) {
  for (u32 j = 0; j < 12; ++j) {
    const u64 p = primes[j * primes.size() / 12];
    const u64 d = table.n_step[j];
    const u64 from = table.n_min + 1000 * j;
    u64 n = from + (table.n_offset[j] + d - from % d) % d;
    const u64 inverse_two = (p + 1) / 2;
    u64 minus_k = pow_mod(inverse_two, n, p);  // 2^(-n) = -k
    const u64 step = pow_mod(inverse_two, d, p);
    while (minus_k == 0 || p - minus_k > 0xffffffffULL) {
      n += d;
      minus_k = mul_mod(minus_k, step, p);
    }
    table.k_values[j] = static_cast<u32>(p - minus_k);
  }
  return table;
}

enum class Mode { as_run, powers_only_filter, general_scan_only };

struct Fnv {
  u64 h = 1469598103934665603ULL;
  void add(u64 v) {
    for (int i = 0; i < 8; ++i) {
      h ^= (v >> (8 * i)) & 0xff;
      h *= 1099511628211ULL;
    }
  }
};

// One line of the golden file (the same for every kernel set): the totals
// and the hash, plus the first few
// hits written out for a readable diff.
std::string run_case(const std::string& name, const sievedata::SieveTable& table, const std::vector<u64>& primes,
                     Mode mode, modarith::KernelSet kernels) {
  search::SearchSetup setup = search::prepare_search(table);
  if (mode == Mode::powers_only_filter) setup.known_set_mode = false;
  search::SearchContext ctx;
  ctx.general_scan_only = mode == Mode::general_scan_only;
  ctx.kernels = kernels;
  Fnv fnv;
  u64 hit_count = 0;
  std::ostringstream first_hits;
  for (u64 p : primes) {
    EXPECT_TRUE(is_prime(p)) << p;
    search::test_idea(ctx, setup, table, p, sieve_style_factors(p));
    fnv.add(p);
    for (const search::Hit& h : ctx.hits) {
      EXPECT_EQ(h.p, p);
      fnv.add(h.slot);
      fnv.add(h.n);
      fnv.add(h.xmod);
      if (hit_count < 8) first_hits << " " << h.p << ":" << h.slot << ":" << h.n << ":" << h.xmod;
      ++hit_count;
    }
    fnv.add(ctx.counters.tested_p);
    fnv.add(ctx.counters.whacked_k);
    fnv.add(ctx.counters.whacked_p);
  }
  static const char* const mode_names[] = {"as_run", "powers_only", "general_only"};
  std::ostringstream line;
  line << name << " " << mode_names[static_cast<int>(mode)] << " primes=" << primes.size() << " hits=" << hit_count
       << " tested=" << ctx.counters.tested_p << " whacked_k=" << ctx.counters.whacked_k
       << " whacked_p=" << ctx.counters.whacked_p << " hash=" << std::hex << fnv.h << std::dec << first_hits.str();
  return line.str();
}

// The program tests its primes a batch at a time (orders and filter powers
// of several primes side by side): the batches must give every prime the
// hits the prime gets alone, and the same counters and proof of work.
void expect_batches_match_single_primes(const sievedata::SieveTable& table, const std::vector<u64>& primes,
                                        Mode mode, modarith::KernelSet kernels) {
  const search::SearchSetup setup = search::prepare_search(table);
  search::SearchContext single;
  search::SearchContext batched;
  for (search::SearchContext* ctx : {&single, &batched}) {
    ctx->general_scan_only = mode == Mode::general_scan_only;
    ctx->kernels = kernels;
  }
  std::vector<std::vector<u32>> lists;
  for (u64 p : primes) lists.push_back(sieve_style_factors(p));
  for (std::size_t first = 0; first < primes.size(); first += search::order_batch_size) {
    // Full batches, and a short one at the end as a segment's last primes give.
    const u32 count = static_cast<u32>(std::min<std::size_t>(search::order_batch_size, primes.size() - first));
    std::array<std::span<const u32>, search::order_batch_size> spans;
    for (u32 i = 0; i < count; ++i) spans[i] = lists[first + i];
    search::start_batch(batched, setup, table, primes.data() + first, spans.data(), count);
    for (u32 i = 0; i < count; ++i) {
      const u64 p = primes[first + i];
      search::test_idea(single, setup, table, p, lists[first + i]);
      search::test_idea_in_batch(batched, setup, table, i);
      ASSERT_EQ(batched.hits.size(), single.hits.size()) << "p = " << p;
      for (std::size_t h = 0; h < single.hits.size(); ++h) {
        EXPECT_EQ(batched.hits[h].p, single.hits[h].p);
        EXPECT_EQ(batched.hits[h].slot, single.hits[h].slot);
        EXPECT_EQ(batched.hits[h].n, single.hits[h].n);
        EXPECT_EQ(batched.hits[h].xmod, single.hits[h].xmod);
      }
    }
    EXPECT_EQ(batched.counters.tested_p, single.counters.tested_p);
    EXPECT_EQ(batched.counters.whacked_k, single.counters.whacked_k);
    EXPECT_EQ(batched.counters.whacked_p, single.counters.whacked_p);
    EXPECT_TRUE(batched.work == single.work);
  }
}

struct Stretch {
  std::string name;
  std::vector<u64> primes;
};

// Every stretch on the file's table, then one mixed stretch (the small-order
// primes and the first 300 primes of the others) on the planted table.
std::vector<std::string> run_file(const std::string& label, const char* path, const std::vector<Stretch>& stretches) {
  sievedata::SieveTable table;
  std::ostringstream out;
  EXPECT_TRUE(sievedata::load_sieve_data(path, table, 0, out)) << out.str();
  EXPECT_TRUE(search::prepare_search(table).known_set_mode);
  std::vector<std::string> lines;
  std::vector<u64> mixed = small_order_primes;
  // The lines are recorded with the run's set (QUARROW_KERNELS forces one);
  // the others this processor runs are compared with them.
  const modarith::KernelSet chosen = modarith::kernel_choice().set;
  std::vector<modarith::KernelSet> other_sets;
  for (const modarith::KernelSet set : modarith::kernel_sets_fastest_first) {
    if (set != chosen && modarith::kernel_set_runs(set)) other_sets.push_back(set);
  }
  for (const Stretch& s : stretches) {
    for (Mode mode : {Mode::as_run, Mode::powers_only_filter, Mode::general_scan_only}) {
      lines.push_back(run_case(label + " " + s.name, table, s.primes, mode, chosen));
    }
    // Every other set the processor runs must give the very same lines.
    for (const modarith::KernelSet other : other_sets) {
      for (Mode mode : {Mode::as_run, Mode::general_scan_only}) {
        EXPECT_EQ(run_case(label + " " + s.name, table, s.primes, mode, other),
                  lines[lines.size() - 3 + (mode == Mode::as_run ? 0 : 2)])
            << modarith::kernel_set_name(other) << " kernels";
      }
    }
    expect_batches_match_single_primes(table, s.primes, Mode::as_run, chosen);
    mixed.insert(mixed.end(), s.primes.begin(), s.primes.begin() + std::min<std::size_t>(300, s.primes.size()));
  }
  const sievedata::SieveTable planted = planted_table(table, mixed);
  for (Mode mode : {Mode::as_run, Mode::general_scan_only}) {
    expect_batches_match_single_primes(planted, mixed, mode, chosen);
    lines.push_back(run_case(label + " planted", planted, mixed, mode, chosen));
    for (const modarith::KernelSet other : other_sets) {
      expect_batches_match_single_primes(planted, mixed, mode, other);
      EXPECT_EQ(run_case(label + " planted", planted, mixed, mode, other), lines.back())
          << modarith::kernel_set_name(other) << " kernels";
    }
  }
  return lines;
}

// The recorded lines whose first word is `label`.
std::vector<std::string> golden_lines(const std::string& label) {
  std::ifstream in(golden_path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind(label + " ", 0) == 0) lines.push_back(line);
  }
  return lines;
}

void compare_with_golden(const std::string& label, const std::vector<std::string>& actual) {
  const std::vector<std::string> expected = golden_lines(label);
  EXPECT_EQ(actual, expected) << "the search's output differs from " << golden_path;
  if (actual != expected) {
    std::ofstream dump("search_golden_actual.txt", std::ios::app);
    for (const std::string& line : actual) dump << line << "\n";
  }
}

class GoldenOutputTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { ensure_small_primes(); }
};

TEST_F(GoldenOutputTest, ExampleDataFile) {
  const std::vector<Stretch> stretches = {
      {"1e9", primes_from(1000000000ULL, 1000)},
      {"1e12", primes_from(1000000000000ULL, 2000)},
      {"2^50", primes_from(common::p_ceiling - 140000, 2000)},
  };
  compare_with_golden("vesk", run_file("vesk", vesk_path, stretches));
}

#if QUARROW_HAS_SHARED_DATA
TEST_F(GoldenOutputTest, FiftyMillionDataFile) {
  const char* const vesk50m_path = QUARROW_SHARED_DATA;
  const std::vector<Stretch> stretches = {
      {"1e12", primes_from(1000000000000ULL, 2000)},
      {"1e15", primes_from(1000000000000000ULL, 2000)},
      {"2^50", primes_from(common::p_ceiling - 140000, 2000)},
  };
  compare_with_golden("vesk50m", run_file("vesk50m", vesk50m_path, stretches));
}
#endif

}  // namespace
