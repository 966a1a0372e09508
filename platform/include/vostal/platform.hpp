// The one seam between the updater and the operating system. Everything the
// driver needs from the OS goes through `Platform`; the backends are
// platform-posix.cpp and platform-win32.cpp, and the driver's tests use an
// in-memory fake. This header is the only place outside the backends that
// knows which OS it is built for.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <expected>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vostal {

// Paths and arguments in the OS's own form: UTF-16 on Windows, bytes on POSIX.
// They are never converted on their way from the command line to a system
// call; only text that leaves the program (stderr, status file) becomes UTF-8.
#if defined(_WIN32)
using OsChar = wchar_t;
#define VOSTAL_OS(literal) L"" literal
#else
using OsChar = char;
#define VOSTAL_OS(literal) "" literal
#endif
using OsString = std::basic_string<OsChar>;
using OsStringView = std::basic_string_view<OsChar>;

// Appended to a bare program name without extension ("tasklist") before it is
// looked for in the search directories. Windows looks for "tasklist.exe";
// POSIX executables carry no extension, so the name is looked for as it is.
#if defined(_WIN32)
inline constexpr OsStringView BARE_PROGRAM_SUFFIX = L".exe";
#else
inline constexpr OsStringView BARE_PROGRAM_SUFFIX = "";
#endif

// A failure from the OS (or from the backend itself, e.g. "program not
// found"), already in display form: the system's text, then " (os error N)".
struct SystemError {
  std::string text;
  std::uint32_t code = 0;  // 0 when the error does not come from the OS

  friend bool operator==(const SystemError&, const SystemError&) = default;
};

using Sha256Digest = std::array<std::uint8_t, 32>;
using MonotonicTime = std::chrono::nanoseconds;

// What a captured child left behind.
struct ChildOutput {
  std::string standard_output;
  std::string standard_error;
  // The child was still running at the deadline and was killed and reaped.
  bool timed_out = false;
};

class Platform {
 public:
  virtual ~Platform() = default;

  // --- files -------------------------------------------------------------
  virtual std::expected<std::vector<std::uint8_t>, SystemError> read_file(const OsString& path) = 0;
  // SHA-256 over every byte of the file, first to last, in bounded memory.
  virtual std::expected<Sha256Digest, SystemError> sha256_file(const OsString& path) = 0;
  // Create or truncate, then write all of `bytes`; other openers may read,
  // write and delete it meanwhile.
  virtual std::expected<void, SystemError> write_shared_file(const OsString& path,
                                                             std::string_view bytes) = 0;
  // Rename within a volume, replacing an existing destination.
  virtual std::expected<void, SystemError> rename_file(const OsString& from, const OsString& to) = 0;
  // Delete, read-only files included.
  virtual std::expected<void, SystemError> delete_file(const OsString& path) = 0;
  // Whether anything answers to `path` (a directory counts too): the test
  // the program search uses for each candidate.
  virtual bool file_exists(const OsString& path) = 0;

  // --- processes ---------------------------------------------------------
  // Run `program` with `arguments` (not counting argv[0]), standard input from
  // the null device, both outputs captured to the end. A child still running
  // at `deadline` (monotonic) is killed and reaped; its output so far is
  // returned with timed_out set.
  virtual std::expected<ChildOutput, SystemError> run_captured(const OsString& program,
                                                               std::span<const OsString> arguments,
                                                               MonotonicTime deadline) = 0;
  // Start the file `executable` with no arguments, inheriting standard
  // handles, environment and working directory; do not wait for it.
  // `as_given` is the program's name as the caller spelled it before the
  // search turned it into `executable`; it is what the new process sees as
  // its own name (argv[0] on POSIX, the quoted command line on Windows), so
  // both backends show the relaunched program the same text.
  virtual std::expected<void, SystemError> launch(const OsString& executable,
                                                  const OsString& as_given) = 0;

  // --- where programs are looked for --------------------------------------
  virtual OsString own_directory() = 0;
  // The system and Windows directories; empty where the OS has none.
  virtual std::vector<OsString> system_directories() = 0;
  virtual std::vector<OsString> path_directories() = 0;

  // --- clocks --------------------------------------------------------------
  // Wall clock as a FILETIME: 100 ns intervals since 1601-01-01 00:00:00 UTC.
  virtual std::uint64_t now_filetime() = 0;
  virtual MonotonicTime monotonic_now() = 0;
  virtual void sleep_for(std::chrono::milliseconds duration) = 0;

  // --- text ----------------------------------------------------------------
  // One line, UTF-8, already ending in "\n". Failures to write are ignored.
  virtual void write_stderr(std::string_view utf8) = 0;
  // The system's text for `code` followed by " (os error N)".
  virtual std::string error_text(std::uint32_t code) = 0;
};

// The backend for the OS this program is built for.
std::unique_ptr<Platform> make_native_platform();

// Lossless conversions between OS strings and UTF-8 text. On POSIX both are
// the identity; on Windows they convert UTF-16 <-> UTF-8 (unpaired surrogates
// are refused at the command line, so the driver only sees valid UTF-16).
std::string to_utf8(OsStringView text);
OsString from_utf8(std::string_view text);

// Whether `text` is valid Unicode in the OS's encoding (well-formed UTF-8 on
// POSIX, UTF-16 without unpaired surrogates on Windows). The command line
// refuses arguments that are not, so every message and status file the
// program writes is valid UTF-8.
bool is_valid_text(OsStringView text);

// Join a directory and a file name with the OS's separator.
OsString join_path(const OsString& directory, OsStringView name);

}  // namespace vostal
