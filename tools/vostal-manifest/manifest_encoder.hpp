// The producer's side of the manifest encoding: turns records into the exact
// bytes that update_proto decodes. The updater never links this; it is for the
// vostal-manifest tool, tests and benchmarks.
//
// Target: manifest_encoder (static library; it also carries manifest_signer.hpp).
//
//   #include "manifest_encoder.hpp"
//   #include "manifest_signer.hpp"
//
//   update_proto::ManifestBody body;
//   body.spec_version = 2;
//   body.binary_sha256 = digest_of_the_staged_exe;
//   body.built_at = now;  body.expires_at = now + 86400;
//   std::vector<std::uint8_t> body_bytes = vostal::encode_manifest_body(body);
//
//   auto seed = vostal::read_seed_file("keys/dev/DEV-K01_.seed");   // expected<Seed, std::string>
//   update_proto::SignedManifest manifest{body_bytes, {}};
//   manifest.signatures.push_back({vostal::key_id_from_text("DEV-K01_"),
//                                  vostal::sign_ed25519_vector(*seed, body_bytes)});
//   std::vector<std::uint8_t> file = vostal::encode_signed_manifest(manifest);
//
// ByteWriter writes the primitive encodings one by one, for hand-made (also
// deliberately malformed) inputs.
#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "update_proto/records.hpp"

namespace vostal {

// Appends the compact encoding's primitives to a byte vector.
class ByteWriter {
 public:
  ByteWriter& write_u16(std::uint16_t value);
  ByteWriter& write_u64(std::uint64_t value);
  ByteWriter& write_i64(std::int64_t value);  // zig-zag, then varint
  ByteWriter& write_length(std::uint64_t length);
  ByteWriter& write_array(std::span<const std::uint8_t> bytes);  // raw, no length
  ByteWriter& write_bytes(std::span<const std::uint8_t> bytes);  // length, then bytes
  ByteWriter& write_string(std::string_view text);               // length, then bytes (not validated)
  ByteWriter& write_raw(std::span<const std::uint8_t> bytes) { return write_array(bytes); }

  const std::vector<std::uint8_t>& bytes() const& { return bytes_; }
  std::vector<std::uint8_t> bytes() && { return std::move(bytes_); }

 private:
  std::vector<std::uint8_t> bytes_;
};

// The shortest varint form of a value, and the zig-zag mapping of a signed one.
std::vector<std::uint8_t> encode_varint(std::uint64_t value);
std::uint64_t zigzag(std::int64_t value);

// A ManifestBody in wire order: the bytes that signers sign.
std::vector<std::uint8_t> encode_manifest_body(const update_proto::ManifestBody& body);

// A whole manifest file: body_bytes as they are, then the signature list.
std::vector<std::uint8_t> encode_signed_manifest(const update_proto::SignedManifest& manifest);

// "DEV-K01_" -> its eight bytes. The text must be exactly 8 bytes long;
// anything else is a programming error and gives an all-zero id.
update_proto::KeyId key_id_from_text(std::string_view text);

}  // namespace vostal
