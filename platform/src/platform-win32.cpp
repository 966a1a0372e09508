// The Win32 backend of the platform seam. Paths stay UTF-16 from the command
// line to the system call; only text leaving the program becomes UTF-8.
#include "command-line-win32.hpp"
#include "vostal/platform.hpp"
#include "win32.hpp"

#include <bcrypt.h>

#include <algorithm>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

namespace vostal {

namespace {

using win32::UniqueHandle;

// The handle-based classes of Windows 10 version 1809, by their fixed values:
// mingw-w64's headers guard them behind a version test that never holds.
constexpr auto kFileDispositionInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(21);
constexpr auto kFileRenameInfoEx = static_cast<FILE_INFO_BY_HANDLE_CLASS>(22);

// Handle-based rename and delete of Windows 10 version 1809 and later. Older
// systems (and Wine) answer these classes with one of these errors, and the
// classic classes take over.
bool is_unsupported_class_error(DWORD error) {
  return error == ERROR_INVALID_PARAMETER || error == ERROR_INVALID_FUNCTION ||
         error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED;
}

std::string system_error_text(DWORD code) {
  // Large enough for any message in the system table.
  wchar_t buffer[2048];
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, code,
                     0 /* default language */, buffer, static_cast<DWORD>(std::size(buffer)), nullptr);
  std::string text;
  if (length == 0) {
    const DWORD lookup_error = GetLastError();
    text = "OS Error " + std::to_string(code) + " (FormatMessageW() returned error " +
           std::to_string(lookup_error) + ")";
  } else {
    std::wstring_view message(buffer, length);
    while (!message.empty() && (message.back() == L' ' || message.back() == L'\t' || message.back() == L'\r' ||
                                message.back() == L'\n' || message.back() == L'\v' || message.back() == L'\f')) {
      message.remove_suffix(1);
    }
    text = to_utf8(message);
  }
  text += " (os error " + std::to_string(code) + ")";
  return text;
}

SystemError os_error(DWORD code) { return SystemError{system_error_text(code), code}; }
SystemError last_os_error() { return os_error(GetLastError()); }

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

UniqueHandle open_for_reading(const OsString& path) {
  return UniqueHandle(CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
}

// Opened for deletion or renaming only: no read or write access, so an
// executable that is running can still be opened this way. A link is opened
// itself, not what it points to. Only a rename may open a directory (as
// MoveFileExW may move one); a delete must not remove an empty directory
// that happens to stand at a file's path.
enum class Opening { for_rename, for_delete };
UniqueHandle open_for_delete(const OsString& path, Opening opening) {
  const DWORD flags =
      FILE_FLAG_OPEN_REPARSE_POINT | (opening == Opening::for_rename ? FILE_FLAG_BACKUP_SEMANTICS : 0);
  return UniqueHandle(CreateFileW(path.c_str(), DELETE | SYNCHRONIZE, kShareAll, nullptr, OPEN_EXISTING, flags, nullptr));
}

// A path the kernel resolves the same way wherever it is used: the handle
// based rename takes the target relative to nothing, so a relative target is
// made absolute against the working directory first, as MoveFileExW would.
std::wstring full_path(const OsString& path) {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
    if (length == 0) return path;
    if (length < buffer.size()) {
      buffer.resize(length);
      return buffer;
    }
    buffer.resize(length);
  }
}

// FILE_RENAME_INFO ends in a variable-length name; the buffer holds the
// header and the name, suitably aligned.
BOOL set_rename_info(HANDLE file, FILE_INFO_BY_HANDLE_CLASS info_class, DWORD flags, const std::wstring& target) {
  const std::size_t name_bytes = target.size() * sizeof(wchar_t);
  const std::size_t size = offsetof(FILE_RENAME_INFO, FileName) + name_bytes + sizeof(wchar_t);
  std::vector<std::uint64_t> storage((size + sizeof(std::uint64_t) - 1) / sizeof(std::uint64_t), 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
  if (info_class == kFileRenameInfoEx) {
    info->Flags = flags;
  } else {
    info->ReplaceIfExists = TRUE;
  }
  info->RootDirectory = nullptr;
  info->FileNameLength = static_cast<DWORD>(name_bytes);
  std::memcpy(info->FileName, target.data(), name_bytes);
  return SetFileInformationByHandle(file, info_class, info, static_cast<DWORD>(size));
}

// The handle-based rename: for files MoveFileExW refuses with access denied
// but that can still be opened for deletion.
bool rename_by_handle(const OsString& from, const OsString& to, DWORD& error) {
  UniqueHandle file = open_for_delete(from, Opening::for_rename);
  if (!file) {
    error = GetLastError();
    return false;
  }
  const std::wstring target = full_path(to);
  if (set_rename_info(file.get(), kFileRenameInfoEx,
                      FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS, target)) {
    return true;
  }
  error = GetLastError();
  if (!is_unsupported_class_error(error)) return false;
  // A system without FileRenameInfoEx: the classic class, replacing too.
  if (set_rename_info(file.get(), FileRenameInfo, 0, target)) return true;
  error = GetLastError();
  return false;
}

bool delete_by_handle(const OsString& path) {
  UniqueHandle file = open_for_delete(path, Opening::for_delete);
  if (!file) return false;
  FILE_DISPOSITION_INFO_EX ex{};
  ex.Flags = FILE_DISPOSITION_FLAG_DELETE | FILE_DISPOSITION_FLAG_POSIX_SEMANTICS |
             FILE_DISPOSITION_FLAG_IGNORE_READONLY_ATTRIBUTE;
  if (SetFileInformationByHandle(file.get(), kFileDispositionInfoEx, &ex, sizeof ex)) return true;
  if (!is_unsupported_class_error(GetLastError())) return false;

  // A system without FileDispositionInfoEx: the classic class does not
  // ignore the read-only attribute, so clear it first, and put it back if
  // the file stays after all.
  const DWORD attributes = GetFileAttributesW(path.c_str());
  const bool read_only = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) != 0;
  if (read_only) {
    const DWORD cleared = attributes & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY);
    if (!SetFileAttributesW(path.c_str(), cleared == 0 ? FILE_ATTRIBUTE_NORMAL : cleared)) return false;
  }
  FILE_DISPOSITION_INFO classic{};
  classic.DeleteFile = TRUE;
  if (SetFileInformationByHandle(file.get(), FileDispositionInfo, &classic, sizeof classic)) return true;
  const DWORD error = GetLastError();
  if (read_only) SetFileAttributesW(path.c_str(), attributes);
  SetLastError(error);
  return false;
}

