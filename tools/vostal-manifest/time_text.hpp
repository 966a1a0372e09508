// Times and durations as people type them. A time is whole seconds since
// 1970-01-01 00:00:00 UTC, given either as that integer or as RFC 3339 UTC
// "YYYY-MM-DDTHH:MM:SSZ"; a duration is a count and a unit: 45s, 90m, 12h, 30d,
// 2w.
#pragma once

#include <cstdint>
#include <expected>
#include <string>
#include <string_view>

namespace vostal::manifest_tool {

std::expected<std::int64_t, std::string> parse_time(std::string_view text);
std::expected<std::int64_t, std::string> parse_duration(std::string_view text);

// "YYYY-MM-DDTHH:MM:SSZ" for years 1 to 9999, otherwise an empty string.
std::string format_time(std::int64_t seconds);

// a + b, or an error when the sum leaves the int64 range.
std::expected<std::int64_t, std::string> add_seconds(std::int64_t a, std::int64_t b);

}  // namespace vostal::manifest_tool
