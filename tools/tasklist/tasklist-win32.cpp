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

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "tasklist_query.hpp"

namespace {

std::string utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int need = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  if (need <= 0) return {};
  std::string out(static_cast<std::size_t>(need), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), need, nullptr, nullptr);
  return out;
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

bool write_all(DWORD which, std::string_view bytes) {
  const HANDLE handle = GetStdHandle(which);
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> arguments;
  for (int i = 1; i < argc; ++i) arguments.push_back(utf8(argv[i]));
  const auto pid = tasklist::read_query(arguments);
  if (!pid) {
    write_all(STD_ERROR_HANDLE, tasklist::REFUSAL);
    return 1;
  }
  const auto info = find_process(*pid);
  const std::string out =
      info ? tasklist::csv_line(info->name, *pid, info->session == 0 ? "Services" : "Console", info->session,
                                info->working_set_kib)
           : std::string(tasklist::NO_MATCH);
  return write_all(STD_OUTPUT_HANDLE, out) ? 0 : 1;
}
