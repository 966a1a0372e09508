// vostal-manifest: makes and inspects update manifests for the people who ship
// releases.
//
//   vostal-manifest keygen  --id ID --out DIR
//   vostal-manifest body    --exe FILE (--expires-at T | --expires-in DURATION) [--built-at T]
//                           [--revoke ID]... [--spec-version N] [--opaque-number-1 N] [--opaque-number-2 N]
//                           [--opaque-text-1 S] ... [--opaque-text-4 S] --out FILE
//   vostal-manifest sign    --body FILE --key SEED [--key SEED]... --out FILE
//   vostal-manifest sign    --manifest FILE --key SEED [--key SEED]... [--out FILE]
//   vostal-manifest inspect FILE [--exe FILE] [--now T] [--json]
//
// Exit status: 0 done (inspect: every verdict accepts), 1 bad input or a file
// that cannot be read or written, 2 bad command line, 3 inspect: the manifest
// would be refused. Errors are one line on standard error.
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <functional>
#include <ostream>
#include <span>
#include <string>

namespace vostal::manifest_tool {

// What the tool takes from its surroundings, so tests can fix the clock.
struct ToolContext {
  // Seconds since 1970-01-01 00:00:00 UTC.
  std::function<std::int64_t()> now;
  // SHA-256 of a whole file named by a UTF-8 path, or why it could not be read.
  std::function<std::expected<std::array<std::uint8_t, 32>, std::string>(const std::string& path)> sha256_file;
};

// The real clock and the platform's file digest.
ToolContext native_context();

// `args` are the words after the program name; returns the exit status.
int run_tool(std::span<const std::string> args, const ToolContext& context, std::ostream& out, std::ostream& err);

}  // namespace vostal::manifest_tool
