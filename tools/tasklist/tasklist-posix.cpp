// A stand-in for the Windows `tasklist` command, reading /proc. It answers the
// one question the updater asks,
//
//   tasklist /NH /FO CSV /FI "PID eq N"
//
// with one CSV line per matching process, every field in double quotes:
//
//   "name","1234","Console","1","1,234 K"
//
// or, when none matches, the line Windows prints:
//
//   INFO: No tasks are running which match the specified criteria.
//
// Linux has no sessions in the Windows sense; the session fields are always
// "Console" and "1". The memory field is the resident set (VmRSS) in KiB,
// grouped by thousands like Windows shows it. A zombie (a process that has
// exited but is not yet reaped by its parent) is not running and is not listed.
// Any other arguments are refused with a message and exit status 1.
#include <unistd.h>

#include <charconv>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view NO_MATCH = "INFO: No tasks are running which match the specified criteria.\n";

bool equals_ignoring_case(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    auto lower = [](char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; };
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

std::string read_first_line(const std::string& path) {
  std::ifstream in(path);
  std::string line;
  std::getline(in, line);
  return line;
}

struct ProcessInfo {
  std::string name;
  std::uint64_t resident_kib = 0;
};

// Nothing when the process does not exist or has exited (a zombie).
std::optional<ProcessInfo> find_process(std::uint32_t pid) {
  const std::string dir = "/proc/" + std::to_string(pid);
  // /proc/N/stat: "N (comm) S ..."; the name may itself hold ") ", so the
  // state follows the last ')'.
  const std::string stat = read_first_line(dir + "/stat");
  const auto open = stat.find('(');
  const auto close = stat.rfind(')');
  if (open == std::string::npos || close == std::string::npos || close + 2 >= stat.size()) return std::nullopt;
  const char state = stat[close + 2];
  if (state == 'Z' || state == 'X') return std::nullopt;

  ProcessInfo info;
  // Windows shows the image file's name; the executable's base name is the
  // closest match, the kernel's (truncated) command name the fallback.
  char target[4096];
  const ssize_t length = ::readlink((dir + "/exe").c_str(), target, sizeof target - 1);
  if (length > 0) {
    std::string_view exe(target, static_cast<std::size_t>(length));
    if (exe.ends_with(" (deleted)")) exe.remove_suffix(10);
    info.name = std::string(exe.substr(exe.rfind('/') + 1));
  } else {
    info.name = stat.substr(open + 1, close - open - 1);
  }

  std::ifstream status(dir + "/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with("VmRSS:")) {
      std::istringstream(line.substr(6)) >> info.resident_kib;
      break;
    }
  }
  return info;
}

std::string grouped(std::uint64_t value) {
  std::string digits = std::to_string(value);
  for (std::size_t i = digits.size(); i > 3; i -= 3) digits.insert(i - 3, ",");
  return digits;
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

int refuse() {
  std::fputs(
      "tasklist: this stand-in answers only: tasklist /NH /FO CSV /FI \"PID eq <pid>\"\n", stderr);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 6) return refuse();
  const std::string_view flags[] = {argv[1], argv[2], argv[3], argv[4]};
  if (!equals_ignoring_case(flags[0], "/NH") || !equals_ignoring_case(flags[1], "/FO") ||
      !equals_ignoring_case(flags[2], "CSV") || !equals_ignoring_case(flags[3], "/FI")) {
    return refuse();
  }
  const auto pid = pid_filter(argv[5]);
  if (!pid) return refuse();

  std::string out;
  if (const auto info = find_process(*pid)) {
    out = quoted(info->name) + "," + quoted(std::to_string(*pid)) + "," + quoted("Console") + "," + quoted("1") + "," +
          quoted(grouped(info->resident_kib) + " K") + "\n";
  } else {
    out = NO_MATCH;
  }
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
