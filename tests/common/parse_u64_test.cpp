#include "common/parse_u64.hpp"

#include <gtest/gtest.h>

namespace {
using common::parse_u64;

TEST(ParseU64, ReadsLikeAStreamExtraction) {
  struct Case {
    const char* text;
    std::optional<common::u64> value;
  };
  const Case cases[] = {
      {"0", 0},
      {"1000000000000", 1000000000000ULL},
      {"  \t42", 42},
      {"17 @ 1234 kp/s", 17},
      {"123abc", 123},
      {"18446744073709551615", 18446744073709551615ULL},
      {"18446744073709551616", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"   ", std::nullopt},
      {"abc", std::nullopt},
      {"-5", std::nullopt},
      {"=5", std::nullopt},
  };
  for (const Case& c : cases) EXPECT_EQ(parse_u64(c.text), c.value) << '"' << c.text << '"';
}
}  // namespace
