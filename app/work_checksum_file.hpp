// Where the proof of work of a range is kept between runs and where it is
// reported at the end.
//
// VeskChecksum.dat is the checksum's half of every checkpoint (the status
// file is the other half). It is replaced as a whole at each progress save,
// before the status line of that save is appended, and holds the save just
// made and the one before:
//   range=<pmin> <pmax>
//   save=<p> <covered> <primes> <sum>     the newest save
//   save=<p> <covered> <primes> <sum>     the one before
// p is the prime of the status-file line the entry belongs to (the range's
// pmin for its start); every prime of the range up to and including
// `covered` (>= p, or the even number below an odd pmin at the start) is in the checksum, none above; sum is 16 hex digits. A
// run killed between the two writes finds the status file's last save in
// the older entry, so the halves are always matched exactly, and a status
// file whose last save is in neither entry is recognised as not belonging.
//
// checksum.txt is the result: one line per finished range,
//   pmin=<pmin> pmax=<pmax> primes=<count> checksum=<sum>
// appended like the factor files.
#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "common/types.hpp"
#include "search/proof_of_work.hpp"

namespace app {
using common::u64;

inline constexpr const char* work_state_file_name = "VeskChecksum.dat";
inline constexpr const char* work_result_file_name = "checksum.txt";

struct WorkCheckpoint {
  u64 save_p = 0;
  u64 covered = 0;
  search::WorkChecksum work;
  friend bool operator==(const WorkCheckpoint&, const WorkCheckpoint&) = default;
};

struct WorkState {
  u64 pmin = 0;  // the range as it was first recorded in the status file
  u64 pmax = 0;
  WorkCheckpoint newest;
  std::optional<WorkCheckpoint> before;
  friend bool operator==(const WorkState&, const WorkState&) = default;
};

std::string format_work_state(const WorkState& state);

// Nothing when the text is not exactly what format_work_state writes.
std::optional<WorkState> parse_work_state(std::string_view text);

// The checkpoint that continues the range [pmin, pmax] from the status
// file's save at p: the entry of `state` recorded for that very save, or
// nothing when `state` belongs to another range or another save.
std::optional<WorkCheckpoint> checkpoint_for_save(const WorkState& state, u64 pmin, u64 pmax, u64 p);

// The result line of a finished range, with its line end.
std::string work_result_line(u64 pmin, u64 pmax, const search::WorkChecksum& work);

}  // namespace app
