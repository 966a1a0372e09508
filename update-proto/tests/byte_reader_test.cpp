// The reader's byte rules: varint widths and their last-byte limits, zig-zag,
// fixed arrays, byte vectors, texts, lists, and what a failed read leaves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <limits>
#include <new>
#include <optional>
#include <variant>

#include "allocation_probe.hpp"
#include "test_support.hpp"
#include "update_proto/byte_reader.hpp"

using test_support::Bytes;
using test_support::hex;
using update_proto::ByteReader;
using update_proto::DecodeError;


namespace {

// What one read should give: a value, or an error. After a value, `left`
// bytes remain (0 unless given): the reader takes exactly what it needs.
// After an error the position matters only where a case states it.
template <class T>
struct Case {
  Case(const char* in, T value, std::size_t rest = 0) : input(in), expected(std::move(value)), left(rest) {}
  Case(const char* in, DecodeError error) : input(in), expected(error) {}
  Case(const char* in, DecodeError error, std::size_t rest) : input(in), expected(error), left(rest) {}

  const char* input;
  std::variant<T, DecodeError> expected;
  std::optional<std::size_t> left;
};

template <class T, class Read>
void run_cases(const std::vector<Case<T>>& cases, Read read) {
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string("input: ") + c.input);
    const Bytes input = hex(c.input);
    ByteReader reader(input);
    const auto result = read(reader);
    if (std::holds_alternative<T>(c.expected)) {
      ASSERT_TRUE(result.has_value()) << update_proto::to_string(result.error());
      EXPECT_EQ(*result, std::get<T>(c.expected));
    } else {
      ASSERT_FALSE(result.has_value());
      EXPECT_EQ(result.error(), std::get<DecodeError>(c.expected));
    }
    if (c.left) {
      EXPECT_EQ(reader.remaining(), *c.left);
    }
  }
}

constexpr auto kEnd = DecodeError::EndOfInput;
constexpr auto kLong = DecodeError::VarintTooLong;
constexpr auto kUtf8 = DecodeError::InvalidUtf8;

TEST(ByteReader, U16) {
  run_cases<std::uint16_t>(
      {
          {"02", 2},
          {"7F", 127},
          {"80 01", 128},
          {"80 00", 0},                 // longer than needed, still fine
          {"FF FF 03", 65535},
          {"80 80 00", 0},              // third byte may be 00
          {"FF FF 04", kLong},          // bit 16 would be set
          {"80 80 80 00", kLong, 1},    // fails at the third byte; the fourth stays unread
          {"FF FF 83", kLong},          // third byte announces a fourth
          {"80", kEnd},
          {"", kEnd},
          {"02 FF", 2, 1},              // stops after the value's last byte
      },
      [](ByteReader& r) { return r.read_u16(); });
}

TEST(ByteReader, U64) {
  run_cases<std::uint64_t>(
      {
          {"00", 0},
          {"AC 02", 300},
          {"FF FF FF FF FF FF FF FF FF 01", std::numeric_limits<std::uint64_t>::max()},
          {"80 80 80 80 80 80 80 80 80 01", std::uint64_t{1} << 63},
          {"80 80 80 80 80 80 80 80 80 00", 0},
          {"FF FF FF FF FF FF FF FF FF 02", kLong},
          {"80 80 80 80 80 80 80 80 80 80", kLong},
          {"80 80 80 80 80 80 80 80 80 80 00", kLong, 1},
          {"80 80 80 80 80 80 80 80 80", kEnd},
          {"", kEnd},
      },
      [](ByteReader& r) { return r.read_u64(); });
}

TEST(ByteReader, I64ZigZag) {
  run_cases<std::int64_t>(
      {
          {"00", 0},
          {"01", -1},
          {"02", 1},
          {"03", -2},
          {"7E", 63},
          {"7F", -64},
          {"80 01", 64},
          {"80 C4 9F D5 0C", 1700000000},
          {"FE FF FF FF FF FF FF FF FF 01", std::numeric_limits<std::int64_t>::max()},
          {"FF FF FF FF FF FF FF FF FF 01", std::numeric_limits<std::int64_t>::min()},
          {"FF FF FF FF FF FF FF FF FF 02", kLong},
          {"", kEnd},
      },
      [](ByteReader& r) { return r.read_i64(); });
}

TEST(ByteReader, Text) {
  run_cases<std::string>(
      {
          {"00", ""},
          {"01 61", "a"},
          {"02 C3 A9", "\xC3\xA9"},                      // U+00E9
          {"03 E2 82 AC", "\xE2\x82\xAC"},               // U+20AC
          {"04 F4 8F BF BF", "\xF4\x8F\xBF\xBF"},        // U+10FFFF, the largest
          {"03 ED 9F BF", "\xED\x9F\xBF"},               // U+D7FF, just below the surrogates
          {"03 61 62", kEnd},                            // length 3, two bytes left
          {"03 FF FF", kEnd},                            // too short wins over bad content
          {"02 C0 80", kUtf8},                           // overlong NUL
          {"02 C1 BF", kUtf8},                           // overlong
          {"03 E0 9F BF", kUtf8},                        // overlong three-byte form
          {"04 F0 8F BF BF", kUtf8},                     // overlong four-byte form
          {"03 ED A0 80", kUtf8},                        // U+D800 surrogate
          {"03 ED BF BF", kUtf8},                        // U+DFFF surrogate
          {"04 F4 90 80 80", kUtf8},                     // U+110000
          {"01 80", kUtf8},                              // lone continuation byte
          {"01 C3", kUtf8},                              // truncated sequence
          {"02 E2 82", kUtf8},                           // truncated inside the text
          {"02 C3 41", kUtf8},                           // continuation missing
          {"01 F5", kUtf8},
          {"01 FF", kUtf8},
          {"01 00", std::string(1, '\0')},               // NUL is well-formed
          {"01 61 62", "a", 1},
      },
      [](ByteReader& r) { return r.read_string(); });
}

