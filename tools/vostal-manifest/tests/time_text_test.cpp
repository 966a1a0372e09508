// Times and durations as typed on the command line.
#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "time_text.hpp"

using vostal::manifest_tool::format_time;
using vostal::manifest_tool::parse_duration;
using vostal::manifest_tool::parse_time;

namespace {

TEST(TimeText, ParseTime) {
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"1700000000", 1700000000},
      {"0", 0},
      {"-1", -1},
      {"9223372036854775807", std::numeric_limits<std::int64_t>::max()},
      {"-9223372036854775808", std::numeric_limits<std::int64_t>::min()},
      {"9223372036854775808", std::nullopt},
      {"2023-11-14T22:13:20Z", 1700000000},
      {"1970-01-01T00:00:00Z", 0},
      {"1969-12-31T23:59:59Z", -1},
      {"2024-02-29T00:00:00Z", 1709164800},  // leap day
      {"2023-02-29T00:00:00Z", std::nullopt},
      {"2023-11-14t22:13:20z", 1700000000},
      {"2023-13-01T00:00:00Z", std::nullopt},
      {"2023-11-14T24:00:00Z", std::nullopt},
      {"2023-11-14T23:60:00Z", std::nullopt},
      {"2023-11-14T23:59:60Z", std::nullopt},  // no leap seconds
      {"0000-01-01T00:00:00Z", std::nullopt},
      {"2023-11-14T22:13:20+01:00", std::nullopt},
      {"2023-11-14 22:13:20Z", std::nullopt},
      {"2023-11-14T22:13:20", std::nullopt},
      {"", std::nullopt},
      {"-", std::nullopt},
      {"+5", std::nullopt},
      {"12abc", std::nullopt},
      {"now", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const auto parsed = parse_time(text);
    if (expected) {
      ASSERT_TRUE(parsed.has_value()) << parsed.error();
      EXPECT_EQ(*parsed, *expected);
    } else {
      EXPECT_FALSE(parsed.has_value());
    }
  }
}

TEST(TimeText, ParseDuration) {
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"45s", 45},          {"90m", 5400},      {"12h", 43200},     {"30d", 2592000}, {"2w", 1209600},
      {"0s", 0},            {"30", std::nullopt}, {"d", std::nullopt}, {"-5d", std::nullopt},
      {"1.5h", std::nullopt}, {"5y", std::nullopt}, {"", std::nullopt},
      {"9223372036854775807s", std::numeric_limits<std::int64_t>::max()},
      {"9223372036854775807m", std::nullopt},  // overflows when scaled
      {"99999999999999999999s", std::nullopt},
  };
  for (const auto& [text, expected] : cases) {
    SCOPED_TRACE(text);
    const auto parsed = parse_duration(text);
    if (expected) {
      ASSERT_TRUE(parsed.has_value()) << parsed.error();
      EXPECT_EQ(*parsed, *expected);
    } else {
      EXPECT_FALSE(parsed.has_value());
    }
  }
}

TEST(TimeText, FormatTimeRoundTripsAndStaysInRange) {
  for (std::int64_t t : {std::int64_t{0}, std::int64_t{-1}, std::int64_t{1700000000}, std::int64_t{1709164800},
                         std::int64_t{-62135596800}, std::int64_t{253402300799}}) {
    SCOPED_TRACE(t);
    const std::string text = format_time(t);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(parse_time(text), t);
  }
  EXPECT_EQ(format_time(1700000000), "2023-11-14T22:13:20Z");
  // Outside years 1..9999 there is no date to show (and no overflow).
  EXPECT_EQ(format_time(253402300800), "");
  EXPECT_EQ(format_time(std::numeric_limits<std::int64_t>::max()), "");
  EXPECT_EQ(format_time(std::numeric_limits<std::int64_t>::min()), "");
}

}  // namespace
