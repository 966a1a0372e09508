// The compact, untagged binary encoding that manifests are stored in: varints,
// zig-zag integers, raw fixed arrays, length-prefixed byte vectors and texts,
// count-prefixed lists. Decoding only; the producer's encoder lives with the
// tools.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <expected>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <utility>
#include <vector>

namespace update_proto {

// The only ways a decode can fail. Each has one fixed display text.
enum class DecodeError {
  EndOfInput,
  VarintTooLong,
  InvalidUtf8,
};

// Well-formed UTF-8 in the RFC 3629 sense: no overlong forms, no surrogates
// (U+D800..U+DFFF), nothing above U+10FFFF. The rule text fields are held to.
bool is_well_formed_utf8(std::span<const std::uint8_t> text) noexcept;
bool is_well_formed_utf8(std::string_view text) noexcept;

// The whole display form of a decode error, e.g.
// "Hit the end of buffer, expected more data".
std::string_view to_string(DecodeError error) noexcept;

template <class T>
using Decoded = std::expected<T, DecodeError>;

// Never trust a declared length or count for memory: at most this many bytes
// of element storage are reserved before the elements are actually read.
inline constexpr std::size_t MAX_UPFRONT_RESERVE_BYTES = 1048576;

// A forward-only read cursor over bytes it does not own.
class ByteReader {
 public:
  explicit ByteReader(std::span<const std::uint8_t> bytes) noexcept;

  Decoded<std::uint16_t> read_u16() noexcept;
  Decoded<std::uint64_t> read_u64() noexcept;
  Decoded<std::int64_t> read_i64() noexcept;
  Decoded<std::uint64_t> read_length() noexcept;
  Decoded<std::vector<std::uint8_t>> read_bytes();
  Decoded<std::string> read_string();

  template <std::size_t N>
  Decoded<std::array<std::uint8_t, N>> read_array() noexcept {
    std::array<std::uint8_t, N> out{};
    if (auto taken = take(out); !taken) return std::unexpected(taken.error());
    return out;
  }

  // Count, then that many elements decoded by `element(ByteReader&)`, which
  // returns Decoded<T>. The first failing element fails the list.
  template <class ElementDecoder>
  auto read_list(ElementDecoder&& element)
      -> Decoded<std::vector<typename std::invoke_result_t<ElementDecoder&, ByteReader&>::value_type>> {
    using T = typename std::invoke_result_t<ElementDecoder&, ByteReader&>::value_type;
    auto count = read_length();
    if (!count) return std::unexpected(count.error());
    std::vector<T> out;
    out.reserve(upfront_reserve(*count, sizeof(T)));
    for (std::uint64_t i = 0; i < *count; ++i) {
      auto item = element(*this);
      if (!item) return std::unexpected(item.error());
      out.push_back(std::move(*item));
    }
    return out;
  }

  std::size_t remaining() const noexcept { return static_cast<std::size_t>(end_ - pos_); }

 private:
  Decoded<std::uint64_t> read_varint(unsigned max_bytes, std::uint8_t last_byte_max) noexcept;
  Decoded<void> take(std::span<std::uint8_t> out) noexcept;
  // How many elements may be reserved for a declared count: nothing when the
  // count exceeds the bytes left, and never more than 1 MiB of storage.
  std::size_t upfront_reserve(std::uint64_t count, std::size_t element_size) const noexcept;

  const std::uint8_t* pos_;
  const std::uint8_t* end_;
};

// Decode one record from the start of `bytes`; bytes after it are ignored.
template <class RecordDecoder>
auto decode_record(std::span<const std::uint8_t> bytes, RecordDecoder&& decoder)
    -> std::invoke_result_t<RecordDecoder&, ByteReader&> {
  ByteReader reader(bytes);
  return decoder(reader);
}

}  // namespace update_proto
