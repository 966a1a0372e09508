// Text and path helpers of the seam for POSIX, where paths are bytes that the
// program treats as UTF-8.
#include "update_proto/byte_reader.hpp"
#include "vostal/platform.hpp"

namespace vostal {

std::string to_utf8(OsStringView text) { return std::string(text); }

OsString from_utf8(std::string_view text) { return OsString(text); }

bool is_valid_text(OsStringView text) { return update_proto::is_well_formed_utf8(text); }

OsString join_path(const OsString& directory, OsStringView name) {
  OsString joined = directory;
  if (!joined.empty() && joined.back() != '/') joined.push_back('/');
  joined.append(name);
  return joined;
}

}  // namespace vostal
