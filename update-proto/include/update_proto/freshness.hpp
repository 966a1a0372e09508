// The validity window: a manifest is accepted while now <= expires_at and its
// built_at is at most MAX_CLOCK_SKEW_SECS ahead of now.
#pragma once

#include <cstdint>
#include <expected>

#include "update_proto/failure.hpp"
#include "update_proto/records.hpp"

namespace update_proto {

inline constexpr std::int64_t MAX_CLOCK_SKEW_SECS = 300;

// `now` is whole seconds since 1970-01-01 00:00:00 UTC.
std::expected<void, Failure> check_freshness(const ManifestBody& body, std::int64_t now);

}  // namespace update_proto
