// Dispatch to the commands, and the helpers they share.
#include <algorithm>
#include <exception>

#include "commands.hpp"
#include "manifest_signer.hpp"

namespace vostal::manifest_tool {
namespace {

constexpr std::string_view kUsage =
    "usage: vostal-manifest <command> ...\n"
    "  keygen  --id ID --out DIR\n"
    "  body    --exe FILE (--expires-at T | --expires-in DURATION) [--built-at T] [--revoke ID]...\n"
    "          [--spec-version N] [--opaque-number-1 N] [--opaque-number-2 N]\n"
    "          [--opaque-text-1 S] [--opaque-text-2 S] [--opaque-text-3 S] [--opaque-text-4 S] --out FILE\n"
    "  sign    --body FILE --key SEED [--key SEED]... --out FILE\n"
    "  sign    --manifest FILE --key SEED [--key SEED]... [--out FILE]\n"
    "  inspect FILE [--exe FILE] [--now T] [--json]\n"
    "times: seconds since 1970 or YYYY-MM-DDTHH:MM:SSZ; durations: 45s, 90m, 12h, 30d, 2w\n";

}  // namespace

int report_error(std::ostream& err, std::string_view command, std::string_view message, int status) {
  // One line, whatever the message holds.
  std::string line(message);
  std::replace(line.begin(), line.end(), '\n', ' ');
  err << "vostal-manifest";
  if (!command.empty()) err << " " << command;
  err << ": " << line << "\n";
  return status;
}

bool parse_key_id(std::string_view text, update_proto::KeyId& id) {
  if (text.size() != id.size()) return false;
  std::copy(text.begin(), text.end(), id.begin());
  return true;
}

std::string key_id_display(const update_proto::KeyId& id) {
  const bool printable = std::all_of(id.begin(), id.end(), [](std::uint8_t b) { return b >= 0x20 && b < 0x7F; });
  if (printable) return std::string(id.begin(), id.end());
  return "hex:" + to_hex(id);
}

namespace {

int dispatch(std::span<const std::string> args, const ToolContext& context, std::ostream& out, std::ostream& err) {
  if (args.empty()) {
    err << kUsage;
    return kExitUsage;
  }
  const std::string& command = args.front();
  const auto rest = args.subspan(1);
  if (command == "keygen") return run_keygen(rest, context, out, err);
  if (command == "body") return run_body(rest, context, out, err);
  if (command == "sign") return run_sign(rest, context, out, err);
  if (command == "inspect") return run_inspect(rest, context, out, err);
  if (command == "help" || command == "--help" || command == "-h") {
    out << kUsage;
    return kExitOk;
  }
  return report_error(err, "", "unknown command '" + command + "' (keygen, body, sign, inspect)", kExitUsage);
}

}  // namespace

int run_tool(std::span<const std::string> args, const ToolContext& context, std::ostream& out, std::ostream& err) {
  // The commands report their failures as values; this only keeps anything
  // unforeseen from the standard library (out of memory, a path the system
  // cannot convert) to the same one-line form.
  try {
    return dispatch(args, context, out, err);
  } catch (const std::exception& e) {
    return report_error(err, "", e.what());
  }
}

}  // namespace vostal::manifest_tool
