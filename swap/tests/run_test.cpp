// The run as a whole on the fake platform: what each way out prints, leaves
// on disk and returns, and in which order it does so.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

#include "driver_test_support.hpp"
#include "fake_platform.hpp"
#include "run.hpp"
#include "test_manifest.hpp"

namespace vostal::testing {
namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t PID = 1234;
const std::string OLD = "old executable";
const std::string NEW = "new executable";
const std::string EARLIER_BACKUP = "backup from an earlier swap";
const std::string EARLIER_STATUS = R"({"stage":"launch","message":"from an earlier run"})";

const std::string WAITING = "[updater] waiting for parent PID 1234 to exit...\n";
const std::string SWAPPING = "[updater] parent exited and staged binary verified, swapping\n";
const std::string LAUNCHING = "[updater] swap done, launching /app/app\n";

// What a path holds after the run; nullopt: absent.
using Content = std::optional<std::string>;

struct Outcome {
  std::string name;
  std::function<void(FakePlatform&)> arrange;
  std::vector<std::string> argv;  // empty: the usual four arguments
  int exit;
  std::string standard_error;
  Content current_exe, backup, new_exe, manifest, status;
};

class World {
 public:
  World() {
    fake.install_tasklist();
    fake.set_unix_time(TEST_NOW);
    fake.polls = {{FakePlatform::listed(PID), 100ms}};  // listed once, then gone
    fake.files[os("/app/app")] = OLD;
    fake.files[os("/app/app.bak")] = EARLIER_BACKUP;
    fake.files[os("/app/app.new")] = NEW;
    fake.files[os("/app/m")] = make_manifest({.binary_sha256 = sha256_of(NEW)});
    fake.files[os("/app/app.swap-status")] = EARLIER_STATUS;
    manifest_bytes = fake.files[os("/app/m")];
  }
  Content at(std::string_view path) const {
    auto found = fake.files.find(os(path));
    return found == fake.files.end() ? Content{} : Content{found->second};
  }

