// The whole run, from the argument vector to the exit status.
#pragma once

#include <span>

#include "vostal/platform.hpp"

namespace vostal {

// `arguments` is the full argument vector, the program's own name first.
// Returns the exit status; nothing in the run ends the process itself.
int run(Platform& os, std::span<const OsString> arguments);

}  // namespace vostal
