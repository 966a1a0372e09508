// The relaunch probe for Windows: what relaunch_probe.cpp does, in UTF-16 so
// that non-ASCII paths come through whole. It writes what it is and how it was
// started to the file named by VOSTAL_PROBE_MARKER (which also shows that the
// environment was inherited), and one line on standard output (which shows
// that standard output was).
//
// With VOSTAL_PROBE_SLEEP_MS set it only sleeps that long: the end-to-end
// tests use it as the parent process that vostal-swap waits for.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

namespace {

std::string utf8(std::wstring_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int need = WideCharToMultiByte(CP_UTF8, 0, text.data(), length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(need > 0 ? need : 0), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text.data(), length, out.data(), need, nullptr, nullptr);
  return out;
}

// The variable's value, or nothing when it is not set.
std::optional<std::wstring> environment(const wchar_t* name) {
  wchar_t value[32768];
  const DWORD length = GetEnvironmentVariableW(name, value, 32768);
  if (length == 0 || length >= 32768) return std::nullopt;
  return std::wstring(value, length);
}

bool write_all(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (const auto sleep = environment(L"VOSTAL_PROBE_SLEEP_MS")) {
    Sleep(static_cast<DWORD>(std::wcstoul(sleep->c_str(), nullptr, 10)));
    return 0;
  }
  write_all(GetStdHandle(STD_OUTPUT_HANDLE), "relaunch probe version " + std::to_string(PROBE_VERSION) + "\n");
  const auto marker = environment(L"VOSTAL_PROBE_MARKER");
  if (!marker) return 2;

  std::string content = "version " + std::to_string(PROBE_VERSION) + "\n";
  wchar_t cwd[32768];
  const DWORD cwd_length = GetCurrentDirectoryW(32768, cwd);
  content += "cwd " + utf8(std::wstring_view(cwd, cwd_length < 32768 ? cwd_length : 0)) + "\n";
  for (int i = 0; i < argc; ++i) content += "argv " + utf8(argv[i]) + "\n";

  // Renamed into place whole, so a reader never sees half a marker.
  const std::wstring partial = *marker + L".partial";
  const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const bool written = write_all(file, content);
  CloseHandle(file);
  if (!written || !MoveFileExW(partial.c_str(), marker->c_str(), MOVEFILE_REPLACE_EXISTING)) return 3;
  return 0;
}
