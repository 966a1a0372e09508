#include "json_text.hpp"

#include <cstdio>

#include "update_proto/byte_reader.hpp"

namespace vostal::manifest_tool {
std::string json_string(std::string_view text) {
  const bool well_formed = update_proto::is_well_formed_utf8(text);
  std::string out = "\"";
  for (char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20 || c == 0x7F) {
          char escape[8];
          std::snprintf(escape, sizeof escape, "\\u%04x", c);
          out += escape;
        } else if (c >= 0x80 && !well_formed) {
          out += "\\ufffd";
        } else {
          out += ch;
        }
    }
  }
  out += "\"";
  return out;
}

}  // namespace vostal::manifest_tool
