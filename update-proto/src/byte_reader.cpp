// The byte reader: varints, zig-zag integers, fixed arrays, byte vectors and
// UTF-8 texts, read strictly forward over bytes the reader does not own.
#include "update_proto/byte_reader.hpp"

#include <algorithm>

namespace update_proto {

// The second byte's allowed range depends on the lead byte; every later
// continuation byte is 80..BF.
bool is_well_formed_utf8(std::span<const std::uint8_t> text) noexcept {
  std::size_t i = 0;
  const std::size_t n = text.size();
  while (i < n) {
    const std::uint8_t lead = text[i];
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    std::uint8_t second_min = 0x80;
    std::uint8_t second_max = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead == 0xE0) {
      length = 3;
      second_min = 0xA0;  // below: overlong
    } else if (lead == 0xED) {
      length = 3;
      second_max = 0x9F;  // above: surrogates
    } else if (lead >= 0xE1 && lead <= 0xEF) {
      length = 3;
    } else if (lead == 0xF0) {
      length = 4;
      second_min = 0x90;  // below: overlong
    } else if (lead >= 0xF1 && lead <= 0xF3) {
      length = 4;
    } else if (lead == 0xF4) {
      length = 4;
      second_max = 0x8F;  // above: beyond U+10FFFF
    } else {
      return false;  // 80..C1 (continuation or overlong lead), F5..FF
    }
    if (n - i < length) return false;
    if (text[i + 1] < second_min || text[i + 1] > second_max) return false;
    for (std::size_t k = 2; k < length; ++k) {
      if (text[i + k] < 0x80 || text[i + k] > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

bool is_well_formed_utf8(std::string_view text) noexcept {
  return is_well_formed_utf8(
      std::span<const std::uint8_t>(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

ByteReader::ByteReader(std::span<const std::uint8_t> bytes) noexcept
    : pos_(bytes.data()), end_(bytes.data() + bytes.size()) {}

Decoded<std::uint64_t> ByteReader::read_varint(unsigned max_bytes,
                                               std::uint8_t last_byte_max) noexcept {
  std::uint64_t value = 0;
  for (unsigned index = 0; index < max_bytes; ++index) {
    if (pos_ == end_) return std::unexpected(DecodeError::EndOfInput);
    const std::uint8_t byte = *pos_++;
    const unsigned shift = 7 * index;
    if (index + 1 == max_bytes) {
      // The last byte the width allows may carry only the width's top bits
      // and must not announce a continuation; a larger value covers both.
      if (byte > last_byte_max) return std::unexpected(DecodeError::VarintTooLong);
      return value | (static_cast<std::uint64_t>(byte) << shift);
    }
    value |= static_cast<std::uint64_t>(byte & 0x7F) << shift;
    if ((byte & 0x80) == 0) return value;
  }
  return std::unexpected(DecodeError::VarintTooLong);  // only for max_bytes == 0
}

Decoded<std::uint16_t> ByteReader::read_u16() noexcept {
  auto value = read_varint(3, 0x03);
  if (!value) return std::unexpected(value.error());
  return static_cast<std::uint16_t>(*value);
}

Decoded<std::uint64_t> ByteReader::read_u64() noexcept { return read_varint(10, 0x01); }

Decoded<std::int64_t> ByteReader::read_i64() noexcept {
  auto raw = read_u64();
  if (!raw) return std::unexpected(raw.error());
  const std::uint64_t u = *raw;
  // Zig-zag back: (u >> 1) XOR -(u & 1), computed unsigned so that every
  // value, including the smallest int64, maps without overflow.
  const std::uint64_t bits = (u >> 1) ^ (std::uint64_t{0} - (u & 1));
  return static_cast<std::int64_t>(bits);
}

Decoded<std::uint64_t> ByteReader::read_length() noexcept { return read_u64(); }

Decoded<void> ByteReader::take(std::span<std::uint8_t> out) noexcept {
  if (out.size() > remaining()) return std::unexpected(DecodeError::EndOfInput);
  std::copy_n(pos_, out.size(), out.data());
  pos_ += out.size();
  return {};
}

Decoded<std::vector<std::uint8_t>> ByteReader::read_bytes() {
  auto length = read_length();
  if (!length) return std::unexpected(length.error());
  // A length beyond the input can only end at a missing byte; fail before
  // allocating anything for it. Otherwise the bytes are all there and are
  // copied in one go.
  if (*length > remaining()) return std::unexpected(DecodeError::EndOfInput);
  const auto count = static_cast<std::size_t>(*length);
  std::vector<std::uint8_t> out(pos_, pos_ + count);
  pos_ += count;
  return out;
}

Decoded<std::string> ByteReader::read_string() {
  auto length = read_length();
  if (!length) return std::unexpected(length.error());
  if (*length > remaining()) return std::unexpected(DecodeError::EndOfInput);
  const auto count = static_cast<std::size_t>(*length);
  if (!is_well_formed_utf8({pos_, count})) return std::unexpected(DecodeError::InvalidUtf8);
  std::string out(reinterpret_cast<const char*>(pos_), count);
  pos_ += count;
  return out;
}

std::size_t ByteReader::upfront_reserve(std::uint64_t count,
                                        std::size_t element_size) const noexcept {
  if (count > remaining()) return 0;
  const std::size_t cap = MAX_UPFRONT_RESERVE_BYTES / std::max<std::size_t>(element_size, 1);
  return static_cast<std::size_t>(std::min<std::uint64_t>(count, cap));
}

}  // namespace update_proto
