#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "e2e_process.hpp"

extern char** environ;

namespace vostal::e2e {
namespace {

std::vector<char*> pointers(std::vector<std::string>& strings) {
  std::vector<char*> out;
  out.reserve(strings.size() + 1);
  for (auto& s : strings) out.push_back(s.data());
  out.push_back(nullptr);
  return out;
}

pid_t spawn(const std::string& program, std::vector<std::string> argv, std::vector<std::string> env,
            posix_spawn_file_actions_t* actions) {
  auto argv_ptrs = pointers(argv);
  auto env_ptrs = pointers(env);
  pid_t pid = -1;
  if (int e = ::posix_spawn(&pid, program.c_str(), actions, nullptr, argv_ptrs.data(), env_ptrs.data()); e != 0) {
    throw std::runtime_error("cannot start " + program + ": " + std::strerror(e));
  }
  return pid;
}

std::vector<std::string> current_environment() {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) env.emplace_back(*e);
  return env;
}

int wait_status(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

Completed run_program(const fs::path& program, const std::vector<std::string>& arguments, const Environment& extra,
                      StandardError standard_error, std::chrono::seconds limit) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  ::posix_spawn_file_actions_adddup2(&actions, err[1], 2);

  std::vector<std::string> argv{program.string()};
  argv.insert(argv.end(), arguments.begin(), arguments.end());
  auto env = current_environment();
  for (const auto& [name, value] : extra) env.push_back(name + "=" + value);
  const pid_t pid = spawn(program.string(), argv, env, &actions);
  ::posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(err[1]);

  Completed completed;
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  std::string* sinks[2] = {&completed.standard_output, &completed.standard_error};
  const auto give_up = std::chrono::steady_clock::now() + limit;
  int open = 2;
  if (standard_error == StandardError::reader_gone) {
    ::close(fds[1].fd);
    fds[1].fd = -1;
    open = 1;
  }
  char buffer[65536];
  while (open > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(give_up - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      ::kill(pid, SIGKILL);
      wait_status(pid);
      throw std::runtime_error(program.string() + " still running after the limit");
    }
    if (::poll(fds, 2, static_cast<int>(left.count())) < 0 && errno != EINTR) throw std::runtime_error("poll");
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      const ssize_t got = ::read(fds[i].fd, buffer, sizeof buffer);
      if (got > 0) {
        sinks[i]->append(buffer, static_cast<std::size_t>(got));
      } else if (got == 0 || errno != EINTR) {
        ::close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      }
    }
  }
  completed.exit_code = wait_status(pid);
  return completed;
}

ParentProcess::ParentProcess(std::chrono::milliseconds lifetime) {
  const std::string seconds = std::to_string(static_cast<double>(lifetime.count()) / 1000.0);
  pid_ = static_cast<std::uint32_t>(spawn("/bin/sleep", {"sleep", seconds}, current_environment(), nullptr));
}

ParentProcess::~ParentProcess() { end(); }

void ParentProcess::end() {
  if (reaped_) return;
  ::kill(static_cast<pid_t>(pid_), SIGKILL);
  wait_status(static_cast<pid_t>(pid_));
  reaped_ = true;
}

std::uint32_t gone_pid() {
  ParentProcess gone(std::chrono::milliseconds(0));
  gone.end();
  return gone.pid();
}

std::string parent_image_name() { return "sleep"; }

std::string executable_file_name(std::string_view base) { return std::string(base); }

void write_scripted_tasklist(const fs::path& dir, const fs::path& record, std::string_view output) {
  const fs::path script = dir / "tasklist";
  std::ofstream(script) << "#!/bin/sh\n"
                        << "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '" << record.string() << "'\n"
                        << "printf '%s' '" << output << "'\n";
  make_executable(script);
}

void make_executable(const fs::path& file) {
  fs::permissions(file, fs::perms::owner_exec | fs::perms::group_exec | fs::perms::others_exec, fs::perm_options::add);
}

std::string error_text(SystemFailure failure) {
  switch (failure) {
    case SystemFailure::not_found: return "No such file or directory (os error 2)";
    case SystemFailure::is_a_directory: return "Is a directory (os error 21)";
    case SystemFailure::cross_device: return "Invalid cross-device link (os error 18)";
    case SystemFailure::not_a_program: return "Exec format error (os error 8)";
  }
  return {};
}

std::optional<fs::path> directory_on_another_file_system(const fs::path& here) {
  struct stat a {}, b {};
  fs::path shm = "/dev/shm";
  if (::stat(here.c_str(), &a) != 0 || ::stat(shm.c_str(), &b) != 0 || a.st_dev == b.st_dev) return std::nullopt;
  if (::access(shm.c_str(), W_OK) != 0) return std::nullopt;
  return shm;
}

}  // namespace vostal::e2e
