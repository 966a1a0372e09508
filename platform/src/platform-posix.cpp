// The POSIX backend of the platform seam (Linux and other glibc systems).
//
// System errors are shown as strerror's text for errno followed by
// " (os error N)". The program never calls setlocale, so the texts are the
// C locale's English ones.
#include <fcntl.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <utility>

#include "vostal/platform.hpp"

extern char** environ;

namespace vostal {
namespace {

// Files are hashed through a buffer of this size, whatever their length.
constexpr std::size_t HASH_CHUNK_BYTES = 1 << 20;
// One read from a child's pipe.
constexpr std::size_t PIPE_CHUNK_BYTES = 1 << 16;

std::string posix_error_text(int code) {
  return std::string(std::strerror(code)) + " (os error " + std::to_string(code) + ")";
}

SystemError os_error(int code) {
  return SystemError{posix_error_text(code), static_cast<std::uint32_t>(code)};
}

SystemError last_os_error() { return os_error(errno); }

// Owns one file descriptor.
class Fd {
 public:
  Fd() = default;
  explicit Fd(int fd) noexcept : fd_(fd) {}
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  Fd(Fd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
  Fd& operator=(Fd&& other) noexcept {
    if (this != &other) {
      reset();
      fd_ = std::exchange(other.fd_, -1);
    }
    return *this;
  }
  ~Fd() { reset(); }

  int get() const noexcept { return fd_; }
  explicit operator bool() const noexcept { return fd_ >= 0; }
  void reset() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }
  int release() noexcept { return std::exchange(fd_, -1); }

 private:
  int fd_ = -1;
};

std::expected<Fd, SystemError> open_file(const OsString& path, int flags, mode_t mode = 0) {
  for (;;) {
    const int fd = ::open(path.c_str(), flags | O_CLOEXEC, mode);
    if (fd >= 0) return Fd(fd);
    if (errno != EINTR) return std::unexpected(last_os_error());
  }
}

// read(2) that retries on EINTR; returns the byte count or -1 with errno set.
ssize_t read_some(int fd, void* buffer, std::size_t size) {
  for (;;) {
    const ssize_t got = ::read(fd, buffer, size);
    if (got >= 0 || errno != EINTR) return got;
  }
}

std::expected<void, SystemError> write_all(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t put = ::write(fd, bytes.data(), bytes.size());
    if (put < 0) {
      if (errno == EINTR) continue;
      return std::unexpected(last_os_error());
    }
    bytes.remove_prefix(static_cast<std::size_t>(put));
  }
  return {};
}

// The argv/envp arrays posix_spawn wants, built from strings that outlive it.
std::vector<char*> make_argv(std::vector<std::string>& strings) {
  std::vector<char*> argv;
  argv.reserve(strings.size() + 1);
  for (auto& s : strings) argv.push_back(s.data());
  argv.push_back(nullptr);
  return argv;
}

// Spawn attributes shared by both kinds of child: the updater ignores SIGPIPE
// (see entry-posix.cpp), and an ignored signal stays ignored across exec, so
// children get SIGPIPE's default action back.
class SpawnAttributes {
 public:
  SpawnAttributes() {
    ok_ = ::posix_spawnattr_init(&attr_) == 0;
    if (!ok_) return;
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    ::posix_spawnattr_setsigdefault(&attr_, &defaults);
    ::posix_spawnattr_setflags(&attr_, POSIX_SPAWN_SETSIGDEF);
  }
  SpawnAttributes(const SpawnAttributes&) = delete;
  SpawnAttributes& operator=(const SpawnAttributes&) = delete;
  ~SpawnAttributes() {
    if (ok_) ::posix_spawnattr_destroy(&attr_);
  }
  const posix_spawnattr_t* get() const noexcept { return ok_ ? &attr_ : nullptr; }

