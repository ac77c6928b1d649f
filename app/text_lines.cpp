#include "app/text_lines.hpp"

#include "common/file_io.hpp"
#include "common/parse_u64.hpp"

namespace app {

std::vector<std::string_view> split_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = text.substr(0, end);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    lines.push_back(line);
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + 1);
  }
  return lines;
}

std::optional<RangeKey> range_key(std::string_view line) {
  if (line.starts_with("pmin")) return RangeKey::pmin;
  if (line.starts_with("pmax")) return RangeKey::pmax;
  return std::nullopt;
}

std::optional<common::u64> range_value(std::string_view line) {
  if (line.size() <= 5) return std::nullopt;
  return common::parse_u64(line.substr(5));
}

bool file_present(const std::string& name) { return common::path_present(name); }

}  // namespace app
