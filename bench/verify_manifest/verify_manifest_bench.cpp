// decode_signed_manifest + verify_manifest on the largest manifest the policy
// accepts (a 16384-byte body, 16 entries), beside the signature verifications
// that this manifest unavoidably costs, done directly with libsodium in the
// same run. The difference is what decoding and the policy add.
//
// The 16 entries: 3 valid signatures from DEV-K01_, DEV-K02_, DEV-K03_; 3 more
// valid ones from the same keys (counted once, but verified); 5 corrupted
// signatures under trusted ids (verified, fail); 3 unknown ids and 2 of the
// wrong length (skipped without cryptography). So 11 verifications of a
// 16384-byte message per call, in both measurements.
#include <benchmark/benchmark.h>
#include <sodium.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "manifest_encoder.hpp"
#include "manifest_signer.hpp"
#include "update_proto/update_proto.hpp"

namespace {

struct Fixture {
  std::vector<std::uint8_t> file;
  std::array<update_proto::TrustedKey, 3> keys{};
  // The (key, signature) pairs that reach the cryptography in the policy.
  std::vector<std::pair<std::array<std::uint8_t, 32>, std::vector<std::uint8_t>>> verifications;
  std::vector<std::uint8_t> body_bytes;
};

[[noreturn]] void die(const std::string& why) {
  std::fprintf(stderr, "bench_verify_manifest: %s\n", why.c_str());
  std::exit(1);
}

Fixture make_fixture() {
  Fixture f;
  std::array<vostal::Seed, 3> seeds{};
  for (int n = 0; n < 3; ++n) {
    const std::string id = "DEV-K0" + std::to_string(n + 1) + "_";
    auto seed = vostal::read_seed_file(std::string(VOSTAL_DEV_KEYS_DIR) + "/" + id + ".seed");
    if (!seed) die(seed.error());
    seeds[static_cast<std::size_t>(n)] = *seed;
    f.keys[static_cast<std::size_t>(n)] = {vostal::key_id_from_text(id), vostal::public_key_from_seed(*seed)};
  }

  update_proto::ManifestBody body;
  body.spec_version = 2;
  body.binary_sha256.fill(0xAB);
  body.built_at = 1700000000;
  body.expires_at = 1702592000;
  // Pad opaque_text_4 until the body is exactly 16384 bytes.
  for (std::size_t pad = 16384; pad > 0; --pad) {
    body.opaque_text_4.assign(pad, 'x');
    if (vostal::encode_manifest_body(body).size() == 16384) break;
  }
  f.body_bytes = vostal::encode_manifest_body(body);
  if (f.body_bytes.size() != 16384) die("could not pad the body to 16384 bytes");

  update_proto::SignedManifest manifest{f.body_bytes, {}};
  auto add = [&](std::size_t key, std::vector<std::uint8_t> sig, bool verified) {
    if (verified) f.verifications.emplace_back(f.keys[key].public_key, sig);
    manifest.signatures.push_back({f.keys[key].key_id, std::move(sig)});
  };
  for (std::size_t k = 0; k < 3; ++k) add(k, vostal::sign_ed25519_vector(seeds[k], f.body_bytes), true);
  for (std::size_t k = 0; k < 3; ++k) add(k, vostal::sign_ed25519_vector(seeds[k], f.body_bytes), true);
  for (std::size_t i = 0; i < 5; ++i) {
    auto sig = vostal::sign_ed25519_vector(seeds[i % 3], f.body_bytes);
    sig[i] ^= 0x40;  // a damaged R: still verified, never valid
    add(i % 3, std::move(sig), true);
  }
  for (const char* stranger : {"OTHER-01", "OTHER-02", "OTHER-03"}) {
    manifest.signatures.push_back({vostal::key_id_from_text(stranger), vostal::sign_ed25519_vector(seeds[0], f.body_bytes)});
  }
  manifest.signatures.push_back({f.keys[0].key_id, std::vector<std::uint8_t>(63, 1)});
  manifest.signatures.push_back({f.keys[1].key_id, std::vector<std::uint8_t>(65, 1)});
  if (manifest.signatures.size() != 16) die("expected 16 entries");
  f.file = vostal::encode_signed_manifest(manifest);

  // The fixture must be what it claims: accepted, with 3 distinct keys.
  const auto checked = update_proto::verify_manifest(manifest, f.keys);
  if (!checked) die("fixture refused: " + checked.error().message);
  const auto verdicts = update_proto::examine_signatures(manifest, *checked, f.keys);
  if (std::count(verdicts.begin(), verdicts.end(), update_proto::EntryVerdict::Counted) != 3) die("expected 3 counted");
  return f;
}

const Fixture& fixture() {
  static const Fixture f = make_fixture();
  return f;
}

// The policy as the updater runs it: the built-in table when this build
// trusts the development keys, else the same code with that table injected.
void BM_DecodeAndVerifyManifest(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    auto manifest = update_proto::decode_signed_manifest(f.file);
    auto body = VOSTAL_TRUSTED_KEYS_ARE_DEV ? update_proto::verify_manifest(*manifest)
                                            : update_proto::verify_manifest(*manifest, f.keys);
    if (!body) state.SkipWithError(body.error().message.c_str());
    benchmark::DoNotOptimize(body);
  }
}
BENCHMARK(BM_DecodeAndVerifyManifest)->Unit(benchmark::kMicrosecond);

// The same 11 verifications straight through libsodium.
void BM_LibsodiumVerificationsOnly(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    int valid = 0;
    for (const auto& [key, sig] : f.verifications) {
      valid += crypto_sign_verify_detached(sig.data(), f.body_bytes.data(), f.body_bytes.size(), key.data()) == 0;
    }
    if (valid != 6) state.SkipWithError("unexpected verification results");
    benchmark::DoNotOptimize(valid);
  }
}
BENCHMARK(BM_LibsodiumVerificationsOnly)->Unit(benchmark::kMicrosecond);

// For scale: decoding the file and the body alone.
void BM_DecodeOnly(benchmark::State& state) {
  const Fixture& f = fixture();
  for (auto _ : state) {
    auto manifest = update_proto::decode_signed_manifest(f.file);
    auto body = update_proto::decode_manifest_body(manifest->body_bytes);
    benchmark::DoNotOptimize(body);
  }
}
BENCHMARK(BM_DecodeOnly)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  if (sodium_init() < 0) die("libsodium failed to initialise");
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
