// Arbitrary bytes as the signed body of a manifest.
//
// Checks, for any input: the texts and arrays of a decoded body are copies of
// input bytes and cannot add up to more than the input; every decoded text is
// well-formed UTF-8 (checked here independently of the decoder); appending
// bytes after a decoded body changes nothing; decoding is deterministic.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>
#include <vector>

#include "update_proto/records.hpp"

namespace {

void check(bool condition) {
  if (!condition) std::abort();
}

// Well-formed UTF-8 after RFC 3629 (its table of valid byte sequences).
bool well_formed_utf8(const std::string& text) {
  std::size_t i = 0;
  const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(text[at]); };
  const auto in = [](unsigned char b, unsigned char lo, unsigned char hi) { return b >= lo && b <= hi; };
  while (i < text.size()) {
    const unsigned char b0 = byte(i);
    const std::size_t left = text.size() - i;
    if (b0 <= 0x7F) {
      i += 1;
    } else if (in(b0, 0xC2, 0xDF)) {
      if (left < 2 || !in(byte(i + 1), 0x80, 0xBF)) return false;
      i += 2;
    } else if (in(b0, 0xE0, 0xEF)) {
      if (left < 3) return false;
      const unsigned char lo = b0 == 0xE0 ? 0xA0 : 0x80;
      const unsigned char hi = b0 == 0xED ? 0x9F : 0xBF;
      if (!in(byte(i + 1), lo, hi) || !in(byte(i + 2), 0x80, 0xBF)) return false;
      i += 3;
    } else if (in(b0, 0xF0, 0xF4)) {
      if (left < 4) return false;
      const unsigned char lo = b0 == 0xF0 ? 0x90 : 0x80;
      const unsigned char hi = b0 == 0xF4 ? 0x8F : 0xBF;
      if (!in(byte(i + 1), lo, hi) || !in(byte(i + 2), 0x80, 0xBF) || !in(byte(i + 3), 0x80, 0xBF)) return false;
      i += 4;
    } else {
      return false;
    }
  }
  return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::span<const std::uint8_t> input(data, size);
  const auto body = update_proto::decode_manifest_body(input);
  if (!body) {
    check(!update_proto::to_string(body.error()).empty());
    check(update_proto::decode_manifest_body(input).error() == body.error());
    return 0;
  }

  for (const std::string* text : {&body->opaque_text_1, &body->opaque_text_2, &body->opaque_text_3,
                                  &body->opaque_text_4}) {
    check(well_formed_utf8(*text));
  }
  // Eleven fields take at least one byte each, the digest 32 and every
  // revoked id 8; the texts are copies of input bytes.
  const std::size_t accounted = 10 + body->binary_sha256.size() + body->opaque_text_1.size() +
                                body->opaque_text_2.size() + body->opaque_text_3.size() +
                                body->opaque_text_4.size() + 8 * body->revoked_key_ids.size();
  check(accounted <= size);

  std::vector<std::uint8_t> extended(input.begin(), input.end());
  extended.insert(extended.end(), {0xED, 0xA0, 0x80, 0xFF});
  const auto again = update_proto::decode_manifest_body(extended);
  check(again.has_value() && *again == *body);
  return 0;
}
