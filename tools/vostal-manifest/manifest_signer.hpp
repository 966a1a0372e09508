// Ed25519 signing for manifest producers (tool, tests, benchmarks), on
// libsodium. A key is kept as its 32-byte RFC 8032 seed; seed files hold it as
// 64 lowercase hex digits and a newline, named "<key_id>.seed".
//
//   auto seed = vostal::read_seed_file("keys/dev/DEV-K02_.seed");
//   if (!seed) { /* seed.error() says why, with the path */ }
//   std::array<std::uint8_t, 64> sig = vostal::sign_ed25519(*seed, body_bytes);
#pragma once

#include <array>
#include <cstdint>
#include <expected>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vostal {

using Seed = std::array<std::uint8_t, 32>;
using PublicKey = std::array<std::uint8_t, 32>;
using Signature = std::array<std::uint8_t, 64>;

// A fresh seed from the system random source.
Seed generate_seed();

PublicKey public_key_from_seed(const Seed& seed);

// Pure Ed25519 (no context, no pre-hash) over exactly `message`.
Signature sign_ed25519(const Seed& seed, std::span<const std::uint8_t> message);
std::vector<std::uint8_t> sign_ed25519_vector(const Seed& seed, std::span<const std::uint8_t> message);

// 64 hex digits, optionally followed by one line ending.
std::expected<Seed, std::string> parse_seed_hex(std::string_view text);
std::expected<Seed, std::string> read_seed_file(const std::filesystem::path& path);

// The seed file's content: 64 lowercase hex digits and "\n".
std::string seed_file_text(const Seed& seed);

std::string to_hex(std::span<const std::uint8_t> bytes);

}  // namespace vostal