 private:
  posix_spawnattr_t attr_{};
  bool ok_ = false;
};

class FileActions {
 public:
  FileActions() { ok_ = ::posix_spawn_file_actions_init(&actions_) == 0; }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  ~FileActions() {
    if (ok_) ::posix_spawn_file_actions_destroy(&actions_);
  }
  bool ok() const noexcept { return ok_; }
  posix_spawn_file_actions_t* get() noexcept { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_{};
  bool ok_ = false;
};

void reap(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

class PosixPlatform final : public Platform {
 public:
  std::expected<std::vector<std::uint8_t>, SystemError> read_file(const OsString& path) override {
    auto fd = open_file(path, O_RDONLY);
    if (!fd) return std::unexpected(fd.error());
    std::vector<std::uint8_t> bytes;
    struct stat info {};
    if (::fstat(fd->get(), &info) == 0 && S_ISREG(info.st_mode) && info.st_size > 0) {
      bytes.reserve(static_cast<std::size_t>(info.st_size));
    }
    std::vector<std::uint8_t> chunk(PIPE_CHUNK_BYTES);
    for (;;) {
      const ssize_t got = read_some(fd->get(), chunk.data(), chunk.size());
      if (got < 0) return std::unexpected(last_os_error());
      if (got == 0) return bytes;
      bytes.insert(bytes.end(), chunk.begin(), chunk.begin() + got);
    }
  }

  std::expected<Sha256Digest, SystemError> sha256_file(const OsString& path) override {
    auto fd = open_file(path, O_RDONLY);
    if (!fd) return std::unexpected(fd.error());

    // libcrypto would otherwise read openssl.cnf (or whatever OPENSSL_CONF
    // names) on first use: the updater takes no configuration, a config file
    // can load engines or providers into the digest or leave no SHA-256 to
    // fetch, and reading it doubles the cost of the first digest (about
    // 1.1 ms instead of 0.5 ms). Without effect once libcrypto is set up.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_LOAD_CONFIG, nullptr);
    std::unique_ptr<EVP_MD_CTX, decltype(&EVP_MD_CTX_free)> context(EVP_MD_CTX_new(), &EVP_MD_CTX_free);
    const SystemError crypto_failure{"SHA-256 is not available", 0};
    if (!context || EVP_DigestInit_ex(context.get(), EVP_sha256(), nullptr) != 1) {
      return std::unexpected(crypto_failure);
    }
    std::vector<std::uint8_t> chunk(HASH_CHUNK_BYTES);
    for (;;) {
      const ssize_t got = read_some(fd->get(), chunk.data(), chunk.size());
      if (got < 0) return std::unexpected(last_os_error());
      if (got == 0) break;
      if (EVP_DigestUpdate(context.get(), chunk.data(), static_cast<std::size_t>(got)) != 1) {
        return std::unexpected(crypto_failure);
      }
    }
    Sha256Digest digest{};
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(context.get(), digest.data(), &length) != 1 || length != digest.size()) {
      return std::unexpected(crypto_failure);
    }
    return digest;
  }

  std::expected<void, SystemError> write_shared_file(const OsString& path, std::string_view bytes) override {
    // POSIX has no share modes: other openers may always read, write and
    // unlink the file, which is what the status file asks for.
    auto fd = open_file(path, O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (!fd) return std::unexpected(fd.error());
    if (auto written = write_all(fd->get(), bytes); !written) return written;
    // A delayed write error (a full disk on some file systems) shows up here.
    if (::close(fd->release()) != 0) return std::unexpected(last_os_error());
    return {};
  }

  std::expected<void, SystemError> rename_file(const OsString& from, const OsString& to) override {
    if (::rename(from.c_str(), to.c_str()) != 0) return std::unexpected(last_os_error());
    return {};
  }

  std::expected<void, SystemError> delete_file(const OsString& path) override {
    // unlink(2) needs write access to the directory only, so a read-only
    // file goes like any other; there is no second attempt to make.
    if (::unlink(path.c_str()) != 0) return std::unexpected(last_os_error());
    return {};
  }

  bool file_exists(const OsString& path) override {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0;
  }

  std::expected<ChildOutput, SystemError> run_captured(const OsString& program,
                                                       std::span<const OsString> arguments,
                                                       MonotonicTime deadline) override {
    int out_pipe[2] = {-1, -1};
    int err_pipe[2] = {-1, -1};
    if (::pipe2(out_pipe, O_CLOEXEC) != 0) return std::unexpected(last_os_error());
    Fd out_read(out_pipe[0]), out_write(out_pipe[1]);
    if (::pipe2(err_pipe, O_CLOEXEC) != 0) return std::unexpected(last_os_error());
    Fd err_read(err_pipe[0]), err_write(err_pipe[1]);

    FileActions actions;
    if (!actions.ok()) return std::unexpected(os_error(ENOMEM));
    // dup2 onto 1 and 2 clears close-on-exec on the copies only; every other
    // descriptor of ours is close-on-exec and does not reach the child.
    if (int e = ::posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0); e != 0)
      return std::unexpected(os_error(e));
    if (int e = ::posix_spawn_file_actions_adddup2(actions.get(), out_write.get(), 1); e != 0)
      return std::unexpected(os_error(e));
    if (int e = ::posix_spawn_file_actions_adddup2(actions.get(), err_write.get(), 2); e != 0)
      return std::unexpected(os_error(e));

    std::vector<std::string> argv_strings;
    argv_strings.reserve(arguments.size() + 1);
    argv_strings.push_back(program);
    for (const auto& argument : arguments) argv_strings.push_back(argument);
    auto argv = make_argv(argv_strings);

    SpawnAttributes attributes;
    pid_t pid = -1;
    // glibc's posix_spawn waits until the child has exec'd or failed to, so
    // an exec failure comes back here as the return value.
    if (int e = ::posix_spawn(&pid, program.c_str(), actions.get(), attributes.get(), argv.data(), environ);
        e != 0) {
      return std::unexpected(os_error(e));
    }
    out_write.reset();
    err_write.reset();

    ChildOutput output;
    const bool drained = drain(out_read, err_read, output, deadline);
    if (drained && wait_until(pid, deadline)) return output;

    // Still running at the deadline (or its output could not be read): end
    // it, so no poll can outlast the deadline, and reap it.
    ::kill(pid, SIGKILL);
    reap(pid);
    output.timed_out = true;
    return output;
  }

  std::expected<void, SystemError> launch(const OsString& executable, const OsString& as_given) override {
    std::vector<std::string> argv_strings{as_given};
    auto argv = make_argv(argv_strings);
    SpawnAttributes attributes;
    pid_t pid = -1;
    // No file actions: standard input, output and error, the environment and
    // the working directory are the updater's own. The child is not waited
    // for; the updater exits right after, and init adopts it.
    if (int e = ::posix_spawn(&pid, executable.c_str(), nullptr, attributes.get(), argv.data(), environ); e != 0) {
      return std::unexpected(os_error(e));
    }
    return {};
  }

  OsString own_directory() override {
    std::string buffer(256, '\0');
    for (;;) {
      const ssize_t got = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
      if (got < 0) return {};
      if (static_cast<std::size_t>(got) < buffer.size()) {
        buffer.resize(static_cast<std::size_t>(got));
        break;
      }
      buffer.resize(buffer.size() * 2);
    }
    const auto slash = buffer.rfind('/');
    if (slash == std::string::npos) return {};
    if (slash == 0) return "/";
    buffer.resize(slash);
    return buffer;
  }

  std::vector<OsString> system_directories() override { return {}; }

  std::vector<OsString> path_directories() override {
    std::vector<OsString> directories;
    const char* path = std::getenv("PATH");
    if (path == nullptr) return directories;
    std::string_view rest(path);
    for (;;) {
      const auto colon = rest.find(':');
      // An empty entry would mean the working directory, which the program
      // search never looks in.
      if (auto entry = rest.substr(0, colon); !entry.empty()) directories.emplace_back(entry);
      if (colon == std::string_view::npos) break;
      rest.remove_prefix(colon + 1);
    }
    return directories;
  }

  std::uint64_t now_filetime() override {
    struct timespec now {};
    ::clock_gettime(CLOCK_REALTIME, &now);
    // FILETIME counts 100 ns intervals from 1601-01-01; the Unix epoch lies
    // 11644473600 seconds later.
    constexpr std::int64_t EPOCH_GAP_SECONDS = 11644473600;
    constexpr std::int64_t TICKS_PER_SECOND = 10000000;
    const std::int64_t seconds = static_cast<std::int64_t>(now.tv_sec) + EPOCH_GAP_SECONDS;
    if (seconds < 0) return 0;
    if (seconds > INT64_MAX / TICKS_PER_SECOND - 1) return static_cast<std::uint64_t>(INT64_MAX);
    return static_cast<std::uint64_t>(seconds * TICKS_PER_SECOND + now.tv_nsec / 100);
  }

  MonotonicTime monotonic_now() override {
    return std::chrono::duration_cast<MonotonicTime>(std::chrono::steady_clock::now().time_since_epoch());
  }

  void sleep_for(std::chrono::milliseconds duration) override { std::this_thread::sleep_for(duration); }

  void write_stderr(std::string_view utf8) override { (void)write_all(STDERR_FILENO, utf8); }

  std::string error_text(std::uint32_t code) override { return posix_error_text(static_cast<int>(code)); }

 private:
  // Milliseconds from now until `deadline`, rounded up so a poll never wakes
  // just before it; 0 once it has passed.
  int millis_until(MonotonicTime deadline) {
    const auto left = deadline - monotonic_now();
    if (left <= MonotonicTime::zero()) return 0;
    const auto millis = std::chrono::ceil<std::chrono::milliseconds>(left).count();
    return static_cast<int>(std::min<long long>(millis, INT_MAX));
  }

  // Reads both pipes to their end, whichever the child writes to, so that a
  // child filling one pipe never blocks while we wait on the other. False when
  // the deadline came first or a pipe could not be read.
  bool drain(Fd& out_read, Fd& err_read, ChildOutput& output, MonotonicTime deadline) {
    std::vector<char> chunk(PIPE_CHUNK_BYTES);
    struct Stream {
      Fd* fd;
      std::string* sink;
    };
    Stream streams[2] = {{&out_read, &output.standard_output}, {&err_read, &output.standard_error}};
    for (;;) {
      pollfd fds[2];
      nfds_t count = 0;
      Stream* polled[2];
      for (auto& stream : streams) {
        if (!*stream.fd) continue;
        fds[count] = pollfd{stream.fd->get(), POLLIN, 0};
        polled[count++] = &stream;
      }
      if (count == 0) return true;
      const int timeout = millis_until(deadline);
      if (timeout == 0) return false;
      const int ready = ::poll(fds, count, timeout);
      if (ready < 0) {
        if (errno == EINTR) continue;
        return false;
      }
      for (nfds_t i = 0; i < count; ++i) {
        if (fds[i].revents == 0) continue;
        const ssize_t got = read_some(fds[i].fd, chunk.data(), chunk.size());
        if (got < 0) return false;
        if (got == 0) {
          polled[i]->fd->reset();
        } else {
          polled[i]->sink->append(chunk.data(), static_cast<std::size_t>(got));
        }
      }
    }
  }

  // Waits for the child to end. Both pipes are already at their end, so this
  // normally returns at once; a child that closed them and lives on is given
  // until the deadline. True when the child was reaped.
  bool wait_until(pid_t pid, MonotonicTime deadline) {
    auto pause = std::chrono::microseconds(100);
    for (;;) {
      int status = 0;
      const pid_t done = ::waitpid(pid, &status, WNOHANG);
      if (done == pid) return true;
      if (done < 0 && errno != EINTR) return errno == ECHILD;
      if (monotonic_now() >= deadline) return false;
      std::this_thread::sleep_for(pause);
      pause = std::min<std::chrono::microseconds>(pause * 2, std::chrono::milliseconds(10));
    }
  }
};

}  // namespace

std::unique_ptr<Platform> make_native_platform() { return std::make_unique<PosixPlatform>(); }

}  // namespace vostal
