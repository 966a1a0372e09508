#include <gtest/gtest.h>

#include <algorithm>

#include "driver_test_support.hpp"
#include "fake_platform.hpp"
#include "pre_swap_verification.hpp"
#include "run.hpp"
#include "test_manifest.hpp"

namespace vostal::testing {
namespace {

const std::string STAGED = "staged executable, version 2";
const std::string EMPTY_SHA256 = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";

TEST(DigestHex, LowercaseTwoDigitsPerByte) {
  std::array<std::uint8_t, 32> digest{};
  digest[0] = 0x00;
  digest[1] = 0x0f;
  digest[2] = 0xa0;
  digest[31] = 0xff;
  EXPECT_EQ(digest_hex(digest), "000fa0" + std::string(56, '0') + "ff");
  EXPECT_EQ(digest_hex(sha256_of("")), EMPTY_SHA256);
}

TEST(FiletimeToUnixSeconds, TruncatesAndClampsBefore1970) {
  constexpr std::uint64_t EPOCH = 116444736000000000;
  EXPECT_EQ(filetime_to_unix_seconds(0), 0);
  EXPECT_EQ(filetime_to_unix_seconds(EPOCH - 1), 0);
  EXPECT_EQ(filetime_to_unix_seconds(EPOCH), 0);
  EXPECT_EQ(filetime_to_unix_seconds(EPOCH + 9999999), 0);
  EXPECT_EQ(filetime_to_unix_seconds(EPOCH + 10000000), 1);
  EXPECT_EQ(filetime_to_unix_seconds(EPOCH + 17000000009999999), 1700000000);
  EXPECT_EQ(filetime_to_unix_seconds(UINT64_MAX), static_cast<std::int64_t>((UINT64_MAX - EPOCH) / 10000000));
}

// The verification alone, on a fake disk holding a staged file and its manifest.
class Verification : public ::testing::Test {
 protected:
  void SetUp() override {
    fake.set_unix_time(TEST_NOW);
    fake.files[new_exe] = STAGED;
    recipe.binary_sha256 = sha256_of(STAGED);
  }
  std::expected<void, StepFailure> verify() {
    if (write_manifest) fake.files[manifest] = make_manifest(recipe);
    return verify_staged_update(fake, manifest, new_exe);
  }
  bool hashed() const { return std::find(fake.log.begin(), fake.log.end(), "hash " + to_utf8(new_exe)) != fake.log.end(); }

