// The Win32 backend against the real system (Wine in CI): error texts, the
// files it reads, writes, renames and deletes, the children it starts and the
// command lines it builds for them.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "command-line-win32.hpp"
#include "vostal/platform.hpp"

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// After <windows.h>.
#include <shellapi.h>

namespace fs = std::filesystem;
using namespace std::chrono_literals;

namespace {

using vostal::OsString;

std::string hex(const vostal::Sha256Digest& digest) {
  static constexpr char DIGITS[] = "0123456789abcdef";
  std::string out;
  for (auto byte : digest) {
    out.push_back(DIGITS[byte >> 4]);
    out.push_back(DIGITS[byte & 15]);
  }
  return out;
}

void write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// Owns a handle of the test's own.
struct Handle {
  explicit Handle(HANDLE h) : handle(h) {}
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  ~Handle() {
    if (handle != INVALID_HANDLE_VALUE && handle != nullptr) CloseHandle(handle);
  }
  HANDLE handle;
};

// A file opened by someone else, with the given sharing.
Handle hold_open(const fs::path& path, DWORD access, DWORD share) {
  return Handle(CreateFileW(path.c_str(), access, share, nullptr, OPEN_EXISTING, 0, nullptr));
}

class Win32PlatformTest : public ::testing::Test {
 protected:
  void SetUp() override {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    dir_ = fs::absolute(fs::path(WIN32_BIN_DIR) / "platform-win32-work" / test->name());
    fs::remove_all(dir_);
    fs::create_directories(dir_);
  }
  void TearDown() override {
    std::error_code ignored;
    for (const auto& entry : fs::recursive_directory_iterator(dir_, ignored)) {
      SetFileAttributesW(entry.path().c_str(), FILE_ATTRIBUTE_NORMAL);
    }
    fs::remove_all(dir_, ignored);
  }
  OsString path(std::wstring_view name) const { return (dir_ / name).native(); }

