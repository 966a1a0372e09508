// The built-in key table. Its public keys are a constant of the build, chosen
// at configure time from a key file; nothing at run time can change them.
#pragma once

#include <array>
#include <cstdint>

#include "update_proto/records.hpp"

namespace update_proto {

struct TrustedKey {
  KeyId key_id{};
  std::array<std::uint8_t, 32> public_key{};  // all zeros: an empty slot
};

extern const std::array<TrustedKey, 3> TRUSTED_KEYS;

}  // namespace update_proto
