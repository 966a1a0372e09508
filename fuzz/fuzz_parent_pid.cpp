// Arbitrary bytes as the parent_pid argument, and the same bytes split at NUL
// into a whole argument vector.
//
// The reader is compared with std::from_chars, an independent decimal parser:
// a text is accepted exactly when, after at most one leading "+", it is a
// non-empty run of ASCII digits whose value fits 32 bits, and then both agree
// on the value. The command line as a whole must either yield arguments whose
// pid is what the reader gives for the third argument, or refuse with the
// line for the first argument that is missing, not text or refused.

#include <algorithm>
#include <charconv>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#include "command_line.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

std::optional<std::uint32_t> reference_pid(std::string_view text) {
  if (text.starts_with('+')) text.remove_prefix(1);
  if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; })) {
    return std::nullopt;
  }
  std::uint32_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc{} || end != text.data() + text.size()) return std::nullopt;
  return value;
}

// Bytes widened one by one, so the target means the same with either OS
// string type.
vostal::OsString os_string(std::string_view bytes) {
  vostal::OsString out;
  for (const char c : bytes) out.push_back(static_cast<vostal::OsChar>(static_cast<unsigned char>(c)));
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  const auto pid = vostal::read_parent_pid(os_string(bytes));
  check(pid == reference_pid(bytes));

  std::vector<vostal::OsString> arguments{os_string("vostal-swap")};
  std::size_t start = 0;
  while (start <= bytes.size()) {
    const std::size_t nul = std::min(bytes.find('\0', start), bytes.size());
    arguments.push_back(os_string(bytes.substr(start, nul - start)));
    start = nul + 1;
  }
  const auto command_line = vostal::read_command_line(arguments);
  if (command_line) {
    check(arguments.size() >= 5);
    check(command_line->current_exe == arguments[1]);
    check(command_line->new_exe == arguments[2]);
    check(command_line->manifest_path == arguments[4]);
    check(vostal::read_parent_pid(arguments[3]) == command_line->parent_pid);
  } else {
    // The first argument that is missing, not text, or (the third) not a
    // valid pid decides the one line printed.
    static constexpr std::string_view names[] = {"current_exe", "new_exe", "parent_pid", "manifest_path"};
    static constexpr std::string_view missing[] = {
        "usage: vostal-swap <current_exe> <new_exe> <parent_pid> <manifest_path>\n", "missing new_exe\n",
        "missing parent_pid\n", "missing manifest_path\n"};
    std::string expected;
    for (std::size_t i = 0; i < 4 && expected.empty(); ++i) {
      if (i + 1 >= arguments.size()) {
        expected = missing[i];
      } else if (!vostal::is_valid_text(arguments[i + 1])) {
        expected = std::string(names[i]) + " is not valid Unicode text\n";
      } else if (i == 2 && !vostal::read_parent_pid(arguments[i + 1])) {
        expected = "bad parent_pid '" + vostal::to_utf8(arguments[i + 1]) + "'\n";
      }
    }
    check(command_line.error() == expected);
  }
  return 0;
}
