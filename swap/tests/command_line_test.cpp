#include <gtest/gtest.h>

#include "command_line.hpp"
#include "driver_test_support.hpp"
#include "fake_platform.hpp"
#include "run.hpp"

namespace vostal::testing {
namespace {

// Text that is not valid in the OS's encoding: `valid` followed by
// `posix_bytes` where arguments are bytes, by an unpaired surrogate where
// they are UTF-16.
OsString not_text(std::string_view valid, std::string_view posix_bytes) {
  OsString text = os(valid);
  if constexpr (sizeof(OsChar) == 1) {
    text.append(posix_bytes.begin(), posix_bytes.end());
  } else {
    text.push_back(static_cast<OsChar>(0xD800));
  }
  return text;
}

TEST(CommandLine, RefusalsInArgumentOrder) {
  const struct {
    std::vector<OsString> argv;
    std::string line;
  } cases[] = {
      {argv_of({}), "usage: vostal-swap <current_exe> <new_exe> <parent_pid> <manifest_path>\n"},
      {{}, "usage: vostal-swap <current_exe> <new_exe> <parent_pid> <manifest_path>\n"},  // no argv[0] at all
      {argv_of({"a"}), "missing new_exe\n"},
      {argv_of({"a", "b"}), "missing parent_pid\n"},
      {argv_of({"a", "b", "12x"}), "bad parent_pid '12x'\n"},  // the missing fourth is not mentioned
      {argv_of({"a", "b", "12x", "m"}), "bad parent_pid '12x'\n"},
      {argv_of({"a", "b", " 5"}), "bad parent_pid ' 5'\n"},
      {argv_of({"a", "b", "5"}), "missing manifest_path\n"},
      {{os("vostal-swap"), not_text("a", "\xff"), os("b"), os("5"), os("m")}, "current_exe is not valid Unicode text\n"},
      {{os("vostal-swap"), os("a"), not_text("b", "\xc0\x80"), os("5"), os("m")}, "new_exe is not valid Unicode text\n"},
      {{os("vostal-swap"), os("a"), os("b"), not_text("5", "\xed\xa0\x80"), os("m")}, "parent_pid is not valid Unicode text\n"},
      {{os("vostal-swap"), os("a"), os("b"), os("5"), not_text("", "\xf4\x90\x80\x80")}, "manifest_path is not valid Unicode text\n"},
  };
  for (const auto& c : cases) {
    const auto result = read_command_line(c.argv);
    ASSERT_FALSE(result) << c.line;
    EXPECT_EQ(result.error(), c.line);
  }
}

TEST(CommandLine, AcceptsFourArgumentsAndIgnoresMore) {
  auto argv = argv_of({"C:\\App\\app.exe", "", "+0042", "m f", "extra"});
  argv.push_back(not_text("", "\xff"));  // not even checked
  const auto args = read_command_line(argv);
  ASSERT_TRUE(args);
  EXPECT_EQ(args->current_exe, os("C:\\App\\app.exe"));
  EXPECT_EQ(args->new_exe, os(""));  // an empty path is accepted here
  EXPECT_EQ(args->parent_pid, 42u);
  EXPECT_EQ(args->manifest_path, os("m f"));
}

TEST(CommandLine, ParentPidRules) {
  const struct {
    std::string_view text;
    std::optional<std::uint32_t> value;
  } cases[] = {
      {"0", 0u},
      {"5", 5u},
      {"+5", 5u},
      {"0005", 5u},
      {"+0042", 42u},
      {"4294967295", 4294967295u},
      {"000000000004294967295", 4294967295u},  // leading zeros do not count against the range
      {"4294967296", std::nullopt},
      {"99999999999999999999999", std::nullopt},
      {"", std::nullopt},
      {"+", std::nullopt},
      {"-", std::nullopt},
      {"-5", std::nullopt},
      {"++5", std::nullopt},
      {" 5", std::nullopt},
      {"5 ", std::nullopt},
      {"5a", std::nullopt},
      {"0x10", std::nullopt},
      {"\xd9\xa5", std::nullopt},  // ARABIC-INDIC DIGIT FIVE is not an ASCII digit
  };
  for (const auto& c : cases) EXPECT_EQ(read_parent_pid(os(c.text)), c.value) << "'" << c.text << "'";
}

TEST(CommandLine, RefusedRunPrintsOnlyItsLineAndTouchesNoFile) {
  FakePlatform fake;
  fake.files[os("/app/app.swap-status")] = "{\"stage\":\"launch\",\"message\":\"old\"}";
  const auto before = fake.files;
  EXPECT_EQ(run(fake, argv_of({"/app/app", "/app/new", "-1", "/app/m"})), 1);
  EXPECT_EQ(fake.standard_error, "bad parent_pid '-1'\n");
  EXPECT_EQ(fake.files, before);
  EXPECT_EQ(fake.log.size(), 1u) << "nothing but the line: " << fake.log.back();
  EXPECT_TRUE(fake.runs.empty());
}

}  // namespace
}  // namespace vostal::testing
