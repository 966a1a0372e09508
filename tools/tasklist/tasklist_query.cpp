#include "tasklist_query.hpp"

#include <charconv>
#include <sstream>

namespace tasklist {
namespace {

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (lower(a[i]) != lower(b[i])) return false;
  }
  return true;
}

// "PID eq N": the three words in any case, separated by spaces.
std::optional<std::uint32_t> pid_filter(std::string_view filter) {
  std::istringstream words{std::string(filter)};
  std::string field, op, value, extra;
  if (!(words >> field >> op >> value) || (words >> extra)) return std::nullopt;
  if (!equals_ignoring_case(field, "PID") || !equals_ignoring_case(op, "eq")) return std::nullopt;
  std::uint32_t pid = 0;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), pid);
  if (error != std::errc{} || end != value.data() + value.size()) return std::nullopt;
  return pid;
}

// Built front to back rather than by inserting commas: GCC 12 at -O3 warns
// falsely (-Wrestrict) about std::string::insert.
std::string grouped(std::uint64_t value) {
  const std::string digits = std::to_string(value);
  std::string out;
  for (std::size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

// CSV field as tasklist writes it: in double quotes, inner quotes doubled.
std::string quoted(std::string_view text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"') out += '"';
    out += c;
  }
  return out + "\"";
}

}  // namespace

std::optional<std::uint32_t> read_query(std::span<const std::string> arguments) {
  static constexpr std::string_view FLAGS[] = {"/NH", "/FO", "CSV", "/FI"};
  if (arguments.size() != 5) return std::nullopt;
  for (std::size_t i = 0; i < 4; ++i) {
    if (!equals_ignoring_case(arguments[i], FLAGS[i])) return std::nullopt;
  }
  return pid_filter(arguments[4]);
}

std::string csv_line(std::string_view image_name, std::uint32_t pid, std::string_view session_name,
                     std::uint32_t session_number, std::uint64_t memory_kib) {
  return quoted(image_name) + "," + quoted(std::to_string(pid)) + "," + quoted(session_name) + "," +
         quoted(std::to_string(session_number)) + "," + quoted(grouped(memory_kib) + " K") + "\n";
}

}  // namespace tasklist
