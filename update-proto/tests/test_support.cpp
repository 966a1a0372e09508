#include "test_support.hpp"

#include <cstdlib>
#include <stdexcept>

namespace test_support {

Bytes hex(std::string_view text) {
  auto digit = [](char c) -> int {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
  };
  Bytes out;
  int high = -1;
  for (char c : text) {
    const int d = digit(c);
    if (d < 0) {
      if (high >= 0) throw std::invalid_argument("odd hex digit in test literal");
      continue;
    }
    if (high < 0) {
      high = d;
    } else {
      out.push_back(static_cast<std::uint8_t>(high * 16 + d));
      high = -1;
    }
  }
  if (high >= 0) throw std::invalid_argument("odd hex digit in test literal");
  return out;
}

Bytes repeat(std::uint8_t byte, std::size_t count) { return Bytes(count, byte); }

Bytes concat(std::initializer_list<std::span<const std::uint8_t>> parts) {
  Bytes out;
  for (auto part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

update_proto::KeyId dev_id(int n) {
  char text[] = "DEV-K0?_";
  text[6] = static_cast<char>('0' + n);
  return vostal::key_id_from_text(text);
}

const vostal::Seed& dev_seed(int n) {
  static const std::array<vostal::Seed, 3> seeds = [] {
    std::array<vostal::Seed, 3> out{};
    for (int i = 0; i < 3; ++i) {
      char name[] = "/DEV-K0?_.seed";
      name[7] = static_cast<char>('1' + i);
      const std::string path = std::string(VOSTAL_DEV_KEYS_DIR) + name;
      auto seed = vostal::read_seed_file(path);
      if (!seed) throw std::runtime_error(seed.error());
      out[static_cast<std::size_t>(i)] = *seed;
    }
    return out;
  }();
  return seeds.at(static_cast<std::size_t>(n - 1));
}

vostal::PublicKey dev_public_key(int n) { return vostal::public_key_from_seed(dev_seed(n)); }

std::array<update_proto::TrustedKey, 3> dev_key_table() {
  std::array<update_proto::TrustedKey, 3> table{};
  for (int n = 1; n <= 3; ++n) {
    table[static_cast<std::size_t>(n - 1)] = {dev_id(n), dev_public_key(n)};
  }
  return table;
}

update_proto::ManifestBody valid_body() {
  update_proto::ManifestBody body;
  body.spec_version = 2;
  body.opaque_number_1 = 300;
  body.opaque_text_1 = std::string(1, 'a');  // (assigning "a" trips a GCC 12 -Wrestrict false positive)
  body.binary_sha256.fill(0x11);
  body.built_at = 1700000000;
  body.expires_at = 1702592000;
  return body;
}

update_proto::ManifestSignature entry(const update_proto::KeyId& id, const vostal::Seed& seed,
                                      std::span<const std::uint8_t> message) {
  return {id, vostal::sign_ed25519_vector(seed, message)};
}

update_proto::ManifestSignature dev_entry(int n, std::span<const std::uint8_t> message) {
  return entry(dev_id(n), dev_seed(n), message);
}

update_proto::SignedManifest signed_by(const Bytes& body_bytes, std::initializer_list<int> dev_keys) {
  update_proto::SignedManifest manifest{body_bytes, {}};
  for (int n : dev_keys) manifest.signatures.push_back(dev_entry(n, body_bytes));
  return manifest;
}

}  // namespace test_support
