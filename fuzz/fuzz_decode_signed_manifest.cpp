// Arbitrary bytes as the whole content of a manifest file.
//
// Besides "no crash, no leak, no undefined behaviour", checks what must hold
// for any input: decoded values are copied out of the input, so they cannot
// add up to more bytes than it has; a decoded manifest does not change when
// bytes are appended after it; decoding is deterministic.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <vector>

#include "update_proto/records.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const auto decoded = update_proto::decode_signed_manifest(input);
  if (!decoded) {
    check(!update_proto::to_string(decoded.error()).empty());
    check(update_proto::decode_signed_manifest(input).error() == decoded.error());
    return 0;
  }

  // Every decoded byte is an input byte: two lengths of at least one byte
  // each, the body, and per entry an 8-byte key id, a length and the bytes.
  std::size_t accounted = 2 + decoded->body_bytes.size();
  for (const auto& entry : decoded->signatures) accounted += entry.key_id.size() + 1 + entry.signature.size();
  check(accounted <= size);

  std::vector<std::uint8_t> extended(input.begin(), input.end());
  extended.insert(extended.end(), {0xFF, 0x80, 0x00, 0x01});
  const auto again = update_proto::decode_signed_manifest(extended);
  check(again.has_value() && *again == *decoded);
  return 0;
}
