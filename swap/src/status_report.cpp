#include "status_report.hpp"

namespace vostal {

OsString status_path(const OsString& current_exe) { return current_exe + VOSTAL_OS(".swap-status"); }

std::string escape_message(std::string_view message) {
  static constexpr char HEX[] = "0123456789abcdef";
  std::string escaped;
  escaped.reserve(message.size());
  for (const char c : message) {
    switch (c) {
      case '\\': escaped += "\\\\"; break;
      case '"': escaped += "\\\""; break;
      case '\n': escaped += "\\n"; break;
      case '\r': escaped += "\\r"; break;
      case '\t': escaped += "\\t"; break;
      case '\b': escaped += "\\b"; break;
      case '\f': escaped += "\\f"; break;
      default:
        if (static_cast<unsigned char>(c) < 0x20) {
          escaped += "\\u00";
          escaped += HEX[(c >> 4) & 0xF];
          escaped += HEX[c & 0xF];
        } else {
          escaped += c;
        }
    }
  }
  return escaped;
}

std::string status_text(Stage stage, std::string_view message) {
  std::string text = "{\"stage\":\"";
  text += stage_word(stage);
  text += "\",\"message\":\"";
  text += escape_message(message);
  text += "\"}";
  return text;
}

void write_status(Platform& os, const OsString& path, Stage stage, std::string_view message) {
  (void)os.write_shared_file(path, status_text(stage, message));
}

}  // namespace vostal
