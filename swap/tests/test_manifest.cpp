#include "test_manifest.hpp"

#include <cstdlib>
#include <iostream>

#include "manifest_encoder.hpp"
#include "manifest_signer.hpp"

namespace vostal::testing {

std::string make_manifest(const ManifestRecipe& recipe) {
  update_proto::ManifestBody body;
  body.spec_version = recipe.spec_version;
  body.binary_sha256 = recipe.binary_sha256;
  body.built_at = recipe.built_at;
  body.expires_at = recipe.expires_at;
  body.opaque_text_1 = "test-app";
  const auto body_bytes = encode_manifest_body(body);

  update_proto::SignedManifest manifest{body_bytes, {}};
  for (const auto& signer : recipe.signers) {
    const auto seed = read_seed_file(std::filesystem::path(VOSTAL_DEV_KEYS_DIR) / (signer + ".seed"));
    if (!seed) {
      std::cerr << "test manifest: " << seed.error() << "\n";
      std::abort();
    }
    manifest.signatures.push_back({key_id_from_text(signer), sign_ed25519_vector(*seed, body_bytes)});
  }
  const auto file = encode_signed_manifest(manifest);
  return std::string(file.begin(), file.end());
}

}  // namespace vostal::testing
