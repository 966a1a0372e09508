#include "time_text.hpp"

#include <charconv>
#include <chrono>
#include <cstdio>
#include <limits>

namespace vostal::manifest_tool {
namespace {

// The seconds of 0001-01-01T00:00:00Z and 9999-12-31T23:59:59Z: the range
// RFC 3339 can write, and in which the calendar arithmetic cannot overflow.
constexpr std::int64_t kFirstCalendarSecond = -62135596800;
constexpr std::int64_t kLastCalendarSecond = 253402300799;

// 'text' in single quotes. (Built by appending: GCC 12 at -O3 reports a false
// -Wrestrict for "'" + std::string(...).)
std::string quoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out.push_back('\'');
  out.append(text);
  out.push_back('\'');
  return out;
}

bool all_digits(std::string_view text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

int two_digits(std::string_view text, std::size_t at) { return (text[at] - '0') * 10 + (text[at + 1] - '0'); }

std::expected<std::int64_t, std::string> parse_rfc3339(std::string_view text) {
  // YYYY-MM-DDTHH:MM:SSZ
  //  0123456789012345678 9
  const std::string bad = quoted(text) + " is not a time: give seconds since 1970 or YYYY-MM-DDTHH:MM:SSZ";
  if (text.size() != 20) return std::unexpected(bad);
  for (std::size_t i : {0, 1, 2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18}) {
    if (text[i] < '0' || text[i] > '9') return std::unexpected(bad);
  }
  if (text[4] != '-' || text[7] != '-' || (text[10] != 'T' && text[10] != 't') || text[13] != ':' ||
      text[16] != ':' || (text[19] != 'Z' && text[19] != 'z')) {
    return std::unexpected(bad);
  }
  const int year = two_digits(text, 0) * 100 + two_digits(text, 2);
  const int month = two_digits(text, 5);
  const int day = two_digits(text, 8);
  const int hour = two_digits(text, 11);
  const int minute = two_digits(text, 14);
  const int second = two_digits(text, 17);
  const std::chrono::year_month_day date{std::chrono::year{year}, std::chrono::month{static_cast<unsigned>(month)},
                                         std::chrono::day{static_cast<unsigned>(day)}};
  if (year < 1 || !date.ok() || hour > 23 || minute > 59 || second > 59) {
    return std::unexpected(quoted(text) + " is not a valid date and time");
  }
  const auto days = std::chrono::sys_days(date).time_since_epoch().count();
  return static_cast<std::int64_t>(days) * 86400 + std::int64_t{hour} * 3600 + std::int64_t{minute} * 60 + second;
}

}  // namespace

std::expected<std::int64_t, std::string> parse_time(std::string_view text) {
  const std::string_view digits = text.starts_with('-') ? text.substr(1) : text;
  if (all_digits(digits)) {
    std::int64_t value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc{} || end != text.data() + text.size()) {
      return std::unexpected(quoted(text) + " is out of range for a time");
    }
    return value;
  }
  return parse_rfc3339(text);
}

std::expected<std::int64_t, std::string> parse_duration(std::string_view text) {
  const std::string bad = quoted(text) + " is not a duration: give a count and a unit, e.g. 45s, 90m, 12h, 30d, 2w";
  if (text.size() < 2) return std::unexpected(bad);
  std::int64_t unit = 0;
  switch (text.back()) {
    case 's': unit = 1; break;
    case 'm': unit = 60; break;
    case 'h': unit = 3600; break;
    case 'd': unit = 86400; break;
    case 'w': unit = std::int64_t{7} * 86400; break;
    default: return std::unexpected(bad);
  }
  const std::string_view count_text = text.substr(0, text.size() - 1);
  if (!all_digits(count_text)) return std::unexpected(bad);
  std::int64_t count = 0;
  const auto [end, ec] = std::from_chars(count_text.data(), count_text.data() + count_text.size(), count);
  if (ec != std::errc{} || end != count_text.data() + count_text.size() ||
      count > std::numeric_limits<std::int64_t>::max() / unit) {
    return std::unexpected(quoted(text) + " is too long a duration");
  }
  return count * unit;
}

std::string format_time(std::int64_t seconds) {
  if (seconds < kFirstCalendarSecond || seconds > kLastCalendarSecond) return {};
  using namespace std::chrono;
  const sys_seconds t{std::chrono::seconds{seconds}};
  const sys_days day = floor<days>(t);
  const year_month_day date{day};
  const hh_mm_ss clock{t - day};
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02u-%02uT%02d:%02d:%02dZ", static_cast<int>(date.year()),
                static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()),
                static_cast<int>(clock.seconds().count()));
  return text;
}

std::expected<std::int64_t, std::string> add_seconds(std::int64_t a, std::int64_t b) {
  constexpr auto max = std::numeric_limits<std::int64_t>::max();
  constexpr auto min = std::numeric_limits<std::int64_t>::min();
  if ((b > 0 && a > max - b) || (b < 0 && a < min - b)) {
    return std::unexpected(std::string("the resulting time is beyond the range of a 64-bit time"));
  }
  return a + b;
}

}  // namespace vostal::manifest_tool
