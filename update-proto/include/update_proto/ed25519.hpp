// Strict Ed25519 verification: S < L, canonical encodings, no small-order R or
// public key, cofactorless equation. Backed by libsodium.
#pragma once

#include <cstdint>
#include <span>

namespace update_proto {

// True when `signature` is a valid strict Ed25519 signature of `message` under
// `public_key`. False for a key that is not 32 bytes or a signature that is
// not 64 bytes.
bool verify_ed25519_strict(std::span<const std::uint8_t> public_key,
                           std::span<const std::uint8_t> message,
                           std::span<const std::uint8_t> signature) noexcept;

}  // namespace update_proto
