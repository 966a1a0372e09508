// inspect: shows every field of a manifest and, for each signature entry, why
// it counts or not; then the verdicts of this build's policy, the freshness
// window and, with --exe, the digest. This is what a user reaches for when
// an update was refused with "threshold not met".
#include <algorithm>
#include <optional>
#include <sstream>

#include "arguments.hpp"
#include "commands.hpp"
#include "file_io.hpp"
#include "json_text.hpp"
#include "manifest_signer.hpp"
#include "time_text.hpp"
#include "update_proto/update_proto.hpp"

namespace vostal::manifest_tool {
namespace {

using Sha256Digest = std::array<std::uint8_t, 32>;

struct Verdict {
  bool accepted = false;
  std::string message;  // the refusal, as the updater words it
};

struct DigestCheck {
  std::string exe;
  Sha256Digest sha256{};
  bool matches = false;
};

struct Inspection {
  std::string file;
  std::size_t file_bytes = 0;
  update_proto::SignedManifest manifest;
  std::optional<update_proto::ManifestBody> body;
  std::optional<update_proto::DecodeError> body_error;
  std::vector<update_proto::EntryVerdict> verdicts;  // empty when the body does not decode
  std::size_t distinct_valid = 0;
  Verdict policy;
  std::int64_t now = 0;
  std::optional<Verdict> freshness;                  // only with a body
  std::optional<DigestCheck> digest;                 // only with --exe