  fs::path dir_;
  std::unique_ptr<vostal::Platform> os_ = vostal::make_native_platform();
};

TEST_F(Win32PlatformTest, ErrorTextIsTheSystemMessageThenTheCode) {
  // The system's wording differs between Windows versions and Wine, so the
  // test checks the form: the text with its trailing line break removed, then
  // the code.
  for (const DWORD code : {ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_SHARING_VIOLATION, ERROR_BAD_EXE_FORMAT}) {
    const std::string text = os_->error_text(code);
    const std::string suffix = " (os error " + std::to_string(code) + ")";
    ASSERT_TRUE(text.ends_with(suffix)) << text;
    const std::string message = text.substr(0, text.size() - suffix.size());
    EXPECT_FALSE(message.empty());
    EXPECT_EQ(message.find_first_of("\r\n"), std::string::npos) << text;
    EXPECT_NE(message.back(), ' ');
  }
  // %1 in a system message stays as it is: nothing is inserted.
  EXPECT_NE(os_->error_text(ERROR_BAD_EXE_FORMAT).find("%1"), std::string::npos);
  // A code the system has no text for; the lookup fails with
  // ERROR_MR_MID_NOT_FOUND (317).
  EXPECT_EQ(os_->error_text(0x12345),
            "OS Error 74565 (FormatMessageW() returned error 317) (os error 74565)");
}

TEST_F(Win32PlatformTest, ReadAndHash) {
  std::string content(3 * 65536 + 17, '\0');
  for (std::size_t i = 0; i < content.size(); ++i) content[i] = static_cast<char>(i * 7);
  write_file(path(L"f"), content);
  auto bytes = os_->read_file(path(L"f"));
  ASSERT_TRUE(bytes);
  EXPECT_EQ(std::string(bytes->begin(), bytes->end()), content);

  write_file(path(L"abc"), "abc");
  write_file(path(L"empty"), "");
  EXPECT_EQ(hex(*os_->sha256_file(path(L"abc"))), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(hex(*os_->sha256_file(path(L"empty"))), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  // Longer than the read buffer: 1,000,000 times "a" (FIPS 180-2 sample).
  write_file(path(L"million"), std::string(1'000'000, 'a'));
  EXPECT_EQ(hex(*os_->sha256_file(path(L"million"))), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");

  auto missing = os_->read_file(path(L"absent"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error(), (vostal::SystemError{os_->error_text(ERROR_FILE_NOT_FOUND), ERROR_FILE_NOT_FOUND}));
  EXPECT_EQ(os_->sha256_file(path(L"absent")).error().code, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  // A directory cannot be opened as a file: access denied.
  EXPECT_EQ(os_->read_file(dir_.native()).error().code, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
}

TEST_F(Win32PlatformTest, StatusFileIsWrittenWhileOthersHoldItOpen) {
  write_file(path(L"status"), "a much longer earlier content");
  {
    // Another reader that shares everything: the status file's own sharing
    // (read, write, delete) lets the write go ahead, and truncates.
    Handle reader = hold_open(path(L"status"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    ASSERT_NE(reader.handle, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(os_->write_shared_file(path(L"status"), "{\"x\":1}"));
  }
  EXPECT_EQ(read_text(path(L"status")), "{\"x\":1}");
  // A directory in the way.
  fs::create_directories(dir_ / "blocked");
  EXPECT_FALSE(os_->write_shared_file(path(L"blocked"), "x"));
}

TEST_F(Win32PlatformTest, RenameReplacesAnExistingFile) {
  write_file(path(L"from"), "new");
  write_file(path(L"to"), "old");
  ASSERT_TRUE(os_->rename_file(path(L"from"), path(L"to")));
  EXPECT_EQ(read_text(path(L"to")), "new");
  EXPECT_FALSE(fs::exists(path(L"from")));

  auto missing = os_->rename_file(path(L"from"), path(L"to"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

// Whether SetFileInformationByHandle knows FileRenameInfoEx (Windows 10
// version 1809 and later; not Wine 8), tried on a scratch file.
bool system_has_rename_info_ex(const fs::path& dir) {
  const fs::path scratch = dir / "rename-info-ex-probe";
  write_file(scratch, "");
  const std::wstring target = (dir / "rename-info-ex-probe-renamed").native();
  std::vector<std::uint64_t> storage((sizeof(FILE_RENAME_INFO) + target.size() * sizeof(wchar_t)) / 8 + 1, 0);
  auto* info = reinterpret_cast<FILE_RENAME_INFO*>(storage.data());
  info->Flags = FILE_RENAME_FLAG_REPLACE_IF_EXISTS | FILE_RENAME_FLAG_POSIX_SEMANTICS;
  info->FileNameLength = static_cast<DWORD>(target.size() * sizeof(wchar_t));
  std::copy(target.begin(), target.end(), info->FileName);
  BOOL ok = FALSE;
  {
    Handle file(CreateFileW(scratch.c_str(), DELETE | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    ok = SetFileInformationByHandle(file.handle, static_cast<FILE_INFO_BY_HANDLE_CLASS>(22), info,
                                    static_cast<DWORD>(storage.size() * 8));
  }
  std::error_code ignored;
  fs::remove(scratch, ignored);
  fs::remove(target, ignored);
  return ok != FALSE;
}

TEST_F(Win32PlatformTest, RenameOverATargetOthersHoldOpenWithDeleteSharing) {
  // MoveFileExW refuses to replace a file that is open (access denied); the
  // handle-based rename with POSIX semantics replaces its name all the same.
  if (!system_has_rename_info_ex(dir_)) {
    GTEST_SKIP() << "this system has no FileRenameInfoEx (Wine 8, Windows before 10 version 1809): "
                    "a file held open cannot be replaced here; a real Windows 10 or 11 shows it";
  }
  write_file(path(L"from"), "new");
  write_file(path(L"to"), "old");
  Handle holder = hold_open(path(L"to"), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
  const auto renamed = os_->rename_file(path(L"from"), path(L"to"));
  ASSERT_TRUE(renamed) << renamed.error().text;
  EXPECT_EQ(read_text(path(L"to")), "new");
}

TEST_F(Win32PlatformTest, SharingViolationTakesNoFallback) {
  // A holder without FILE_SHARE_DELETE: neither a rename nor a delete can go
  // ahead, and the error is the sharing violation itself.
  write_file(path(L"held"), "content");
  {
    Handle holder = hold_open(path(L"held"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
    const auto renamed = os_->rename_file(path(L"held"), path(L"elsewhere"));
    ASSERT_FALSE(renamed);
    EXPECT_EQ(renamed.error(), (vostal::SystemError{os_->error_text(ERROR_SHARING_VIOLATION), ERROR_SHARING_VIOLATION}));
    const auto deleted = os_->delete_file(path(L"held"));
    ASSERT_FALSE(deleted);
    EXPECT_EQ(deleted.error().code, static_cast<std::uint32_t>(ERROR_SHARING_VIOLATION));
  }
  EXPECT_EQ(read_text(path(L"held")), "content");
  EXPECT_FALSE(fs::exists(path(L"elsewhere")));
}

TEST_F(Win32PlatformTest, RenameAcrossVolumesFails) {
  // Wine shows the Unix root as drive Z:, and /dev/shm is a file system of
  // its own there.
  const fs::path other = L"Z:\\dev\\shm";
  if (!fs::is_directory(other)) GTEST_SKIP() << "no directory on another volume (" << other << ")";
  const fs::path staged = other / ("vostal-platform-test-" + std::to_string(GetCurrentProcessId()));
  write_file(staged, "staged");
  const auto renamed = os_->rename_file(staged.native(), path(L"target"));
  std::error_code ignored;
  fs::remove(staged, ignored);
  if (renamed) GTEST_SKIP() << other << " is on the same volume as " << dir_;
  EXPECT_EQ(renamed.error().code, static_cast<std::uint32_t>(ERROR_NOT_SAME_DEVICE));
  EXPECT_FALSE(fs::exists(path(L"target")));
}

TEST_F(Win32PlatformTest, DeleteRemovesReadOnlyFiles) {
  write_file(path(L"read-only"), "x");
  ASSERT_TRUE(SetFileAttributesW(path(L"read-only").c_str(), FILE_ATTRIBUTE_READONLY));
  // DeleteFileW alone refuses a read-only file, so this goes through the
  // handle-based delete (FileDispositionInfoEx, or on systems without it,
  // the classic class after clearing the attribute).
  ASSERT_FALSE(DeleteFileW(path(L"read-only").c_str()));
  const auto deleted = os_->delete_file(path(L"read-only"));
  ASSERT_TRUE(deleted) << deleted.error().text;
  EXPECT_FALSE(os_->file_exists(path(L"read-only")));

  const auto missing = os_->delete_file(path(L"read-only"));
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Win32PlatformTest, DeleteLeavesADirectoryAlone) {
  // DeleteFileW answers a directory with access denied, as it does a
  // read-only file; the fallback must not remove the (empty) directory.
  // (Windows 10 would, through FileDispositionInfoEx; Wine 8 refuses on its
  // own, so there this holds either way.)
  fs::create_directories(dir_ / "empty");
  const auto deleted = os_->delete_file(path(L"empty"));
  ASSERT_FALSE(deleted);
  EXPECT_EQ(deleted.error().code, static_cast<std::uint32_t>(ERROR_ACCESS_DENIED));
  EXPECT_TRUE(fs::is_directory(dir_ / "empty"));
}

TEST_F(Win32PlatformTest, DeleteThatFailsLeavesAReadOnlyFileReadOnly) {
  write_file(path(L"held"), "x");
  ASSERT_TRUE(SetFileAttributesW(path(L"held").c_str(), FILE_ATTRIBUTE_READONLY));
  {
    Handle holder = hold_open(path(L"held"), GENERIC_READ, FILE_SHARE_READ);
    ASSERT_NE(holder.handle, INVALID_HANDLE_VALUE);
    EXPECT_FALSE(os_->delete_file(path(L"held")));
  }
  EXPECT_TRUE(os_->file_exists(path(L"held")));
  EXPECT_NE(GetFileAttributesW(path(L"held").c_str()) & FILE_ATTRIBUTE_READONLY, 0u);
}

TEST_F(Win32PlatformTest, FileExistsCountsDirectories) {
  write_file(path(L"f"), "");
  EXPECT_TRUE(os_->file_exists(path(L"f")));
  EXPECT_TRUE(os_->file_exists(dir_.native()));
  EXPECT_FALSE(os_->file_exists(path(L"absent")));
}

// --- command lines -----------------------------------------------------------

const std::vector<std::wstring> AWKWARD_ARGUMENTS = {
    L"plain",
    L"",
    L"two words",
    L"tab\there",
    L"PID eq 42",
    L"say \"hi\"",
    L"\"",
    L"\\",
    L"trailing\\",
    L"trailing space\\",
    L"C:\\Program Files\\App\\",
    L"back\\\\\"quote",
    L"\\\\server\\share\\",
    L"a\\\\b",
    L"non-ASCII \u00fc\u00ef \u65e5\u672c \U0001F600",
};

TEST(CommandLine, QuotedArgumentsSplitBackUnchanged) {
  const std::wstring program = L"C:\\Program Files\\tool.exe";
  const std::wstring line = vostal::win32::join_command_line(program, AWKWARD_ARGUMENTS);
  int count = 0;
  wchar_t** split = CommandLineToArgvW(line.c_str(), &count);
  ASSERT_NE(split, nullptr);
  std::vector<std::wstring> got(split, split + count);
  LocalFree(split);
  ASSERT_EQ(got.size(), AWKWARD_ARGUMENTS.size() + 1) << vostal::to_utf8(line);
  EXPECT_EQ(got[0], program);
  for (std::size_t i = 0; i < AWKWARD_ARGUMENTS.size(); ++i) {
    EXPECT_EQ(got[i + 1], AWKWARD_ARGUMENTS[i]) << vostal::to_utf8(line);
  }
}

TEST(CommandLine, QuotingTable) {
  const struct {
    std::wstring_view argument;
    std::wstring_view quoted;
  } cases[] = {
      {L"CSV", L"CSV"},
      {L"PID eq 1234", L"\"PID eq 1234\""},
      {L"", L"\"\""},
      {L"a\\b", L"a\\b"},                   // backslashes not before a quote stay single
      {L"a b\\", L"\"a b\\\\\""},           // doubled before the closing quote
      {L"a\"b", L"\"a\\\"b\""},             // a quote is escaped
      {L"a\\\"b", L"\"a\\\\\\\"b\""},       // and the backslashes before it doubled
  };
  for (const auto& c : cases) EXPECT_EQ(vostal::win32::quote_argument(c.argument), c.quoted);
  EXPECT_EQ(vostal::win32::quote_program(L"C:\\dir with space\\app"), L"\"C:\\dir with space\\app\"");
}

// --- children ------------------------------------------------------------------

class Win32ChildTest : public Win32PlatformTest {
 protected:
  std::expected<vostal::ChildOutput, vostal::SystemError> run(std::vector<std::wstring> arguments,
                                                              std::chrono::seconds within = 60s) {
    return os_->run_captured(child_, arguments, os_->monotonic_now() + within);
  }
  OsString child_ = fs::absolute(WIN32_CHILD).native();
};

TEST_F(Win32ChildTest, ArgumentsReachTheChildWhole) {
  // The C runtime of the child splits the command line, not CommandLineToArgvW.
  std::vector<std::wstring> arguments{L"args"};
  arguments.insert(arguments.end(), AWKWARD_ARGUMENTS.begin(), AWKWARD_ARGUMENTS.end());
  const auto done = run(arguments);
  ASSERT_TRUE(done) << done.error().text;
  std::string expected;
  for (const auto& argument : AWKWARD_ARGUMENTS) expected += vostal::to_utf8(argument) + "\n";
  EXPECT_EQ(done->standard_output, expected);
  EXPECT_FALSE(done->timed_out);
}

TEST_F(Win32ChildTest, BothPipesAreReadToTheEndWithoutDeadlock) {
  // Far more than a pipe buffer, to standard error first.
  const std::size_t size = 3 * 1024 * 1024;
  const auto done = run({L"flood", std::to_wstring(size)});
  ASSERT_TRUE(done) << done.error().text;
  EXPECT_EQ(done->standard_error.size(), size);
  EXPECT_EQ(done->standard_output.size(), size);
  EXPECT_FALSE(done->timed_out);
}

TEST_F(Win32ChildTest, StandardInputIsTheNullDevice) {
  const auto done = run({L"stdin"});
  ASSERT_TRUE(done) << done.error().text;
  EXPECT_EQ(done->standard_output, "0");
}

TEST_F(Win32ChildTest, ChildStillRunningAtTheDeadlineIsEnded) {
  const auto done = run({L"sleep"}, 2s);
  ASSERT_TRUE(done) << done.error().text;
  EXPECT_TRUE(done->timed_out);
  // What it wrote before is kept; and it is gone, not left running.
  const DWORD pid = std::stoul(done->standard_output);
  const HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
  if (process != nullptr) {
    EXPECT_EQ(WaitForSingleObject(process, 0), WAIT_OBJECT_0) << "the child still runs";
    CloseHandle(process);
  }
}

TEST_F(Win32ChildTest, ProgramThatCannotStartIsAnError) {
  const auto missing = os_->run_captured(path(L"absent.exe"), {}, os_->monotonic_now() + 10s);
  ASSERT_FALSE(missing);
  EXPECT_EQ(missing.error().code, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
  write_file(path(L"garbage.exe"), "not a program");
  const auto garbage = os_->run_captured(path(L"garbage.exe"), {}, os_->monotonic_now() + 10s);
  ASSERT_FALSE(garbage);
  EXPECT_EQ(garbage.error().code, static_cast<std::uint32_t>(ERROR_BAD_EXE_FORMAT));
}

TEST_F(Win32ChildTest, StandardErrorToAPipeIsUtf8) {
  // A pipe is no console: the bytes go out as they are.
  const std::wstring text = L"[updater] \u00fcn\u00ef \u65e5\u672c \U0001F600\n";
  const auto done = run({L"stderr", text});
  ASSERT_TRUE(done) << done.error().text;
  EXPECT_EQ(done->standard_error, vostal::to_utf8(text));
}

TEST_F(Win32ChildTest, LaunchedProgramGetsOnlyItsQuotedNameAndInherits) {
  // A copy of the child under a name with a space, started by its name as
  // given; the marker file it writes tells how it was started.
  const fs::path copy = dir_ / L"child copy.exe";
  fs::copy_file(WIN32_CHILD, copy);
  const fs::path marker = dir_ / "marker.txt";
  ASSERT_TRUE(SetEnvironmentVariableW(L"VOSTAL_CHILD_MARKER", marker.c_str()));
  const OsString as_given = (dir_ / L"child copy").native();  // no extension, as a user may name it
  const auto launched = os_->launch(copy.native(), as_given);
  SetEnvironmentVariableW(L"VOSTAL_CHILD_MARKER", nullptr);
  ASSERT_TRUE(launched) << launched.error().text;
  // The launch does not wait; the marker comes when the child is done.
  for (int i = 0; i < 3000 && !fs::exists(marker); ++i) std::this_thread::sleep_for(10ms);
  ASSERT_TRUE(fs::exists(marker)) << "the launched program did not run";
  wchar_t cwd[32768];
  const DWORD length = GetCurrentDirectoryW(32768, cwd);
  EXPECT_EQ(read_text(marker), "argv " + vostal::to_utf8(as_given) + "\ncwd " + vostal::to_utf8(std::wstring_view(cwd, length)) + "\n");

  const auto failed = os_->launch(path(L"absent.exe"), path(L"absent.exe"));
  ASSERT_FALSE(failed);
  EXPECT_EQ(failed.error().code, static_cast<std::uint32_t>(ERROR_FILE_NOT_FOUND));
}

TEST_F(Win32PlatformTest, UpdaterRefusesAnArgumentWithAnUnpairedSurrogate) {
  // What no UTF-8 test can pass: a UTF-16 argument that is not text. It
  // reaches wmain as it is and is refused there, before any file is touched.
  const fs::path swap = fs::absolute(WIN32_SWAP);
  if (!fs::exists(swap)) GTEST_SKIP() << swap << " is not built";
  write_file(dir_ / "app.exe", "installed");
  const std::wstring current_exe = path(L"app.exe");
  std::wstring command_line = L"\"" + swap.native() + L"\" \"" + current_exe + L"\" \"new";
  command_line.push_back(static_cast<wchar_t>(0xD800));
  command_line += L".exe\" 42 manifest";

  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const fs::path captured = dir_ / "stderr.txt";
  Handle error(CreateFileW(captured.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inheritable, CREATE_ALWAYS, 0, nullptr));
  ASSERT_NE(error.handle, INVALID_HANDLE_VALUE);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdError = error.handle;
  PROCESS_INFORMATION info{};
  ASSERT_TRUE(CreateProcessW(swap.c_str(), command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &info));
  CloseHandle(info.hThread);
  WaitForSingleObject(info.hProcess, INFINITE);
  DWORD status = 0;
  GetExitCodeProcess(info.hProcess, &status);
  CloseHandle(info.hProcess);
  CloseHandle(error.handle);
  error.handle = INVALID_HANDLE_VALUE;

  EXPECT_EQ(status, 1u);
  EXPECT_EQ(read_text(captured), "new_exe is not valid Unicode text\n");
  EXPECT_EQ(read_text(dir_ / "app.exe"), "installed");
  EXPECT_FALSE(fs::exists(dir_ / "app.exe.swap-status"));
}

// --- where programs are looked for ------------------------------------------------

TEST_F(Win32PlatformTest, OwnDirectoryIsWhereTheExecutableLies) {
  EXPECT_TRUE(fs::equivalent(os_->own_directory(), fs::path(WIN32_BIN_DIR)));
}

TEST_F(Win32PlatformTest, SystemDirectoriesAreSystem32ThenWindows) {
  const auto directories = os_->system_directories();
  ASSERT_EQ(directories.size(), 2u);
  EXPECT_EQ(fs::path(directories[0]).parent_path(), fs::path(directories[1]));
  EXPECT_EQ(_wcsicmp(fs::path(directories[0]).filename().c_str(), L"system32"), 0);
}

TEST_F(Win32PlatformTest, PathIsSplitOnSemicolonsOutsideQuotes) {
  std::wstring saved(32767, L'\0');
  saved.resize(GetEnvironmentVariableW(L"PATH", saved.data(), static_cast<DWORD>(saved.size())));
  ASSERT_TRUE(SetEnvironmentVariableW(L"PATH", L"C:\\a;;\"C:\\b;c\";C:\\d\\;\"C:\\quoted\";"));
  const auto directories = os_->path_directories();
  SetEnvironmentVariableW(L"PATH", saved.c_str());
  EXPECT_EQ(directories, (std::vector<OsString>{L"C:\\a", L"C:\\b;c", L"C:\\d\\", L"C:\\quoted"}));
}

// --- clocks and text --------------------------------------------------------------

TEST_F(Win32PlatformTest, WallClockIsFiletime) {
  const std::uint64_t before = static_cast<std::uint64_t>(std::time(nullptr));
  const std::uint64_t filetime = os_->now_filetime();
  const std::uint64_t after = static_cast<std::uint64_t>(std::time(nullptr));
  const std::uint64_t seconds = (filetime - 116444736000000000ull) / 10000000ull;
  EXPECT_GE(seconds, before);
  EXPECT_LE(seconds, after);
}

TEST_F(Win32PlatformTest, MonotonicClockMovesForward) {
  const auto first = os_->monotonic_now();
  os_->sleep_for(20ms);
  EXPECT_GT(os_->monotonic_now(), first);
}

TEST(Win32Text, Utf16AndUtf8) {
  const std::wstring wide = L"a\u00fc\u65e5\U0001F600";
  const std::string utf8 = "a\xc3\xbc\xe6\x97\xa5\xf0\x9f\x98\x80";
  EXPECT_EQ(vostal::to_utf8(wide), utf8);
  EXPECT_EQ(vostal::from_utf8(utf8), wide);
  // Invalid UTF-8 becomes U+FFFD rather than vanishing.
  EXPECT_EQ(vostal::from_utf8("a\xff" "b"), L"a\ufffdb");

  EXPECT_TRUE(vostal::is_valid_text(wide));
  EXPECT_TRUE(vostal::is_valid_text(L""));
  const wchar_t lone_high[] = {L'a', static_cast<wchar_t>(0xD800), L'b', 0};
  const wchar_t lone_low[] = {static_cast<wchar_t>(0xDC00), 0};
  const wchar_t high_at_end[] = {L'a', static_cast<wchar_t>(0xDBFF), 0};
  const wchar_t reversed[] = {static_cast<wchar_t>(0xDC00), static_cast<wchar_t>(0xD800), 0};
  for (const wchar_t* bad : {lone_high, lone_low, high_at_end, reversed}) EXPECT_FALSE(vostal::is_valid_text(bad));
  // Should one slip through, it becomes U+FFFD, and the rest survives.
  EXPECT_EQ(vostal::to_utf8(lone_high), "a\xef\xbf\xbd" "b");
}

TEST(Win32Text, JoinPath) {
  EXPECT_EQ(vostal::join_path(L"C:\\dir", L"tasklist.exe"), L"C:\\dir\\tasklist.exe");
  EXPECT_EQ(vostal::join_path(L"C:\\", L"tasklist.exe"), L"C:\\tasklist.exe");
  EXPECT_EQ(vostal::join_path(L"C:/dir/", L"tasklist.exe"), L"C:/dir/tasklist.exe");
}

}  // namespace
