// Strict Ed25519: every case below passes the bare verification equation (as
// the lenient reference check shows), and the library must still refuse the
// ones that break a strict rule.
#include <gtest/gtest.h>
#include <sodium.h>

#include "strict_fixtures.hpp"
#include "test_support.hpp"
#include "update_proto/ed25519.hpp"

using strict_fixtures::lenient_accepts;
using test_support::Bytes;

namespace {

const Bytes kMessage = test_support::hex("02 AC 02 01 61 DE AD BE EF");

TEST(Ed25519Strict, RefusesWhatOnlyALenientVerifierAccepts) {
  const auto& seed = test_support::dev_seed(1);
  const auto key = test_support::dev_public_key(1);
  const auto valid = vostal::sign_ed25519(seed, kMessage);

  struct Case {
    const char* name;
    strict_fixtures::Point key;
    strict_fixtures::Signature signature;
    bool strict_valid;
  };
  const Case cases[] = {
      {"an ordinary signature", key, valid, true},
      {"S replaced by S + L", key, strict_fixtures::with_s_plus_l(valid), false},
      {"R is the identity, S chosen so the equation holds", key, strict_fixtures::identity_r(seed, kMessage), false},
      {"public key of small order (the identity)", strict_fixtures::identity(),
       strict_fixtures::for_identity_key(kMessage), false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_TRUE(lenient_accepts(c.key, kMessage, c.signature)) << "fixture does not satisfy the equation";
    EXPECT_EQ(update_proto::verify_ed25519_strict(c.key, kMessage, c.signature), c.strict_valid);
  }
}

TEST(Ed25519Strict, OnlyTheExactMessageVerifies) {
  const auto key = test_support::dev_public_key(2);
  const auto sig = vostal::sign_ed25519(test_support::dev_seed(2), kMessage);
  Bytes longer = kMessage;
  longer.push_back(0x00);
  const Bytes shorter(kMessage.begin(), kMessage.end() - 1);
  Bytes flipped = kMessage;
  flipped[3] ^= 0x01;
  EXPECT_TRUE(update_proto::verify_ed25519_strict(key, kMessage, sig));
  EXPECT_FALSE(update_proto::verify_ed25519_strict(key, longer, sig));
  EXPECT_FALSE(update_proto::verify_ed25519_strict(key, shorter, sig));
  EXPECT_FALSE(update_proto::verify_ed25519_strict(key, flipped, sig));
  EXPECT_FALSE(update_proto::verify_ed25519_strict(test_support::dev_public_key(3), kMessage, sig));
}

TEST(Ed25519Strict, EmptyMessage) {
  const auto sig = vostal::sign_ed25519(test_support::dev_seed(1), {});
  EXPECT_TRUE(update_proto::verify_ed25519_strict(test_support::dev_public_key(1), {}, sig));
}

TEST(Ed25519Strict, WrongLengthsAreNotValid) {
  const auto key = test_support::dev_public_key(1);
  const auto sig = vostal::sign_ed25519(test_support::dev_seed(1), kMessage);
  const Bytes key_bytes(key.begin(), key.end());
  const Bytes sig_bytes(sig.begin(), sig.end());

  Bytes long_key = key_bytes;
  long_key.push_back(0);
  Bytes long_sig = sig_bytes;
  long_sig.push_back(0);
  const Bytes short_key(key_bytes.begin(), key_bytes.end() - 1);
  const Bytes short_sig(sig_bytes.begin(), sig_bytes.end() - 1);

  EXPECT_TRUE(update_proto::verify_ed25519_strict(key_bytes, kMessage, sig_bytes));
  EXPECT_FALSE(update_proto::verify_ed25519_strict(short_key, kMessage, sig_bytes));
  EXPECT_FALSE(update_proto::verify_ed25519_strict(long_key, kMessage, sig_bytes));
  EXPECT_FALSE(update_proto::verify_ed25519_strict(key_bytes, kMessage, short_sig));
  EXPECT_FALSE(update_proto::verify_ed25519_strict(key_bytes, kMessage, long_sig));
  EXPECT_FALSE(update_proto::verify_ed25519_strict({}, kMessage, {}));
}

TEST(Ed25519Strict, KeyThatIsNotACurvePointIsNotValid) {
  // y = 2 has no x on the curve: (y^2 - 1) / (d y^2 + 1) is not a square
  // mod p. libsodium's point decoding confirms it.
  strict_fixtures::Point not_a_point{};
  not_a_point[0] = 2;
  strict_fixtures::Point sum{};
  ASSERT_NE(crypto_core_ed25519_add(sum.data(), not_a_point.data(), not_a_point.data()), 0);
  const auto sig = vostal::sign_ed25519(test_support::dev_seed(1), kMessage);
  EXPECT_FALSE(update_proto::verify_ed25519_strict(not_a_point, kMessage, sig));
}

}  // namespace
