// Checked file writes. Every factor line and every progress save goes
// through here, so that a write that fails is known to the caller and a file
// that held data is never left truncated.
#pragma once
#include <optional>
#include <string>
#include <string_view>

namespace common {

// Opens `path` for appending (creating it), writes `text`, flushes it to the
// device and closes it. Returns false if any step fails; a write that fails
// part way (a full disk) is cut off again, so no half line is left behind.
// A file whose last byte is not a line end gets one before `text`, so the
// new lines never run on from an unfinished old one.
bool append_text(const std::string& path, std::string_view text);

// Replaces the whole content of `path`: writes `path` + ".tmp" in the same
// directory, flushes it to the device, then renames it over `path`. On any
// failure the old file is left as it was (the temporary file is removed) and
// false is returned.
bool replace_file(const std::string& path, std::string_view content);

// The whole content of `path`, or nothing if it cannot be opened or read.
std::optional<std::string> read_file(const std::string& path);

// Whether something stands at `path`: false only when the name is certainly
// free; a name that exists but cannot be examined counts as present.
bool path_present(const std::string& path);

}  // namespace common
