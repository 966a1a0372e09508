// vostal-manifest's entry on Windows: UTF-16 arguments, converted to UTF-8 so
// that paths and texts reach the commands unchanged.
#include <iostream>
#include <string>
#include <vector>

#include "tool.hpp"
#include "vostal/platform.hpp"

int wmain(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc; ++i) {
    if (!vostal::is_valid_text(argv[i])) {
      std::cerr << "vostal-manifest: argument " << i << " is not valid UTF-16 text\n";
      return 2;
    }
    args.push_back(vostal::to_utf8(argv[i]));
  }
  return vostal::manifest_tool::run_tool(args, vostal::manifest_tool::native_context(), std::cout, std::cerr);
}
