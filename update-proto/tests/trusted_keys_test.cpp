// The built-in key table: fixed ids in a fixed order, and, when this build
// was configured with the development key file, exactly the public halves of
// the development seeds, usable through the one-argument verify_manifest.
#include <gtest/gtest.h>

#include "test_support.hpp"

namespace {

TEST(TrustedKeys, IdsAreFixedAndInOrder) {
  ASSERT_EQ(update_proto::TRUSTED_KEYS.size(), 3u);
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(update_proto::TRUSTED_KEYS[static_cast<std::size_t>(n - 1)].key_id, test_support::dev_id(n));
  }
}

TEST(TrustedKeys, BuiltInTableIsTheConfiguredKeyFile) {
  if (!VOSTAL_TRUSTED_KEYS_ARE_DEV) GTEST_SKIP() << "configured with another key file";
  for (int n = 1; n <= 3; ++n) {
    EXPECT_EQ(update_proto::TRUSTED_KEYS[static_cast<std::size_t>(n - 1)].public_key, test_support::dev_public_key(n));
  }
  const auto body = vostal::encode_manifest_body(test_support::valid_body());
  EXPECT_TRUE(update_proto::verify_manifest(test_support::signed_by(body, {1, 3})).has_value());
  const auto one = update_proto::verify_manifest(test_support::signed_by(body, {2}));
  ASSERT_FALSE(one.has_value());
  EXPECT_EQ(one.error().message, "threshold not met: 1 distinct valid signature(s), need 2");
}

}  // namespace
