// The four positional arguments: read, checked one at a time, and refused
// with the message of the first one that fails.
#pragma once

#include <cstdint>
#include <expected>
#include <optional>
#include <span>
#include <string>

#include "vostal/platform.hpp"

namespace vostal {

struct SwapArgs {
  OsString current_exe;    // the installed executable, used exactly as given
  OsString new_exe;        // the staged executable that takes its place
  std::uint32_t parent_pid = 0;
  OsString manifest_path;  // the signed manifest that describes new_exe
};

// Unsigned decimal, 32 bits: one optional leading "+", then ASCII digits only,
// leading zeros allowed.
std::optional<std::uint32_t> read_parent_pid(OsStringView text);

// `arguments` is the whole argument vector, the program's own name first
// (skipped). Arguments after the fourth are ignored. A refusal carries the
// complete line to print, ending in "\n".
std::expected<SwapArgs, std::string> read_command_line(std::span<const OsString> arguments);

}  // namespace vostal
