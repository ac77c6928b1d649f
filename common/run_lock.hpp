// One run per working directory. Two copies sieving in one directory would
// interleave their saves in one status file and overwrite each other's data
// file, so a second start must be refused before it touches anything.
//
// The lock is held by the operating system on an open file for as long as
// the process lives, so a run that is killed (even with SIGKILL) leaves no
// stale lock behind; the lock file itself stays and holds nothing.
#pragma once
#include <string>

namespace common {

inline constexpr const char* run_lock_file_name = "quarrow.lock";

enum class RunLock {
  held,         // this process holds the lock until it ends
  taken,        // another running process holds it
  unavailable,  // the lock file cannot be created or locked here
};

// Takes the lock on `file_name` (created if missing; its content is never
// changed) without waiting.
RunLock acquire_run_lock(const std::string& file_name);

}  // namespace common
