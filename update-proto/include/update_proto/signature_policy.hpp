// Whether a SignedManifest may be trusted: size and count limits, the body's
// layout version, and strict Ed25519 signatures from at least two distinct,
// non-revoked keys of the trusted table.
#pragma once

#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string_view>
#include <vector>

#include "update_proto/failure.hpp"
#include "update_proto/records.hpp"
#include "update_proto/trusted_keys.hpp"

namespace update_proto {

inline constexpr std::uint64_t MAX_BODY_BYTES = 16384;
inline constexpr std::uint64_t MAX_SIGNATURES = 16;
inline constexpr std::uint16_t EXPECTED_SPEC_VERSION = 2;
inline constexpr std::size_t SIGNATURE_LENGTH = 64;
inline constexpr std::uint64_t SIGNATURE_THRESHOLD = 2;

// Why one signature entry counts or not, in the order the tests are applied.
enum class EntryVerdict {
  Counted,        // passed every test; its key id joins the counted set
  SameKeyAgain,   // passed every test, but its key id was already counted
  Revoked,        // key id listed in revoked_key_ids
  UnknownId,      // key id not in the trusted table
  EmptySlot,      // the table's public key for this id is all zeros
  WrongLength,    // signature is not exactly 64 bytes
  Invalid,        // key does not decode, or the signature does not verify
};

std::string_view to_string(EntryVerdict verdict) noexcept;

// The verdict for every entry of `manifest.signatures`, in list order, judged
// against `keys` and the revocations of `body` (decoded from the same manifest).
std::vector<EntryVerdict> examine_signatures(const SignedManifest& manifest,
                                             const ManifestBody& body,
                                             std::span<const TrustedKey> keys);

// The policy against the built-in TRUSTED_KEYS. On success the decoded body
// passes to the caller.
std::expected<ManifestBody, Failure> verify_manifest(const SignedManifest& manifest);

// The same policy against another key table (tests, tools).
std::expected<ManifestBody, Failure> verify_manifest(const SignedManifest& manifest,
                                                     std::span<const TrustedKey> keys);

}  // namespace update_proto
