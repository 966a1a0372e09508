// The only step that changes the installed program: move it aside, move the
// staged executable into its place (moving the old one back if that fails),
// clear the finished update's files and start the new executable.
#pragma once

#include <expected>

#include "command_line.hpp"
#include "stage.hpp"
#include "vostal/platform.hpp"

namespace vostal {

// `current_exe` with ".bak" appended to its whole text.
OsString backup_path(const OsString& current_exe);

// Fails with stage `backup` or `install` (the files as the failure left them,
// after the restore for `install`) or with stage `launch` (everything swapped,
// only the start failed). Each failure's line is already printed; the caller
// writes the status file.
std::expected<void, StepFailure> swap_and_relaunch(Platform& os, const SwapArgs& args, const OsString& status_path);

}  // namespace vostal
