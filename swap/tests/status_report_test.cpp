#include <gtest/gtest.h>

#include "driver_test_support.hpp"
#include "fake_platform.hpp"
#include "status_report.hpp"

namespace vostal::testing {
namespace {

TEST(StatusReport, PathAppendsTheSuffixToTheWholeText) {
  EXPECT_EQ(status_path(os("C:\\App\\app.exe")), os("C:\\App\\app.exe.swap-status"));
  EXPECT_EQ(status_path(os("C:\\App\\app")), os("C:\\App\\app.swap-status"));
  EXPECT_EQ(status_path(os("rel/app")), os("rel/app.swap-status"));
}

TEST(StatusReport, ExactTextAndEscaping) {
  const struct {
    std::string message;
    std::string file;
  } cases[] = {
      {"timeout", R"({"stage":"wait_parent","message":"timeout"})"},
      {"", R"({"stage":"wait_parent","message":""})"},
      {"a\\b", R"({"stage":"wait_parent","message":"a\\b"})"},
      {"a\"b", R"({"stage":"wait_parent","message":"a\"b"})"},
      {"\\\"", R"({"stage":"wait_parent","message":"\\\""})"},  // three backslashes, then the quote
      {"C:\\App\\x y.exe: \xc3\xa9t\xc3\xa9 \x7f", "{\"stage\":\"wait_parent\",\"message\":\"C:\\\\App\\\\x y.exe: \xc3\xa9t\xc3\xa9 \x7f\"}"},
      // Control characters are escaped so the file stays valid JSON.
      {"l1\nl2\r\t\b\f", R"({"stage":"wait_parent","message":"l1\nl2\r\t\b\f"})"},
      {std::string("\x00\x01\x1f", 3), R"({"stage":"wait_parent","message":"\u0000\u0001\u001f"})"},
  };
  for (const auto& c : cases) EXPECT_EQ(status_text(Stage::wait_parent, c.message), c.file) << c.message;
  EXPECT_EQ(status_text(Stage::wait_parent, "timeout").size(), 43u);
}

TEST(StatusReport, EveryStageWordAndExitStatus) {
  const struct {
    Stage stage;
    std::string_view word;
    int exit;
  } cases[] = {
      {Stage::wait_parent, "wait_parent", 4},     {Stage::manifest_read, "manifest_read", 3},
      {Stage::manifest_decode, "manifest_decode", 3}, {Stage::manifest_verify, "manifest_verify", 3},
      {Stage::manifest_stale, "manifest_stale", 3},  {Stage::binary_read, "binary_read", 3},
      {Stage::hash_mismatch, "hash_mismatch", 2},    {Stage::backup, "backup", 4},
      {Stage::install, "install", 4},                {Stage::launch, "launch", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(stage_word(c.stage), c.word);
    EXPECT_EQ(exit_status(c.stage), c.exit) << c.word;
    EXPECT_EQ(status_text(c.stage, "m"), "{\"stage\":\"" + std::string(c.word) + "\",\"message\":\"m\"}");
  }
}

TEST(StatusReport, OverwritesLongerContentAndIgnoresWriteFailure) {
  FakePlatform fake;
  const OsString path = os("/app/app.swap-status");
  fake.files[path] = std::string(500, 'x');
  write_status(fake, path, Stage::backup, "short");
  EXPECT_EQ(fake.files[path], R"({"stage":"backup","message":"short"})");

  fake.write_failures[path] = access_denied();
  write_status(fake, path, Stage::install, "other");  // returns as if it had worked
  EXPECT_EQ(fake.files[path], R"({"stage":"backup","message":"short"})");
  EXPECT_EQ(fake.standard_error, "");
}

}  // namespace
}  // namespace vostal::testing
