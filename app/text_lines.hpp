// Line handling shared by the two small text files of run control, the
// status file and the range queue: both hold "pmin"/"pmax" lines whose
// number starts at the sixth character.
#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/types.hpp"

namespace app {

// The lines of `text` without their line ends. A "\r" before the "\n" is
// taken as part of the line end, so a file written on Windows reads the same.
// Text after the last line end counts as a line; nothing after it does not.
std::vector<std::string_view> split_lines(std::string_view text);

enum class RangeKey { pmin, pmax };

// Which value a line sets: its first four characters are "pmin" or "pmax".
std::optional<RangeKey> range_key(std::string_view line);

// The number from the line's sixth character on (the character after the
// key, normally "=", is skipped); digits end at the first non-digit, so the
// " @ ... kp/s" of a progress line is ignored. Nothing when no digit is
// there or the number does not fit 64 bits.
std::optional<common::u64> range_value(std::string_view line);

// Whether something stands at `name` in the file system. Anything but "no
// such file" counts as present, so that a file that cannot be read is
// never taken for a missing one and overwritten.
bool file_present(const std::string& name);

}  // namespace app
