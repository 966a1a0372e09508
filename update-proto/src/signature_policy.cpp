// The signature policy: bound the input, decode the body, insist on the one
// layout version, then count distinct trusted, non-revoked keys whose strict
// Ed25519 signature over all of body_bytes verifies.
#include "update_proto/signature_policy.hpp"

#include <algorithm>
#include <string>

#include "update_proto/ed25519.hpp"

namespace update_proto {
namespace {

// The revoked ids, sorted once so that each entry costs a binary search.
// A sorted vector keeps the outcome independent of any hashing seed, and an
// id listed twice is simply found either way.
class RevokedSet {
 public:
  explicit RevokedSet(const std::vector<KeyId>& ids) : ids_(ids) { std::sort(ids_.begin(), ids_.end()); }
  bool contains(const KeyId& id) const { return std::binary_search(ids_.begin(), ids_.end(), id); }

 private:
  std::vector<KeyId> ids_;
};

const TrustedKey* find_key(std::span<const TrustedKey> keys, const KeyId& id) {
  for (const TrustedKey& key : keys) {
    if (key.key_id == id) return &key;
  }
  return nullptr;
}

bool is_empty_slot(const TrustedKey& key) {
  return std::all_of(key.public_key.begin(), key.public_key.end(), [](std::uint8_t b) { return b == 0; });
}

}  // namespace

std::vector<EntryVerdict> examine_signatures(const SignedManifest& manifest,
                                             const ManifestBody& body,
                                             std::span<const TrustedKey> keys) {
  const RevokedSet revoked(body.revoked_key_ids);
  // Only ids of the key table can enter, so this stays as small as the table.
  std::vector<KeyId> counted;
  std::vector<EntryVerdict> verdicts;
  verdicts.reserve(manifest.signatures.size());

  // Every entry is examined, also once the threshold is reached, so that a
  // report shows them all; the outcome would be the same either way.
  for (const ManifestSignature& entry : manifest.signatures) {
    const TrustedKey* key = find_key(keys, entry.key_id);
    EntryVerdict verdict;
    if (revoked.contains(entry.key_id)) {
      verdict = EntryVerdict::Revoked;
    } else if (key == nullptr) {
      verdict = EntryVerdict::UnknownId;
    } else if (is_empty_slot(*key)) {
      verdict = EntryVerdict::EmptySlot;
    } else if (entry.signature.size() != SIGNATURE_LENGTH) {
      verdict = EntryVerdict::WrongLength;
    } else if (!verify_ed25519_strict(key->public_key, manifest.body_bytes, entry.signature)) {
      // Also a key that does not decode to a curve point.
      verdict = EntryVerdict::Invalid;
    } else if (std::find(counted.begin(), counted.end(), entry.key_id) != counted.end()) {
      verdict = EntryVerdict::SameKeyAgain;
    } else {
      counted.push_back(entry.key_id);
      verdict = EntryVerdict::Counted;
    }
    verdicts.push_back(verdict);
  }
  return verdicts;
}

std::expected<ManifestBody, Failure> verify_manifest(const SignedManifest& manifest,
                                                     std::span<const TrustedKey> keys) {
  // Both limits come before any decoding or cryptography, so one call does at
  // most MAX_SIGNATURES verifications over at most MAX_BODY_BYTES each.
  if (manifest.body_bytes.size() > MAX_BODY_BYTES) {
    return std::unexpected(Failure{"manifest body_bytes too large: " +
                                   std::to_string(manifest.body_bytes.size()) + " > " +
                                   std::to_string(MAX_BODY_BYTES)});
  }
  if (manifest.signatures.size() > MAX_SIGNATURES) {
    return std::unexpected(Failure{"too many signatures: " + std::to_string(manifest.signatures.size()) +
                                   " > " + std::to_string(MAX_SIGNATURES)});
  }
  auto body = decode_manifest_body(manifest.body_bytes);
  if (!body) {
    return std::unexpected(Failure{"decode manifest body: " + std::string(to_string(body.error()))});
  }
  if (body->spec_version != EXPECTED_SPEC_VERSION) {
    return std::unexpected(Failure{"manifest spec_version " + std::to_string(body->spec_version) +
                                   " != expected " + std::to_string(EXPECTED_SPEC_VERSION) +
                                   " (client too old?)"});
  }
  const std::vector<EntryVerdict> verdicts = examine_signatures(manifest, *body, keys);
  const auto distinct = static_cast<std::uint64_t>(std::count(verdicts.begin(), verdicts.end(), EntryVerdict::Counted));
  if (distinct < SIGNATURE_THRESHOLD) {
    return std::unexpected(Failure{"threshold not met: " + std::to_string(distinct) +
                                   " distinct valid signature(s), need " +
                                   std::to_string(SIGNATURE_THRESHOLD)});
  }
  return std::move(*body);
}

std::expected<ManifestBody, Failure> verify_manifest(const SignedManifest& manifest) {
  return verify_manifest(manifest, TRUSTED_KEYS);
}

}  // namespace update_proto
