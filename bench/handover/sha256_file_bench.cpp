// Times the platform's sha256_file, the routine vostal-swap hashes the staged
// executable with, on one file: `reps` passes, each printed as its seconds,
// then the digest. The file should already be in the page cache.
//
//   bench_sha256_file <file> [reps]
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "vostal/platform.hpp"

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3) {
    std::fprintf(stderr, "usage: bench_sha256_file <file> [reps]\n");
    return 1;
  }
  const long reps = argc == 3 ? std::strtol(argv[2], nullptr, 10) : 3;
  const auto os = vostal::make_native_platform();
  const vostal::OsString path = argv[1];
  std::string hex;
  for (long i = 0; i < reps; ++i) {
    const auto start = std::chrono::steady_clock::now();
    const auto digest = os->sha256_file(path);
    const auto stop = std::chrono::steady_clock::now();
    if (!digest) {
      std::fprintf(stderr, "bench_sha256_file: %s\n", digest.error().text.c_str());
      return 1;
    }
    std::printf("seconds %.6f\n", std::chrono::duration<double>(stop - start).count());
    hex.clear();
    for (const auto byte : *digest) {
      static constexpr char DIGITS[] = "0123456789abcdef";
      hex += DIGITS[byte >> 4];
      hex += DIGITS[byte & 0xF];
    }
  }
  std::printf("sha256 %s\n", hex.c_str());
  return 0;
}
