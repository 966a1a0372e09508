// Shared fixtures of the update-proto tests: the development key set (read
// from keys/dev, the same seeds the tools use), hex literals, and signed
// manifests made with the producer's encoder.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "manifest_encoder.hpp"
#include "manifest_signer.hpp"
#include "update_proto/update_proto.hpp"

namespace test_support {

using Bytes = std::vector<std::uint8_t>;

// "AC 02", "ac02" and "AC-02" all give {0xAC, 0x02}; anything that is not a
// hex digit separates.
Bytes hex(std::string_view text);

// `count` copies of `byte`.
Bytes repeat(std::uint8_t byte, std::size_t count);

Bytes concat(std::initializer_list<std::span<const std::uint8_t>> parts);

// Development key n (1, 2 or 3): its id "DEV-K0n_", seed and public key.
update_proto::KeyId dev_id(int n);
const vostal::Seed& dev_seed(int n);
vostal::PublicKey dev_public_key(int n);

// A key table holding the three development keys, independent of the key
// file this build was configured with.
std::array<update_proto::TrustedKey, 3> dev_key_table();

// A body that passes the policy when signed: spec_version 2, a filler digest
// and a validity window around 1700000000.
update_proto::ManifestBody valid_body();

// One signature entry: `seed` signs `message`, filed under `id`.
update_proto::ManifestSignature entry(const update_proto::KeyId& id, const vostal::Seed& seed,
                                      std::span<const std::uint8_t> message);
// The development key n signs `message` under its own id.
update_proto::ManifestSignature dev_entry(int n, std::span<const std::uint8_t> message);

// body_bytes signed by the listed development keys, in that order.
update_proto::SignedManifest signed_by(const Bytes& body_bytes, std::initializer_list<int> dev_keys);

}  // namespace test_support
