// A stand-in for the Windows `tasklist` command, built for Windows from a
// Toolhelp process snapshot: Wine's own `tasklist` prints nothing, so the
// tests put this one beside vostal-swap.exe. It answers the one question the
// updater asks,
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
// The session is the process's own (its name "Services" for session 0,
// "Console" otherwise); the memory field is the working set in KiB, grouped
// by thousands, or 0 K when the process cannot be opened to ask. Any other
// arguments are refused with a message and exit status 1.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After <windows.h>, which they need.
#include <psapi.h>
#include <tlhelp32.h>

#include <charconv>
#include <cstdint>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>

namespace {

constexpr std::string_view NO_MATCH = "INFO: No tasks are running which match the specified criteria.\n";

std::string utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int need = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (need <= 0) return {};
  std::string out(static_cast<std::size_t>(need), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), need, nullptr, nullptr);
  return out;
}

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

struct ProcessInfo {
  std::string name;
  DWORD session = 0;
  std::uint64_t working_set_kib = 0;
};

// Nothing when no running process has that id.
std::optional<ProcessInfo> find_process(std::uint32_t pid) {
  const HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return std::nullopt;
  std::optional<ProcessInfo> found;
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Process32FirstW(snapshot, &entry); more; more = Process32NextW(snapshot, &entry)) {
    if (entry.th32ProcessID != pid) continue;
    found = ProcessInfo{utf8(entry.szExeFile), 0, 0};
    break;
  }
  CloseHandle(snapshot);
  if (!found) return std::nullopt;

  DWORD session = 0;
  if (ProcessIdToSessionId(pid, &session)) found->session = session;
  if (const HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid)) {
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (GetProcessMemoryInfo(process, &counters, sizeof counters)) found->working_set_kib = counters.WorkingSetSize / 1024;
    CloseHandle(process);
  }
  return found;
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

bool write_all(DWORD which, std::string_view bytes) {
  const HANDLE handle = GetStdHandle(which);
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

int refuse() {
  write_all(STD_ERROR_HANDLE, "tasklist: this stand-in answers only: tasklist /NH /FO CSV /FI \"PID eq <pid>\"\n");
  return 1;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 6) return refuse();
  const std::string flags[] = {utf8(argv[1]), utf8(argv[2]), utf8(argv[3]), utf8(argv[4])};
  if (!equals_ignoring_case(flags[0], "/NH") || !equals_ignoring_case(flags[1], "/FO") ||
      !equals_ignoring_case(flags[2], "CSV") || !equals_ignoring_case(flags[3], "/FI")) {
    return refuse();
  }
  const auto pid = pid_filter(utf8(argv[5]));
  if (!pid) return refuse();

  std::string out;
  if (const auto info = find_process(*pid)) {
    out = quoted(info->name) + "," + quoted(std::to_string(*pid)) + "," +
          quoted(info->session == 0 ? "Services" : "Console") + "," + quoted(std::to_string(info->session)) + "," +
          quoted(grouped(info->working_set_kib) + " K") + "\n";
  } else {
    out = NO_MATCH;
  }
  return write_all(STD_OUTPUT_HANDLE, out) ? 0 : 1;
}
