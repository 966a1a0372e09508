#include <gtest/gtest.h>

#include "driver_test_support.hpp"
#include "fake_platform.hpp"
#include "parent_wait.hpp"

namespace vostal::testing {
namespace {

using namespace std::chrono_literals;
using std::chrono::milliseconds;

constexpr std::uint32_t PID = 4321;

class ParentWait : public ::testing::Test {
 protected:
  void SetUp() override { fake.install_tasklist(); }

  std::expected<void, StepFailure> wait() {
    start = fake.monotonic;
    return wait_for_parent_exit(fake, PID);
  }
  MonotonicTime elapsed() const { return fake.monotonic - start; }

  FakePlatform fake;
  MonotonicTime start{};
  const ScriptedPoll still_there{FakePlatform::listed(PID), 150ms};
};

TEST_F(ParentWait, ParentAlreadyGone) {
  fake.default_poll = {"INFO: No tasks are running which match the specified criteria.\r\n", 120ms};
  ASSERT_TRUE(wait());
  EXPECT_EQ(fake.runs.size(), 1u);
  EXPECT_EQ(fake.sleeps, (std::vector<milliseconds>{800ms}));
  EXPECT_EQ(fake.standard_error, "[updater] waiting for parent PID 4321 to exit...\n");
  EXPECT_EQ(fake.runs[0].program, join_path(os("/app"), os("tasklist") + OsString(BARE_PROGRAM_SUFFIX)));
  EXPECT_EQ(fake.runs[0].arguments, (std::vector<OsString>{os("/NH"), os("/FO"), os("CSV"), os("/FI"), os("PID eq 4321")}));
  EXPECT_EQ(fake.runs[0].kill_at, start + 30s);
}

TEST_F(ParentWait, ParentExitsAfterSomePolls) {
  fake.polls = {still_there, still_there, still_there};
  fake.default_poll = {"", 150ms};
  ASSERT_TRUE(wait());
  EXPECT_EQ(fake.runs.size(), 4u);
  EXPECT_EQ(fake.sleeps, (std::vector<milliseconds>{200ms, 200ms, 200ms, 800ms}));
  // Polls are spaced by their own duration plus the pause.
  EXPECT_EQ(fake.runs[1].started_at - fake.runs[0].started_at, 350ms);
  EXPECT_EQ(elapsed(), 4 * 150ms + 3 * 200ms + 800ms);
}

TEST_F(ParentWait, TimesOutAtTheFirstPollEndingAtOrAfterThirtySeconds) {
  fake.default_poll = still_there;
  const auto result = wait();
  ASSERT_FALSE(result);
  EXPECT_EQ(result.error(), (StepFailure{Stage::wait_parent, "timeout"}));
  // Each round is 350 ms; the 86th poll ends at 86 * 150 + 85 * 200 = 29900 ms,
  // the 87th at 30250 ms.
  EXPECT_EQ(fake.runs.size(), 87u);
  EXPECT_EQ(elapsed(), 30250ms);
  EXPECT_EQ(fake.standard_error,
            "[updater] waiting for parent PID 4321 to exit...\n"
            "[updater] timeout waiting for parent exit; aborting\n");
  EXPECT_EQ(fake.sleeps.back(), 200ms) << "no settling pause after a time-out";
}

TEST_F(ParentWait, ExactlyAtTheDeadlineCountsAsTimedOut) {
  fake.default_poll = {FakePlatform::listed(PID), 0ms};
  fake.polls = {{FakePlatform::listed(PID), 29800ms}};  // ends at 29.8 s; next poll ends at 30.0 s
  ASSERT_FALSE(wait());
  EXPECT_EQ(fake.runs.size(), 2u);
  EXPECT_EQ(elapsed(), 30s);
}

TEST_F(ParentWait, PollAfterTheDeadlineThatFindsTheParentGoneSucceeds) {
  fake.polls = {{FakePlatform::listed(PID), 29900ms}, {"", 300ms}};
  // The second poll starts at 30.1 s, after the deadline; it still gets its
  // allowance and its answer counts.
  ASSERT_TRUE(wait());
  EXPECT_EQ(fake.runs[1].kill_at, fake.runs[1].started_at + LATE_POLL_ALLOWANCE);
  EXPECT_EQ(fake.sleeps.back(), 800ms);
}

TEST_F(ParentWait, TasklistThatNeverEndsIsKilledAndTheWaitTimesOut) {
  fake.default_poll = {FakePlatform::listed(PID), 0ms, true};
  fake.polls = {{"", 0ms, true}};  // even a poll that printed nothing counts as listed when killed
  ASSERT_FALSE(wait());
  EXPECT_EQ(fake.runs.size(), 1u);
  EXPECT_EQ(elapsed(), 30s);
}

TEST_F(ParentWait, TasklistMissingOrFailingToStartMeansStillRunning) {
  for (bool installed : {false, true}) {
    FakePlatform local;
    if (installed) local.install_tasklist();
    local.default_poll = {"", 50ms, false, access_denied()};
    ASSERT_FALSE(wait_for_parent_exit(local, PID));
    EXPECT_EQ(local.standard_error,
              "[updater] waiting for parent PID 4321 to exit...\n"
              "[updater] timeout waiting for parent exit; aborting\n");
    EXPECT_EQ(local.runs.empty(), !installed);
  }
}

TEST(ParentIsListed, SearchesTheQuotedIdInTheRawOutput) {
  const struct {
    std::string output;
    bool listed;
  } cases[] = {
      {"\"app.exe\",\"42\",\"Console\",\"1\",\"1,234 K\"\r\n", true},
      {"\"app.exe\",\"420\",\"Console\",\"1\",\"1,234 K\"\r\n", false},
      {"\"app.exe\",\"142\",\"Console\",\"1\",\"1,234 K\"\r\n", false},
      {"INFO: No tasks are running which match the specified criteria.\r\n", false},
      {"", false},
      {"\xff\xfe\"42\"\xc3", true},          // invalid UTF-8 around the id
      {"\xe2\x82\"42\"", true},              // a truncated sequence right before it
      {"42", false},                          // unquoted
  };
  for (const auto& c : cases) {
    FakePlatform fake;
    fake.install_tasklist();
    fake.default_poll = {c.output, 10ms};
    EXPECT_EQ(parent_is_listed(fake, 42, fake.monotonic + 30s), c.listed) << c.output;
  }
}

TEST(ParentIsListed, StandardErrorIsNotSearched) {
  FakePlatform fake;
  fake.install_tasklist();
  fake.default_poll = {"", 10ms, false, std::nullopt, "\"app.exe\",\"42\""};
  EXPECT_FALSE(parent_is_listed(fake, 42, fake.monotonic + 30s));
}

}  // namespace
}  // namespace vostal::testing
