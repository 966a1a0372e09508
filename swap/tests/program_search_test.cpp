#include <gtest/gtest.h>

#include <ranges>

#include "driver_test_support.hpp"
#include "fake_platform.hpp"
#include "program_search.hpp"

namespace vostal::testing {
namespace {

TEST(ProgramSearch, PathsWithASeparator) {
  FakePlatform fake;
  fake.files[os("/app/tool.exe")] = "";
  fake.files[os("C:\\App\\app.exe")] = "";
  const struct {
    std::string_view program;
    std::string_view found;
  } cases[] = {
      {"/app/app.EXE", "/app/app.EXE"},        // ends in .exe: as given, existing or not
      {"/app/tool", "/app/tool.exe"},          // .exe appended when that file exists
      {"/app/other", "/app/other"},            // otherwise as given
      {"C:\\App\\app", "C:\\App\\app.exe"},    // backslash counts as a separator everywhere
      {"rel/tool", "rel/tool"},
  };
  for (const auto& c : cases) {
    const auto found = find_program(fake, os(c.program));
    ASSERT_TRUE(found) << c.program;
    EXPECT_EQ(*found, os(c.found)) << c.program;
  }
}

TEST(ProgramSearch, NoFileName) {
  FakePlatform fake;
  for (std::string_view program : {"", "/app/", "C:\\App\\"}) {
    const auto found = find_program(fake, os(program));
    ASSERT_FALSE(found) << program;
    EXPECT_EQ(found.error(), (SystemError{"program path has no file name", 0}));
  }
}

TEST(ProgramSearch, BareNameSearchOrder) {
  FakePlatform fake;
  const OsString name = os("tool") + OsString(BARE_PROGRAM_SUFFIX);
  fake.own_dir = os("/own");
  fake.system_dirs = {os("/sys1"), os("/sys2")};
  fake.path_dirs = {os("/p1"), os("/p2")};
  const std::vector<OsString> order = {os("/own"), os("/sys1"), os("/sys2"), os("/p1"), os("/p2")};
  // Fill the directories from the back: each time the earliest one wins.
  for (const auto& dir : std::views::reverse(order)) {
    fake.files[join_path(dir, name)] = "";
    EXPECT_EQ(find_program(fake, os("tool")), join_path(dir, name));
  }
}

TEST(ProgramSearch, BareNameNotFoundIgnoresTheWorkingDirectory) {
  FakePlatform fake;
  fake.own_dir.clear();  // unknown: skipped, not taken as the root or "."
  fake.files[os("tool")] = "";
  fake.files[os("/tool")] = "";
  const auto found = find_program(fake, os("tool"));
  ASSERT_FALSE(found);
  EXPECT_EQ(found.error(), (SystemError{"program not found", 0}));
}

}  // namespace
}  // namespace vostal::testing
