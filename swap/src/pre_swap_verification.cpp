#include "pre_swap_verification.hpp"

#include <algorithm>

#include "update_proto/update_proto.hpp"

namespace vostal {
namespace {

// FILETIME of 1970-01-01 00:00:00 UTC.
constexpr std::uint64_t UNIX_EPOCH_FILETIME = 116444736000000000;
constexpr std::uint64_t FILETIME_TICKS_PER_SECOND = 10000000;

StepFailure failure(Stage stage, std::string message) { return StepFailure{stage, std::move(message)}; }

}  // namespace

std::string digest_hex(std::span<const std::uint8_t, 32> digest) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  std::string hex;
  hex.reserve(64);
  for (const std::uint8_t byte : digest) {
    hex += DIGITS[byte >> 4];
    hex += DIGITS[byte & 0xF];
  }
  return hex;
}

std::int64_t filetime_to_unix_seconds(std::uint64_t filetime) {
  if (filetime < UNIX_EPOCH_FILETIME) return 0;
  return static_cast<std::int64_t>((filetime - UNIX_EPOCH_FILETIME) / FILETIME_TICKS_PER_SECOND);
}

std::expected<void, StepFailure> verify_staged_update(Platform& os, const OsString& manifest_path,
                                                      const OsString& new_exe) {
  update_proto::Sha256Digest expected_digest{};
  {
    // The manifest's bytes and records live only inside this block.
    const auto bytes = os.read_file(manifest_path);
    if (!bytes) return std::unexpected(failure(Stage::manifest_read, to_utf8(manifest_path) + ": " + bytes.error().text));

    const auto manifest = update_proto::decode_signed_manifest(*bytes);
    if (!manifest) {
      return std::unexpected(failure(Stage::manifest_decode,
                                     std::string(ENCODING_LABEL) + ": " + std::string(update_proto::to_string(manifest.error()))));
    }

    const auto body = update_proto::verify_manifest(*manifest);
    if (!body) return std::unexpected(failure(Stage::manifest_verify, body.error().message));

    const std::int64_t now = filetime_to_unix_seconds(os.now_filetime());
    if (auto fresh = update_proto::check_freshness(*body, now); !fresh) {
      return std::unexpected(failure(Stage::manifest_stale, fresh.error().message));
    }
    expected_digest = body->binary_sha256;
  }

  // The executable is hashed as it is read, in bounded memory, rather than
  // held whole: the digest is the same and its size does not matter.
  const auto computed = os.sha256_file(new_exe);
  if (!computed) return std::unexpected(failure(Stage::binary_read, to_utf8(new_exe) + ": " + computed.error().text));

  if (!std::ranges::equal(*computed, expected_digest)) {
    return std::unexpected(failure(Stage::hash_mismatch,
                                   "expected sha256 " + digest_hex(expected_digest) + " got " + digest_hex(*computed)));
  }
  return {};
}

void discard_staged_update(Platform& os, const SwapArgs& args, const StepFailure& failure) {
  os.write_stderr("[updater] pre-swap verification failed at '" + std::string(stage_word(failure.stage)) +
                  "': " + failure.message + "\n");
  (void)os.delete_file(args.new_exe);
  (void)os.delete_file(args.manifest_path);
}

}  // namespace vostal
