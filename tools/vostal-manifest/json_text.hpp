// JSON string literals for inspect's output. Text that is not well-formed
// UTF-8 (a file name from a POSIX command line can be any bytes) has each byte
// outside ASCII replaced by U+FFFD, so the output is always valid JSON.
#pragma once

#include <string>
#include <string_view>

namespace vostal::manifest_tool {

std::string json_string(std::string_view text);

}  // namespace vostal::manifest_tool
