// The manifest records: the 127-byte worked example field by field, the
// record-level edge cases, and round trips through the producer's encoder.
#include <gtest/gtest.h>

#include <limits>

#include "test_support.hpp"

using test_support::Bytes;
using test_support::concat;
using test_support::hex;
using test_support::repeat;
using update_proto::DecodeError;

namespace {

const char* const kWorkedExampleBody =
    "02"                      // spec_version 2
    "AC 02"                   // opaque_number_1 300
    "01 61"                   // opaque_text_1 "a"
    "1111111111111111111111111111111111111111111111111111111111111111"  // binary_sha256
    "80 C4 9F D5 0C"          // built_at 1700000000
    "80 F8 DB D7 0C"          // expires_at 1702592000
    "00 00 00 00"             // opaque_text_2, opaque_number_2, opaque_text_3, opaque_text_4
    "00";                     // revoked_key_ids: none

Bytes worked_example() {
  return concat({hex("34"), hex(kWorkedExampleBody), hex("01"), hex("44 45 56 2D 4B 30 31 5F"), hex("40"),
                 repeat(0x00, 64)});
}

TEST(Records, WorkedExampleDecodesFieldByField) {
  const Bytes file = worked_example();
  ASSERT_EQ(file.size(), 127u);

  const auto manifest = update_proto::decode_signed_manifest(file);
  ASSERT_TRUE(manifest.has_value());
  EXPECT_EQ(manifest->body_bytes, hex(kWorkedExampleBody));
  EXPECT_EQ(manifest->body_bytes.size(), 52u);
  ASSERT_EQ(manifest->signatures.size(), 1u);
  EXPECT_EQ(manifest->signatures[0].key_id, vostal::key_id_from_text("DEV-K01_"));
  EXPECT_EQ(manifest->signatures[0].signature, repeat(0x00, 64));

  const auto body = update_proto::decode_manifest_body(manifest->body_bytes);
  ASSERT_TRUE(body.has_value());
  EXPECT_EQ(body->spec_version, 2);
  EXPECT_EQ(body->opaque_number_1, 300u);
  EXPECT_EQ(body->opaque_text_1, "a");
  EXPECT_EQ(Bytes(body->binary_sha256.begin(), body->binary_sha256.end()), repeat(0x11, 32));
  EXPECT_EQ(body->built_at, 1700000000);
  EXPECT_EQ(body->expires_at, 1702592000);
  EXPECT_EQ(body->opaque_text_2, "");
  EXPECT_EQ(body->opaque_number_2, 0u);
  EXPECT_EQ(body->opaque_text_3, "");
  EXPECT_EQ(body->opaque_text_4, "");
  EXPECT_TRUE(body->revoked_key_ids.empty());
}

TEST(Records, EncoderReproducesTheWorkedExample) {
  update_proto::SignedManifest manifest{vostal::encode_manifest_body(test_support::valid_body()),
                                        {{vostal::key_id_from_text("DEV-K01_"), repeat(0x00, 64)}}};
  EXPECT_EQ(vostal::encode_signed_manifest(manifest), worked_example());
}

// Manifest files that are not the worked example; each is decoded whole.
TEST(Records, SignedManifestEdgeCases) {
  struct Case {
    const char* name;
    Bytes file;
    std::optional<DecodeError> error;  // none: decodes
    std::size_t signatures = 0;
  };
  const Bytes body = hex(kWorkedExampleBody);
  const Case cases[] = {
      {"empty file", {}, DecodeError::EndOfInput},
      {"body length beyond the file", hex("05 01 02 03"), DecodeError::EndOfInput},
      {"signature count missing", concat({hex("34"), body}), DecodeError::EndOfInput},
      {"no signatures", concat({hex("34"), body, hex("00")}), std::nullopt, 0},
      {"empty body", hex("00 00"), std::nullopt, 0},
      {"63-byte signature", concat({hex("34"), body, hex("01"), repeat(0x41, 8), hex("3F"), repeat(0, 63)}),
       std::nullopt, 1},
      {"65-byte signature", concat({hex("34"), body, hex("01"), repeat(0x41, 8), hex("41"), repeat(0, 65)}),
       std::nullopt, 1},
      {"trailing bytes after the list", concat({worked_example(), hex("DE AD BE EF")}), std::nullopt, 1},
      {"key id cut short", concat({hex("34"), body, hex("01"), repeat(0x41, 7)}), DecodeError::EndOfInput},
      {"signature count says two, one present", concat({hex("34"), body, hex("02"), repeat(0x41, 8), hex("00")}),
       DecodeError::EndOfInput},
      {"huge signature count", concat({hex("34"), body, hex("FF FF FF FF FF FF FF FF FF 01")}),
       DecodeError::EndOfInput},
      {"body length never terminates", hex("80 80 80 80 80 80 80 80 80 80"), DecodeError::VarintTooLong},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto manifest = update_proto::decode_signed_manifest(c.file);
    if (c.error) {
      ASSERT_FALSE(manifest.has_value());
      EXPECT_EQ(manifest.error(), *c.error);
    } else {
      ASSERT_TRUE(manifest.has_value()) << update_proto::to_string(manifest.error());
      EXPECT_EQ(manifest->signatures.size(), c.signatures);
    }
  }
}

// Bodies given as hex, field by field; a body fails with the reader's error
// even in fields that nothing interprets.
TEST(Records, ManifestBodyEdgeCases) {
  struct Case {
    const char* name;
    Bytes body;
    std::optional<DecodeError> error;
  };
  const Bytes digest = repeat(0x11, 32);
  auto body_with = [&](const char* head, const char* tail) { return concat({hex(head), digest, hex(tail)}); };
  const Case cases[] = {
      {"empty", {}, DecodeError::EndOfInput},
      {"spec_version 3 decodes", body_with("03 00 00", "00 00 00 00 00 00 00"), std::nullopt},
      {"spec_version 80 80 04", body_with("80 80 04 00 00", "00 00 00 00 00 00 00"), DecodeError::VarintTooLong},
      {"digest cut short", hex("02 00 00 11 11"), DecodeError::EndOfInput},
      {"bad UTF-8 in opaque_text_1", body_with("02 00 02 C0 80", "00 00 00 00 00 00 00"), DecodeError::InvalidUtf8},
      {"bad UTF-8 in opaque_text_4", body_with("02 00 00", "00 00 00 00 00 03 ED A0 80 00"), DecodeError::InvalidUtf8},
      {"revoked list cut short", body_with("02 00 00", "00 00 00 00 00 00 02 41 41 41 41 41 41 41 41 42"),
       DecodeError::EndOfInput},
      {"revoked list missing", body_with("02 00 00", "00 00 00 00 00 00"), DecodeError::EndOfInput},
      {"trailing bytes ignored", body_with("02 00 00", "00 00 00 00 00 00 00 FF FF FF"), std::nullopt},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto body = update_proto::decode_manifest_body(c.body);
    if (c.error) {
      ASSERT_FALSE(body.has_value());
      EXPECT_EQ(body.error(), *c.error);
    } else {
      EXPECT_TRUE(body.has_value()) << update_proto::to_string(body.error());
    }
  }
}

TEST(Records, NegativeTimesDecode) {
  const Bytes body = concat({hex("02 00 00"), repeat(0x11, 32), hex("01 03 00 00 00 00 00")});
  const auto decoded = update_proto::decode_manifest_body(body);
  ASSERT_TRUE(decoded.has_value());
  EXPECT_EQ(decoded->built_at, -1);
  EXPECT_EQ(decoded->expires_at, -2);
}

TEST(Records, TrailingBytesDoNotChangeTheBody) {
  const Bytes body = vostal::encode_manifest_body(test_support::valid_body());
  const auto plain = update_proto::decode_manifest_body(body);
  const auto padded = update_proto::decode_manifest_body(concat({body, hex("00 01 02")}));
  ASSERT_TRUE(plain.has_value());
  ASSERT_TRUE(padded.has_value());
  EXPECT_EQ(*plain, *padded);
}

// Whatever the encoder writes, the decoder reads back unchanged: extreme
// integers, multi-byte texts, many revoked ids.
TEST(Records, EncoderRoundTrips) {
  constexpr auto i64_min = std::numeric_limits<std::int64_t>::min();
  constexpr auto i64_max = std::numeric_limits<std::int64_t>::max();
  constexpr auto u64_max = std::numeric_limits<std::uint64_t>::max();

  std::vector<update_proto::ManifestBody> bodies;
  bodies.push_back(update_proto::ManifestBody{});
  bodies.push_back(test_support::valid_body());
  {
    update_proto::ManifestBody b;
    b.spec_version = 65535;
    b.opaque_number_1 = u64_max;
    b.opaque_number_2 = u64_max - 1;
    b.built_at = i64_min;
    b.expires_at = i64_max;
    b.opaque_text_1 = "\xC3\xA9t\xC3\xA9";
    b.opaque_text_2 = std::string(300, 'x');  // a two-byte length
    b.opaque_text_3 = "\xF0\x9F\x94\x91";
    b.opaque_text_4 = std::string("nul\0inside", 10);
    for (int i = 0; i < 200; ++i) b.revoked_key_ids.push_back(vostal::key_id_from_text("REVOKED" + std::string(1, static_cast<char>('!' + i % 90))));
    b.binary_sha256.fill(0xFE);
    bodies.push_back(b);
  }
  {
    update_proto::ManifestBody b = test_support::valid_body();
    b.built_at = -1;
    b.expires_at = 0;
    b.spec_version = 128;  // two bytes
    bodies.push_back(b);
  }
  for (const auto& body : bodies) {
    const Bytes encoded = vostal::encode_manifest_body(body);
    const auto decoded = update_proto::decode_manifest_body(encoded);
    ASSERT_TRUE(decoded.has_value()) << update_proto::to_string(decoded.error());
    EXPECT_EQ(*decoded, body);

    update_proto::SignedManifest manifest{encoded, {}};
    manifest.signatures.push_back({vostal::key_id_from_text("DEV-K02_"), repeat(0x33, 64)});
    manifest.signatures.push_back({vostal::key_id_from_text("ABCDEFGH"), {}});
    manifest.signatures.push_back({vostal::key_id_from_text("ABCDEFGH"), repeat(0x44, 200)});
    const auto file = update_proto::decode_signed_manifest(vostal::encode_signed_manifest(manifest));
    ASSERT_TRUE(file.has_value());
    EXPECT_EQ(*file, manifest);
  }
}

}  // namespace
