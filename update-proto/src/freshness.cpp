// The validity window: expired manifests and manifests dated too far ahead of
// the caller's clock are refused.
#include "update_proto/freshness.hpp"

#include <limits>
#include <string>

namespace update_proto {

std::expected<void, Failure> check_freshness(const ManifestBody& body, std::int64_t now) {
  if (body.expires_at < now) {
    return std::unexpected(Failure{"manifest expired: expires_at=" + std::to_string(body.expires_at) +
                                   " now=" + std::to_string(now)});
  }
  // now + 300 would overflow (undefined behaviour) for a now within 300 of the
  // largest int64. Saturate: no built_at can exceed the largest value, so such
  // a now accepts every built_at, as the unbounded sum would.
  constexpr std::int64_t max = std::numeric_limits<std::int64_t>::max();
  const std::int64_t latest_built_at =
      now > max - MAX_CLOCK_SKEW_SECS ? max : now + MAX_CLOCK_SKEW_SECS;
  if (body.built_at > latest_built_at) {
    return std::unexpected(Failure{"manifest built_at " + std::to_string(body.built_at) + " is > " +
                                   std::to_string(MAX_CLOCK_SKEW_SECS) +
                                   "s ahead of client clock (now=" + std::to_string(now) + ")"});
  }
  return {};
}

}  // namespace update_proto
