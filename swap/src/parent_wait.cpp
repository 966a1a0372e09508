#include "parent_wait.hpp"

#include <algorithm>
#include <string>

#include "program_search.hpp"

namespace vostal {
namespace {

OsString decimal(std::uint32_t value) { return from_utf8(std::to_string(value)); }

}  // namespace

std::vector<OsString> tasklist_arguments(std::uint32_t parent_pid) {
  return {VOSTAL_OS("/NH"), VOSTAL_OS("/FO"), VOSTAL_OS("CSV"), VOSTAL_OS("/FI"),
          VOSTAL_OS("PID eq ") + decimal(parent_pid)};
}

bool parent_is_listed(Platform& os, std::uint32_t parent_pid, MonotonicTime kill_at) {
  const auto tasklist = find_program(os, VOSTAL_OS("tasklist"));
  if (!tasklist) return true;
  const auto arguments = tasklist_arguments(parent_pid);
  const auto output = os.run_captured(*tasklist, arguments, kill_at);
  if (!output || output->timed_out) return true;
  // The search text is plain ASCII. Decoding the output as UTF-8 with every
  // invalid sequence replaced by U+FFFD leaves each ASCII byte as it is and
  // never produces one, so the text occurs in the decoded output exactly when
  // it occurs in the raw bytes; the bytes are searched directly.
  // Built by appending: GCC 12 at -O3 reports a false -Wrestrict for
  // `"\"" + std::to_string(...)`, which breaks Release builds under -Werror.
  std::string needle = "\"";
  needle += std::to_string(parent_pid);
  needle += '"';
  return output->standard_output.find(needle) != std::string::npos;
}

std::expected<void, StepFailure> wait_for_parent_exit(Platform& os, std::uint32_t parent_pid) {
  os.write_stderr("[updater] waiting for parent PID " + std::to_string(parent_pid) + " to exit...\n");
  const MonotonicTime deadline = os.monotonic_now() + PARENT_WAIT_TIMEOUT;
  for (;;) {
    const MonotonicTime kill_at = std::max(deadline, os.monotonic_now() + LATE_POLL_ALLOWANCE);
    if (!parent_is_listed(os, parent_pid, kill_at)) break;
    if (os.monotonic_now() >= deadline) {
      os.write_stderr("[updater] timeout waiting for parent exit; aborting\n");
      return std::unexpected(StepFailure{Stage::wait_parent, "timeout"});
    }
    os.sleep_for(PARENT_POLL_INTERVAL);
  }
  os.sleep_for(EXIT_SETTLE_DELAY);
  return {};
}

}  // namespace vostal