  FakePlatform fake;
  std::string manifest_bytes;
};

std::string status(std::string_view stage, std::string_view message) {
  return "{\"stage\":\"" + std::string(stage) + "\",\"message\":\"" + std::string(message) + "\"}";
}

std::vector<Outcome> outcomes() {
  const std::string manifest = World().manifest_bytes;
  const std::string denied = access_denied().text;
  const std::string exdev = cross_device().text;
  return {
      {"command line refused", [](FakePlatform&) {}, {"/app/app", "/app/app.new", "12x", "/app/m"}, 1,
       "bad parent_pid '12x'\n", OLD, EARLIER_BACKUP, NEW, manifest, EARLIER_STATUS},
      {"wait_parent", [](FakePlatform& f) { f.default_poll = {FakePlatform::listed(PID), 100ms}; }, {}, 4,
       WAITING + "[updater] timeout waiting for parent exit; aborting\n", OLD, EARLIER_BACKUP, NEW, manifest,
       status("wait_parent", "timeout")},
      {"verification", [](FakePlatform& f) { f.files[os("/app/app.new")] = "tampered"; }, {}, 2,
       WAITING + "[updater] pre-swap verification failed at 'hash_mismatch': expected sha256 " +
           std::string(64, '?') + "\n",
       OLD, EARLIER_BACKUP, std::nullopt, std::nullopt, std::string("hash_mismatch")},
      {"backup", [](FakePlatform& f) { f.rename_failures[os("/app/app")] = access_denied(); }, {}, 4,
       WAITING + SWAPPING + "[updater] backup failed: " + denied + "\n", OLD, std::nullopt, NEW, manifest,
       status("backup", denied)},
      {"install, restored", [](FakePlatform& f) { f.rename_failures[os("/app/app.new")] = cross_device(); }, {}, 4,
       WAITING + SWAPPING + "[updater] install failed: " + exdev + "; restoring old\n", OLD, std::nullopt, NEW,
       manifest, status("install", exdev)},
      {"install, restore fails too",
       [](FakePlatform& f) {
         f.rename_failures[os("/app/app.new")] = cross_device();
         f.rename_failures[os("/app/app.bak")] = access_denied();
       },
       {}, 4, WAITING + SWAPPING + "[updater] install failed: " + exdev + "; restoring old\n", std::nullopt, OLD, NEW,
       manifest, status("install", exdev)},
      {"success", [](FakePlatform&) {}, {}, 0, WAITING + SWAPPING + LAUNCHING + "[updater] launched\n", NEW, OLD,
       std::nullopt, std::nullopt, std::nullopt},
      {"launch", [](FakePlatform& f) { f.launch_failures[os("/app/app")] = SystemError{"Exec format error (os error 8)", 8}; },
       {}, 0, WAITING + SWAPPING + LAUNCHING + "[updater] launch failed: Exec format error (os error 8)\n", NEW, OLD,
       std::nullopt, std::nullopt, status("launch", "Exec format error (os error 8)")},
  };
}

std::vector<OsString> argv_for(const Outcome& outcome) {
  if (outcome.argv.empty()) return argv_of({"/app/app", "/app/app.new", "1234", "/app/m"});
  std::vector<OsString> argv{os("vostal-swap")};
  for (const auto& a : outcome.argv) argv.push_back(os(a));
  return argv;
}

TEST(RunOutcomes, WhatEachWayOutLeavesOnDisk) {
  for (const auto& expected : outcomes()) {
    SCOPED_TRACE(expected.name);
    World world;
    expected.arrange(world.fake);
    const auto argv = argv_for(expected);

    EXPECT_EQ(run(world.fake, argv), expected.exit);

    if (expected.name == "verification") {
      // The computed digest is not worth spelling out; the shape is.
      EXPECT_TRUE(world.fake.standard_error.starts_with(WAITING + "[updater] pre-swap verification failed at 'hash_mismatch': expected sha256 "));
      EXPECT_TRUE(world.at("/app/app.swap-status")->starts_with(R"({"stage":"hash_mismatch","message":"expected sha256 )"));
    } else {
      EXPECT_EQ(world.fake.standard_error, expected.standard_error);
      EXPECT_EQ(world.at("/app/app.swap-status"), expected.status);
    }
    EXPECT_EQ(world.at("/app/app"), expected.current_exe);
    EXPECT_EQ(world.at("/app/app.bak"), expected.backup);
    EXPECT_EQ(world.at("/app/app.new"), expected.new_exe);
    EXPECT_EQ(world.at("/app/m"), expected.manifest);

    // A status file is written only as the very last act of a failed run.
    const auto& log = world.fake.log;
    const auto writes = std::ranges::count_if(log, [](const std::string& e) { return e.starts_with("write "); });
    const bool failed = expected.exit != 0 || expected.name == "launch";
    EXPECT_EQ(writes, failed && expected.exit != 1 ? 1 : 0);
    if (writes == 1) {
      EXPECT_EQ(log.back(), "write /app/app.swap-status");
    }
  }
}

TEST(RunOutcomes, SuccessfulRunLaunchesTheNewExecutableByItsGivenName) {
  World world;
  ASSERT_EQ(run(world.fake, argv_of({"/app/app", "/app/app.new", "1234", "/app/m", "ignored"})), 0);
  ASSERT_EQ(world.fake.launches.size(), 1u);
  EXPECT_EQ(world.fake.launches[0], (std::pair<OsString, OsString>{os("/app/app"), os("/app/app")}));
  // The order of the swap's file operations.
  const std::vector<std::string> expected_tail = {
      "stderr " + SWAPPING,
      "delete /app/app.bak",
      "rename /app/app -> /app/app.bak",
      "rename /app/app.new -> /app/app",
      "delete /app/m",
      "delete /app/app.swap-status",
      "stderr " + LAUNCHING,
      "launch /app/app",
      "stderr [updater] launched\n",
  };
  const auto& log = world.fake.log;
  ASSERT_GE(log.size(), expected_tail.size());
  EXPECT_EQ(std::vector<std::string>(log.end() - static_cast<std::ptrdiff_t>(expected_tail.size()), log.end()), expected_tail);
}

TEST(RunOutcomes, WithoutExtensionTheExeBesideItIsStarted) {
  World world;
  world.fake.files[os("/app/app.exe")] = "another program";
  ASSERT_EQ(run(world.fake, argv_of({"/app/app", "/app/app.new", "1234", "/app/m"})), 0);
  EXPECT_EQ(world.fake.launches.at(0), (std::pair<OsString, OsString>{os("/app/app.exe"), os("/app/app")}));
  EXPECT_TRUE(world.fake.standard_error.ends_with(LAUNCHING + "[updater] launched\n"));
}

TEST(RunOutcomes, BareNameThatIsNowhereFailsTheLaunch) {
  World world;
  world.fake.own_dir = os("/updater");
  world.fake.install_tasklist();
  world.fake.files[os("app")] = OLD;  // the working directory is not searched
  world.fake.files[os("app.new")] = NEW;
  EXPECT_EQ(run(world.fake, argv_of({"app", "app.new", "1234", "/app/m"})), 0);
  EXPECT_TRUE(world.fake.standard_error.ends_with("[updater] launch failed: program not found\n"));
  EXPECT_EQ(world.at("app.swap-status"), status("launch", "program not found"));
  EXPECT_EQ(world.at("app"), NEW);
}

TEST(RunOutcomes, UnwritableStatusFileChangesNeitherLinesNorExitStatus) {
  for (const auto& expected : outcomes()) {
    if (expected.name == "verification") continue;  // its line holds a digest; covered above
    SCOPED_TRACE(expected.name);
    World world;
    expected.arrange(world.fake);
    world.fake.files.erase(os("/app/app.swap-status"));
    world.fake.write_failures[os("/app/app.swap-status")] = access_denied();
    const auto argv = argv_for(expected);
    EXPECT_EQ(run(world.fake, argv), expected.exit);
    EXPECT_EQ(world.fake.standard_error, expected.standard_error);
    EXPECT_FALSE(world.at("/app/app.swap-status"));
  }
}

TEST(RunOutcomes, FailedDeletionsNeverStopTheSwap) {
  World world;
  for (const char* path : {"/app/app.bak", "/app/m", "/app/app.swap-status"})
    world.fake.delete_failures[os(path)] = access_denied();
  EXPECT_EQ(run(world.fake, argv_of({"/app/app", "/app/app.new", "1234", "/app/m"})), 0);
  EXPECT_EQ(world.fake.standard_error, WAITING + SWAPPING + LAUNCHING + "[updater] launched\n");
  EXPECT_EQ(world.at("/app/app.bak"), OLD);  // the rename replaced the leftover
}

}  // namespace
}  // namespace vostal::testing
