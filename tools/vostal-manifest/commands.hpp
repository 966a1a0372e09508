// The four commands of vostal-manifest, and what they share.
#pragma once

#include <ostream>
#include <span>
#include <string>
#include <string_view>

#include "tool.hpp"
#include "update_proto/records.hpp"

namespace vostal::manifest_tool {

int run_keygen(std::span<const std::string> args, const ToolContext& context, std::ostream& out, std::ostream& err);
int run_body(std::span<const std::string> args, const ToolContext& context, std::ostream& out, std::ostream& err);
int run_sign(std::span<const std::string> args, const ToolContext& context, std::ostream& out, std::ostream& err);
int run_inspect(std::span<const std::string> args, const ToolContext& context, std::ostream& out, std::ostream& err);

inline constexpr int kExitOk = 0;
inline constexpr int kExitBadInput = 1;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitRefused = 3;

// Writes "vostal-manifest <command>: <message>" as one line; returns `status`.
int report_error(std::ostream& err, std::string_view command, std::string_view message, int status = kExitBadInput);

// A key id as given on the command line: exactly 8 bytes.
bool parse_key_id(std::string_view text, update_proto::KeyId& id);

// The id as text when all 8 bytes are printable ASCII, else "hex:" and 16 digits.
std::string key_id_display(const update_proto::KeyId& id);

}  // namespace vostal::manifest_tool
