// Strict Ed25519 verification on libsodium's detached verifier, which (unless
// libsodium is built with ED25519_COMPAT, which we never do) refuses an S that
// is not below the group order L, a small-order or non-canonical public key,
// a small-order R, and compares [S]B - [k]A with R byte for byte, without the
// cofactor. SHA-512 runs inside it over R || A || M, with no prefix.
#include "update_proto/ed25519.hpp"

#include <sodium.h>

namespace update_proto {
namespace {

bool sodium_ready() noexcept {
  // sodium_init() is idempotent and thread-safe; a function-local static
  // keeps its lock off every later call.
  static const bool ready = sodium_init() >= 0;
  return ready;
}

}  // namespace

bool verify_ed25519_strict(std::span<const std::uint8_t> public_key,
                           std::span<const std::uint8_t> message,
                           std::span<const std::uint8_t> signature) noexcept {
  if (public_key.size() != crypto_sign_PUBLICKEYBYTES) return false;
  if (signature.size() != crypto_sign_BYTES) return false;
  if (!sodium_ready()) return false;
  // An empty span may carry a null pointer; hand libsodium a real one.
  static const std::uint8_t no_bytes[1] = {0};
  const std::uint8_t* data = message.empty() ? no_bytes : message.data();
  return crypto_sign_verify_detached(signature.data(), data, message.size(), public_key.data()) == 0;
}

}  // namespace update_proto
