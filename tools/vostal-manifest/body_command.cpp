// body: encodes a ManifestBody for a release executable. The digest is the
// executable's SHA-256; built_at defaults to now, spec_version to 2.
#include <charconv>
#include <limits>

#include "arguments.hpp"
#include "commands.hpp"
#include "file_io.hpp"
#include "manifest_encoder.hpp"
#include "manifest_signer.hpp"
#include "time_text.hpp"
#include "update_proto/signature_policy.hpp"

namespace vostal::manifest_tool {
namespace {

std::expected<std::uint64_t, std::string> parse_unsigned(std::string_view option, std::string_view text,
                                                         std::uint64_t max) {
  std::uint64_t value = 0;
  const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || ec != std::errc{} || end != text.data() + text.size() || value > max) {
    return std::unexpected("--" + std::string(option) + " needs a whole number from 0 to " + std::to_string(max) +
                           ", got '" + std::string(text) + "'");
  }
  return value;
}

// The texts end up in a field the updater decodes as UTF-8, so they must be
// well-formed; the reader itself is the judge.
bool is_well_formed_text(const std::string& text) {
  ByteWriter writer;
  writer.write_string(text);
  update_proto::ByteReader reader(writer.bytes());
  return reader.read_string().has_value();
}

}  // namespace

int run_body(std::span<const std::string> args, const ToolContext& context, std::ostream& out, std::ostream& err) {
  static constexpr OptionSpec specs[] = {
      {"exe"},           {"expires-at"},      {"expires-in"},      {"built-at"},
      {"revoke", true, true}, {"spec-version"}, {"opaque-number-1"}, {"opaque-number-2"},
      {"opaque-text-1"}, {"opaque-text-2"},   {"opaque-text-3"},   {"opaque-text-4"},
      {"out"},
  };
  auto fail = [&](const std::string& message, int status = kExitBadInput) {
    return report_error(err, "body", message, status);
  };
  const auto parsed = parse_arguments(args, specs);
  if (!parsed) return fail(parsed.error(), kExitUsage);
  if (!parsed->positional.empty()) return fail("unexpected argument '" + parsed->positional.front() + "'", kExitUsage);
  const auto exe = parsed->value("exe");
  const auto out_path = parsed->value("out");
  if (!exe || !out_path) return fail("needs --exe FILE and --out FILE", kExitUsage);
  if (parsed->has("expires-at") == parsed->has("expires-in")) {
    return fail("needs exactly one of --expires-at T and --expires-in DURATION", kExitUsage);
  }

  update_proto::ManifestBody body;
  body.spec_version = update_proto::EXPECTED_SPEC_VERSION;
  if (const auto text = parsed->value("spec-version")) {
    const auto value = parse_unsigned("spec-version", *text, std::numeric_limits<std::uint16_t>::max());
    if (!value) return fail(value.error());
    body.spec_version = static_cast<std::uint16_t>(*value);
  }

  body.built_at = context.now();
  if (const auto text = parsed->value("built-at")) {
    const auto value = parse_time(*text);
    if (!value) return fail("--built-at: " + value.error());
    body.built_at = *value;
  }
  if (const auto text = parsed->value("expires-at")) {
    const auto value = parse_time(*text);
    if (!value) return fail("--expires-at: " + value.error());
    body.expires_at = *value;
  } else {
    // --expires-in counts from built_at.
    const auto duration = parse_duration(*parsed->value("expires-in"));
    if (!duration) return fail("--expires-in: " + duration.error());
    const auto value = add_seconds(body.built_at, *duration);
    if (!value) return fail("--expires-in: " + value.error());
    body.expires_at = *value;
  }
  if (body.expires_at < body.built_at) {
    return fail("expires_at " + std::to_string(body.expires_at) + " is before built_at " + std::to_string(body.built_at));
  }

  struct NumberOption {
    const char* name;
    std::uint64_t* field;
  };
  for (const NumberOption& option : {NumberOption{"opaque-number-1", &body.opaque_number_1},
                                     NumberOption{"opaque-number-2", &body.opaque_number_2}}) {
    if (const auto text = parsed->value(option.name)) {
      const auto value = parse_unsigned(option.name, *text, std::numeric_limits<std::uint64_t>::max());
      if (!value) return fail(value.error());
      *option.field = *value;
    }
  }
  struct TextOption {
    const char* name;
    std::string* field;
  };
  for (const TextOption& option : {TextOption{"opaque-text-1", &body.opaque_text_1}, TextOption{"opaque-text-2", &body.opaque_text_2},
                                   TextOption{"opaque-text-3", &body.opaque_text_3}, TextOption{"opaque-text-4", &body.opaque_text_4}}) {
    if (const auto text = parsed->value(option.name)) {
      if (!is_well_formed_text(*text)) return fail(std::string("--") + option.name + " is not valid UTF-8");
      *option.field = *text;
    }
  }
  for (const std::string& text : parsed->values("revoke")) {
    update_proto::KeyId id{};
    if (!parse_key_id(text, id)) return fail("--revoke needs a key id of exactly 8 bytes, got '" + text + "'");
    body.revoked_key_ids.push_back(id);
  }

  const auto digest = context.sha256_file(*exe);
  if (!digest) return fail(digest.error());
  body.binary_sha256 = *digest;

  const std::vector<std::uint8_t> bytes = encode_manifest_body(body);
  if (bytes.size() > update_proto::MAX_BODY_BYTES) {
    return fail("the body would be " + std::to_string(bytes.size()) + " bytes; the updater accepts at most " +
                std::to_string(update_proto::MAX_BODY_BYTES));
  }
  if (auto written = write_file_atomically(path_from_utf8(*out_path), bytes); !written) return fail(written.error());

  out << "wrote " << *out_path << " (" << bytes.size() << " bytes): sha256 " << to_hex(body.binary_sha256)
      << ", built_at " << body.built_at << ", expires_at " << body.expires_at << "\n";
  return kExitOk;
}

}  // namespace vostal::manifest_tool
