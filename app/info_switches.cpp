#include "app/info_switches.hpp"

#include <string_view>

#include "app/run_settings.hpp"

namespace app {

InfoRequest find_info_request(std::span<const std::string> args) {
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string_view arg = args[i];
    if (arg == "-h" || arg == "--help") return InfoRequest::usage;
    if (arg == "--version") return InfoRequest::version;
    if (arg == "-i" || arg == "-p" || arg == "-pt" || arg == "-s" || arg == "-t") ++i;
  }
  return InfoRequest::none;
}

bool answer_info_request(InfoRequest request, std::ostream& out) {
  switch (request) {
    case InfoRequest::none:
      return false;
    case InfoRequest::usage:
      print_usage(out);
      return true;
    case InfoRequest::version:
      out << version_line << std::endl;
      return true;
  }
  return false;
}

}  // namespace app
