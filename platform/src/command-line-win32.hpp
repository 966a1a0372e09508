// Building a Windows command line that the C runtime (and
// CommandLineToArgvW) splits back into exactly the arguments given.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace vostal::win32 {

// One argument in the form the standard splitting rules read back unchanged:
// left bare when it has no space, tab, line feed, vertical tab or double
// quote and is not empty; otherwise enclosed in double quotes, with each
// double quote preceded by a backslash and every run of backslashes that
// precedes a double quote (or the closing quote) doubled.
std::wstring quote_argument(std::wstring_view argument);

// The program's own name (argv[0]) follows a rule of its own in the C
// runtime: up to the next double quote when it starts with one, with no
// backslash escapes. A path cannot contain a double quote, so enclosing it
// in double quotes always reads back right.
std::wstring quote_program(std::wstring_view program);

// quote_program(program), then each argument quoted, separated by spaces.
std::wstring join_command_line(std::wstring_view program, std::span<const std::wstring> arguments);

}  // namespace vostal::win32
