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

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "tasklist_query.hpp"

namespace {

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

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  const auto pid = tasklist::read_query(arguments);
  if (!pid) {
    std::fwrite(tasklist::REFUSAL.data(), 1, tasklist::REFUSAL.size(), stderr);
    return 1;
  }
  const auto info = find_process(*pid);
  // Linux has no Windows sessions: every process is shown in "Console", 1.
  const std::string out = info ? tasklist::csv_line(info->name, *pid, "Console", 1, info->resident_kib)
                               : std::string(tasklist::NO_MATCH);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
