// The words that name the step at which a run stopped, and what each one
// makes the process's exit status.
#pragma once

#include <string>
#include <string_view>

namespace vostal {

enum class Stage {
  wait_parent,
  manifest_read,
  manifest_decode,
  manifest_verify,
  manifest_stale,
  binary_read,
  hash_mismatch,
  backup,
  install,
  launch,
};

// Exit statuses of the program.
inline constexpr int EXIT_RUN_COMPLETED = 0;         // installed; started, or stage `launch`
inline constexpr int EXIT_COMMAND_LINE_REFUSED = 1;
inline constexpr int EXIT_HASH_MISMATCH = 2;
inline constexpr int EXIT_VERIFICATION_FAILED = 3;   // every other verification stage
inline constexpr int EXIT_ABORTED = 4;               // wait_parent, backup, install

// The word as it appears on standard error and in the status file.
std::string_view stage_word(Stage stage) noexcept;

int exit_status(Stage stage) noexcept;

// Why a step ended the run: the stage word's enum and the message that goes
// with it, already in display form.
struct StepFailure {
  Stage stage;
  std::string message;

  friend bool operator==(const StepFailure&, const StepFailure&) = default;
};

}  // namespace vostal
