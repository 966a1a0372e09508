// vostal-manifest's entry on POSIX: arguments are bytes, taken as UTF-8.
#include <iostream>
#include <string>
#include <vector>

#include "tool.hpp"

int main(int argc, char** argv) {
  std::vector<std::string> args(argv + (argc > 0 ? 1 : 0), argv + argc);
  return vostal::manifest_tool::run_tool(args, vostal::manifest_tool::native_context(), std::cout, std::cerr);
}
