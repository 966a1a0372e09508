// The last gate before any file changes: the manifest and the staged
// executable are read again from disk and checked in full.
#pragma once

#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>

#include "command_line.hpp"
#include "stage.hpp"
#include "vostal/platform.hpp"

namespace vostal {

// Names the manifest's encoding at the start of a `manifest_decode` message.
inline constexpr std::string_view ENCODING_LABEL = "compact";

// 64 lowercase hexadecimal digits, first byte first, high nibble first.
std::string digest_hex(std::span<const std::uint8_t, 32> digest);

// Whole seconds since 1970-01-01 00:00:00 UTC, truncated; 0 before 1970.
std::int64_t filetime_to_unix_seconds(std::uint64_t filetime);

// Read and decode the manifest, check its signatures and limits, its validity
// window against the wall clock (read once), then the SHA-256 of `new_exe`
// against the manifest's digest. The first failing check decides.
std::expected<void, StepFailure> verify_staged_update(Platform& os, const OsString& manifest_path,
                                                      const OsString& new_exe);

// After a failed verification: the failure line, then the staged executable
// and the manifest are deleted as far as the system allows (failures ignored).
void discard_staged_update(Platform& os, const SwapArgs& args, const StepFailure& failure);

}  // namespace vostal
