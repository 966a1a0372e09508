// vostal-swap end to end: the real program, real files in a sandbox under the
// build tree, a real parent process, the real `tasklist` (or a scripted one
// beside the program), and a real program relaunched at the end. OS specifics
// live in e2e_process_*.cpp; this file is the same on every OS.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <sstream>
#include <type_traits>

#include "e2e_process.hpp"
#include "pre_swap_verification.hpp"
#include "test_manifest.hpp"
#include "vostal/platform.hpp"

namespace vostal::e2e {
namespace {

using namespace std::chrono_literals;
using vostal::testing::ManifestRecipe;
using vostal::testing::make_manifest;

constexpr bool ON_WINDOWS = std::is_same_v<OsChar, wchar_t>;

fs::path utf8_path(std::string_view text) { return fs::path(std::u8string(text.begin(), text.end())); }

std::string utf8_of(const fs::path& path) {
  const auto text = path.u8string();
  return std::string(text.begin(), text.end());
}

std::optional<std::string> read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

// Whether `path` holds exactly `bytes`, said briefly: executables are too big
// to print on a mismatch.
::testing::AssertionResult holds(const fs::path& path, const std::string& bytes) {
  const auto content = read_file(path);
  if (!content) return ::testing::AssertionFailure() << path << " is absent";
  if (*content != bytes) {
    return ::testing::AssertionFailure() << path << " holds other content (" << content->size() << " bytes, expected "
                                         << bytes.size() << ")";
  }
  return ::testing::AssertionSuccess();
}

void write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

Sha256Digest sha256_of_file(const fs::path& path) {
  auto digest = make_native_platform()->sha256_file(path.native());
  if (!digest) throw std::runtime_error("cannot hash " + path.string());
  return *digest;
}

std::string hex_of_file(const fs::path& path) { return digest_hex(sha256_of_file(path)); }

std::string waiting_line(std::uint32_t pid) { return "[updater] waiting for parent PID " + std::to_string(pid) + " to exit...\n"; }
const std::string SWAPPING = "[updater] parent exited and staged binary verified, swapping\n";

// A JSON string's content for a text without control characters.
std::string json_escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

std::string status_json(std::string_view stage, std::string_view message) {
  return "{\"stage\":\"" + std::string(stage) + "\",\"message\":\"" + json_escaped(message) + "\"}";
}

// One installed application with a staged update beside it, in a directory of
// its own under the build tree.
class Sandbox {
 public:
  explicit Sandbox(std::string_view app_dir_name = "app") {
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    root = fs::path(E2E_WORK_DIR) / (std::string(test->test_suite_name()) + "." + test->name());
    fs::remove_all(root);
    app = root / utf8_path(app_dir_name);
    fs::create_directories(app);
    current_exe = app / executable_file_name("app");
    new_exe = app / executable_file_name("app-v2");
    manifest = app / "app.manifest";
    marker = root / "relaunched.txt";
    fs::copy_file(E2E_PROBE_V1, current_exe);
    fs::copy_file(E2E_PROBE_V2, new_exe);
    make_executable(current_exe);
    make_executable(new_exe);
    old_bytes = *read_file(current_exe);
    new_bytes = *read_file(new_exe);
    recipe.built_at = std::time(nullptr) - 60;
    recipe.expires_at = std::time(nullptr) + 3600;
  }

  fs::path with_suffix(std::string_view suffix) const { return fs::path(current_exe).concat(suffix); }
  fs::path status() const { return with_suffix(".swap-status"); }
  fs::path backup() const { return with_suffix(".bak"); }

  // Signs a manifest for whatever new_exe holds now.
  void sign() {
    recipe.binary_sha256 = sha256_of_file(new_exe);
    write_file(manifest, make_manifest(recipe));
  }

  Completed run_swap(std::string parent_pid, std::vector<std::string> extra_arguments = {},
                     const fs::path& program = E2E_SWAP, StandardError standard_error = StandardError::captured) const {
    std::vector<std::string> arguments{utf8_of(current_exe), utf8_of(new_exe), std::move(parent_pid), utf8_of(manifest)};
    arguments.insert(arguments.end(), extra_arguments.begin(), extra_arguments.end());
    return run_program(program, arguments, {{"VOSTAL_PROBE_MARKER", marker.string()}}, standard_error);
  }

