// A program for the end-to-end tests to install and relaunch. Built twice,
// as version 1 and version 2, so the two files differ. When started it writes
// what it is and how it was started to the file named by the environment
// variable VOSTAL_PROBE_MARKER (which also shows that the environment was
// inherited), and one line on standard output (which shows that standard
// output was).
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

int main(int argc, char** argv) {
  std::printf("relaunch probe version %d\n", PROBE_VERSION);
  std::fflush(stdout);
  const char* marker = std::getenv("VOSTAL_PROBE_MARKER");
  if (marker == nullptr) return 2;
  const std::filesystem::path path(marker);
  const auto partial = std::filesystem::path(path).concat(".partial");
  {
    std::ofstream out(partial, std::ios::binary);
    out << "version " << PROBE_VERSION << "\n";
    out << "cwd " << std::filesystem::current_path().string() << "\n";
    for (int i = 0; i < argc; ++i) out << "argv " << argv[i] << "\n";
  }
  // Renamed into place whole, so a reader never sees half a marker.
  std::filesystem::rename(partial, path);
  return 0;
}
