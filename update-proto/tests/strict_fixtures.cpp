#include "strict_fixtures.hpp"

#include <sodium.h>

#include <algorithm>
#include <cstring>

namespace strict_fixtures {
namespace {

using Scalar = std::array<std::uint8_t, 32>;

// The group order L = 2^252 + 27742317777372353535851937790883648493, little-endian.
constexpr Scalar kL = {0xed, 0xd3, 0xf5, 0x5c, 0x1a, 0x63, 0x12, 0x58, 0xd6, 0x9c, 0xf7,
                       0xa2, 0xde, 0xf9, 0xde, 0x14, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                       0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10};

// k = SHA-512(R || A || M) reduced mod L.
Scalar challenge(const Point& r, const Point& a, std::span<const std::uint8_t> message) {
  crypto_hash_sha512_state state;
  crypto_hash_sha512_init(&state);
  crypto_hash_sha512_update(&state, r.data(), r.size());
  crypto_hash_sha512_update(&state, a.data(), a.size());
  crypto_hash_sha512_update(&state, message.data(), message.size());
  std::array<std::uint8_t, 64> digest{};
  crypto_hash_sha512_final(&state, digest.data());
  Scalar k{};
  crypto_core_ed25519_scalar_reduce(k.data(), digest.data());
  return k;
}

Scalar reduce32(const std::uint8_t* bytes) {
  std::array<std::uint8_t, 64> wide{};
  std::copy_n(bytes, 32, wide.begin());
  Scalar out{};
  crypto_core_ed25519_scalar_reduce(out.data(), wide.data());
  return out;
}

// [s]B, also when it is the identity (libsodium reports that as an error but
// still writes the point).
Point base_times(const Scalar& s) {
  Point p{};
  crypto_scalarmult_ed25519_base_noclamp(p.data(), s.data());
  return p;
}

}  // namespace

Point identity() {
  Point p{};
  p[0] = 1;
  return p;
}

Signature with_s_plus_l(const Signature& valid) {
  Signature out = valid;
  unsigned carry = 0;
  for (std::size_t i = 0; i < 32; ++i) {
    const unsigned sum = out[32 + i] + kL[i] + carry;
    out[32 + i] = static_cast<std::uint8_t>(sum);
    carry = sum >> 8;
  }
  // S < L < 2^253, so S + L < 2^254 and fits: no carry out of the last byte.
  return out;
}

Signature identity_r(const vostal::Seed& seed, std::span<const std::uint8_t> message) {
  // The secret scalar a: the clamped first half of SHA-512(seed), and A = [a]B.
  std::array<std::uint8_t, 64> h{};
  crypto_hash_sha512(h.data(), seed.data(), seed.size());
  h[0] &= 248;
  h[31] &= 127;
  h[31] |= 64;
  const Scalar a = reduce32(h.data());
  const Point public_key = vostal::public_key_from_seed(seed);
  const Point r = identity();
  const Scalar k = challenge(r, public_key, message);
  Scalar s{};
  crypto_core_ed25519_scalar_mul(s.data(), k.data(), a.data());
  Signature sig{};
  std::copy(r.begin(), r.end(), sig.begin());
  std::copy(s.begin(), s.end(), sig.begin() + 32);
  sodium_memzero(h.data(), h.size());
  return sig;
}

Signature for_identity_key(std::span<const std::uint8_t> message) {
  (void)message;  // k does not matter: [k] of the identity is the identity
  Scalar s{};
  s[0] = 7;
  const Point r = base_times(s);
  Signature sig{};
  std::copy(r.begin(), r.end(), sig.begin());
  std::copy(s.begin(), s.end(), sig.begin() + 32);
  return sig;
}

bool lenient_accepts(const Point& public_key, std::span<const std::uint8_t> message, const Signature& sig) {
  Point r{};
  std::copy_n(sig.begin(), 32, r.begin());
  const Scalar s = reduce32(sig.data() + 32);
  const Scalar k = challenge(r, public_key, message);

  // [k]A: libsodium's scalar multiplication refuses small-order points, so
  // the identity key is handled by hand ([k] of the identity is itself).
  Point ka{};
  if (public_key == identity()) {
    ka = identity();
  } else if (crypto_scalarmult_ed25519_noclamp(ka.data(), k.data(), public_key.data()) != 0) {
    return false;
  }
  // [S]B == R + [k]A, compared as encodings.
  Point rhs{};
  if (crypto_core_ed25519_add(rhs.data(), r.data(), ka.data()) != 0) return false;
  return base_times(s) == rhs;
}

}  // namespace strict_fixtures
