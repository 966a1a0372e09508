#include "run.hpp"

#include "command_line.hpp"
#include "parent_wait.hpp"
#include "pre_swap_verification.hpp"
#include "stage.hpp"
#include "status_report.hpp"
#include "swap_relaunch.hpp"

namespace vostal {
namespace {

// Every failure after the command line ends the same way: its line has been
// printed and its own clean-up done; the status file comes last, then the
// exit status.
int finish_with(Platform& os, const OsString& status, const StepFailure& failure) {
  write_status(os, status, failure.stage, failure.message);
  return exit_status(failure.stage);
}

}  // namespace

int run(Platform& os, std::span<const OsString> arguments) {
  const auto command_line = read_command_line(arguments);
  if (!command_line) {
    os.write_stderr(command_line.error());
    return EXIT_COMMAND_LINE_REFUSED;
  }
  const SwapArgs& args = *command_line;
  const OsString status = status_path(args.current_exe);

  if (auto waited = wait_for_parent_exit(os, args.parent_pid); !waited) {
    return finish_with(os, status, waited.error());
  }
  if (auto verified = verify_staged_update(os, args.manifest_path, args.new_exe); !verified) {
    discard_staged_update(os, args, verified.error());
    return finish_with(os, status, verified.error());
  }
  if (auto swapped = swap_and_relaunch(os, args, status); !swapped) {
    return finish_with(os, status, swapped.error());
  }
  return EXIT_RUN_COMPLETED;
}

}  // namespace vostal
