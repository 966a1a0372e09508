#include "utf8.hpp"

#include <cstddef>
#include <cstdint>

namespace vostal::detail {

bool is_well_formed_utf8(std::string_view bytes) noexcept {
  std::size_t i = 0;
  const std::size_t n = bytes.size();
  while (i < n) {
    const auto lead = static_cast<std::uint8_t>(bytes[i]);
    if (lead < 0x80) {
      ++i;
      continue;
    }
    std::size_t length = 0;
    // The allowed range of the second byte narrows for E0, ED, F0 and F4;
    // that is what rules out overlong forms, surrogates and values past
    // U+10FFFF (Table 3-7 of the Unicode standard).
    std::uint8_t second_min = 0x80;
    std::uint8_t second_max = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
      length = 2;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      length = 3;
      if (lead == 0xE0) second_min = 0xA0;
      if (lead == 0xED) second_max = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      length = 4;
      if (lead == 0xF0) second_min = 0x90;
      if (lead == 0xF4) second_max = 0x8F;
    } else {
      return false;
    }
    if (n - i < length) return false;
    const auto second = static_cast<std::uint8_t>(bytes[i + 1]);
    if (second < second_min || second > second_max) return false;
    for (std::size_t k = 2; k < length; ++k) {
      const auto next = static_cast<std::uint8_t>(bytes[i + k]);
      if (next < 0x80 || next > 0xBF) return false;
    }
    i += length;
  }
  return true;
}

}  // namespace vostal::detail
