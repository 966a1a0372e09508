// The fault matrix: the real vostal-swap, end to end, under the faults an
// installed updater meets in the field - a status file it cannot write, an
// executable someone holds open, a staged file that disappears, a `tasklist`
// that hangs, floods or babbles, a manifest that lies about its lengths, a
// staged file of 0 bytes or of more than 4 GiB, a manifest path that is a
// directory. Every row states what each OS must print and return, and after
// every run one invariant is checked: the installed program is never lost
// (current_exe or its backup holds a complete executable).
//
// The table is OS-neutral; where Windows answers differently its row says so,
// and a row that cannot be staged on an OS is skipped with the reason.
#include <gtest/gtest.h>

#include <ctime>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include "e2e_process.hpp"
#include "fault_process.hpp"
#include "pre_swap_verification.hpp"
#include "test_manifest.hpp"
#include "vostal/platform.hpp"

namespace vostal::e2e {
namespace {

using namespace std::chrono_literals;

constexpr bool ON_WINDOWS = std::is_same_v<OsChar, wchar_t>;
constexpr std::uintmax_t FOUR_GIB_AND_ONE = (std::uintmax_t{1} << 32) + 1;
// SHA-256 of no bytes, and of 4 GiB + 1 zero bytes (a sparse file's content).
constexpr std::string_view SHA256_EMPTY = "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855";
constexpr std::string_view SHA256_FOUR_GIB_AND_ONE_ZEROS =
    "fbb82f7b353676bb562eb82157fcf0ea42c36492ca13ee56dbf82c08b6802c5c";
const std::string END_OF_INPUT = "Hit the end of buffer, expected more data";

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

void write_file(const fs::path& path, std::string_view bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string hex_bytes(std::string_view hex) {
  std::string out;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) out += static_cast<char>(std::stoi(std::string(hex.substr(i, 2)), nullptr, 16));
  return out;
}

std::string json_escaped(std::string_view text) {
  std::string out;
  for (const char c : text) {
    if (c == '\\' || c == '"') out += '\\';
    out += c;
  }
  return out;
}

// One installed application with a staged, validly signed update, and a copy
// of vostal-swap with the misbehaving `tasklist` beside it, in a directory of
// its own under the build tree.
struct Scene {
  explicit Scene(const std::string& name)
      : root(fs::path(E2E_WORK_DIR) / "fault-matrix" / name),
        bin(root / "bin"),
        app(root / "app"),
        swap(bin / executable_file_name("vostal-swap")),
        tasklist(bin / executable_file_name("tasklist")),
        current_exe(app / executable_file_name("app")),
        new_exe(app / executable_file_name("app-v2")),
        manifest(app / "app.manifest") {
    fs::remove_all(root);
    fs::create_directories(bin);
    fs::create_directories(app);
    fs::copy_file(E2E_SWAP, swap);
    fs::copy_file(E2E_FAULT_TASKLIST, tasklist);
    make_executable(swap);
    make_executable(tasklist);

    fs::copy_file(E2E_PROBE_V1, current_exe);
    fs::copy_file(E2E_PROBE_V2, new_exe);
    make_executable(current_exe);
    make_executable(new_exe);
    old_bytes = *read_file(current_exe);
    new_bytes = *read_file(new_exe);
    recipe.built_at = std::time(nullptr) - 60;
    recipe.expires_at = std::time(nullptr) + 3600;
    sign();
  }

  // Signs a manifest for the version 2 program.
  void sign() {
    auto digest = make_native_platform()->sha256_file(new_exe.native());
    if (!digest) throw std::runtime_error("cannot hash " + new_exe.string());
    recipe.binary_sha256 = *digest;
    write_file(manifest, vostal::testing::make_manifest(recipe));
  }

  fs::path status() const { return fs::path(current_exe).concat(".swap-status"); }
  fs::path backup() const { return fs::path(current_exe).concat(".bak"); }

  Completed run() {
    pid = gone_pid();
    return run_program(swap, {utf8_of(current_exe), utf8_of(new_exe), std::to_string(pid), utf8_of(manifest)},
                       {{"VOSTAL_PROBE_MARKER", (root / "relaunched.txt").string()},
                        {"VOSTAL_FAULT_TASKLIST", tasklist_mode},
                        {"VOSTAL_FAULT_DIR", root.string()}},
                       StandardError::captured, 180s);
  }

