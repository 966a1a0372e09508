// The program the hand-over benchmark installs and relaunches. Its first (and
// only) line on standard output carries the monotonic clock reading taken as
// it starts writing, so bench_clock can tell when the relaunched program got
// going, in the same clock it used to start vostal-swap.
#include <chrono>
#include <cstdio>

int main() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const long long ns = std::chrono::duration_cast<std::chrono::nanoseconds>(now).count();
  std::printf("probe %lld\n", ns);
  return std::fflush(stdout) == 0 ? 0 : 1;
}
