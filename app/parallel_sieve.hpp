// The range loop, segment by segment. One routine sieves a segment, tests
// its primes and gives a report (the tested primes, their hits in order,
// the counters). With one thread (-t 1) it runs inline, segment after
// segment; with more, each worker runs it with a segment sieve and a search
// context of its own. The calling thread is the single writer either way: it
// takes the reports strictly in order of their base and replays them prime
// by prime (the hits of each prime, then its save when one is due), so the
// console, the factor files, the counters, the progress saves and the
// table's remaining n do not depend on the thread count. Only the rates and
// times differ.
//
// Why a save stays safe: the writer reaches a prime only after every earlier
// segment has been replayed and every earlier hit of this segment reported
// (on disk), so a "pmin=" line never runs ahead of the factors below it.
#pragma once
#include <functional>
#include <optional>

#include "common/types.hpp"
#include "search/search_context.hpp"
#include "sievedata/sieve_table.hpp"

namespace app {
using common::u32;
using common::u64;

struct ParallelRange {
  u64 pmin = 0;  // even, checked
  u64 pmax = 0;
  u64 save_interval = 0;
  u32 threads = 1;  // workers (1: none, all on the calling thread); the writer is the calling thread
  // Applied by every worker to itself (the -p / -pt indices).
  u32 process_priority = 0;
  u32 thread_priority = 3;
  // Primes up to here are already in the proof of work handed in (a resumed
  // range tests the prime of its last save again): tested, not counted.
  u64 counted_through = 0;
};

// What the writer does with a report, in the one-thread loop's order.
struct RangeWriter {
  // Every hit of a prime, before its save; false when its factor line could
  // not be written, which ends the range at that hit.
  std::function<bool(const search::Hit& hit)> report;
  // A progress save due at prime p; `work` holds every prime of the range
  // up to `covered` (>= p: the end of p's segment, all of whose primes are
  // tested by then). Returns false when the save is not to be made yet (it
  // stays due at the next prime).
  std::function<bool(u64 p, u32 rate, u64 covered, const search::WorkChecksum& work)> save;
};

// Sieves the primes of [pmin, pmax] and returns the first prime above pmax,
// or nothing when `writer.report` failed (no save is made after that hit).
// Adds the workers' counters into `counters` and their proof of work into
// `work`. `current_rate` becomes, at the
// end of every segment the writer finishes, the thousands of integers per
// second over that segment as the writer consumed it (so with several
// workers it shows their combined speed); it keeps its value otherwise.
// The search reads only the table's k, n range and residue data, which do
// not change during a range; `writer.report` may change the n sets.
std::optional<u64> sieve_range_segments(const ParallelRange& range, const search::SearchSetup& setup,
                                        const sievedata::SieveTable& table, const RangeWriter& writer,
                                        search::Counters& counters, search::WorkChecksum& work,
                                        u32& current_rate);

}  // namespace app
