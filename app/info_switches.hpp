// -h, --help and --version: the switches that only ask about the program.
// They are looked for before anything else happens, so that asking for the
// usage never prints a banner, reads a status file, asks a question or
// writes a file; the run ends with status 0 at once.
#pragma once
#include <ostream>
#include <span>
#include <string>

namespace app {

// The program's version, also the first line of the banner.
inline constexpr const char* version_line = "quarrow v0.36";

enum class InfoRequest { none, usage, version };

// The first of -h, --help or --version among `args` (the arguments after the
// program name), read with the switch grammar: the value after -i, -p, -pt,
// -s or -t is a value, not a switch, so "-s --help" names a data file.
InfoRequest find_info_request(std::span<const std::string> args);

// Prints what `request` asks for (the usage text, or the version line).
// Returns whether there was anything to print, i.e. the run ends here.
bool answer_info_request(InfoRequest request, std::ostream& out);

}  // namespace app