TEST(ByteReader, ByteVector) {
  run_cases<Bytes>(
      {
          {"00", Bytes{}},
          {"02 C0 80", hex("C0 80")},  // content is not examined
          {"05 01 02", kEnd},
          {"", kEnd},
          {"01 AA BB", hex("AA"), 1},
      },
      [](ByteReader& r) { return r.read_bytes(); });
}

TEST(ByteReader, FixedArray) {
  {
    const Bytes input = test_support::repeat(0x5A, 32);
    ByteReader reader(input);
    auto value = reader.read_array<32>();
    ASSERT_TRUE(value.has_value());
    EXPECT_EQ(Bytes(value->begin(), value->end()), input);
    EXPECT_EQ(reader.remaining(), 0u);
  }
  {
    const Bytes input = test_support::repeat(0x5A, 31);
    ByteReader reader(input);
    auto value = reader.read_array<32>();
    ASSERT_FALSE(value.has_value());
    EXPECT_EQ(value.error(), kEnd);
  }
}

TEST(ByteReader, ListStopsAtFirstFailingElement) {
  auto read_ids = [](ByteReader& r) { return r.read_list([](ByteReader& e) { return e.read_u16(); }); };
  using List = std::vector<std::uint16_t>;
  run_cases<List>(
      {
          {"00", List{}},
          {"03 01 02 AC 02", List{1, 2, 300}},
          {"03 01 02", kEnd},
          {"02 01 FF FF 04", kLong},
          {"01 05 06", List{5}, 1},
      },
      read_ids);
}

// A huge declared length must fail as a short input, without first trying to
// allocate for it (which would throw or exhaust memory).
TEST(ByteReader, HugeDeclaredLengthsReserveNothing) {
  const Bytes huge = hex("FF FF FF FF FF FF FF FF FF 01 00 00 00");
  struct Read {
    const char* what;
    DecodeError (*run)(ByteReader&);
  };
  const Read reads[] = {
      {"bytes", [](ByteReader& r) { return r.read_bytes().error(); }},
      {"string", [](ByteReader& r) { return r.read_string().error(); }},
      {"list", [](ByteReader& r) { return r.read_list([](ByteReader& e) { return e.read_array<8>(); }).error(); }},
  };
  const bool probing = allocation_probe::works();
  for (const auto& read : reads) {
    SCOPED_TRACE(read.what);
    ByteReader reader(huge);
    allocation_probe::arm();
    const DecodeError error = read.run(reader);
    const std::size_t largest = allocation_probe::disarm();
    EXPECT_EQ(error, kEnd);
    if (probing) {
      EXPECT_EQ(largest, 0u);
    }
  }
}

// A count that the input could hold is reserved, but never more than 1 MiB of
// element storage up front; the rest grows as elements are actually read.
TEST(ByteReader, UpfrontReserveIsCappedAtOneMebibyte) {
  // A count of 200000 ids of 8 bytes (1.6 MB of storage) followed by 200000
  // bytes: the count does not exceed the bytes left, so something is
  // reserved, but the list runs out at element 25001.
  test_support::Bytes input = test_support::concat({hex("C0 9A 0C"), test_support::repeat(0, 200000)});
  if (!allocation_probe::works()) GTEST_SKIP() << "operator new is replaced by a tool; allocations cannot be seen";
  ByteReader reader(input);
  allocation_probe::arm();
  auto result = reader.read_list([](ByteReader& e) { return e.read_array<8>(); });
  const std::size_t largest = allocation_probe::disarm();
  ASSERT_FALSE(result.has_value());
  EXPECT_EQ(result.error(), kEnd);
  EXPECT_GT(largest, 0u);
  EXPECT_LE(largest, update_proto::MAX_UPFRONT_RESERVE_BYTES);
}

TEST(DecodeErrorText, FixedTexts) {
  EXPECT_EQ(update_proto::to_string(kEnd), "Hit the end of buffer, expected more data");
  EXPECT_EQ(update_proto::to_string(kUtf8), "Tried to parse invalid utf-8");
  const std::string_view too_long = update_proto::to_string(kLong);
  EXPECT_TRUE(too_long.starts_with("Found a varint that didn't terminate. ")) << too_long;
  EXPECT_TRUE(too_long.ends_with("too big for this platform?")) << too_long;
}

}  // namespace
