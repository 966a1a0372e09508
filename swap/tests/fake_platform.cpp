#include "fake_platform.hpp"

#include <sodium.h>

#include <algorithm>

namespace vostal::testing {

SystemError no_such_file() { return {"No such file or directory (os error 2)", 2}; }
SystemError access_denied() { return {"Permission denied (os error 13)", 13}; }
SystemError cross_device() { return {"Invalid cross-device link (os error 18)", 18}; }

Sha256Digest sha256_of(std::string_view bytes) {
  Sha256Digest digest{};
  crypto_hash_sha256(digest.data(), reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
  return digest;
}

FakePlatform::FakePlatform() { set_unix_time(1'700'000'000); }

void FakePlatform::set_unix_time(std::int64_t unix_seconds) {
  filetime = static_cast<std::uint64_t>(unix_seconds + 11644473600) * 10000000;
}

void FakePlatform::install_tasklist() { files[join_path(own_dir, VOSTAL_OS("tasklist") + OsString(BARE_PROGRAM_SUFFIX))] = "#tasklist"; }

std::string FakePlatform::listed(std::uint32_t pid) {
  return "\"app.exe\",\"" + std::to_string(pid) + "\",\"Console\",\"1\",\"10,000 K\"\r\n";
}

std::optional<SystemError> FakePlatform::missing(const OsString& path) const {
  if (directories.contains(path)) return SystemError{"Is a directory (os error 21)", 21};
  if (!files.contains(path)) return no_such_file();
  return std::nullopt;
}

std::expected<std::vector<std::uint8_t>, SystemError> FakePlatform::read_file(const OsString& path) {
  log.push_back("read " + to_utf8(path));
  if (auto failure = read_failures.find(path); failure != read_failures.end()) return std::unexpected(failure->second);
  if (auto absent = missing(path)) return std::unexpected(*absent);
  const std::string& content = files.at(path);
  return std::vector<std::uint8_t>(content.begin(), content.end());
}

std::expected<Sha256Digest, SystemError> FakePlatform::sha256_file(const OsString& path) {
  log.push_back("hash " + to_utf8(path));
  if (auto failure = read_failures.find(path); failure != read_failures.end()) return std::unexpected(failure->second);
  if (auto absent = missing(path)) return std::unexpected(*absent);
  return sha256_of(files.at(path));
}

std::expected<void, SystemError> FakePlatform::write_shared_file(const OsString& path, std::string_view bytes) {
  log.push_back("write " + to_utf8(path));
  if (auto failure = write_failures.find(path); failure != write_failures.end()) return std::unexpected(failure->second);
  files[path] = std::string(bytes);
  return {};
}

std::expected<void, SystemError> FakePlatform::rename_file(const OsString& from, const OsString& to) {
  log.push_back("rename " + to_utf8(from) + " -> " + to_utf8(to));
  if (auto failure = rename_failures.find(from); failure != rename_failures.end()) return std::unexpected(failure->second);
  if (auto absent = missing(from)) return std::unexpected(*absent);
  std::string content = std::move(files.at(from));
  files.erase(from);
  files[to] = std::move(content);
  return {};
}

std::expected<void, SystemError> FakePlatform::delete_file(const OsString& path) {
  log.push_back("delete " + to_utf8(path));
  if (auto failure = delete_failures.find(path); failure != delete_failures.end()) return std::unexpected(failure->second);
  if (auto absent = missing(path)) return std::unexpected(*absent);
  files.erase(path);
  return {};
}

bool FakePlatform::file_exists(const OsString& path) { return files.contains(path) || directories.contains(path); }

std::expected<ChildOutput, SystemError> FakePlatform::run_captured(const OsString& program,
                                                                   std::span<const OsString> arguments,
                                                                   MonotonicTime deadline) {
  runs.push_back(CapturedRun{program, {arguments.begin(), arguments.end()}, monotonic, deadline});
  ScriptedPoll poll = default_poll;
  if (!polls.empty()) {
    poll = polls.front();
    polls.pop_front();
  }
  if (poll.start_error) return std::unexpected(*poll.start_error);
  if (poll.never_ends || monotonic + poll.duration > deadline) {
    // Killed at the deadline: whatever it printed so far is returned.
    monotonic = std::max(monotonic, deadline);
    return ChildOutput{poll.standard_output, poll.standard_error, true};
  }
  monotonic += poll.duration;
  return ChildOutput{poll.standard_output, poll.standard_error, false};
}

std::expected<void, SystemError> FakePlatform::launch(const OsString& executable, const OsString& as_given) {
  log.push_back("launch " + to_utf8(executable));
  launches.emplace_back(executable, as_given);
  if (auto failure = launch_failures.find(executable); failure != launch_failures.end())
    return std::unexpected(failure->second);
  if (auto absent = missing(executable)) return std::unexpected(*absent);
  return {};
}

void FakePlatform::sleep_for(std::chrono::milliseconds duration) {
  sleeps.push_back(duration);
  monotonic += duration;
}

void FakePlatform::write_stderr(std::string_view utf8) {
  standard_error += utf8;
  log.push_back("stderr " + std::string(utf8));
}

std::string FakePlatform::error_text(std::uint32_t code) { return "error " + std::to_string(code) + " (os error " + std::to_string(code) + ")"; }

}  // namespace vostal::testing
