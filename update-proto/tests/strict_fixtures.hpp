// Signatures that a lenient Ed25519 verifier accepts and a strict one must
// not, made with libsodium's group operations from a development key, and a
// lenient reference check that shows each fixture really passes the bare
// verification equation.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "manifest_signer.hpp"

namespace strict_fixtures {

using Point = std::array<std::uint8_t, 32>;
using Signature = std::array<std::uint8_t, 64>;

// The identity point (0, 1) in the RFC 8032 encoding.
Point identity();

// A valid signature with S replaced by S + L (still 32 bytes).
Signature with_s_plus_l(const Signature& valid);

// R = the identity's encoding, S = k * a mod L, where a is the secret scalar
// of `seed` and k = SHA-512(R || A || M) mod L: [S]B - [k]A = R holds.
Signature identity_r(const vostal::Seed& seed, std::span<const std::uint8_t> message);

// For the small-order key A = identity: R = [s]B and S = s, so that
// [S]B - [k]A = R for every k.
Signature for_identity_key(std::span<const std::uint8_t> message);

// Whether [S mod L]B - [k]A = R holds, k = SHA-512(R || A || M) mod L, without
// any of the strict rules (S range, small order, canonical encodings).
bool lenient_accepts(const Point& public_key, std::span<const std::uint8_t> message, const Signature& sig);

}  // namespace strict_fixtures
