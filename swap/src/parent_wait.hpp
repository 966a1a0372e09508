// Waiting for the application that started the updater to go away, by asking
// `tasklist` for its process id until it is no longer listed.
#pragma once

#include <chrono>
#include <cstdint>
#include <expected>
#include <vector>

#include "stage.hpp"
#include "vostal/platform.hpp"

namespace vostal {

inline constexpr std::chrono::seconds PARENT_WAIT_TIMEOUT{30};
inline constexpr std::chrono::milliseconds PARENT_POLL_INTERVAL{200};
inline constexpr std::chrono::milliseconds EXIT_SETTLE_DELAY{800};
// A `tasklist` that never ends must not hold the wait open, so each poll is
// killed at the deadline, or this long after it started, whichever is later.
// The allowance lets a poll that starts just before or after the deadline
// (the last pause can carry it past) still finish and find the parent gone.
inline constexpr std::chrono::seconds LATE_POLL_ALLOWANCE{1};

// "/NH", "/FO", "CSV", "/FI", "PID eq <pid>": one process, CSV, no header.
std::vector<OsString> tasklist_arguments(std::uint32_t parent_pid);

// One poll. Yes when the id in double quotes occurs in `tasklist`'s standard
// output, and also when `tasklist` cannot be found or started, or is still
// running at `kill_at` (then it is killed): the parent counts as running.
bool parent_is_listed(Platform& os, std::uint32_t parent_pid, MonotonicTime kill_at);

// Polls until the parent is gone, then settles for EXIT_SETTLE_DELAY. If it
// is still listed at the first poll that ends at or after PARENT_WAIT_TIMEOUT,
// prints the time-out line and fails with stage `wait_parent`.
std::expected<void, StepFailure> wait_for_parent_exit(Platform& os, std::uint32_t parent_pid);

}  // namespace vostal
