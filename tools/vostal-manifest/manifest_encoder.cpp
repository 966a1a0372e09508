// The manifest encoding, written: the mirror image of update_proto's reader,
// always in the shortest varint forms.
#include "manifest_encoder.hpp"

#include <algorithm>

namespace vostal {

std::vector<std::uint8_t> encode_varint(std::uint64_t value) {
  std::vector<std::uint8_t> out;
  while (value >= 0x80) {
    out.push_back(static_cast<std::uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<std::uint8_t>(value));
  return out;
}

std::uint64_t zigzag(std::int64_t value) {
  // (n << 1) XOR (n >> 63, sign-filling), done on the unsigned bits so that
  // shifting a negative value is well defined.
  const auto bits = static_cast<std::uint64_t>(value);
  const std::uint64_t sign = value < 0 ? ~std::uint64_t{0} : 0;
  return (bits << 1) ^ sign;
}

ByteWriter& ByteWriter::write_u16(std::uint16_t value) { return write_u64(value); }

ByteWriter& ByteWriter::write_u64(std::uint64_t value) {
  const auto encoded = encode_varint(value);
  bytes_.insert(bytes_.end(), encoded.begin(), encoded.end());
  return *this;
}

ByteWriter& ByteWriter::write_i64(std::int64_t value) { return write_u64(zigzag(value)); }

ByteWriter& ByteWriter::write_length(std::uint64_t length) { return write_u64(length); }

ByteWriter& ByteWriter::write_array(std::span<const std::uint8_t> bytes) {
  bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
  return *this;
}

ByteWriter& ByteWriter::write_bytes(std::span<const std::uint8_t> bytes) {
  write_length(bytes.size());
  return write_array(bytes);
}

ByteWriter& ByteWriter::write_string(std::string_view text) {
  write_length(text.size());
  bytes_.insert(bytes_.end(), text.begin(), text.end());
  return *this;
}

std::vector<std::uint8_t> encode_manifest_body(const update_proto::ManifestBody& body) {
  ByteWriter out;
  out.write_u16(body.spec_version)
      .write_u64(body.opaque_number_1)
      .write_string(body.opaque_text_1)
      .write_array(body.binary_sha256)
      .write_i64(body.built_at)
      .write_i64(body.expires_at)
      .write_string(body.opaque_text_2)
      .write_u64(body.opaque_number_2)
      .write_string(body.opaque_text_3)
      .write_string(body.opaque_text_4)
      .write_length(body.revoked_key_ids.size());
  for (const auto& id : body.revoked_key_ids) out.write_array(id);
  return std::move(out).bytes();
}

std::vector<std::uint8_t> encode_signed_manifest(const update_proto::SignedManifest& manifest) {
  ByteWriter out;
  out.write_bytes(manifest.body_bytes).write_length(manifest.signatures.size());
  for (const auto& entry : manifest.signatures) {
    out.write_array(entry.key_id).write_bytes(entry.signature);
  }
  return std::move(out).bytes();
}

update_proto::KeyId key_id_from_text(std::string_view text) {
  update_proto::KeyId id{};
  if (text.size() == id.size()) std::copy(text.begin(), text.end(), id.begin());
  return id;
}

}  // namespace vostal