  bool accepted() const {
    return policy.accepted && freshness && freshness->accepted && (!digest || digest->matches);
  }
};

std::string time_with_date(std::int64_t t) {
  const std::string date = format_time(t);
  return date.empty() ? std::to_string(t) : std::to_string(t) + " (" + date + ")";
}

std::string id_list(const std::vector<update_proto::KeyId>& ids) {
  if (ids.empty()) return "(none)";
  std::string out;
  for (const auto& id : ids) out += (out.empty() ? "" : ", ") + key_id_display(id);
  return out;
}

void render_text(const Inspection& r, std::ostream& out) {
  auto row = [&](std::string_view name, const std::string& value) {
    out << name << std::string(name.size() < 17 ? 17 - name.size() : 1, ' ') << value << "\n";
  };
  row("manifest", r.file + " (" + std::to_string(r.file_bytes) + " bytes)");
  row("body_bytes", std::to_string(r.manifest.body_bytes.size()) + " bytes");
  if (r.body) {
    const auto& b = *r.body;
    row("spec_version", std::to_string(b.spec_version));
    row("opaque_number_1", std::to_string(b.opaque_number_1));
    row("opaque_text_1", json_string(b.opaque_text_1));
    row("binary_sha256", to_hex(b.binary_sha256));
    row("built_at", time_with_date(b.built_at));
    row("expires_at", time_with_date(b.expires_at));
    row("opaque_text_2", json_string(b.opaque_text_2));
    row("opaque_number_2", std::to_string(b.opaque_number_2));
    row("opaque_text_3", json_string(b.opaque_text_3));
    row("opaque_text_4", json_string(b.opaque_text_4));
    row("revoked_key_ids", id_list(b.revoked_key_ids));
  } else {
    row("body", "does not decode: " + std::string(update_proto::to_string(*r.body_error)));
  }
  row("signatures", std::to_string(r.manifest.signatures.size()));
  for (std::size_t i = 0; i < r.manifest.signatures.size(); ++i) {
    const auto& entry = r.manifest.signatures[i];
    std::string verdict = r.verdicts.empty() ? "not examined (the body does not decode)"
                                             : std::string(update_proto::to_string(r.verdicts[i]));
    out << "  " << (i + 1) << ". " << key_id_display(entry.key_id) << "  " << entry.signature.size() << " bytes  "
        << verdict << "\n";
  }
  row("policy", r.policy.accepted ? "accepted: " + std::to_string(r.distinct_valid) + " distinct valid signature(s), need " +
                                        std::to_string(update_proto::SIGNATURE_THRESHOLD)
                                  : "refused: " + r.policy.message);
  if (r.freshness) {
    const std::string date = format_time(r.now);
    const std::string now = "now=" + std::to_string(r.now) + (date.empty() ? "" : ", " + date);
    row("freshness", r.freshness->accepted ? "accepted (" + now + ")" : "refused: " + r.freshness->message);
  } else {
    row("freshness", "not checked (no body)");
  }
  if (r.digest) {
    row("digest", r.digest->matches ? "matches " + r.digest->exe
                                    : "differs: " + r.digest->exe + " has " + to_hex(r.digest->sha256));
  }
  row("verdict", r.accepted() ? "accepted" : "refused");
}

std::string json_verdict(const Verdict& v) {
  return std::string("{\"accepted\":") + (v.accepted ? "true" : "false") +
         ",\"message\":" + (v.accepted ? "null" : json_string(v.message));
}

std::string json_key_id(const update_proto::KeyId& id) {
  const std::string shown = key_id_display(id);
  return std::string("{\"text\":") + (shown.starts_with("hex:") ? "null" : json_string(shown)) +
         ",\"hex\":\"" + to_hex(id) + "\"}";
}

void render_json(const Inspection& r, std::ostream& out) {
  std::ostringstream j;
  j << "{\"file\":" << json_string(r.file) << ",\"file_bytes\":" << r.file_bytes
    << ",\"body_bytes\":" << r.manifest.body_bytes.size();
  if (r.body) {
    const auto& b = *r.body;
    j << ",\"body\":{\"spec_version\":" << b.spec_version << ",\"opaque_number_1\":" << b.opaque_number_1
      << ",\"opaque_text_1\":" << json_string(b.opaque_text_1) << ",\"binary_sha256\":\"" << to_hex(b.binary_sha256)
      << "\",\"built_at\":" << b.built_at << ",\"expires_at\":" << b.expires_at
      << ",\"opaque_text_2\":" << json_string(b.opaque_text_2) << ",\"opaque_number_2\":" << b.opaque_number_2
      << ",\"opaque_text_3\":" << json_string(b.opaque_text_3) << ",\"opaque_text_4\":" << json_string(b.opaque_text_4)
      << ",\"revoked_key_ids\":[";
    for (std::size_t i = 0; i < b.revoked_key_ids.size(); ++i) j << (i ? "," : "") << json_key_id(b.revoked_key_ids[i]);
    j << "]},\"body_error\":null";
  } else {
    j << ",\"body\":null,\"body_error\":" << json_string(update_proto::to_string(*r.body_error));
  }
  j << ",\"signatures\":[";
  for (std::size_t i = 0; i < r.manifest.signatures.size(); ++i) {
    const auto& entry = r.manifest.signatures[i];
    j << (i ? "," : "") << "{\"key_id\":" << json_key_id(entry.key_id) << ",\"length\":" << entry.signature.size()
      << ",\"verdict\":"
      << (r.verdicts.empty() ? "null" : json_string(update_proto::to_string(r.verdicts[i]))) << "}";
  }
  j << "],\"policy\":" << json_verdict(r.policy) << ",\"distinct_valid\":" << r.distinct_valid
    << ",\"threshold\":" << update_proto::SIGNATURE_THRESHOLD << "}";
  j << ",\"now\":" << r.now << ",\"freshness\":";
  if (r.freshness) {
    j << json_verdict(*r.freshness) << "}";
  } else {
    j << "null";
  }
  if (r.digest) {
    j << ",\"digest\":{\"exe\":" << json_string(r.digest->exe) << ",\"sha256\":\"" << to_hex(r.digest->sha256)
      << "\",\"matches\":" << (r.digest->matches ? "true" : "false") << "}";
  }
  j << ",\"accepted\":" << (r.accepted() ? "true" : "false") << "}\n";
  out << j.str();
}

}  // namespace

int run_inspect(std::span<const std::string> args, const ToolContext& context, std::ostream& out, std::ostream& err) {
  static constexpr OptionSpec specs[] = {{"exe"}, {"now"}, {"json", false}};
  auto fail = [&](const std::string& message, int status = kExitBadInput) {
    return report_error(err, "inspect", message, status);
  };
  const auto parsed = parse_arguments(args, specs);
  if (!parsed) return fail(parsed.error(), kExitUsage);
  if (parsed->positional.size() != 1) return fail("needs exactly one manifest FILE", kExitUsage);

  Inspection r;
  r.file = parsed->positional.front();
  r.now = context.now();
  if (const auto text = parsed->value("now")) {
    const auto value = parse_time(*text);
    if (!value) return fail("--now: " + value.error());
    r.now = *value;
  }

  const auto bytes = read_whole_file(path_from_utf8(r.file));
  if (!bytes) return fail(bytes.error());
  r.file_bytes = bytes->size();
  auto manifest = update_proto::decode_signed_manifest(*bytes);
  if (!manifest) return fail(r.file + " is not a manifest: " + std::string(update_proto::to_string(manifest.error())));
  r.manifest = std::move(*manifest);

  auto body = update_proto::decode_manifest_body(r.manifest.body_bytes);
  if (body) {
    r.body = std::move(*body);
    r.verdicts = update_proto::examine_signatures(r.manifest, *r.body, update_proto::TRUSTED_KEYS);
    r.distinct_valid = static_cast<std::size_t>(
        std::count(r.verdicts.begin(), r.verdicts.end(), update_proto::EntryVerdict::Counted));
  } else {
    r.body_error = body.error();
  }

  // The verdicts are the library's own, word for word what the updater says.
  const auto policy = update_proto::verify_manifest(r.manifest);
  r.policy = policy ? Verdict{true, {}} : Verdict{false, policy.error().message};
  if (r.body) {
    const auto fresh = update_proto::check_freshness(*r.body, r.now);
    r.freshness = fresh ? Verdict{true, {}} : Verdict{false, fresh.error().message};
  }
  if (const auto exe = parsed->value("exe")) {
    const auto digest = context.sha256_file(*exe);
    if (!digest) return fail(digest.error());
    r.digest = DigestCheck{*exe, *digest, r.body && *digest == r.body->binary_sha256};
  }

  if (parsed->has("json")) {
    render_json(r, out);
  } else {
    render_text(r, out);
  }
  return r.accepted() ? kExitOk : kExitRefused;
}

}  // namespace vostal::manifest_tool
