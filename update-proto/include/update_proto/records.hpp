// The three manifest records and their decoders.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "update_proto/byte_reader.hpp"

namespace update_proto {

using KeyId = std::array<std::uint8_t, 8>;
using Sha256Digest = std::array<std::uint8_t, 32>;

struct ManifestSignature {
  KeyId key_id{};
  std::vector<std::uint8_t> signature;  // any length decodes; policy counts only 64 bytes

  friend bool operator==(const ManifestSignature&, const ManifestSignature&) = default;
};

// The whole content of a manifest file.
struct SignedManifest {
  std::vector<std::uint8_t> body_bytes;  // the encoded ManifestBody, exactly as signed
  std::vector<ManifestSignature> signatures;

  friend bool operator==(const SignedManifest&, const SignedManifest&) = default;
};

// The content of body_bytes, fields in wire order.
struct ManifestBody {
  std::uint16_t spec_version = 0;
  std::uint64_t opaque_number_1 = 0;
  std::string opaque_text_1;
  Sha256Digest binary_sha256{};
  std::int64_t built_at = 0;
  std::int64_t expires_at = 0;
  std::string opaque_text_2;
  std::uint64_t opaque_number_2 = 0;
  std::string opaque_text_3;
  std::string opaque_text_4;
  std::vector<KeyId> revoked_key_ids;

  friend bool operator==(const ManifestBody&, const ManifestBody&) = default;
};

// Bytes after the signature list are ignored.
Decoded<SignedManifest> decode_signed_manifest(std::span<const std::uint8_t> bytes);

// Bytes after revoked_key_ids are ignored (they remain part of what is signed).
Decoded<ManifestBody> decode_manifest_body(std::span<const std::uint8_t> body_bytes);

}  // namespace update_proto
