// What the Win32 backend's units share: <windows.h> with the API level we
// build for, and an owning wrapper for kernel handles.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
// Windows 10: FileRenameInfoEx and FileDispositionInfoEx are declared from
// here on (the code falls back when the running system lacks them).
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0A00
#endif
#include <windows.h>

#include <utility>

namespace vostal::win32 {

// Closes its handle on destruction. Both "no handle" values of the API (null
// and INVALID_HANDLE_VALUE) count as empty.
class UniqueHandle {
 public:
  UniqueHandle() = default;
  explicit UniqueHandle(HANDLE handle) noexcept : handle_(handle) {}
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  UniqueHandle(UniqueHandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  UniqueHandle& operator=(UniqueHandle&& other) noexcept {
    if (this != &other) reset(std::exchange(other.handle_, nullptr));
    return *this;
  }
  ~UniqueHandle() { reset(); }

  HANDLE get() const noexcept { return handle_; }
  explicit operator bool() const noexcept { return valid(handle_); }
  void reset(HANDLE handle = nullptr) noexcept {
    if (valid(handle_)) CloseHandle(handle_);
    handle_ = handle;
  }

  static bool valid(HANDLE handle) noexcept {
    return handle != nullptr && handle != INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE handle_ = nullptr;
};

}  // namespace vostal::win32
