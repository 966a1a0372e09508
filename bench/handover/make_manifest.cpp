// Writes a manifest that the updater accepts for a file of the given SHA-256:
// layout version 2, built a minute ago, valid for a day, signed by two of the
// development keys.
//
//   bench_make_manifest <sha256-hex> <dev-keys-dir> <out-file>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "manifest_encoder.hpp"
#include "manifest_signer.hpp"
#include "update_proto/signature_policy.hpp"

namespace {

int hex_value(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) {
    std::cerr << "usage: bench_make_manifest <sha256-hex> <dev-keys-dir> <out-file>\n";
    return 1;
  }
  const std::string_view hex = argv[1];
  update_proto::ManifestBody body;
  if (hex.size() != 2 * body.binary_sha256.size()) {
    std::cerr << "bench_make_manifest: the digest must be 64 hex digits\n";
    return 1;
  }
  for (std::size_t i = 0; i < body.binary_sha256.size(); ++i) {
    const int high = hex_value(hex[2 * i]);
    const int low = hex_value(hex[2 * i + 1]);
    if (high < 0 || low < 0) {
      std::cerr << "bench_make_manifest: the digest must be 64 hex digits\n";
      return 1;
    }
    body.binary_sha256[i] = static_cast<std::uint8_t>(high * 16 + low);
  }
  const auto now = std::chrono::duration_cast<std::chrono::seconds>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  body.spec_version = update_proto::EXPECTED_SPEC_VERSION;
  body.built_at = now - 60;
  body.expires_at = now + 86400;
  body.opaque_text_1 = "bench-app";
  const auto body_bytes = vostal::encode_manifest_body(body);

  update_proto::SignedManifest manifest{body_bytes, {}};
  for (const char* signer : {"DEV-K01_", "DEV-K02_"}) {
    const auto seed = vostal::read_seed_file(std::filesystem::path(argv[2]) / (std::string(signer) + ".seed"));
    if (!seed) {
      std::cerr << "bench_make_manifest: " << seed.error() << "\n";
      return 1;
    }
    manifest.signatures.push_back({vostal::key_id_from_text(signer), vostal::sign_ed25519_vector(*seed, body_bytes)});
  }
  const auto file = vostal::encode_signed_manifest(manifest);
  std::ofstream out(argv[3], std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(file.data()), static_cast<std::streamsize>(file.size()));
  out.close();
  if (!out) {
    std::cerr << "bench_make_manifest: cannot write " << argv[3] << "\n";
    return 1;
  }
  return 0;
}
