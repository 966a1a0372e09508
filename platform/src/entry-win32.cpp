// Process entry of vostal-swap on Windows. The C runtime splits the command
// line by the standard Windows rules and hands over UTF-16 arguments (wmain,
// linked with -municode under mingw-w64), which stay UTF-16 all the way to the
// system calls. An argument that is not valid UTF-16 is refused by the
// command line reader, before any file is touched.
#include <cstddef>
#include <vector>

#include "run.hpp"
#include "vostal/platform.hpp"

int wmain(int argc, wchar_t** argv) {
  std::vector<vostal::OsString> arguments;
  arguments.reserve(argc > 0 ? static_cast<std::size_t>(argc) : 0);
  for (int i = 0; i < argc; ++i) arguments.emplace_back(argv[i]);
  const auto platform = vostal::make_native_platform();
  return vostal::run(*platform, arguments);
}
