#include "program_search.hpp"

namespace vostal {
namespace {

bool is_separator(OsChar c) { return c == '\\' || c == '/'; }

bool ends_with_exe(OsStringView text) {
  if (text.size() < 4) return false;
  const OsStringView tail = text.substr(text.size() - 4);
  auto lower = [](OsChar c) { return (c >= 'A' && c <= 'Z') ? static_cast<OsChar>(c - 'A' + 'a') : c; };
  return tail[0] == '.' && lower(tail[1]) == 'e' && lower(tail[2]) == 'x' && lower(tail[3]) == 'e';
}

// A dot after the first character marks an extension ("app.exe"), while a
// leading dot alone (".hidden") does not.
bool has_extension(OsStringView name) {
  const auto dot = name.rfind('.');
  return dot != OsStringView::npos && dot > 0;
}

}  // namespace

std::expected<OsString, SystemError> find_program(Platform& os, const OsString& program) {
  if (program.empty() || is_separator(program.back())) {
    return std::unexpected(SystemError{"program path has no file name", 0});
  }
  bool has_separator = false;
  for (const OsChar c : program) has_separator = has_separator || is_separator(c);

  if (has_separator) {
    if (ends_with_exe(program)) return program;
    OsString with_exe = program + VOSTAL_OS(".exe");
    if (os.file_exists(with_exe)) return with_exe;
    return program;
  }

  OsString name = program;
  if (!has_extension(name)) name += BARE_PROGRAM_SUFFIX;
  std::vector<OsString> directories;
  directories.push_back(os.own_directory());
  for (auto& directory : os.system_directories()) directories.push_back(std::move(directory));
  for (auto& directory : os.path_directories()) directories.push_back(std::move(directory));
  for (const auto& directory : directories) {
    // An unknown own directory comes back empty; joined, it would name a
    // file in the root or the working directory, neither of which is meant.
    if (directory.empty()) continue;
    OsString candidate = join_path(directory, name);
    if (os.file_exists(candidate)) return candidate;
  }
  return std::unexpected(SystemError{"program not found", 0});
}

}  // namespace vostal
