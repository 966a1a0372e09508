// Arbitrary bytes through what the updater does with a manifest file: decode
// it, then run the signature policy against the built-in keys.
//
// Checks, for any input: a refusal carries one of the policy's messages; an
// accepted manifest is within the limits, its returned body is exactly the
// decoding of body_bytes, and it carries 64-byte signatures from at least two
// distinct, non-revoked ids of the key table.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string_view>
#include <vector>

#include "update_proto/records.hpp"
#include "update_proto/signature_policy.hpp"
#include "update_proto/trusted_keys.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

bool starts_with_one_of(std::string_view text, std::initializer_list<std::string_view> prefixes) {
  return std::any_of(prefixes.begin(), prefixes.end(), [&](std::string_view p) { return text.starts_with(p); });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const auto manifest = update_proto::decode_signed_manifest(std::span<const std::uint8_t>(data, size));
  if (!manifest) return 0;

  const auto verdict = update_proto::verify_manifest(*manifest);
  if (!verdict) {
    check(starts_with_one_of(verdict.error().message,
                             {"manifest body_bytes too large: ", "too many signatures: ", "decode manifest body: ",
                              "manifest spec_version ", "threshold not met: "}));
    return 0;
  }

  check(manifest->body_bytes.size() <= update_proto::MAX_BODY_BYTES);
  check(manifest->signatures.size() <= update_proto::MAX_SIGNATURES);
  check(verdict->spec_version == update_proto::EXPECTED_SPEC_VERSION);
  const auto body = update_proto::decode_manifest_body(manifest->body_bytes);
  check(body.has_value() && *body == *verdict);

  std::vector<update_proto::KeyId> eligible;
  for (const auto& entry : manifest->signatures) {
    const bool trusted = std::any_of(update_proto::TRUSTED_KEYS.begin(), update_proto::TRUSTED_KEYS.end(),
                                     [&](const update_proto::TrustedKey& k) { return k.key_id == entry.key_id; });
    const bool revoked = std::find(verdict->revoked_key_ids.begin(), verdict->revoked_key_ids.end(),
                                   entry.key_id) != verdict->revoked_key_ids.end();
    if (trusted && !revoked && entry.signature.size() == update_proto::SIGNATURE_LENGTH &&
        std::find(eligible.begin(), eligible.end(), entry.key_id) == eligible.end()) {
      eligible.push_back(entry.key_id);
    }
  }
  check(eligible.size() >= update_proto::SIGNATURE_THRESHOLD);
  return 0;
}
