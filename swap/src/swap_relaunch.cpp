#include "swap_relaunch.hpp"

#include "program_search.hpp"

namespace vostal {

OsString backup_path(const OsString& current_exe) { return current_exe + VOSTAL_OS(".bak"); }

std::expected<void, StepFailure> swap_and_relaunch(Platform& os, const SwapArgs& args, const OsString& status_path) {
  os.write_stderr("[updater] parent exited and staged binary verified, swapping\n");
  const OsString backup = backup_path(args.current_exe);
  (void)os.delete_file(backup);  // usually absent; a leftover that stays is replaced by the rename

  if (auto moved = os.rename_file(args.current_exe, backup); !moved) {
    os.write_stderr("[updater] backup failed: " + moved.error().text + "\n");
    return std::unexpected(StepFailure{Stage::backup, moved.error().text});
  }
  if (auto installed = os.rename_file(args.new_exe, args.current_exe); !installed) {
    os.write_stderr("[updater] install failed: " + installed.error().text + "; restoring old\n");
    // Whether the restore works or not, the report is about the install.
    (void)os.rename_file(backup, args.current_exe);
    return std::unexpected(StepFailure{Stage::install, installed.error().text});
  }

  (void)os.delete_file(args.manifest_path);
  (void)os.delete_file(status_path);  // a report left by an earlier run
  os.write_stderr("[updater] swap done, launching " + to_utf8(args.current_exe) + "\n");

  const auto executable = find_program(os, args.current_exe);
  const auto launched =
      executable ? os.launch(*executable, args.current_exe) : std::expected<void, SystemError>(std::unexpect, executable.error());
  if (!launched) {
    os.write_stderr("[updater] launch failed: " + launched.error().text + "\n");
    return std::unexpected(StepFailure{Stage::launch, launched.error().text});
  }
  os.write_stderr("[updater] launched\n");
  return {};
}

}  // namespace vostal
