// What both tasklist stand-ins share: the one query they answer and the lines
// they print. Only finding the process differs between the OSes.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace tasklist {

inline constexpr std::string_view NO_MATCH = "INFO: No tasks are running which match the specified criteria.\n";
inline constexpr std::string_view REFUSAL =
    "tasklist: this stand-in answers only: tasklist /NH /FO CSV /FI \"PID eq <pid>\"\n";

// The process id asked for by exactly `/NH /FO CSV /FI "PID eq N"` (the
// arguments after the program name, flags and words in any case); nothing
// for any other arguments.
std::optional<std::uint32_t> read_query(std::span<const std::string> arguments);

// One matching process as tasklist prints it:
//   "name","1234","Console","1","1,234 K"
std::string csv_line(std::string_view image_name, std::uint32_t pid, std::string_view session_name,
                     std::uint32_t session_number, std::uint64_t memory_kib);

}  // namespace tasklist
