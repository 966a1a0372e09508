// The manifest records: the file's SignedManifest and the signed ManifestBody,
// each decoded field by field in wire order. The first failing read ends the
// decode with its error, and nothing of the partial record survives.
#include "update_proto/records.hpp"

namespace update_proto {
namespace {

Decoded<ManifestSignature> read_signature(ByteReader& reader) {
  ManifestSignature out;
  auto key_id = reader.read_array<8>();
  if (!key_id) return std::unexpected(key_id.error());
  out.key_id = *key_id;
  auto signature = reader.read_bytes();
  if (!signature) return std::unexpected(signature.error());
  out.signature = std::move(*signature);
  return out;
}

Decoded<SignedManifest> read_signed_manifest(ByteReader& reader) {
  SignedManifest out;
  auto body = reader.read_bytes();
  if (!body) return std::unexpected(body.error());
  out.body_bytes = std::move(*body);
  auto signatures = reader.read_list(read_signature);
  if (!signatures) return std::unexpected(signatures.error());
  out.signatures = std::move(*signatures);
  return out;
}

// Assigns a successfully read field, or hands back the read's error.
template <class T, class U>
bool assign(T& field, Decoded<U>&& value, DecodeError& error) {
  if (!value) {
    error = value.error();
    return false;
  }
  field = std::move(*value);
  return true;
}

Decoded<ManifestBody> read_manifest_body(ByteReader& reader) {
  ManifestBody out;
  DecodeError error{};
  const bool ok = assign(out.spec_version, reader.read_u16(), error) &&
                  assign(out.opaque_number_1, reader.read_u64(), error) &&
                  assign(out.opaque_text_1, reader.read_string(), error) &&
                  assign(out.binary_sha256, reader.read_array<32>(), error) &&
                  assign(out.built_at, reader.read_i64(), error) &&
                  assign(out.expires_at, reader.read_i64(), error) &&
                  assign(out.opaque_text_2, reader.read_string(), error) &&
                  assign(out.opaque_number_2, reader.read_u64(), error) &&
                  assign(out.opaque_text_3, reader.read_string(), error) &&
                  assign(out.opaque_text_4, reader.read_string(), error) &&
                  assign(out.revoked_key_ids,
                         reader.read_list([](ByteReader& r) { return r.read_array<8>(); }), error);
  if (!ok) return std::unexpected(error);
  return out;
}

}  // namespace

Decoded<SignedManifest> decode_signed_manifest(std::span<const std::uint8_t> bytes) {
  return decode_record(bytes, read_signed_manifest);
}

Decoded<ManifestBody> decode_manifest_body(std::span<const std::uint8_t> body_bytes) {
  return decode_record(body_bytes, read_manifest_body);
}

}  // namespace update_proto
