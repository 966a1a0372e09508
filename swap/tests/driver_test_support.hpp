// Shared pieces of the driver's fake-platform tests.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "vostal/platform.hpp"

namespace vostal::testing {

inline OsString os(std::string_view utf8) { return from_utf8(utf8); }

// An argument vector with the program's name in front.
inline std::vector<OsString> argv_of(std::initializer_list<std::string_view> arguments) {
  std::vector<OsString> argv{VOSTAL_OS("vostal-swap")};
  for (auto argument : arguments) argv.push_back(from_utf8(argument));
  return argv;
}

}  // namespace vostal::testing
