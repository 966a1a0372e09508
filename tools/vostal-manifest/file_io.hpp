// The tool's file access, on the C++ standard library. An output file is
// never left half-written: the bytes go to a temporary file beside it, which
// is renamed over the target only once it is complete. Private files (seeds)
// are created inside a fresh owner-only directory and get mode 0600 before
// any byte is written, so no other user can open them on the way.
#pragma once

#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vostal::manifest_tool {

// UTF-8 text <-> path, the same on every system.
std::filesystem::path path_from_utf8(std::string_view text);
std::string path_to_utf8(const std::filesystem::path& path);

std::expected<std::vector<std::uint8_t>, std::string> read_whole_file(const std::filesystem::path& path);

enum class Visibility { Public, Private };
enum class Existing { Replace, Refuse };

std::expected<void, std::string> write_file_atomically(const std::filesystem::path& target,
                                                       std::span<const std::uint8_t> bytes,
                                                       Visibility visibility = Visibility::Public,
                                                       Existing existing = Existing::Replace);

}  // namespace vostal::manifest_tool
