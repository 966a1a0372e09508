// Signed manifests for the driver's tests, made with the producer's encoder
// and the development keys.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "vostal/platform.hpp"

namespace vostal::testing {

// The wall-clock second the tests pretend it is, and a window around it.
inline constexpr std::int64_t TEST_NOW = 1'700'000'000;

struct ManifestRecipe {
  Sha256Digest binary_sha256{};
  std::int64_t built_at = TEST_NOW - 3600;
  std::int64_t expires_at = TEST_NOW + 86400;
  std::uint16_t spec_version = 2;
  std::vector<std::string> signers{"DEV-K01_", "DEV-K02_"};
};

// The manifest file's bytes. Each signer is a key id whose seed lies in the
// development key directory.
std::string make_manifest(const ManifestRecipe& recipe);

}  // namespace vostal::testing