  FakePlatform fake;
  ManifestRecipe recipe;
  bool write_manifest = true;
  const OsString manifest = os("/app/update m.bin");
  const OsString new_exe = os("/app/app.new");
};

TEST_F(Verification, PassesSilentlyAndDeletesNothing) {
  ASSERT_TRUE(verify());
  EXPECT_EQ(fake.standard_error, "");
  EXPECT_TRUE(fake.files.contains(manifest));
  EXPECT_TRUE(fake.files.contains(new_exe));
}

TEST_F(Verification, ManifestThatCannotBeRead) {
  write_manifest = false;
  EXPECT_EQ(verify().error(), (StepFailure{Stage::manifest_read, "/app/update m.bin: No such file or directory (os error 2)"}));
  fake.directories.insert(manifest);
  EXPECT_EQ(verify().error(), (StepFailure{Stage::manifest_read, "/app/update m.bin: Is a directory (os error 21)"}));
  EXPECT_FALSE(hashed());
}

TEST_F(Verification, ManifestThatDoesNotDecode) {
  write_manifest = false;
  fake.files[manifest] = "";
  EXPECT_EQ(verify().error(), (StepFailure{Stage::manifest_decode, "compact: Hit the end of buffer, expected more data"}));
}

TEST_F(Verification, BytesAfterTheManifestAreIgnored) {
  write_manifest = false;
  fake.files[manifest] = make_manifest(recipe) + "trailing junk";
  EXPECT_TRUE(verify());
}

TEST_F(Verification, PolicyRefusalIsShownUnchanged) {
  recipe.signers = {};
  EXPECT_EQ(verify().error(), (StepFailure{Stage::manifest_verify, "threshold not met: 0 distinct valid signature(s), need 2"}));
  recipe.signers = {"DEV-K01_", "DEV-K01_"};
  EXPECT_EQ(verify().error(), (StepFailure{Stage::manifest_verify, "threshold not met: 1 distinct valid signature(s), need 2"}));
  recipe.signers = {"DEV-K01_", "DEV-K02_", "DEV-K03_"};
  recipe.spec_version = 3;
  EXPECT_EQ(verify().error(), (StepFailure{Stage::manifest_verify, "manifest spec_version 3 != expected 2 (client too old?)"}));
}

TEST_F(Verification, FreshnessUsesTheWallClockInWholeSeconds) {
  recipe.expires_at = TEST_NOW - 1;
  EXPECT_EQ(verify().error(), (StepFailure{Stage::manifest_stale, "manifest expired: expires_at=1699999999 now=1700000000"}));
  recipe.expires_at = TEST_NOW;
  fake.filetime += 9999999;  // 0.9999999 s later still counts as the same second
  EXPECT_TRUE(verify());
}

TEST_F(Verification, ClockBefore1970CountsAsZero) {
  fake.filetime = 1000;  // 1601
  recipe.built_at = 301;
  recipe.expires_at = 10;
  EXPECT_EQ(verify().error(), (StepFailure{Stage::manifest_stale, "manifest built_at 301 is > 300s ahead of client clock (now=0)"}));
}

TEST_F(Verification, StaleManifestStopsBeforeTheExecutableIsRead) {
  recipe.expires_at = TEST_NOW - 10;
  recipe.binary_sha256 = sha256_of("something else");
  EXPECT_EQ(verify().error().stage, Stage::manifest_stale);
  EXPECT_FALSE(hashed());
}

TEST_F(Verification, StagedExecutableThatCannotBeRead) {
  fake.files.erase(new_exe);
  EXPECT_EQ(verify().error(), (StepFailure{Stage::binary_read, "/app/app.new: No such file or directory (os error 2)"}));
}

TEST_F(Verification, DigestMismatchShowsBothDigests) {
  fake.files[new_exe] = "staged executable, version 3";
  EXPECT_EQ(verify().error(),
            (StepFailure{Stage::hash_mismatch, "expected sha256 " + digest_hex(sha256_of(STAGED)) + " got " +
                                                   digest_hex(sha256_of("staged executable, version 3"))}));
  fake.files[new_exe] = "";
  EXPECT_EQ(verify().error().message, "expected sha256 " + digest_hex(sha256_of(STAGED)) + " got " + EMPTY_SHA256);
}

// Through the whole run: the line, the deletions, the status file, the exit.
TEST(VerificationFailure, CleansUpThenWritesTheStatusThenExits) {
  const struct {
    std::string manifest;
    std::string staged;
    int exit;
    std::string stage;
  } cases[] = {
      {"", STAGED, 3, "manifest_decode"},
      {make_manifest({.binary_sha256 = sha256_of(STAGED)}), STAGED + "!", 2, "hash_mismatch"},
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    fake.install_tasklist();
    fake.set_unix_time(TEST_NOW);
    fake.files[os("/app/app")] = "version 1";
    fake.files[os("/app/app.new")] = c.staged;
    fake.files[os("/app/m")] = c.manifest;
    EXPECT_EQ(run(fake, argv_of({"/app/app", "/app/app.new", "77", "/app/m"})), c.exit);
    EXPECT_EQ(fake.files, (std::map<OsString, std::string>{{os("/app/app"), "version 1"},
                                                            {join_path(os("/app"), os("tasklist") + OsString(BARE_PROGRAM_SUFFIX)), "#tasklist"},
                                                            {os("/app/app.swap-status"), fake.files[os("/app/app.swap-status")]}}));
    const auto tail = std::vector<std::string>(fake.log.end() - 4, fake.log.end());
    EXPECT_TRUE(tail[0].starts_with("stderr [updater] pre-swap verification failed at '" + c.stage + "': ")) << tail[0];
    EXPECT_EQ(tail[1], "delete /app/app.new");
    EXPECT_EQ(tail[2], "delete /app/m");
    EXPECT_EQ(tail[3], "write /app/app.swap-status");
    EXPECT_TRUE(fake.files[os("/app/app.swap-status")].starts_with("{\"stage\":\"" + c.stage + "\",\"message\":\""));
  }
}

}  // namespace
}  // namespace vostal::testing