  fs::path root, app, current_exe, new_exe, manifest, marker;
  std::string old_bytes, new_bytes;
  ManifestRecipe recipe;
};

TEST(EndToEnd, SuccessfulRunSwapsAndRelaunches) {
  Sandbox box;
  box.sign();
  write_file(box.status(), R"({"stage":"launch","message":"left by an earlier run"})");
  write_file(box.backup(), "an earlier backup");
  ParentProcess parent(700ms);  // still there when the wait starts

  const auto done = box.run_swap(std::to_string(parent.pid()), {"ignored extra argument"});

  EXPECT_EQ(done.exit_code, 0);
  EXPECT_EQ(done.standard_error, waiting_line(parent.pid()) + SWAPPING + "[updater] swap done, launching " +
                                     utf8_of(box.current_exe) + "\n[updater] launched\n");
  EXPECT_TRUE(holds(box.current_exe, box.new_bytes));
  EXPECT_TRUE(holds(box.backup(), box.old_bytes));
  EXPECT_FALSE(fs::exists(box.new_exe));
  EXPECT_FALSE(fs::exists(box.manifest));
  EXPECT_FALSE(fs::exists(box.status()));
  // The relaunched program is version 2, started with its path alone, in the
  // working directory and with the environment and standard output it inherited.
  EXPECT_EQ(read_file(box.marker), "version 2\ncwd " + fs::current_path().string() + "\nargv " + utf8_of(box.current_exe) + "\n");
  EXPECT_EQ(done.standard_output, "relaunch probe version 2\n");
}

TEST(EndToEnd, StandardErrorWithoutAReaderDoesNotStopTheRun) {
  Sandbox box;
  box.sign();
  ParentProcess parent(500ms);

  const auto done = box.run_swap(std::to_string(parent.pid()), {}, E2E_SWAP, StandardError::reader_gone);

  EXPECT_EQ(done.exit_code, 0);
  EXPECT_TRUE(holds(box.current_exe, box.new_bytes));
  EXPECT_TRUE(holds(box.backup(), box.old_bytes));
  EXPECT_TRUE(read_file(box.marker)) << "the new version was started";
}

struct VerificationCase {
  std::string stage;
  int exit_code;
  std::function<void(Sandbox&)> spoil;                 // after signing
  std::function<std::string(const Sandbox&)> message;  // empty: checked by the case itself
};

std::vector<VerificationCase> verification_cases() {
  return {
      {"manifest_read", 3, [](Sandbox& b) { fs::remove(b.manifest); },
       [](const Sandbox& b) { return utf8_of(b.manifest) + ": " + error_text(SystemFailure::not_found); }},
      {"manifest_read", 3, [](Sandbox& b) { fs::remove(b.manifest); fs::create_directory(b.manifest); },
       [](const Sandbox& b) { return utf8_of(b.manifest) + ": " + error_text(SystemFailure::is_a_directory); }},
      {"manifest_decode", 3, [](Sandbox& b) { write_file(b.manifest, ""); },
       [](const Sandbox&) { return std::string("compact: Hit the end of buffer, expected more data"); }},
      {"manifest_verify", 3,
       [](Sandbox& b) {
         b.recipe.signers = {"DEV-K02_"};
         b.sign();
       },
       [](const Sandbox&) { return std::string("threshold not met: 1 distinct valid signature(s), need 2"); }},
      {"manifest_stale", 3,
       [](Sandbox& b) {
         b.recipe.built_at = 0;
         b.recipe.expires_at = 1000;
         b.sign();
       },
       nullptr},
      {"binary_read", 3, [](Sandbox& b) { fs::remove(b.new_exe); },
       [](const Sandbox& b) { return utf8_of(b.new_exe) + ": " + error_text(SystemFailure::not_found); }},
      {"hash_mismatch", 2,
       [](Sandbox& b) {
         b.new_bytes += '!';
         write_file(b.new_exe, b.new_bytes);
       },
       [](const Sandbox& b) {
         return "expected sha256 " + digest_hex(b.recipe.binary_sha256) + " got " + hex_of_file(b.new_exe);
       }},
  };
}

TEST(EndToEnd, EachVerificationStageDeletesTheUpdateAndReports) {
  for (const auto& c : verification_cases()) {
    SCOPED_TRACE(c.stage);
    Sandbox box;
    box.sign();
    c.spoil(box);
    const std::string expected_message = c.message ? c.message(box) : "";
    const auto pid = gone_pid();
    const std::int64_t before = std::time(nullptr);

    const auto done = box.run_swap(std::to_string(pid));

    EXPECT_EQ(done.exit_code, c.exit_code);
    const std::string failed_at = "[updater] pre-swap verification failed at '" + c.stage + "': ";
    const auto status = read_file(box.status());
    ASSERT_TRUE(status);
    if (c.message) {
      EXPECT_EQ(done.standard_error, waiting_line(pid) + failed_at + expected_message + "\n");
      EXPECT_EQ(*status, status_json(c.stage, expected_message));
    } else {
      // The expiry message carries the updater's own clock reading.
      const std::string prefix = "manifest expired: expires_at=1000 now=";
      const std::string head = waiting_line(pid) + failed_at + prefix;
      ASSERT_TRUE(done.standard_error.starts_with(head)) << done.standard_error;
      const std::int64_t now = std::stoll(done.standard_error.substr(head.size()));
      EXPECT_GE(now, before);
      EXPECT_LE(now, std::time(nullptr));
      EXPECT_EQ(done.standard_error, head + std::to_string(now) + "\n");
      EXPECT_EQ(*status, status_json(c.stage, prefix + std::to_string(now)));
    }
    EXPECT_FALSE(fs::exists(box.new_exe));
    EXPECT_EQ(fs::exists(box.manifest), fs::is_directory(box.manifest)) << "a directory cannot be deleted as a file";
    EXPECT_TRUE(holds(box.current_exe, box.old_bytes));
    EXPECT_FALSE(fs::exists(box.backup()));
    EXPECT_FALSE(fs::exists(box.marker));
  }
}

TEST(EndToEnd, BackupFailureLeavesEverythingInPlace) {
  Sandbox box;
  box.sign();
  // A directory at the backup path can be neither deleted as a file nor
  // replaced by the executable.
  fs::create_directories(box.backup() / "occupied");
  const auto pid = gone_pid();

  const auto done = box.run_swap(std::to_string(pid));

  EXPECT_EQ(done.exit_code, 4);
  EXPECT_EQ(done.standard_error, waiting_line(pid) + SWAPPING + "[updater] backup failed: " + error_text(SystemFailure::is_a_directory) + "\n");
  EXPECT_EQ(read_file(box.status()), status_json("backup", error_text(SystemFailure::is_a_directory)));
  EXPECT_TRUE(holds(box.current_exe, box.old_bytes));
  EXPECT_TRUE(holds(box.new_exe, box.new_bytes));
  EXPECT_TRUE(fs::exists(box.manifest));
}

TEST(EndToEnd, InstallAcrossFileSystemsRestoresTheOldExecutable) {
  Sandbox box;
  const auto elsewhere = directory_on_another_file_system(box.app);
  if (!elsewhere) GTEST_SKIP() << "no writable directory on a file system other than " << box.app;
  const fs::path staged = *elsewhere / ("vostal-e2e-staged-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
                                        "-" + std::to_string(std::time(nullptr)));
  fs::rename(box.new_exe, box.app / "unused");
  fs::copy_file(box.app / "unused", staged, fs::copy_options::overwrite_existing);
  box.new_exe = staged;
  box.sign();
  const auto pid = gone_pid();

  const auto done = box.run_swap(std::to_string(pid));

  EXPECT_EQ(done.exit_code, 4);
  EXPECT_EQ(done.standard_error, waiting_line(pid) + SWAPPING +
                                     "[updater] install failed: " + error_text(SystemFailure::cross_device) + "; restoring old\n");
  EXPECT_EQ(read_file(box.status()), status_json("install", error_text(SystemFailure::cross_device)));
  EXPECT_TRUE(holds(box.current_exe, box.old_bytes));
  EXPECT_FALSE(fs::exists(box.backup()));
  EXPECT_TRUE(holds(staged, box.new_bytes));
  EXPECT_TRUE(fs::exists(box.manifest));
  fs::remove(staged);
}

TEST(EndToEnd, LaunchFailureStillEndsWithStatusZero) {
  Sandbox box;
  // A verified update that is no program at all.
  box.new_bytes = std::string("\x7f\x01 not an executable\n", 21);
  write_file(box.new_exe, box.new_bytes);
  make_executable(box.new_exe);
  box.sign();
  const auto pid = gone_pid();

  const auto done = box.run_swap(std::to_string(pid));

  EXPECT_EQ(done.exit_code, 0);
  EXPECT_EQ(done.standard_error, waiting_line(pid) + SWAPPING + "[updater] swap done, launching " + utf8_of(box.current_exe) +
                                     "\n[updater] launch failed: " + error_text(SystemFailure::not_a_program) + "\n");
  EXPECT_EQ(read_file(box.status()), status_json("launch", error_text(SystemFailure::not_a_program)));
  EXPECT_TRUE(holds(box.current_exe, box.new_bytes));
  EXPECT_TRUE(holds(box.backup(), box.old_bytes));
  EXPECT_FALSE(fs::exists(box.manifest));
}

// vostal-swap copied into a directory of its own with a scripted `tasklist`.
struct ScriptedTasklist {
  explicit ScriptedTasklist(const Sandbox& box, std::string_view output) {
    const fs::path bin = box.root / "bin";
    fs::create_directories(bin);
    swap = bin / executable_file_name("vostal-swap");
    fs::copy_file(E2E_SWAP, swap);
    make_executable(swap);
    record = box.root / "tasklist-arguments.txt";
    write_scripted_tasklist(bin, record, output);
  }
  fs::path swap, record;
};

TEST(EndToEnd, TasklistBesideTheProgramIsTheOneAsked) {
  Sandbox box;
  box.sign();
  // The parent stays for the whole test; the real `tasklist` would keep
  // finding it. The one beside the program says nothing, so the parent counts
  // as gone at the first poll.
  ParentProcess parent(120s);
  ScriptedTasklist tasklist(box, "INFO: No tasks are running which match the specified criteria.\n");

  const auto done = box.run_swap(std::to_string(parent.pid()), {}, tasklist.swap);

  EXPECT_EQ(done.exit_code, 0) << done.standard_error;
  EXPECT_TRUE(fs::exists(tasklist.record));
  EXPECT_TRUE(holds(box.current_exe, box.new_bytes));
}

TEST(EndToEnd, ParentPidIsPassedOnByValue) {
  Sandbox box;
  box.sign();
  ScriptedTasklist tasklist(box, "");

  const auto done = box.run_swap("+0042", {}, tasklist.swap);

  EXPECT_EQ(done.exit_code, 0) << done.standard_error;
  EXPECT_TRUE(done.standard_error.starts_with(waiting_line(42)));
  EXPECT_EQ(read_file(tasklist.record), "/NH\n/FO\nCSV\n/FI\nPID eq 42\n");
}

TEST(EndToEnd, PathsWithSpacesQuotesAndNonAsciiCharacters) {
  // Windows allows no double quote in a file name; there the status file's
  // escaping shows on the backslashes of the path instead.
  const std::string name = ON_WINDOWS ? "dir with 'apostrophes', spaces, %PATH% & \xc3\xbcn\xc3\xaf\x63\xc3\xb6\x64\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac"
                                      : "dir with \"quotes\", spaces and \xc3\xbcn\xc3\xaf\x63\xc3\xb6\x64\xc3\xa9 \xe6\x97\xa5\xe6\x9c\xac";
  const std::string escaped_in_status = ON_WINDOWS ? "\\\\" + executable_file_name("app-v2") : "dir with \\\"quotes\\\"";
  {
    Sandbox box(name);
    box.sign();
    const auto pid = gone_pid();
    const auto done = box.run_swap(std::to_string(pid));
    EXPECT_EQ(done.exit_code, 0) << done.standard_error;
    EXPECT_TRUE(done.standard_error.ends_with("[updater] swap done, launching " + utf8_of(box.current_exe) + "\n[updater] launched\n"));
    EXPECT_TRUE(holds(box.current_exe, box.new_bytes));
    EXPECT_TRUE(holds(box.backup(), box.old_bytes));
    const auto marker = read_file(box.marker);
    ASSERT_TRUE(marker);
    EXPECT_TRUE(marker->ends_with("argv " + utf8_of(box.current_exe) + "\n")) << *marker;
  }
  {
    // A failure whose message holds the path: the status file escapes it.
    Sandbox box(name);
    box.sign();
    fs::remove(box.new_exe);
    const auto done = box.run_swap(std::to_string(gone_pid()));
    EXPECT_EQ(done.exit_code, 3);
    const std::string message = utf8_of(box.new_exe) + ": " + error_text(SystemFailure::not_found);
    EXPECT_TRUE(done.standard_error.ends_with("'binary_read': " + message + "\n"));
    EXPECT_EQ(read_file(box.status()), status_json("binary_read", message));
    EXPECT_NE(read_file(box.status())->find(escaped_in_status), std::string::npos) << *read_file(box.status());
  }
}

TEST(EndToEnd, ArgumentsAreNotExpandedAsWildcards) {
  // The C runtime of the Windows build could glob "*" into file names; the
  // argument must arrive as it was given.
  const auto done = run_program(E2E_SWAP, {"a", "b", "*"});
  EXPECT_EQ(done.exit_code, 1);
  EXPECT_EQ(done.standard_error, "bad parent_pid '*'\n");
}

TEST(EndToEnd, ReadOnlyOldBackupIsReplaced) {
  Sandbox box;
  box.sign();
  write_file(box.backup(), "an earlier backup, read-only");
  // On Windows this sets the read-only attribute, which DeleteFileW refuses.
  fs::permissions(box.backup(), fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);

  const auto done = box.run_swap(std::to_string(gone_pid()));

  EXPECT_EQ(done.exit_code, 0) << done.standard_error;
  EXPECT_TRUE(holds(box.backup(), box.old_bytes));
  EXPECT_TRUE(holds(box.current_exe, box.new_bytes));
}

TEST(EndToEnd, CurrentExeWithoutExtensionStartsTheExeBesideIt) {
  for (const bool exe_beside : {true, false}) {
    SCOPED_TRACE(exe_beside ? "app.exe beside app" : "app alone");
    Sandbox box;
    const fs::path bare = box.app / "app";
    if (box.current_exe != bare) fs::rename(box.current_exe, bare);
    box.current_exe = bare;
    // A copy of version 1 as app.exe: the marker tells which file ran.
    if (exe_beside) fs::copy_file(E2E_PROBE_V1, box.app / "app.exe");
    box.sign();

    const auto done = box.run_swap(std::to_string(gone_pid()));

    EXPECT_EQ(done.exit_code, 0) << done.standard_error;
    EXPECT_TRUE(done.standard_error.ends_with("[updater] swap done, launching " + utf8_of(bare) + "\n[updater] launched\n"))
        << done.standard_error;
    EXPECT_TRUE(holds(bare, box.new_bytes));
    const auto marker = read_file(box.marker);
    ASSERT_TRUE(marker);
    EXPECT_TRUE(marker->starts_with(exe_beside ? "version 1\n" : "version 2\n")) << *marker;
    EXPECT_TRUE(marker->ends_with("argv " + utf8_of(bare) + "\n")) << *marker;
  }
}

// Runs the rest of a scope in another working directory.
class WorkingDirectory {
 public:
  explicit WorkingDirectory(const fs::path& dir) : previous_(fs::current_path()) { fs::current_path(dir); }
  WorkingDirectory(const WorkingDirectory&) = delete;
  WorkingDirectory& operator=(const WorkingDirectory&) = delete;
  ~WorkingDirectory() { fs::current_path(previous_); }

