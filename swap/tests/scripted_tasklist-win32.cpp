// A scripted `tasklist` for the end-to-end tests on Windows, where a shell
// script cannot stand in for tasklist.exe. Copied into a directory as
// tasklist.exe beside a file tasklist.script, whose first line names the file
// that receives this run's arguments (one per line, UTF-8) and whose rest is
// printed on standard output as it is.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

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

std::wstring wide(std::string_view text) {
  if (text.empty()) return {};
  const int length = static_cast<int>(text.size());
  const int need = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
  std::wstring out(static_cast<std::size_t>(need > 0 ? need : 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), length, out.data(), need);
  return out;
}

bool write_all(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool read_all(const std::wstring& path, std::string& out) {
  const HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  char buffer[4096];
  DWORD got = 0;
  while (ReadFile(file, buffer, sizeof buffer, &got, nullptr) && got > 0) out.append(buffer, got);
  CloseHandle(file);
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  wchar_t self[32768];
  const DWORD length = GetModuleFileNameW(nullptr, self, 32768);
  if (length == 0 || length >= 32768) return 3;
  std::wstring script_path(self, length);
  script_path.resize(script_path.find_last_of(L"\\/") + 1);
  script_path += L"tasklist.script";
  std::string script;
  if (!read_all(script_path, script)) return 3;
  const std::size_t newline = script.find('\n');
  if (newline == std::string::npos) return 3;

  std::string record;
  for (int i = 1; i < argc; ++i) record += utf8(argv[i]) + "\n";
  const HANDLE file = CreateFileW(wide(std::string_view(script).substr(0, newline)).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  write_all(file, record);
  CloseHandle(file);
  return write_all(GetStdHandle(STD_OUTPUT_HANDLE), std::string_view(script).substr(newline + 1)) ? 0 : 1;
}
