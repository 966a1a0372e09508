// The POSIX backend against the real system: error texts, the files it reads
// and writes, and the children it starts.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "vostal/platform.hpp"

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

std::string hex(const vostal::Sha256Digest& digest) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  std::string out;
  for (auto byte : digest) {
    out.push_back(DIGITS[byte >> 4]);
    out.push_back(DIGITS[byte & 15]);
  }
  return out;
}

void write_file(const fs::path& path, std::string_view bytes, fs::perms perms = fs::perms::owner_read | fs::perms::owner_write) {
  std::ofstream(path, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  fs::permissions(path, perms);
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

class PosixPlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/vostal-platform-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    std::error_code ignored;
    fs::permissions(dir_, fs::perms::owner_all, ignored);
    fs::remove_all(dir_, ignored);
  }
  std::string path(std::string_view name) const { return (dir_ / name).string(); }

  fs::path dir_;
  std::unique_ptr<vostal::Platform> os_ = vostal::make_native_platform();
};

TEST_F(PosixPlatformTest, ErrorTextIsStrerrorThenTheCode) {
  EXPECT_EQ(os_->error_text(2), "No such file or directory (os error 2)");
  EXPECT_EQ(os_->error_text(13), "Permission denied (os error 13)");
  auto missing = os_->read_file(path("absent"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), (vostal::SystemError{"No such file or directory (os error 2)", 2}));
  auto directory = os_->read_file(dir_.string());
  ASSERT_FALSE(directory);
  EXPECT_EQ(directory.error().text, "Is a directory (os error 21)");
  EXPECT_FALSE(os_->sha256_file(dir_.string()));
}

TEST_F(PosixPlatformTest, ReadFileReturnsEveryByte) {
  std::string content(200000, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  write_file(path("f"), content);
  auto bytes = os_->read_file(path("f"));
  ASSERT_TRUE(bytes);
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), content);
}

TEST_F(PosixPlatformTest, Sha256OfKnownInputs) {
  // The third input spans three hashing chunks, the last one partial.
  const struct {
    std::string content;
    std::string digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {std::string(3000000, 'a'), "2a152c894398719c0570f83fac34ac03a0f6e8e474b995c2403aa5434f7b9dd4"},
  };
  for (const auto& c : cases) {
    write_file(path("f"), c.content);
    auto digest = os_->sha256_file(path("f"));
    ASSERT_TRUE(digest) << digest.error().text;
    EXPECT_EQ(hex(*digest), c.digest) << "length " << c.content.size();
  }
}

