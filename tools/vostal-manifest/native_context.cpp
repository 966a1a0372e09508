// The tool's real surroundings: the system clock, and SHA-256 through the
// platform seam (OpenSSL on POSIX, CNG on Windows), read in bounded memory.
#include <chrono>
#include <memory>

#include "tool.hpp"
#include "vostal/platform.hpp"

namespace vostal::manifest_tool {

ToolContext native_context() {
  ToolContext context;
  context.now = [] {
    return static_cast<std::int64_t>(
        std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count());
  };
  std::shared_ptr<Platform> platform = make_native_platform();
  context.sha256_file = [platform](const std::string& path) -> std::expected<std::array<std::uint8_t, 32>, std::string> {
    auto digest = platform->sha256_file(from_utf8(path));
    if (!digest) return std::unexpected("cannot read " + path + ": " + digest.error().text);
    return *digest;
  };
  return context;
}

}  // namespace vostal::manifest_tool