// --- child processes -------------------------------------------------------

std::int64_t performance_frequency() {
  LARGE_INTEGER frequency;
  QueryPerformanceFrequency(&frequency);  // never fails on XP and later
  return frequency.QuadPart;
}

MonotonicTime performance_counter_now() {
  static const std::int64_t frequency = performance_frequency();
  LARGE_INTEGER counter;
  QueryPerformanceCounter(&counter);
  // Whole seconds and the remainder apart, so ticks * 1e9 cannot overflow.
  const std::int64_t ticks = counter.QuadPart;
  const std::int64_t seconds = ticks / frequency;
  const std::int64_t rest = ticks % frequency;
  return MonotonicTime(seconds * 1'000'000'000 + rest * 1'000'000'000 / frequency);
}

// Milliseconds until `deadline`, rounded up so a wait never ends early; 0
// once it has passed.
DWORD milliseconds_until(MonotonicTime deadline) {
  const MonotonicTime left = deadline - performance_counter_now();
  if (left <= MonotonicTime::zero()) return 0;
  const auto ms = (left.count() + 999'999) / 1'000'000;
  constexpr std::int64_t kMaxWait = 0x7FFFFFFF;  // well below INFINITE
  return static_cast<DWORD>(std::min<std::int64_t>(ms, kMaxWait));
}

// One end of an output pipe that this process reads with overlapped I/O.
// Anonymous pipes cannot be read asynchronously, so each is a named pipe of a
// name unique to this process; the child gets the write end.
struct CapturePipe {
  UniqueHandle read_end;
  UniqueHandle event;
  OVERLAPPED overlapped{};
  std::string* sink = nullptr;
  char buffer[64 * 1024];
  bool pending = false;
  bool open = true;
};

std::expected<UniqueHandle, SystemError> create_capture_pipe(CapturePipe& pipe) {
  static std::atomic<unsigned> serial{0};
  const std::wstring name = L"\\\\.\\pipe\\vostal-swap-" + std::to_wstring(GetCurrentProcessId()) + L"-" +
                            std::to_wstring(serial.fetch_add(1)) + L"-" + std::to_wstring(GetTickCount64());
  pipe.read_end.reset(CreateNamedPipeW(name.c_str(), PIPE_ACCESS_INBOUND | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE,
                                       PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT | PIPE_REJECT_REMOTE_CLIENTS, 1,
                                       0, 64 * 1024, 0, nullptr));
  if (!pipe.read_end) return std::unexpected(last_os_error());
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  UniqueHandle write_end(CreateFileW(name.c_str(), GENERIC_WRITE, 0, &inheritable, OPEN_EXISTING, 0, nullptr));
  if (!write_end) return std::unexpected(last_os_error());
  pipe.event.reset(CreateEventW(nullptr, TRUE, FALSE, nullptr));
  if (!pipe.event) return std::unexpected(last_os_error());
  pipe.overlapped.hEvent = pipe.event.get();
  return write_end;
}

// Starts the next read unless the pipe has ended. A read that completes at
// once still signals the event, so completions are all handled in one place.
void start_read(CapturePipe& pipe) {
  if (!pipe.open || pipe.pending) return;
  ResetEvent(pipe.event.get());
  if (ReadFile(pipe.read_end.get(), pipe.buffer, sizeof pipe.buffer, nullptr, &pipe.overlapped) ||
      GetLastError() == ERROR_IO_PENDING) {
    pipe.pending = true;
  } else {
    pipe.open = false;  // ERROR_BROKEN_PIPE: the writer has gone
  }
}

void finish_read(CapturePipe& pipe) {
  DWORD got = 0;
  pipe.pending = false;
  if (GetOverlappedResult(pipe.read_end.get(), &pipe.overlapped, &got, FALSE)) {
    pipe.sink->append(pipe.buffer, got);
  } else {
    pipe.open = false;
  }
}

void cancel_read(CapturePipe& pipe) {
  if (!pipe.pending) return;
  CancelIoEx(pipe.read_end.get(), &pipe.overlapped);
  DWORD got = 0;
  if (GetOverlappedResult(pipe.read_end.get(), &pipe.overlapped, &got, TRUE)) pipe.sink->append(pipe.buffer, got);
  pipe.pending = false;
  pipe.open = false;
}

class Win32Platform final : public Platform {
 public:
  std::expected<std::vector<std::uint8_t>, SystemError> read_file(const OsString& path) override {
    UniqueHandle file = open_for_reading(path);
    if (!file) return std::unexpected(last_os_error());
    std::vector<std::uint8_t> bytes;
    LARGE_INTEGER size;
    if (GetFileSizeEx(file.get(), &size) && size.QuadPart > 0 &&
        static_cast<std::uint64_t>(size.QuadPart) < std::numeric_limits<std::size_t>::max() / 2) {
      bytes.reserve(static_cast<std::size_t>(size.QuadPart));
    }
    // Read to the end rather than trusting the size: the file may grow.
    constexpr DWORD kChunk = 1 << 20;
    for (;;) {
      const std::size_t at = bytes.size();
      bytes.resize(at + kChunk);
      DWORD got = 0;
      if (!ReadFile(file.get(), bytes.data() + at, kChunk, &got, nullptr)) {
        return std::unexpected(last_os_error());
      }
      bytes.resize(at + got);
      if (got == 0) break;
    }
    return bytes;
  }

  std::expected<Sha256Digest, SystemError> sha256_file(const OsString& path) override {
    UniqueHandle file = open_for_reading(path);
    if (!file) return std::unexpected(last_os_error());
    Sha256 hash;
    if (!hash.ok()) return std::unexpected(SystemError{"SHA-256 is not available from Windows CNG", 0});
    std::vector<std::uint8_t> buffer(64 * 1024);
    for (;;) {
      DWORD got = 0;
      if (!ReadFile(file.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &got, nullptr)) {
        return std::unexpected(last_os_error());
      }
      if (got == 0) break;
      if (!hash.update(buffer.data(), got)) return std::unexpected(SystemError{"SHA-256 over the file failed", 0});
    }
    Sha256Digest digest{};
    if (!hash.finish(digest)) return std::unexpected(SystemError{"SHA-256 over the file failed", 0});
    return digest;
  }

  std::expected<void, SystemError> write_shared_file(const OsString& path, std::string_view bytes) override {
    UniqueHandle file(CreateFileW(path.c_str(), GENERIC_WRITE, kShareAll, nullptr, CREATE_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!file) return std::unexpected(last_os_error());
    while (!bytes.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), 1 << 20));
      DWORD written = 0;
      if (!WriteFile(file.get(), bytes.data(), chunk, &written, nullptr)) return std::unexpected(last_os_error());
      if (written == 0) return std::unexpected(os_error(ERROR_WRITE_FAULT));  // no progress: do not spin
      bytes.remove_prefix(written);
    }
    return {};
  }

  std::expected<void, SystemError> rename_file(const OsString& from, const OsString& to) override {
    if (MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING)) return {};
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED) return std::unexpected(os_error(error));
    DWORD fallback_error = error;
    if (rename_by_handle(from, to, fallback_error)) return {};
    // The access-denied error stands, unless the handle-based attempt found
    // a directory that is not empty in the way.
    return std::unexpected(os_error(fallback_error == ERROR_DIR_NOT_EMPTY ? ERROR_DIR_NOT_EMPTY : error));
  }

  std::expected<void, SystemError> delete_file(const OsString& path) override {
    if (DeleteFileW(path.c_str())) return {};
    const DWORD error = GetLastError();
    if (error != ERROR_ACCESS_DENIED) return std::unexpected(os_error(error));
    if (delete_by_handle(path)) return {};
    return std::unexpected(os_error(error));
  }

  bool file_exists(const OsString& path) override { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

  std::expected<ChildOutput, SystemError> run_captured(const OsString& program, std::span<const OsString> arguments,
                                                       MonotonicTime deadline) override {
    ChildOutput output;
    CapturePipe out_pipe;
    CapturePipe err_pipe;
    out_pipe.sink = &output.standard_output;
    err_pipe.sink = &output.standard_error;

    auto out_write = create_capture_pipe(out_pipe);
    if (!out_write) return std::unexpected(out_write.error());
    auto err_write = create_capture_pipe(err_pipe);
    if (!err_write) return std::unexpected(err_write.error());
    SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    UniqueHandle null_input(CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable,
                                        OPEN_EXISTING, 0, nullptr));
    if (!null_input) return std::unexpected(last_os_error());

    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = null_input.get();
    startup.hStdOutput = out_write->get();
    startup.hStdError = err_write->get();
    std::wstring command_line = win32::join_command_line(program, arguments);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(program.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup,
                        &info)) {
      return std::unexpected(last_os_error());
    }
    UniqueHandle process(info.hProcess);
    CloseHandle(info.hThread);
    // Only the child may hold the write ends now, so the pipes end with it.
    out_write->reset();
    err_write->reset();
    null_input.reset();

    bool deadline_passed = false;
    start_read(out_pipe);
    start_read(err_pipe);
    while (out_pipe.open || err_pipe.open) {
      HANDLE events[2];
      CapturePipe* pipes[2];
      DWORD count = 0;
      for (CapturePipe* pipe : {&out_pipe, &err_pipe}) {
        if (pipe->open) {
          events[count] = pipe->event.get();
          pipes[count] = pipe;
          ++count;
        }
      }
      const DWORD wait = WaitForMultipleObjects(count, events, FALSE, milliseconds_until(deadline));
      if (wait >= WAIT_OBJECT_0 && wait < WAIT_OBJECT_0 + count) {
        CapturePipe& ready = *pipes[wait - WAIT_OBJECT_0];
        finish_read(ready);
        start_read(ready);
      } else {
        deadline_passed = true;  // WAIT_TIMEOUT (or a failed wait, which is no better)
        break;
      }
    }
    if (!deadline_passed && WaitForSingleObject(process.get(), milliseconds_until(deadline)) != WAIT_OBJECT_0) {
      deadline_passed = true;
    }
    if (deadline_passed) {
      // Still running at the deadline, or its pipes still open (a grandchild
      // may hold them): end it so no poll outlasts the deadline, and wait
      // for it to be gone. Terminating a process that has already ended
      // fails harmlessly.
      TerminateProcess(process.get(), 1);
      WaitForSingleObject(process.get(), INFINITE);
      output.timed_out = true;
    }
    // Whatever has arrived is kept; nothing more is waited for.
    cancel_read(out_pipe);
    cancel_read(err_pipe);
    return output;
  }

  std::expected<void, SystemError> launch(const OsString& executable, const OsString& as_given) override {
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    // Passed on as inheritable handles; a missing one stays missing.
    for (HANDLE handle : {startup.hStdInput, startup.hStdOutput, startup.hStdError}) {
      if (UniqueHandle::valid(handle)) SetHandleInformation(handle, HANDLE_FLAG_INHERIT, HANDLE_FLAG_INHERIT);
    }
    std::wstring command_line = win32::quote_program(as_given);
    PROCESS_INFORMATION info{};
    if (!CreateProcessW(executable.c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                        nullptr, nullptr, &startup, &info)) {
      return std::unexpected(last_os_error());
    }
    CloseHandle(info.hThread);
    CloseHandle(info.hProcess);
    return {};
  }

  OsString own_directory() override {
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
      const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
      if (length == 0) return {};
      // A full buffer means the name was cut short: grow and ask again.
      if (length < path.size()) {
        path.resize(length);
        break;
      }
      if (path.size() >= 32768) return {};  // past the longest path the system has
      path.resize(path.size() * 2);
    }
    const std::size_t slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {};
    path.resize(slash);
    return path;
  }

  std::vector<OsString> system_directories() override {
    std::vector<OsString> directories;
    if (OsString dir = sized_query(GetSystemDirectoryW); !dir.empty()) directories.push_back(std::move(dir));
    if (OsString dir = sized_query(GetWindowsDirectoryW); !dir.empty()) directories.push_back(std::move(dir));
    return directories;
  }

  std::vector<OsString> path_directories() override {
    std::wstring value;
    DWORD size = 256;
    for (;;) {
      value.assign(size, L'\0');
      const DWORD length = GetEnvironmentVariableW(L"PATH", value.data(), size);
      if (length == 0) return {};
      if (length < size) {
        value.resize(length);
        break;
      }
      size = length;  // the size needed, terminator included
    }
    // Entries are separated by ';'. Double quotes only group: a ';' between
    // them belongs to the entry, and the quotes themselves are dropped.
    std::vector<OsString> directories;
    std::wstring entry;
    bool quoted = false;
    for (const wchar_t c : value) {
      if (c == L'"') {
        quoted = !quoted;
      } else if (c == L';' && !quoted) {
        if (!entry.empty()) directories.push_back(std::move(entry));
        entry.clear();
      } else {
        entry.push_back(c);
      }
    }
    if (!entry.empty()) directories.push_back(std::move(entry));
    return directories;
  }

  std::uint64_t now_filetime() override {
    FILETIME now;
    GetSystemTimePreciseAsFileTime(&now);
    return (static_cast<std::uint64_t>(now.dwHighDateTime) << 32) | now.dwLowDateTime;
  }

  MonotonicTime monotonic_now() override { return performance_counter_now(); }

  void sleep_for(std::chrono::milliseconds duration) override {
    auto left = duration.count();
    // Sleep takes a DWORD, and its largest value means "forever".
    while (left > 0) {
      const auto step = std::min<std::int64_t>(left, 0x7FFFFFFF);
      Sleep(static_cast<DWORD>(step));
      left -= step;
    }
  }

  void write_stderr(std::string_view utf8) override {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (!UniqueHandle::valid(handle)) return;
    DWORD mode = 0;
    if (GetConsoleMode(handle, &mode)) {
      // A console shows UTF-16 text right whatever its code page.
      std::wstring wide = from_utf8(utf8);
      std::wstring_view rest = wide;
      while (!rest.empty()) {
        std::size_t take = std::min<std::size_t>(rest.size(), 8192);
        // A surrogate pair is never split between two writes.
        if (take < rest.size() && rest[take - 1] >= 0xD800 && rest[take - 1] <= 0xDBFF) --take;
        const DWORD chunk = static_cast<DWORD>(take);
        DWORD written = 0;
        if (!WriteConsoleW(handle, rest.data(), chunk, &written, nullptr) || written == 0) return;
        rest.remove_prefix(written);
      }
      return;
    }
    // A file or pipe gets the UTF-8 bytes as they are.
    while (!utf8.empty()) {
      const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(utf8.size(), 1 << 20));
      DWORD written = 0;
      if (!WriteFile(handle, utf8.data(), chunk, &written, nullptr) || written == 0) return;
      utf8.remove_prefix(written);
    }
  }

  std::string error_text(std::uint32_t code) override { return system_error_text(code); }

 private:
  // SHA-256 from Windows CNG, fed piece by piece.
  class Sha256 {
   public:
    Sha256() {
      if (BCryptOpenAlgorithmProvider(&algorithm_, BCRYPT_SHA256_ALGORITHM, nullptr, 0) < 0) {
        algorithm_ = nullptr;
        return;
      }
      DWORD object_size = 0;
      ULONG got = 0;
      if (BCryptGetProperty(algorithm_, BCRYPT_OBJECT_LENGTH, reinterpret_cast<PUCHAR>(&object_size),
                            sizeof object_size, &got, 0) < 0) {
        return;
      }
      object_.resize(object_size);
      if (BCryptCreateHash(algorithm_, &hash_, object_.data(), static_cast<ULONG>(object_.size()), nullptr, 0, 0) < 0) {
        hash_ = nullptr;
      }
    }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    ~Sha256() {
      if (hash_ != nullptr) BCryptDestroyHash(hash_);
      if (algorithm_ != nullptr) BCryptCloseAlgorithmProvider(algorithm_, 0);
    }
    bool ok() const { return hash_ != nullptr; }
    bool update(const std::uint8_t* data, DWORD size) {
      return BCryptHashData(hash_, const_cast<PUCHAR>(data), size, 0) >= 0;
    }
    bool finish(Sha256Digest& digest) {
      return BCryptFinishHash(hash_, digest.data(), static_cast<ULONG>(digest.size()), 0) >= 0;
    }

   private:
    BCRYPT_ALG_HANDLE algorithm_ = nullptr;
    BCRYPT_HASH_HANDLE hash_ = nullptr;
    std::vector<std::uint8_t> object_;
  };

  // GetSystemDirectoryW and GetWindowsDirectoryW: the size needed (with the
  // terminator) when the buffer is too small, the length when it was not.
  static OsString sized_query(UINT(WINAPI* query)(LPWSTR, UINT)) {
    std::wstring buffer(MAX_PATH, L'\0');
    for (int attempt = 0; attempt < 4; ++attempt) {
      const UINT length = query(buffer.data(), static_cast<UINT>(buffer.size()));
      if (length == 0) return {};
      if (length < buffer.size()) {
        buffer.resize(length);
        return buffer;
      }
      buffer.resize(length);
    }
    return {};
  }
};

}  // namespace

std::unique_ptr<Platform> make_native_platform() { return std::make_unique<Win32Platform>(); }

}  // namespace vostal
