// The validity window: both boundaries, the order of the two tests, ordinary
// negative and zero times, and sums near the end of the int64 range.
#include <gtest/gtest.h>

#include <limits>
#include <optional>

#include "update_proto/freshness.hpp"

namespace {

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kNow = 1700000000;

std::string expired(std::int64_t expires_at, std::int64_t now) {
  return "manifest expired: expires_at=" + std::to_string(expires_at) + " now=" + std::to_string(now);
}
std::string ahead(std::int64_t built_at, std::int64_t now) {
  return "manifest built_at " + std::to_string(built_at) + " is > 300s ahead of client clock (now=" +
         std::to_string(now) + ")";
}

TEST(Freshness, Window) {
  struct Case {
    const char* name;
    std::int64_t built_at;
    std::int64_t expires_at;
    std::int64_t now;
    std::optional<std::string> refusal;
  };
  const Case cases[] = {
      {"inside", kNow - 10, kNow + 10, kNow, std::nullopt},
      {"expires_at equal to now", kNow - 10, kNow, kNow, std::nullopt},
      {"expires_at one before now", kNow - 10, kNow - 1, kNow, expired(kNow - 1, kNow)},
      {"built_at equal to now + 300", kNow + 300, kNow + 1000, kNow, std::nullopt},
      {"built_at equal to now + 301", kNow + 301, kNow + 1000, kNow, ahead(kNow + 301, kNow)},
      {"expired and too far ahead: expiry wins", kNow + 1000, kNow - 1, kNow, expired(kNow - 1, kNow)},
      {"expires_at 0 is a time, not 'never'", 0, 0, kNow, expired(0, kNow)},
      {"negative expires_at", -5, -1, 0, "manifest expired: expires_at=-1 now=0"},
      {"old built_at is fine", 0, kNow + 1, kNow, std::nullopt},
      {"expires_at before built_at, now between", kNow + 200, kNow, kNow, std::nullopt},
      {"expires_at before built_at, now = built_at - 300", kNow + 300, kNow, kNow, std::nullopt},
      {"clock before 1970 reported as 0", 301, 1000, 0, "manifest built_at 301 is > 300s ahead of client clock (now=0)"},
      {"negative now", -400, 10, -100, std::nullopt},
      {"negative now, built_at too far ahead", 201, 10, -100,
       "manifest built_at 201 is > 300s ahead of client clock (now=-100)"},
      {"smallest times", kMin, kMin, kMin, std::nullopt},
      {"smallest now, built_at just beyond the skew", kMin + 301, kMax, kMin, ahead(kMin + 301, kMin)},
      // now + 300 beyond the int64 range: the sum saturates (a plain sum
      // would be undefined behaviour) and every built_at is within reach.
      {"largest now", kMax, kMax, kMax, std::nullopt},
      {"now + 300 overflows by one", kMax, kMax, kMax - 299, std::nullopt},
      {"now + 300 is exactly the largest", kMax, kMax, kMax - 300, std::nullopt},
      {"largest now, expired", kMax, kMax - 1, kMax, expired(kMax - 1, kMax)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    update_proto::ManifestBody body;
    body.built_at = c.built_at;
    body.expires_at = c.expires_at;
    const auto result = update_proto::check_freshness(body, c.now);
    if (c.refusal) {
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error().message, *c.refusal);
    } else {
      EXPECT_TRUE(result.has_value()) << result.error().message;
    }
  }
}

}  // namespace
