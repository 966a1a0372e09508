// update-proto: reads and verifies a signed update manifest. It works on bytes
// and values handed to it; it reads no file, clock or setting and prints
// nothing.
//
//   auto manifest = update_proto::decode_signed_manifest(file_bytes);
//   auto body = update_proto::verify_manifest(*manifest);
//   auto fresh = update_proto::check_freshness(*body, now_seconds);
//   then compare body->binary_sha256 with the SHA-256 of the staged file.
#pragma once

#include "update_proto/byte_reader.hpp"
#include "update_proto/ed25519.hpp"
#include "update_proto/failure.hpp"
#include "update_proto/freshness.hpp"
#include "update_proto/records.hpp"
#include "update_proto/signature_policy.hpp"
#include "update_proto/trusted_keys.hpp"

#include <string_view>

namespace update_proto {

// The library's version, "major.minor.patch".
std::string_view version() noexcept;

}  // namespace update_proto
