#include "common/parse_u64.hpp"

#include <limits>

namespace common {

namespace {
bool is_space(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}
}  // namespace

std::optional<u64> parse_u64(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && is_space(text[i])) ++i;
  if (i == text.size() || text[i] < '0' || text[i] > '9') return std::nullopt;
  u64 value = 0;
  constexpr u64 max = std::numeric_limits<u64>::max();
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    const u64 digit = static_cast<u64>(text[i] - '0');
    if (value > (max - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

}  // namespace common
