// An in-memory platform for the driver's tests: files in a map, scripted
// failures, scripted `tasklist` polls, and a virtual clock that moves only
// when the driver sleeps or a poll takes time. Every call that changes
// something, and every line on standard error, is logged in order.
#pragma once

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "vostal/platform.hpp"

namespace vostal::testing {

// What one scripted `tasklist` run does.
struct ScriptedPoll {
  ScriptedPoll(std::string out = "", std::chrono::milliseconds takes = std::chrono::milliseconds(0), bool hangs = false,
               std::optional<SystemError> fails_to_start = std::nullopt, std::string err = "")
      : standard_output(std::move(out)),
        duration(takes),
        never_ends(hangs),
        start_error(std::move(fails_to_start)),
        standard_error(std::move(err)) {}

  std::string standard_output;
  std::chrono::milliseconds duration;
  bool never_ends;                         // runs until it is killed
  std::optional<SystemError> start_error;  // cannot be started at all
  std::string standard_error;
};

struct CapturedRun {
  OsString program;
  std::vector<OsString> arguments;
  MonotonicTime started_at;
  MonotonicTime kill_at;
};

class FakePlatform final : public Platform {
 public:
  FakePlatform();

  // --- the state tests set up and inspect --------------------------------
  std::map<OsString, std::string> files;
  std::set<OsString> directories;
  std::map<OsString, SystemError> read_failures;    // read_file and sha256_file
  std::map<OsString, SystemError> write_failures;   // write_shared_file
  std::map<OsString, SystemError> rename_failures;  // keyed by the source path
  std::map<OsString, SystemError> delete_failures;
  std::map<OsString, SystemError> launch_failures;  // keyed by the executable

  // Polls are answered from the front of `polls`; when it is empty,
  // `default_poll` answers.
  std::deque<ScriptedPoll> polls;
  ScriptedPoll default_poll;

  OsString own_dir = VOSTAL_OS("/app");
  std::vector<OsString> system_dirs;
  std::vector<OsString> path_dirs = {VOSTAL_OS("/usr/bin")};

  MonotonicTime monotonic{std::chrono::hours(1000)};
  std::uint64_t filetime = 0;  // wall clock

  std::string standard_error;
  std::vector<std::string> log;
  std::vector<CapturedRun> runs;
  std::vector<std::chrono::milliseconds> sleeps;
  std::vector<std::pair<OsString, OsString>> launches;  // executable, as given

  // Sets the wall clock to `unix_seconds` after 1970.
  void set_unix_time(std::int64_t unix_seconds);
  // A `tasklist` in the fake's own directory.
  void install_tasklist();
  // A CSV line as `tasklist` prints it for `pid`.
  static std::string listed(std::uint32_t pid);

  // --- Platform ----------------------------------------------------------
  std::expected<std::vector<std::uint8_t>, SystemError> read_file(const OsString& path) override;
  std::expected<Sha256Digest, SystemError> sha256_file(const OsString& path) override;
  std::expected<void, SystemError> write_shared_file(const OsString& path, std::string_view bytes) override;
  std::expected<void, SystemError> rename_file(const OsString& from, const OsString& to) override;
  std::expected<void, SystemError> delete_file(const OsString& path) override;
  bool file_exists(const OsString& path) override;
  std::expected<ChildOutput, SystemError> run_captured(const OsString& program, std::span<const OsString> arguments,
                                                       MonotonicTime deadline) override;
  std::expected<void, SystemError> launch(const OsString& executable, const OsString& as_given) override;
  OsString own_directory() override { return own_dir; }
  std::vector<OsString> system_directories() override { return system_dirs; }
  std::vector<OsString> path_directories() override { return path_dirs; }
  std::uint64_t now_filetime() override { return filetime; }
  MonotonicTime monotonic_now() override { return monotonic; }
  void sleep_for(std::chrono::milliseconds duration) override;
  void write_stderr(std::string_view utf8) override;
  std::string error_text(std::uint32_t code) override;

 private:
  std::optional<SystemError> missing(const OsString& path) const;
};

// The SHA-256 of `bytes`, for building manifests that match a fake file.
Sha256Digest sha256_of(std::string_view bytes);

// Common system errors in the POSIX backend's wording.
SystemError no_such_file();
SystemError access_denied();
SystemError cross_device();

}  // namespace vostal::testing
