// Process timings for scripts/bench.sh, all on the monotonic clock.
//
//   bench_clock spawn <reps> <program> [args...]
//     Starts the program `reps` times, one after the other, with standard
//     input, output and error on /dev/null, and times each run from just
//     before the spawn to the return of the wait. Prints
//     "min_ns=N median_ns=N max_ns=N status=S" (S: the last run's exit status).
//
//   bench_clock handover <stderr-log> <program> [args...]
//     Starts the program once with standard output on a pipe and standard
//     error appended to <stderr-log>, waits for it, then reads the pipe to its
//     end for the line "probe <ns>" that bench_probe writes when the program
//     relaunches it (the probe inherits the pipe). Prints
//     "first_line_ns=N exit_ns=N status=S maxrss_kib=K": the probe's line and
//     the program's exit, both counted from the spawn, its exit status and its
//     peak resident set as the kernel reports it to wait4.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

extern char** environ;

namespace {

long long now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

struct Finished {
  int status = -1;
  long maxrss_kib = 0;
};

Finished wait_for(pid_t pid) {
  int status = 0;
  rusage resources{};
  while (::wait4(pid, &status, 0, &resources) < 0) {
    if (errno != EINTR) {
      std::perror("bench_clock: wait4");
      std::exit(2);
    }
  }
  Finished done;
  done.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  done.maxrss_kib = resources.ru_maxrss;
  return done;
}

pid_t spawn(char** argv, posix_spawn_file_actions_t* actions) {
  pid_t pid = -1;
  if (const int e = ::posix_spawn(&pid, argv[0], actions, nullptr, argv, environ); e != 0) {
    std::fprintf(stderr, "bench_clock: cannot start %s: %s\n", argv[0], std::strerror(e));
    std::exit(2);
  }
  return pid;
}

int spawn_loop(int reps, char** argv) {
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  ::posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  std::vector<long long> times;
  int status = -1;
  for (int i = 0; i < reps; ++i) {
    const long long start = now_ns();
    const pid_t pid = spawn(argv, &actions);
    status = wait_for(pid).status;
    times.push_back(now_ns() - start);
  }
  ::posix_spawn_file_actions_destroy(&actions);
  std::sort(times.begin(), times.end());
  std::printf("min_ns=%lld median_ns=%lld max_ns=%lld status=%d\n", times.front(), times[times.size() / 2],
              times.back(), status);
  return 0;
}

int handover(const char* log, char** argv) {
  int out[2];
  if (::pipe2(out, O_CLOEXEC) != 0) {
    std::perror("bench_clock: pipe2");
    return 2;
  }
  posix_spawn_file_actions_t actions;
  ::posix_spawn_file_actions_init(&actions);
  ::posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  ::posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  ::posix_spawn_file_actions_addopen(&actions, 2, log, O_WRONLY | O_CREAT | O_APPEND, 0644);

  const long long start = now_ns();
  const pid_t pid = spawn(argv, &actions);
  ::close(out[1]);
  const Finished done = wait_for(pid);
  const long long exited = now_ns();
  ::posix_spawn_file_actions_destroy(&actions);

  // The relaunched probe holds the pipe's other end until it has written.
  std::string text;
  char chunk[4096];
  for (;;) {
    const ssize_t got = ::read(out[0], chunk, sizeof chunk);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) break;
    text.append(chunk, static_cast<std::size_t>(got));
  }
  ::close(out[0]);

  long long first_line = -1;
  if (const auto at = text.find("probe "); at != std::string::npos) {
    first_line = std::strtoll(text.c_str() + at + 6, nullptr, 10) - start;
  }
  std::printf("first_line_ns=%lld exit_ns=%lld status=%d maxrss_kib=%ld\n", first_line, exited - start, done.status,
              done.maxrss_kib);
  return first_line < 0 ? 1 : 0;
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_clock spawn <reps> <program> [args...]\n"
               "       bench_clock handover <stderr-log> <program> [args...]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  const std::string mode = argv[1];
  if (mode == "spawn") {
    const long reps = std::strtol(argv[2], nullptr, 10);
    if (reps < 1 || reps > 1000000) return usage();
    return spawn_loop(static_cast<int>(reps), argv + 3);
  }
  if (mode == "handover") return handover(argv[2], argv + 3);
  return usage();
}