 private:
  fs::path previous_;
};

TEST(EndToEnd, RelativePathsResolveAgainstTheWorkingDirectory) {
  for (const bool staged_missing : {false, true}) {
    SCOPED_TRACE(staged_missing ? "verification fails" : "success");
    Sandbox box;
    box.sign();
    if (staged_missing) fs::remove(box.new_exe);
    const WorkingDirectory in_root(box.root);
    const fs::path app = fs::path("app");
    const std::string current_exe = utf8_of(app / executable_file_name("app"));
    const std::string new_exe = utf8_of(app / executable_file_name("app-v2"));
    const auto pid = gone_pid();

    const auto done = run_program(E2E_SWAP, {current_exe, new_exe, std::to_string(pid), utf8_of(app / "app.manifest")},
                                  {{"VOSTAL_PROBE_MARKER", box.marker.string()}});

    if (staged_missing) {
      EXPECT_EQ(done.exit_code, 3);
      const std::string message = new_exe + ": " + error_text(SystemFailure::not_found);
      EXPECT_EQ(done.standard_error, waiting_line(pid) + "[updater] pre-swap verification failed at 'binary_read': " + message + "\n");
      EXPECT_EQ(read_file(box.status()), status_json("binary_read", message));
      EXPECT_TRUE(holds(box.current_exe, box.old_bytes));
    } else {
      EXPECT_EQ(done.exit_code, 0) << done.standard_error;
      EXPECT_EQ(done.standard_error,
                waiting_line(pid) + SWAPPING + "[updater] swap done, launching " + current_exe + "\n[updater] launched\n");
      EXPECT_TRUE(holds(box.current_exe, box.new_bytes));
      EXPECT_TRUE(holds(box.backup(), box.old_bytes));
      EXPECT_EQ(read_file(box.marker), "version 2\ncwd " + fs::current_path().string() + "\nargv " + current_exe + "\n");
    }
  }
}

// Takes 30 seconds: the parent outlives the wait.
TEST(EndToEndLong, ParentThatNeverExitsTimesOut) {
  Sandbox box;
  box.sign();
  ParentProcess parent(120s);

  const auto done = box.run_swap(std::to_string(parent.pid()));

  EXPECT_EQ(done.exit_code, 4);
  EXPECT_EQ(done.standard_error, waiting_line(parent.pid()) + "[updater] timeout waiting for parent exit; aborting\n");
  EXPECT_EQ(read_file(box.status()), "{\"stage\":\"wait_parent\",\"message\":\"timeout\"}");
  EXPECT_TRUE(holds(box.current_exe, box.old_bytes));
  EXPECT_TRUE(holds(box.new_exe, box.new_bytes));
  EXPECT_TRUE(fs::exists(box.manifest));
  EXPECT_FALSE(fs::exists(box.backup()));
}

// The stand-in itself, as the updater uses it.
TEST(TasklistStandIn, AnswersThePidQuery) {
  ParentProcess alive(120s);
  const auto listed = run_program(E2E_TASKLIST, {"/NH", "/FO", "CSV", "/FI", "PID eq " + std::to_string(alive.pid())});
  EXPECT_EQ(listed.exit_code, 0);
  EXPECT_TRUE(listed.standard_output.starts_with("\"" + parent_image_name() + "\",\"" + std::to_string(alive.pid()) + "\",\"Console\",\"1\",\""))
      << listed.standard_output;
  EXPECT_TRUE(listed.standard_output.ends_with(" K\"\n")) << listed.standard_output;
  alive.end();

  const auto gone = run_program(E2E_TASKLIST, {"/NH", "/FO", "CSV", "/FI", "PID eq " + std::to_string(alive.pid())});
  EXPECT_EQ(gone.exit_code, 0);
  EXPECT_EQ(gone.standard_output, "INFO: No tasks are running which match the specified criteria.\n");
}

TEST(TasklistStandIn, RefusesOtherArguments) {
  const std::vector<std::vector<std::string>> refused = {
      {}, {"/NH", "/FO", "CSV", "/FI"}, {"/FO", "CSV"}, {"/NH", "/FO", "LIST", "/FI", "PID eq 1"},
      {"/NH", "/FO", "CSV", "/FI", "IMAGENAME eq x"}, {"/NH", "/FO", "CSV", "/FI", "PID eq 12x"},
  };
  for (const auto& arguments : refused) {
    const auto done = run_program(E2E_TASKLIST, arguments);
    EXPECT_EQ(done.exit_code, 1);
    EXPECT_EQ(done.standard_output, "");
    EXPECT_FALSE(done.standard_error.empty());
  }
}

}  // namespace
}  // namespace vostal::e2e
