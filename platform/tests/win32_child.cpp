// The child the Win32 backend's tests start. What it does is chosen by its
// first argument, or, when started without arguments (as launch() starts a
// program), by the environment variable VOSTAL_CHILD_MARKER.
//
//   args               each further argument on a line of its own (UTF-8)
//   flood N            N bytes to standard error, then N to standard output
//   stdin              the number of bytes standard input holds
//   sleep              its process id on standard output, then sleeps
//   stderr TEXT        TEXT (UTF-8) through Platform::write_stderr
//   (no arguments)     writes its arguments and working directory to the
//                      file VOSTAL_CHILD_MARKER names
#include <cstdlib>
#include <string>
#include <string_view>

#include "vostal/platform.hpp"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace {

bool write_all(HANDLE handle, std::string_view bytes) {
  while (!bytes.empty()) {
    DWORD written = 0;
    if (!WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) || written == 0) return false;
    bytes.remove_prefix(written);
  }
  return true;
}

int write_marker(int argc, wchar_t** argv) {
  wchar_t marker[32768];
  const DWORD marker_length = GetEnvironmentVariableW(L"VOSTAL_CHILD_MARKER", marker, 32768);
  if (marker_length == 0 || marker_length >= 32768) return 2;
  std::string content;
  for (int i = 0; i < argc; ++i) content += "argv " + vostal::to_utf8(argv[i]) + "\n";
  wchar_t cwd[32768];
  const DWORD length = GetCurrentDirectoryW(32768, cwd);
  content += "cwd " + vostal::to_utf8(std::wstring_view(cwd, length < 32768 ? length : 0)) + "\n";
  // Written under another name and renamed, so the test never reads half.
  const std::wstring partial = std::wstring(marker) + L".partial";
  const HANDLE file = CreateFileW(partial.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 3;
  const bool ok = write_all(file, content);
  CloseHandle(file);
  return ok && MoveFileExW(partial.c_str(), marker, MOVEFILE_REPLACE_EXISTING) ? 0 : 3;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return write_marker(argc, argv);
  const std::wstring_view mode = argv[1];
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (mode == L"args") {
    std::string text;
    for (int i = 2; i < argc; ++i) text += vostal::to_utf8(argv[i]) + "\n";
    return write_all(out, text) ? 0 : 1;
  }
  if (mode == L"flood" && argc == 3) {
    const std::string block(std::wcstoul(argv[2], nullptr, 10), 'x');
    // Standard error first: a parent that read standard output alone to its
    // end would wait forever here.
    return write_all(GetStdHandle(STD_ERROR_HANDLE), block) && write_all(out, block) ? 0 : 1;
  }
  if (mode == L"stdin") {
    std::size_t total = 0;
    char buffer[4096];
    DWORD got = 0;
    while (ReadFile(GetStdHandle(STD_INPUT_HANDLE), buffer, sizeof buffer, &got, nullptr) && got > 0) total += got;
    return write_all(out, std::to_string(total)) ? 0 : 1;
  }
  if (mode == L"sleep") {
    write_all(out, std::to_string(GetCurrentProcessId()) + "\n");
    Sleep(INFINITE);
    return 0;
  }
  if (mode == L"stderr" && argc == 3) {
    vostal::make_native_platform()->write_stderr(vostal::to_utf8(argv[2]));
    return 0;
  }
  return 64;
}
