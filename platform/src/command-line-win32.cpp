#include "command-line-win32.hpp"

#include <cstddef>

namespace vostal::win32 {

std::wstring quote_argument(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) {
    return std::wstring(argument);
  }
  std::wstring quoted;
  quoted.reserve(argument.size() + 2);
  quoted.push_back(L'"');
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
      continue;
    }
    if (c == L'"') {
      // 2n backslashes and \" read back as n backslashes and a quote.
      quoted.append(backslashes * 2 + 1, L'\\');
    } else {
      // Backslashes not followed by a quote are literal.
      quoted.append(backslashes, L'\\');
    }
    backslashes = 0;
    quoted.push_back(c);
  }
  // Before the closing quote they must be doubled so it stays a delimiter.
  quoted.append(backslashes * 2, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

std::wstring quote_program(std::wstring_view program) {
  std::wstring quoted;
  quoted.reserve(program.size() + 2);
  quoted.push_back(L'"');
  quoted.append(program);
  quoted.push_back(L'"');
  return quoted;
}

std::wstring join_command_line(std::wstring_view program, std::span<const std::wstring> arguments) {
  std::wstring line = quote_program(program);
  for (const std::wstring& argument : arguments) {
    line.push_back(L' ');
    line += quote_argument(argument);
  }
  return line;
}

}  // namespace vostal::win32
