// keygen: a new Ed25519 seed from the system random source, written to
// DIR/<id>.seed (owner-only), and the trusted-keys.txt line for its public key.
#include <algorithm>

#include "arguments.hpp"
#include "commands.hpp"
#include "file_io.hpp"
#include "manifest_signer.hpp"

namespace vostal::manifest_tool {
namespace {

// The id becomes a file name, so it is held to characters that are safe in
// one on every system.
bool is_file_safe_id(std::string_view id) {
  return id.size() == 8 && std::all_of(id.begin(), id.end(), [](char c) {
           return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                  c == '_' || c == '.';
         }) && id.front() != '.';
}

}  // namespace

int run_keygen(std::span<const std::string> args, const ToolContext&, std::ostream& out, std::ostream& err) {
  static constexpr OptionSpec specs[] = {{"id"}, {"out"}};
  const auto parsed = parse_arguments(args, specs);
  if (!parsed) return report_error(err, "keygen", parsed.error(), kExitUsage);
  if (!parsed->positional.empty()) return report_error(err, "keygen", "unexpected argument '" + parsed->positional.front() + "'", kExitUsage);
  const auto id = parsed->value("id");
  const auto dir = parsed->value("out");
  if (!id || !dir) return report_error(err, "keygen", "needs --id ID and --out DIR", kExitUsage);
  if (!is_file_safe_id(*id)) {
    return report_error(err, "keygen", "key id '" + *id + "' must be 8 characters of A-Z a-z 0-9 - _ . (e.g. DEV-K01_)");
  }

  const std::filesystem::path directory = path_from_utf8(*dir);
  std::error_code ec;
  if (!std::filesystem::is_directory(directory, ec)) {
    std::filesystem::create_directories(directory, ec);
    if (ec) return report_error(err, "keygen", "cannot create directory " + *dir + ": " + ec.message());
  }

  const Seed seed = generate_seed();
  const std::string text = seed_file_text(seed);
  const std::filesystem::path target = directory / path_from_utf8(*id + ".seed");
  // Never replace an existing seed: that would destroy a private key.
  auto written = write_file_atomically(
      target, std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()), Visibility::Private,
      Existing::Refuse);
  if (!written) return report_error(err, "keygen", written.error());

  out << *id << " " << to_hex(public_key_from_seed(seed)) << "\n";
  return kExitOk;
}

}  // namespace vostal::manifest_tool
