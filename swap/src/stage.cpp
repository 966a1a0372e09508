#include "stage.hpp"

namespace vostal {

std::string_view stage_word(Stage stage) noexcept {
  switch (stage) {
    case Stage::wait_parent: return "wait_parent";
    case Stage::manifest_read: return "manifest_read";
    case Stage::manifest_decode: return "manifest_decode";
    case Stage::manifest_verify: return "manifest_verify";
    case Stage::manifest_stale: return "manifest_stale";
    case Stage::binary_read: return "binary_read";
    case Stage::hash_mismatch: return "hash_mismatch";
    case Stage::backup: return "backup";
    case Stage::install: return "install";
    case Stage::launch: return "launch";
  }
  return "";
}

int exit_status(Stage stage) noexcept {
  switch (stage) {
    case Stage::hash_mismatch:
      return EXIT_HASH_MISMATCH;
    case Stage::manifest_read:
    case Stage::manifest_decode:
    case Stage::manifest_verify:
    case Stage::manifest_stale:
    case Stage::binary_read:
      return EXIT_VERIFICATION_FAILED;
    case Stage::wait_parent:
    case Stage::backup:
    case Stage::install:
      return EXIT_ABORTED;
    case Stage::launch:
      // The new executable is in place; only starting it failed.
      return EXIT_RUN_COMPLETED;
  }
  return EXIT_ABORTED;
}

}  // namespace vostal
