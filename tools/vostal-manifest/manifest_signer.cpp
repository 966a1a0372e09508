// Signing with libsodium: the expanded secret key exists only for the length
// of one call and is wiped afterwards.
#include "manifest_signer.hpp"

#include <sodium.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace vostal {
namespace {

void ensure_sodium() {
  static const bool ready = sodium_init() >= 0;
  // Without a working libsodium no key can be made or used; this is not an
  // input error that a caller could handle.
  if (!ready) {
    std::fputs("libsodium failed to initialise\n", stderr);
    std::abort();
  }
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string display(const std::filesystem::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

}  // namespace

Seed generate_seed() {
  ensure_sodium();
  Seed seed{};
  randombytes_buf(seed.data(), seed.size());
  return seed;
}

PublicKey public_key_from_seed(const Seed& seed) {
  ensure_sodium();
  PublicKey pk{};
  std::array<std::uint8_t, crypto_sign_SECRETKEYBYTES> sk{};
  crypto_sign_seed_keypair(pk.data(), sk.data(), seed.data());
  sodium_memzero(sk.data(), sk.size());
  return pk;
}

Signature sign_ed25519(const Seed& seed, std::span<const std::uint8_t> message) {
  ensure_sodium();
  PublicKey pk{};
  std::array<std::uint8_t, crypto_sign_SECRETKEYBYTES> sk{};
  crypto_sign_seed_keypair(pk.data(), sk.data(), seed.data());
  Signature sig{};
  static const std::uint8_t no_bytes[1] = {0};
  crypto_sign_detached(sig.data(), nullptr, message.empty() ? no_bytes : message.data(), message.size(),
                       sk.data());
  sodium_memzero(sk.data(), sk.size());
  return sig;
}

std::vector<std::uint8_t> sign_ed25519_vector(const Seed& seed, std::span<const std::uint8_t> message) {
  const Signature sig = sign_ed25519(seed, message);
  return {sig.begin(), sig.end()};
}

std::expected<Seed, std::string> parse_seed_hex(std::string_view text) {
  if (text.ends_with("\r\n")) {
    text.remove_suffix(2);
  } else if (text.ends_with("\n")) {
    text.remove_suffix(1);
  }
  if (text.size() != 64) return std::unexpected(std::string("a seed must be 64 hex digits and a newline"));
  Seed seed{};
  for (std::size_t i = 0; i < seed.size(); ++i) {
    const int hi = hex_digit(text[2 * i]);
    const int lo = hex_digit(text[2 * i + 1]);
    if (hi < 0 || lo < 0) return std::unexpected(std::string("a seed must be 64 hex digits and a newline"));
    seed[i] = static_cast<std::uint8_t>(hi * 16 + lo);
  }
  return seed;
}

std::expected<Seed, std::string> read_seed_file(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::unexpected("cannot read seed file " + display(path));
  // A seed file is tiny; anything much longer is not one.
  std::string text;
  text.resize(80);
  in.read(text.data(), static_cast<std::streamsize>(text.size()));
  text.resize(static_cast<std::size_t>(in.gcount()));
  auto seed = parse_seed_hex(text);
  if (!seed) return std::unexpected(display(path) + ": " + seed.error());
  return seed;
}

std::string seed_file_text(const Seed& seed) { return to_hex(seed) + "\n"; }

std::string to_hex(std::span<const std::uint8_t> bytes) {
  static constexpr char digits[] = "0123456789abcdef";
  std::string out;
  out.reserve(bytes.size() * 2);
  for (std::uint8_t b : bytes) {
    out.push_back(digits[b >> 4]);
    out.push_back(digits[b & 0x0F]);
  }
  return out;
}

}  // namespace vostal
