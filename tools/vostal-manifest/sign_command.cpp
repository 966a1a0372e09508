// sign: signs a body into a new manifest, or adds signatures to an existing
// manifest, so that key holders can sign one after another on separate
// machines. A signature's key id is the seed file's name without ".seed".
#include <algorithm>

#include "arguments.hpp"
#include "commands.hpp"
#include "file_io.hpp"
#include "manifest_encoder.hpp"
#include "manifest_signer.hpp"
#include "update_proto/signature_policy.hpp"
#include "update_proto/trusted_keys.hpp"

namespace vostal::manifest_tool {
namespace {

struct SigningKey {
  update_proto::KeyId id{};
  Seed seed{};
};

std::expected<SigningKey, std::string> load_key(const std::string& path_text) {
  const std::filesystem::path path = path_from_utf8(path_text);
  const std::string stem = path_to_utf8(path.stem());
  SigningKey key;
  if (path.extension() != ".seed" || !parse_key_id(stem, key.id)) {
    return std::unexpected("seed file " + path_text + " must be named <key id>.seed with an 8-byte key id, e.g. DEV-K01_.seed");
  }
  auto seed = read_seed_file(path);
  if (!seed) return std::unexpected(seed.error());
  key.seed = *seed;
  return key;
}

}  // namespace

int run_sign(std::span<const std::string> args, const ToolContext&, std::ostream& out, std::ostream& err) {
  static constexpr OptionSpec specs[] = {{"body"}, {"manifest"}, {"key", true, true}, {"out"}};
  auto fail = [&](const std::string& message, int status = kExitBadInput) {
    return report_error(err, "sign", message, status);
  };
  const auto parsed = parse_arguments(args, specs);
  if (!parsed) return fail(parsed.error(), kExitUsage);
  if (!parsed->positional.empty()) return fail("unexpected argument '" + parsed->positional.front() + "'", kExitUsage);
  const auto body_path = parsed->value("body");
  const auto manifest_path = parsed->value("manifest");
  const auto key_paths = parsed->values("key");
  if (body_path.has_value() == manifest_path.has_value()) {
    return fail("needs exactly one of --body FILE and --manifest FILE", kExitUsage);
  }
  if (key_paths.empty()) return fail("needs at least one --key SEED", kExitUsage);
  if (body_path && !parsed->has("out")) return fail("--body needs --out FILE", kExitUsage);
  const std::string out_path = parsed->value("out").value_or(manifest_path.value_or(""));

  update_proto::SignedManifest manifest;
  if (body_path) {
    auto bytes = read_whole_file(path_from_utf8(*body_path));
    if (!bytes) return fail(bytes.error());
    manifest.body_bytes = std::move(*bytes);
  } else {
    auto bytes = read_whole_file(path_from_utf8(*manifest_path));
    if (!bytes) return fail(bytes.error());
    auto decoded = update_proto::decode_signed_manifest(*bytes);
    if (!decoded) return fail(*manifest_path + " is not a manifest: " + std::string(update_proto::to_string(decoded.error())));
    manifest = std::move(*decoded);
  }

  // Sign only what the updater could accept: a body that decodes, within
  // the size limit.
  const auto body = update_proto::decode_manifest_body(manifest.body_bytes);
  if (!body) return fail("the body does not decode: " + std::string(update_proto::to_string(body.error())));
  if (manifest.body_bytes.size() > update_proto::MAX_BODY_BYTES) {
    return fail("the body is " + std::to_string(manifest.body_bytes.size()) + " bytes; the updater accepts at most " +
                std::to_string(update_proto::MAX_BODY_BYTES));
  }

  std::vector<SigningKey> keys;
  for (const std::string& path : key_paths) {
    auto key = load_key(path);
    if (!key) return fail(key.error());
    const auto same_id = [&](const auto& other) { return other.id == key->id; };
    const bool already_signed = std::any_of(manifest.signatures.begin(), manifest.signatures.end(),
                                            [&](const update_proto::ManifestSignature& s) { return s.key_id == key->id; });
    if (already_signed || std::any_of(keys.begin(), keys.end(), same_id)) {
      return fail("the manifest already has a signature from " + key_id_display(key->id) + "; it would not count twice");
    }
    keys.push_back(*key);
  }
  if (manifest.signatures.size() + keys.size() > update_proto::MAX_SIGNATURES) {
    return fail("a manifest holds at most " + std::to_string(update_proto::MAX_SIGNATURES) + " signatures");
  }

  for (const SigningKey& key : keys) {
    // A key this build does not trust still signs (another build may trust
    // it), but the signer should know.
    const PublicKey public_key = public_key_from_seed(key.seed);
    const auto entry = std::find_if(update_proto::TRUSTED_KEYS.begin(), update_proto::TRUSTED_KEYS.end(),
                                    [&](const update_proto::TrustedKey& t) { return t.key_id == key.id; });
    if (entry == update_proto::TRUSTED_KEYS.end()) {
      err << "vostal-manifest sign: warning: " << key_id_display(key.id) << " is not an id of this build's trusted key table\n";
    } else if (entry->public_key != public_key) {
      err << "vostal-manifest sign: warning: the key of " << key_id_display(key.id)
          << " is not the one this build trusts for that id\n";
    }
    if (std::find(body->revoked_key_ids.begin(), body->revoked_key_ids.end(), key.id) != body->revoked_key_ids.end()) {
      err << "vostal-manifest sign: warning: the body revokes " << key_id_display(key.id) << "; its signature will not count\n";
    }
    manifest.signatures.push_back({key.id, sign_ed25519_vector(key.seed, manifest.body_bytes)});
  }

  const std::vector<std::uint8_t> file = encode_signed_manifest(manifest);
  if (auto written = write_file_atomically(path_from_utf8(out_path), file); !written) return fail(written.error());

  out << "wrote " << out_path << " (" << file.size() << " bytes, " << manifest.signatures.size() << " signature"
      << (manifest.signatures.size() == 1 ? "" : "s") << ")\n";
  return kExitOk;
}

}  // namespace vostal::manifest_tool
