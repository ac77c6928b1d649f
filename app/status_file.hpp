// VeskStatus.dat: which range is being sieved, how far it got, and whether
// it is finished, so that a run stopped at any moment resumes from its last
// save when started again without a range.
//
// Lines: "pmax=<p>" and "pmin=<p>" when a range begins (pmax first),
// "pmin=<p> @ <rate> kp/s" at each progress save, "Done" at the end.
#pragma once
#include <istream>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>

#include "app/run_settings.hpp"

namespace app {

inline constexpr const char* status_file_name = "VeskStatus.dat";

enum class StatusRead {
  unfinished,  // no "Done" line: pmin/pmax hold the last values found
  done,        // a "Done" line ended the reading
  bad_line,    // a pmin/pmax line without a readable number (reported)
};

// Reads the status file's text line by line: a line starting with "pmin" or
// "pmax" sets that value from its sixth character on (later lines win), a
// line that is exactly "Done" stops the reading, anything else is passed
// over. Values not found keep what they held. A line whose number is missing
// or does not fit 64 bits is reported on `out`: the user has to look at it.
StatusRead read_status(std::string_view text, u64& pmin, u64& pmax, std::ostream& out);

// Makes the status file hold just the two lines of a new range. The old file
// is replaced in one step (temporary file, then rename), so a crash leaves
// either the old file or the new one. False, after a message, on failure.
bool write_range(u64 pmin, u64 pmax, std::ostream& out);

// Decides which range to work on at start-up: the command line's (asking
// before an existing status file is discarded, unless -f), the one recorded
// in the status file, or one typed at the prompt. Leaves it in
// settings.pmin/pmax and returns whether the run goes on; false means exit
// status 1, with the reason already printed.
bool decide_range(RunSettings& settings, std::istream& in, std::ostream& out);

// The pmin of the range the status file records (its first "pmin" line,
// written when the range began), or nothing when there is none to read.
std::optional<u64> recorded_range_start();

// The status-file line of a progress save; rate 0 means not yet measured.
std::string progress_status_line(u64 p, common::u32 rate);

}  // namespace app
