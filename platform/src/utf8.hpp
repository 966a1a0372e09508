// Well-formedness of UTF-8 text (RFC 3629): no overlong forms, no surrogate
// code points, nothing above U+10FFFF, no truncated sequence.
#pragma once

#include <string_view>

namespace vostal::detail {

bool is_well_formed_utf8(std::string_view bytes) noexcept;

}  // namespace vostal::detail