// The updater takes no configuration, libcrypto's included: a config file
// named by OPENSSL_CONF that leaves no SHA-256 to fetch (it asks for a FIPS
// provider that is not there) changes nothing. libcrypto reads its
// configuration once per process, so the hashing runs in a fresh one: the
// "threadsafe" death-test style re-executes this test in a new process.
TEST_F(PosixPlatformTest, Sha256IgnoresOpensslConfiguration) {
  write_file(path("openssl.cnf"),
             "openssl_conf = init\n[init]\nalg_section = evp\n[evp]\ndefault_properties = fips=yes\n");
  write_file(path("f"), "abc");
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        ::setenv("OPENSSL_CONF", path("openssl.cnf").c_str(), 1);
        const auto digest = os_->sha256_file(path("f"));
        const bool right = digest && hex(*digest) == "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";
        std::error_code ignored;
        fs::remove_all(dir_, ignored);  // this process skips TearDown
        std::exit(right ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(PosixPlatformTest, WriteSharedFileReplacesLongerContent) {
  write_file(path("s"), std::string(100, 'x'));
  ASSERT_TRUE(os_->write_shared_file(path("s"), "short"));
  EXPECT_EQ(read_text(path("s")), "short");
  ASSERT_TRUE(os_->write_shared_file(path("new"), ""));
  EXPECT_TRUE(fs::exists(path("new")));
}

TEST_F(PosixPlatformTest, WriteSharedFileInReadOnlyDirectoryFails) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes into read-only directories";
  fs::permissions(dir_, fs::perms::owner_read | fs::perms::owner_exec);
  auto written = os_->write_shared_file(path("s"), "x");
  ASSERT_FALSE(written);
  EXPECT_EQ(written.error().code, 13u);
}

TEST_F(PosixPlatformTest, RenameReplacesAndDeleteRemovesReadOnlyFiles) {
  write_file(path("a"), "new");
  write_file(path("b"), "old", fs::perms::owner_read);
  ASSERT_TRUE(os_->rename_file(path("a"), path("b")));
  EXPECT_EQ(read_text(path("b")), "new");
  EXPECT_FALSE(fs::exists(path("a")));

  write_file(path("ro"), "x", fs::perms::owner_read);
  ASSERT_TRUE(os_->delete_file(path("ro")));
  EXPECT_FALSE(fs::exists(path("ro")));
  auto again = os_->delete_file(path("ro"));
  ASSERT_FALSE(again);
  EXPECT_EQ(again.error().code, 2u);
}

TEST_F(PosixPlatformTest, RenameAcrossFileSystemsFailsWithExdev) {
  struct stat here {}, shm {};
  if (::stat(dir_.c_str(), &here) != 0 || ::stat("/dev/shm", &shm) != 0 || here.st_dev == shm.st_dev) {
    GTEST_SKIP() << "/dev/shm is not a separate file system from " << dir_;
  }
  const std::string other = "/dev/shm/vostal-platform-" + std::to_string(::getpid());
  write_file(other, "x");
  auto moved = os_->rename_file(other, path("here"));
  ::unlink(other.c_str());
  ASSERT_FALSE(moved);
  EXPECT_EQ(moved.error(), (vostal::SystemError{"Invalid cross-device link (os error 18)", 18}));
}

TEST_F(PosixPlatformTest, FileExistsCountsDirectories) {
  EXPECT_TRUE(os_->file_exists(dir_.string()));
  EXPECT_FALSE(os_->file_exists(path("absent")));
}

TEST_F(PosixPlatformTest, CapturedChildNeverDeadlocksOnEitherPipe) {
  // 3 MB to standard error first: a reader that waited on standard output
  // alone would never see it finish.
  const std::vector<vostal::OsString> args{
      "-c", "head -c 3000000 /dev/zero >&2; head -c 2000000 /dev/zero; printf tail"};
  auto out = os_->run_captured("/bin/sh", args, os_->monotonic_now() + 60s);
  ASSERT_TRUE(out) << out.error().text;
  EXPECT_FALSE(out->timed_out);
  EXPECT_EQ(out->standard_error.size(), 3000000u);
  EXPECT_EQ(out->standard_output.size(), 2000004u);
  EXPECT_TRUE(out->standard_output.ends_with("tail"));
}

TEST_F(PosixPlatformTest, CapturedChildReadsTheNullDevice) {
  const std::vector<vostal::OsString> args{"-c", "cat; echo \"$0|$1\" >&2", "name", "one two"};
  auto out = os_->run_captured("/bin/sh", args, os_->monotonic_now() + 60s);
  ASSERT_TRUE(out);
  EXPECT_EQ(out->standard_output, "");
  EXPECT_EQ(out->standard_error, "name|one two\n") << "argument with a space stays one argument";
}

TEST_F(PosixPlatformTest, ChildStillRunningAtTheDeadlineIsKilled) {
  // One child keeps its pipes open; the other closes them and lives on.
  for (const char* script : {"echo partial; sleep 100", "exec >&- 2>&-; sleep 100"}) {
    const std::vector<vostal::OsString> args{"-c", script};
    auto out = os_->run_captured("/bin/sh", args, os_->monotonic_now() + 300ms);
    ASSERT_TRUE(out) << script;
    EXPECT_TRUE(out->timed_out) << script;
  }
}

TEST_F(PosixPlatformTest, SpawnFailuresAreReportedNotHidden) {
  write_file(path("not-executable"), "#!/bin/sh\n", fs::perms::owner_read | fs::perms::owner_write);
  write_file(path("garbage"), std::string("\x7f\x01\x02\x03 not a program"), fs::perms::owner_all);
  const struct {
    std::string program;
    std::uint32_t code;
  } cases[] = {{path("absent"), 2}, {path("not-executable"), 13}, {path("garbage"), 8}};
  for (const auto& c : cases) {
    auto captured = os_->run_captured(c.program, {}, os_->monotonic_now() + 10s);
    ASSERT_FALSE(captured) << c.program;
    EXPECT_EQ(captured.error().code, c.code) << c.program;
    auto launched = os_->launch(c.program, c.program);
    ASSERT_FALSE(launched) << c.program;
    EXPECT_EQ(launched.error().code, c.code) << c.program;
  }
  EXPECT_EQ(os_->launch(path("garbage"), "x").error().text, "Exec format error (os error 8)");
}

// What argv[0] the launched program sees is checked end to end with a compiled
// program; a script cannot see it (the kernel puts the script's path there).
TEST_F(PosixPlatformTest, LaunchedProgramGetsNoArgumentsAndInheritsTheWorkingDirectory) {
  const std::string script = path("relaunched");
  write_file(script, "#!/bin/sh\necho \"$#\" > marker.tmp && mv marker.tmp marker\n", fs::perms::owner_all);
  const auto previous = fs::current_path();
  fs::current_path(dir_);
  auto launched = os_->launch(script, "as given");
  fs::current_path(previous);
  ASSERT_TRUE(launched) << launched.error().text;
  // The child is not waited for by the backend; give it time to write.
  for (int i = 0; i < 1000 && !fs::exists(path("marker")); ++i) std::this_thread::sleep_for(10ms);
  EXPECT_EQ(read_text(path("marker")), "0\n");
}

TEST_F(PosixPlatformTest, SearchDirectories) {
  EXPECT_TRUE(os_->system_directories().empty());
  EXPECT_TRUE(os_->file_exists(vostal::join_path(os_->own_directory(), "platform_posix_test")));

  const char* saved = std::getenv("PATH");
  const std::string restore = saved ? saved : "";
  ::setenv("PATH", "/a::/b c:", 1);
  const auto directories = os_->path_directories();
  ::setenv("PATH", restore.c_str(), 1);
  EXPECT_EQ(directories, (std::vector<vostal::OsString>{"/a", "/b c"}));
}

TEST_F(PosixPlatformTest, WallClockIsFiletime) {
  const std::int64_t before = std::time(nullptr);
  const std::uint64_t filetime = os_->now_filetime();
  const std::int64_t after = std::time(nullptr);
  const std::int64_t unix_seconds = static_cast<std::int64_t>(filetime / 10000000) - 11644473600;
  EXPECT_GE(unix_seconds, before);
  EXPECT_LE(unix_seconds, after);
}

TEST(PosixText, ValidTextIsWellFormedUtf8) {
  const struct {
    std::string text;
    bool valid;
  } cases[] = {
      {"", true},
      {"plain ascii", true},
      {"\xc3\xa9t\xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", true},  // é, €, emoji
      {"\xc3", false},                                            // truncated
      {"\xc0\x80", false},                                        // overlong NUL
      {"\xe0\x80\xaf", false},                                    // overlong
      {"\xed\xa0\x80", false},                                    // surrogate
      {"\xf4\x90\x80\x80", false},                                // above U+10FFFF
      {"\xff", false},
      {"a\x80", false},  // lone continuation byte
  };
  for (const auto& c : cases) EXPECT_EQ(vostal::is_valid_text(c.text), c.valid) << c.text;
  EXPECT_EQ(vostal::join_path("/dir", "name"), "/dir/name");
  EXPECT_EQ(vostal::join_path("/", "name"), "/name");
}

}  // namespace
