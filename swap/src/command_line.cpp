#include "command_line.hpp"

#include <limits>

namespace vostal {

std::optional<std::uint32_t> read_parent_pid(OsStringView text) {
  if (text.empty() || text == VOSTAL_OS("+") || text == VOSTAL_OS("-")) return std::nullopt;
  if (text.front() == '+') text.remove_prefix(1);
  std::uint64_t value = 0;
  for (const OsChar c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<std::uint64_t>(c - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return std::nullopt;
  }
  return static_cast<std::uint32_t>(value);
}

std::expected<SwapArgs, std::string> read_command_line(std::span<const OsString> arguments) {
  // argv[0] is the program's own name; an empty vector (possible on POSIX)
  // simply has no arguments after it.
  if (!arguments.empty()) arguments = arguments.subspan(1);
  std::size_t next = 0;

  // Takes the next argument. The rest of the program writes paths into UTF-8
  // messages and the status file, so text that is not valid Unicode is
  // refused here, before anything is done with it.
  enum class Taken { ok, missing, not_text };
  auto take = [&](OsString& into) {
    if (next >= arguments.size()) return Taken::missing;
    into = arguments[next++];
    return is_valid_text(into) ? Taken::ok : Taken::not_text;
  };
  auto not_text = [](std::string_view name) { return std::string(name) + " is not valid Unicode text\n"; };

  SwapArgs args;
  switch (take(args.current_exe)) {
    case Taken::missing: return std::unexpected("usage: vostal-swap <current_exe> <new_exe> <parent_pid> <manifest_path>\n");
    case Taken::not_text: return std::unexpected(not_text("current_exe"));
    case Taken::ok: break;
  }
  switch (take(args.new_exe)) {
    case Taken::missing: return std::unexpected("missing new_exe\n");
    case Taken::not_text: return std::unexpected(not_text("new_exe"));
    case Taken::ok: break;
  }
  OsString pid_text;
  switch (take(pid_text)) {
    case Taken::missing: return std::unexpected("missing parent_pid\n");
    case Taken::not_text: return std::unexpected(not_text("parent_pid"));
    case Taken::ok: break;
  }
  const auto pid = read_parent_pid(pid_text);
  if (!pid) return std::unexpected("bad parent_pid '" + to_utf8(pid_text) + "'\n");
  args.parent_pid = *pid;
  switch (take(args.manifest_path)) {
    case Taken::missing: return std::unexpected("missing manifest_path\n");
    case Taken::not_text: return std::unexpected(not_text("manifest_path"));
    case Taken::ok: break;
  }
  return args;
}

}  // namespace vostal
