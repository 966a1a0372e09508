// The one-line JSON file a failed run leaves next to the executable it was
// meant to replace: {"stage":"...","message":"..."}.
#pragma once

#include <string>
#include <string_view>

#include "stage.hpp"
#include "vostal/platform.hpp"

namespace vostal {

// `current_exe` with ".swap-status" appended to its whole text.
OsString status_path(const OsString& current_exe);

// Backslash and double quote are escaped, in that order. Control characters
// U+0000 to U+001F are escaped too (\n, \r, \t, \b, \f, \u00XX), so the file
// is always valid JSON; every other byte is kept as it is.
std::string escape_message(std::string_view message);

// The file's exact content, without a line ending.
std::string status_text(Stage stage, std::string_view message);

// Creates or truncates the file and writes the text. A failure to write is
// dropped: the run goes on, and ends, exactly as it would otherwise.
void write_status(Platform& os, const OsString& path, Stage stage, std::string_view message);

}  // namespace vostal
