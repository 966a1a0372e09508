// Writes the validly signed seeds of the fuzz corpus, made with the producer's
// encoder and the development keys, so that mutations start from manifests
// that reach the signature checks and the success path.
//
//   fuzz_seed_maker <keys/dev directory> <fuzz/corpus directory>
//
// Each seed file is named signed-<what>. fuzz/make-corpus.sh runs this.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "manifest_encoder.hpp"
#include "manifest_signer.hpp"
#include "update_proto/records.hpp"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

bool write_seed(const fs::path& dir, const std::string& name, const Bytes& bytes) {
  fs::create_directories(dir);
  std::ofstream out(dir / ("signed-" + name), std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

update_proto::ManifestBody sample_body() {
  update_proto::ManifestBody body;
  body.spec_version = 2;
  body.opaque_number_1 = 7;
  body.opaque_text_1 = "demo-app";
  body.binary_sha256.fill(0xAB);
  body.built_at = 1700000000;
  body.expires_at = 1700000000 + 30 * 86400;
  body.opaque_text_2 = "stable";
  body.opaque_number_2 = 42;
  body.opaque_text_3 = "x86_64-pc-windows";
  body.opaque_text_4 = "\xC3\xA9t\xC3\xA9";  // "été", multi-byte UTF-8
  return body;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: fuzz_seed_maker <keys dir> <corpus dir>\n");
    return 2;
  }
  const fs::path keys_dir = argv[1];
  const fs::path corpus = argv[2];

  std::vector<vostal::Seed> seeds;
  for (const char* id : {"DEV-K01_", "DEV-K02_", "DEV-K03_"}) {
    auto seed = vostal::read_seed_file(keys_dir / (std::string(id) + ".seed"));
    if (!seed) {
      std::fprintf(stderr, "%s\n", seed.error().c_str());
      return 1;
    }
    seeds.push_back(*seed);
  }
  const update_proto::KeyId ids[] = {vostal::key_id_from_text("DEV-K01_"), vostal::key_id_from_text("DEV-K02_"),
                                     vostal::key_id_from_text("DEV-K03_")};
  const auto entry = [&](int key, const Bytes& body_bytes) {
    return update_proto::ManifestSignature{ids[key], vostal::sign_ed25519_vector(seeds[key], body_bytes)};
  };
  const auto manifest = [&](const Bytes& body_bytes, std::vector<update_proto::ManifestSignature> entries) {
    return vostal::encode_signed_manifest(update_proto::SignedManifest{body_bytes, std::move(entries)});
  };

  const Bytes body = vostal::encode_manifest_body(sample_body());
  auto revoking = sample_body();
  revoking.revoked_key_ids = {ids[0], vostal::key_id_from_text("OLD-K99_")};
  const Bytes revoked_body = vostal::encode_manifest_body(revoking);
  auto version3 = sample_body();
  version3.spec_version = 3;
  const Bytes version3_body = vostal::encode_manifest_body(version3);
  Bytes trailing_body = body;
  trailing_body.insert(trailing_body.end(), {0xDE, 0xAD, 0xBE, 0xEF});

  Bytes tampered = entry(1, body).signature;
  tampered[5] ^= 0x20;
  std::vector<update_proto::ManifestSignature> sixteen;
  sixteen.reserve(16);
  for (int i = 0; i < 14; ++i) sixteen.push_back({vostal::key_id_from_text("NOBODY__"), Bytes(64, 0x5A)});
  sixteen.push_back(entry(0, body));
  sixteen.push_back(entry(2, body));

  struct NamedSeed {
    const char* name;
    Bytes bytes;
  };
  const std::vector<NamedSeed> manifests = {
      {"k1-k2", manifest(body, {entry(0, body), entry(1, body)})},
      {"k1-k2-k3", manifest(body, {entry(0, body), entry(1, body), entry(2, body)})},
      {"k1-twice", manifest(body, {entry(0, body), entry(0, body)})},
      {"k1-revoked-k2", manifest(revoked_body, {entry(0, revoked_body), entry(1, revoked_body)})},
      {"k2-tampered-k1-k3", manifest(body, {{ids[1], tampered}, entry(0, body), entry(2, body)})},
      {"unknown-id-k1", manifest(body, {{vostal::key_id_from_text("DEV-K04_"), entry(1, body).signature},
                                        entry(0, body)})},
      {"layout-version-3", manifest(version3_body, {entry(0, version3_body), entry(1, version3_body)})},
      {"trailing-body-bytes", manifest(trailing_body, {entry(0, trailing_body), entry(2, trailing_body)})},
      {"sigs-over-body-without-trailing", manifest(trailing_body, {entry(0, body), entry(2, body)})},
      {"sixteen-entries", manifest(body, sixteen)},
  };

  bool ok = true;
  for (const auto& m : manifests) {
    ok &= write_seed(corpus / "fuzz_verify_manifest", m.name, m.bytes);
  }
  ok &= write_seed(corpus / "fuzz_decode_signed_manifest", "k1-k2", manifests[0].bytes);
  ok &= write_seed(corpus / "fuzz_decode_signed_manifest", "sixteen-entries", manifests.back().bytes);
  ok &= write_seed(corpus / "fuzz_decode_manifest_body", "body", body);
  ok &= write_seed(corpus / "fuzz_decode_manifest_body", "revoking-body", revoked_body);
  if (!ok) {
    std::fprintf(stderr, "could not write the seeds under %s\n", corpus.string().c_str());
    return 1;
  }
  return 0;
}