  // How many times the misbehaving `tasklist` was started.
  int polls() const {
    std::ifstream in(root / "polls.txt");
    int count = 0;
    for (std::string line; std::getline(in, line);) ++count;
    return count;
  }

  fs::path root, bin, app, swap, tasklist, current_exe, new_exe, manifest;
  std::string old_bytes, new_bytes;
  vostal::testing::ManifestRecipe recipe;
  std::uint32_t pid = 0;
  std::string tasklist_mode = "gone";
  // What a fault keeps alive while vostal-swap runs.
  std::optional<std::ifstream> holder;
  std::unique_ptr<VanishingFile> vanishing;
  std::string skip_reason;
};

// What one OS must do with a row.
struct Outcome {
  std::string not_here;  // non-empty: the row cannot be staged on this OS, and why
  int exit_code = 0;
  std::string stage;  // empty: the run reached its end
  // The message of the stage. When `message_is_suffix`, only its end is fixed
  // (the OS's own text before " (os error N)" varies between versions).
  std::function<std::string(const Scene&)> message;
  bool message_is_suffix = false;
  bool status_written = true;  // false: the status path cannot be written
};

struct Fault {
  std::string name;
  std::function<void(Scene&)> arrange;
  Outcome posix;
  Outcome windows;
  std::function<void(const Scene&)> also;  // checks particular to the row
};

Outcome same_text(int exit_code, std::string stage, std::function<std::string(const Scene&)> message = nullptr) {
  return Outcome{"", exit_code, std::move(stage), std::move(message), false, true};
}
Outcome os_error(int exit_code, std::string stage, std::string suffix) {
  return Outcome{"", exit_code, std::move(stage), [suffix = std::move(suffix)](const Scene&) { return suffix; }, true,
                 true};
}
Outcome not_on_this_os(std::string why) { return Outcome{std::move(why), 0, "", nullptr, false, true}; }
Outcome fixed(int exit_code, std::string stage, std::string message) {
  return same_text(exit_code, std::move(stage), [message = std::move(message)](const Scene&) { return message; });
}
Outcome success() { return same_text(0, ""); }
Outcome without_status_file(Outcome outcome) {
  outcome.status_written = false;
  return outcome;
}

std::string expected_hash_message(const Scene& s, std::string_view got) {
  return "expected sha256 " + digest_hex(s.recipe.binary_sha256) + " got " + std::string(got);
}

std::vector<Fault> quick_faults() {
  return {
      {"status_file_unwritable_on_failure",
       [](Scene& s) {
         fs::create_directories(s.status() / "occupied");
         s.recipe.signers = {"DEV-K02_"};
         s.sign();
       },
       without_status_file(fixed(3, "manifest_verify", "threshold not met: 1 distinct valid signature(s), need 2")),
       without_status_file(fixed(3, "manifest_verify", "threshold not met: 1 distinct valid signature(s), need 2")),
       [](const Scene& s) { EXPECT_TRUE(fs::is_directory(s.status() / "occupied")); }},
      {"status_file_unwritable_on_success", [](Scene& s) { fs::create_directories(s.status() / "occupied"); },
       without_status_file(success()), without_status_file(success()),
       [](const Scene& s) { EXPECT_TRUE(fs::is_directory(s.status() / "occupied")); }},
      {"current_exe_held_open_by_another_process",
       [](Scene& s) { s.holder.emplace(s.current_exe, std::ios::binary); },
       // POSIX renames a file that is open; Windows refuses to move a file
       // opened without FILE_SHARE_DELETE (a sharing violation, not "access
       // denied", so the handle-based fallback does not apply).
       success(), os_error(4, "backup", "(os error 32)"),
       [](const Scene& s) {
         std::stringstream held;
         held << s.holder->rdbuf();
         EXPECT_EQ(held.str(), s.old_bytes) << "the holder's open file is the old program, wherever it now lies";
       }},
      {"staged_file_vanishes_between_verification_and_swap",
       [](Scene& s) {
         fs::remove(s.new_exe);
         s.vanishing = make_vanishing_file(s.new_exe, s.new_bytes, s.skip_reason);
       },
       fixed(4, "install", error_text(SystemFailure::not_found)),
       not_on_this_os("no file-system FIFO on Windows to make the staged file vanish between hashing and swap"),
       [](const Scene& s) { EXPECT_TRUE(s.vanishing->served()) << "vostal-swap never read the staged file"; }},
      {"tasklist_writes_megabytes_to_both_pipes", [](Scene& s) { s.tasklist_mode = "flood"; }, success(), success(),
       [](const Scene& s) { EXPECT_EQ(s.polls(), 2) << "the parent's line came last in 4 MiB and must be found"; }},
      {"tasklist_writes_invalid_utf8", [](Scene& s) { s.tasklist_mode = "invalid-utf8"; }, success(), success(),
       [](const Scene& s) { EXPECT_EQ(s.polls(), 2) << "the parent's line among invalid UTF-8 must be found"; }},
      {"manifest_declares_a_huge_body_length",
       [](Scene& s) { write_file(s.manifest, hex_bytes("ffffffffffffffffff01" "0000")); },
       fixed(3, "manifest_decode", std::string(ENCODING_LABEL) + ": " + END_OF_INPUT),
       fixed(3, "manifest_decode", std::string(ENCODING_LABEL) + ": " + END_OF_INPUT), nullptr},
      {"manifest_declares_a_huge_signature_count",
       [](Scene& s) { write_file(s.manifest, hex_bytes("00" "ffffffffffffffffff01")); },
       fixed(3, "manifest_decode", std::string(ENCODING_LABEL) + ": " + END_OF_INPUT),
       fixed(3, "manifest_decode", std::string(ENCODING_LABEL) + ": " + END_OF_INPUT), nullptr},
      {"manifest_body_declares_a_huge_text",
       // body_bytes: spec_version 2, opaque_number_1 0, then a text of 2^64 - 1 bytes.
       [](Scene& s) { write_file(s.manifest, hex_bytes("0c" "0200ffffffffffffffffff01" "00")); },
       fixed(3, "manifest_verify", "decode manifest body: " + END_OF_INPUT),
       fixed(3, "manifest_verify", "decode manifest body: " + END_OF_INPUT), nullptr},
      {"staged_file_is_empty", [](Scene& s) { fs::resize_file(s.new_exe, 0); },
       same_text(2, "hash_mismatch", [](const Scene& s) { return expected_hash_message(s, SHA256_EMPTY); }),
       same_text(2, "hash_mismatch", [](const Scene& s) { return expected_hash_message(s, SHA256_EMPTY); }), nullptr},
      {"staged_file_is_sparse_and_over_4_gib",
       [](Scene& s) {
         fs::resize_file(s.new_exe, 0);
         fs::resize_file(s.new_exe, FOUR_GIB_AND_ONE);  // a hole: zeros that take no disk space
       },
       same_text(2, "hash_mismatch",
                 [](const Scene& s) { return expected_hash_message(s, SHA256_FOUR_GIB_AND_ONE_ZEROS); }),
       same_text(2, "hash_mismatch",
                 [](const Scene& s) { return expected_hash_message(s, SHA256_FOUR_GIB_AND_ONE_ZEROS); }),
       nullptr},
      {"manifest_path_is_a_directory",
       [](Scene& s) {
         fs::remove(s.manifest);
         fs::create_directories(s.manifest / "occupied");
       },
       same_text(3, "manifest_read",
                 [](const Scene& s) { return utf8_of(s.manifest) + ": " + error_text(SystemFailure::is_a_directory); }),
       same_text(3, "manifest_read",
                 [](const Scene& s) { return utf8_of(s.manifest) + ": " + error_text(SystemFailure::is_a_directory); }),
       [](const Scene& s) { EXPECT_TRUE(fs::is_directory(s.manifest / "occupied")); }},
  };
}

// Each takes the whole 30-second wait.
std::vector<Fault> long_faults() {
  return {
      {"tasklist_hangs", [](Scene& s) { s.tasklist_mode = "hang"; }, fixed(4, "wait_parent", "timeout"),
       fixed(4, "wait_parent", "timeout"), nullptr},
      {"tasklist_missing", [](Scene& s) { fs::remove(s.tasklist); }, fixed(4, "wait_parent", "timeout"),
       not_on_this_os("the system directory always holds a tasklist.exe, and it is searched"),
       [](const Scene& s) { EXPECT_EQ(s.polls(), 0); }},
  };
}

// The lines around the stage's message: the run prints head, message, tail.
struct ExpectedLines {
  std::string head, tail;
  bool message_printed = true;
};

ExpectedLines expected_lines(const Scene& s, const std::string& stage) {
  const std::string waiting = "[updater] waiting for parent PID " + std::to_string(s.pid) + " to exit...\n";
  const std::string swapping = "[updater] parent exited and staged binary verified, swapping\n";
  const std::string launching = "[updater] swap done, launching " + utf8_of(s.current_exe) + "\n";
  if (stage.empty()) return {waiting + swapping + launching + "[updater] launched\n", "", false};
  if (stage == "wait_parent") return {waiting + "[updater] timeout waiting for parent exit; aborting\n", "", false};
  if (stage == "backup") return {waiting + swapping + "[updater] backup failed: ", "\n"};
  if (stage == "install") return {waiting + swapping + "[updater] install failed: ", "; restoring old\n"};
  if (stage == "launch") return {waiting + swapping + launching + "[updater] launch failed: ", "\n"};
  return {waiting + "[updater] pre-swap verification failed at '" + stage + "': ", "\n"};
}

// Failure reports name the row rather than dumping its bytes.
void PrintTo(const Fault& fault, std::ostream* out) { *out << fault.name; }

class FaultMatrix : public ::testing::TestWithParam<Fault> {};

TEST_P(FaultMatrix, LineExitStatusAndTheProgramIsNeverLost) {
  const Fault& fault = GetParam();
  const Outcome& want = ON_WINDOWS ? fault.windows : fault.posix;
  if (!want.not_here.empty()) GTEST_SKIP() << want.not_here;
  Scene scene(fault.name);
  fault.arrange(scene);
  if (!scene.skip_reason.empty()) GTEST_SKIP() << scene.skip_reason;

  const Completed done = scene.run();

  // The line(s) on standard error, exactly.
  const ExpectedLines lines = expected_lines(scene, want.stage);
  const std::string& err = done.standard_error;
  ASSERT_TRUE(err.size() >= lines.head.size() + lines.tail.size() && err.starts_with(lines.head) &&
              err.ends_with(lines.tail))
      << "standard error:\n" << err << "expected it to start with:\n" << lines.head;
  const std::string printed = err.substr(lines.head.size(), err.size() - lines.head.size() - lines.tail.size());
  const std::string message = want.message ? want.message(scene) : "";
  if (!lines.message_printed) {
    EXPECT_EQ(printed, "") << err;
  } else if (want.message_is_suffix) {
    EXPECT_TRUE(printed.ends_with(message) && printed.size() > message.size()) << printed;
  } else {
    EXPECT_EQ(printed, message);
  }

  EXPECT_EQ(done.exit_code, want.exit_code) << err;

  // The status file: written for every failure that can write it, with the
  // stage and the message as printed.
  if (!want.status_written) {
    // The row checks that the path stayed what it was.
  } else if (want.stage.empty()) {
    EXPECT_FALSE(fs::exists(scene.status()));
  } else {
    const std::string stored = lines.message_printed ? printed : message;
    EXPECT_EQ(read_file(scene.status()),
              "{\"stage\":\"" + want.stage + "\",\"message\":\"" + json_escaped(stored) + "\"}");
  }

  // The invariant of every exit, then what this outcome leaves in place.
  const auto complete = [&](const fs::path& path) {
    const auto bytes = read_file(path);
    return bytes && (*bytes == scene.old_bytes || *bytes == scene.new_bytes);
  };
  EXPECT_TRUE(complete(scene.current_exe) || complete(scene.backup()))
      << "neither current_exe nor its backup holds a complete executable";
  if (want.stage.empty() || want.stage == "launch") {
    EXPECT_EQ(read_file(scene.current_exe), scene.new_bytes);
    EXPECT_EQ(read_file(scene.backup()), scene.old_bytes);
  } else {
    EXPECT_EQ(read_file(scene.current_exe), scene.old_bytes);
  }

  if (fault.also) fault.also(scene);
}

std::string row_name(const ::testing::TestParamInfo<Fault>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Quick, FaultMatrix, ::testing::ValuesIn(quick_faults()), row_name);
INSTANTIATE_TEST_SUITE_P(Long, FaultMatrix, ::testing::ValuesIn(long_faults()), row_name);

}  // namespace
}  // namespace vostal::e2e
