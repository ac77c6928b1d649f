// The proof of work of the range being sieved, as the range driver keeps it:
// where it starts (zero, or the checkpoint of the save the run continues
// from), its half of every progress save, and its result line at the end.
// Only in use when the checksum was asked for (-c, and always under a
// BOINC client); otherwise every call does nothing and succeeds.
#pragma once
#include <ostream>

#include "app/work_checksum_file.hpp"
#include "common/types.hpp"
#include "search/proof_of_work.hpp"

namespace app {

class RangeWork {
 public:
  explicit RangeWork(bool enabled) : enabled_(enabled) {}
  bool enabled() const { return enabled_; }

  enum class Start {
    ready,    // continue from start_work(), skipping primes <= skip_through()
    restart,  // the saved checksum does not belong to the status file's last
              // save: the range has to start again at its recorded pmin
  };
  // A range begins: [unit_pmin, pmax] as first recorded in the status file,
  // continued from the save at resume_p (resume_p == unit_pmin: from its
  // start). Prints the reason for a restart.
  Start begin(u64 unit_pmin, u64 pmax, u64 resume_p, std::ostream& out);

  const search::WorkChecksum& start_work() const { return start_.work; }
  // Primes up to here are already in start_work(): a resumed range tests
  // the prime of its last save again, and they must not count twice.
  u64 skip_through() const { return start_.covered; }

  // The checksum's half of the progress save at p: `work` holds every prime
  // of the range up to `covered` (>= p). Written before the status line; on
  // false (after a warning) the status line must not be written either, so
  // the last checkpoint on disk stays a matching pair.
  bool save(u64 p, u64 covered, const search::WorkChecksum& work, std::ostream& out);

  // The range is finished: appends its result line. False, after a
  // message, when the line could not be written (the run must stop before
  // the range is marked done, so that a restart writes it again).
  bool finish(const search::WorkChecksum& work, std::ostream& out);

 private:
  bool enabled_;
  u64 pmin_ = 0;
  u64 pmax_ = 0;
  WorkCheckpoint start_;
  WorkCheckpoint last_;  // the newest checkpoint on disk (or the start)
};

}  // namespace app
