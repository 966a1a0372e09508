#include "file_io.hpp"

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <random>

namespace vostal::manifest_tool {
namespace fs = std::filesystem;

namespace {

// Files the tool reads are manifests, bodies and seeds: small. A limit keeps
// a wrong argument (a disk image, a device) from being read into memory.
constexpr std::uintmax_t kMaxInputBytes = std::uintmax_t{64} * 1024 * 1024;

std::string random_suffix() {
  std::random_device source;
  std::string out = ".tmp-";
  for (int i = 0; i < 4; ++i) {
    char part[9];
    std::snprintf(part, sizeof part, "%08x", static_cast<unsigned>(source()));
    out += part;
  }
  return out;
}

std::string failure(std::string_view what, const fs::path& path, const std::error_code& ec) {
  return std::string(what) + " " + path_to_utf8(path) + ": " + ec.message();
}

// Writes the whole of `bytes` into a new file. Its name carries 128 random
// bits, and a private file sits in a directory that was created for it alone,
// so nothing else can be there first. (std::ios::noreplace would say so
// directly, but the Windows C runtime that mingw-w64 uses lacks the "x" mode
// behind it.)
std::expected<void, std::string> write_new_file(const fs::path& path, std::span<const std::uint8_t> bytes,
                                                Visibility visibility) {
  std::ofstream out(path, std::ios::binary | std::ios::out | std::ios::trunc);
  if (!out) return std::unexpected("cannot create " + path_to_utf8(path));
  if (visibility == Visibility::Private) {
    std::error_code ec;
    fs::permissions(path, fs::perms::owner_read | fs::perms::owner_write, fs::perm_options::replace, ec);
    if (ec) return std::unexpected(failure("cannot restrict the permissions of", path, ec));
  }
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) return std::unexpected("cannot write " + path_to_utf8(path));
  return {};
}

}  // namespace

fs::path path_from_utf8(std::string_view text) {
  return fs::path(std::u8string(reinterpret_cast<const char8_t*>(text.data()), text.size()));
}

std::string path_to_utf8(const fs::path& path) {
  const std::u8string text = path.u8string();
  return {text.begin(), text.end()};
}

std::expected<std::vector<std::uint8_t>, std::string> read_whole_file(const fs::path& path) {
  std::error_code ec;
  if (fs::is_directory(path, ec)) return std::unexpected("cannot read " + path_to_utf8(path) + ": it is a directory");
  errno = 0;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    // The stream's open sets errno on every system we build for.
    const int error = errno;
    return std::unexpected("cannot read " + path_to_utf8(path) +
                           (error ? ": " + std::generic_category().message(error) : std::string()));
  }
  std::vector<std::uint8_t> out;
  char buffer[65536];
  while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
    out.insert(out.end(), buffer, buffer + in.gcount());
    if (out.size() > kMaxInputBytes) {
      return std::unexpected(path_to_utf8(path) + " is larger than " + std::to_string(kMaxInputBytes) + " bytes");
    }
  }
  if (in.bad()) return std::unexpected("cannot read " + path_to_utf8(path));
  return out;
}

std::expected<void, std::string> write_file_atomically(const fs::path& target, std::span<const std::uint8_t> bytes,
                                                       Visibility visibility, Existing existing) {
  std::error_code ec;
  if (target.filename().empty()) return std::unexpected("the path " + path_to_utf8(target) + " names no file");
  if (fs::is_directory(target, ec)) return std::unexpected("cannot write " + path_to_utf8(target) + ": it is a directory");
  if (existing == Existing::Refuse && fs::exists(fs::symlink_status(target, ec))) {
    return std::unexpected(path_to_utf8(target) + " already exists; not overwriting it");
  }
  const fs::path directory = target.has_parent_path() ? target.parent_path() : fs::path(".");
  std::string hidden(1, '.');  // appended, not "." + ...: see time_text.cpp
  hidden += path_to_utf8(target.filename());
  hidden += random_suffix();

  // A private file starts life in an owner-only directory: nobody else can
  // reach it there between its creation and the permission change.
  fs::path scratch_dir;
  fs::path temp;
  auto cleanup = [&] {
    std::error_code ignored;
    fs::remove(temp, ignored);
    if (!scratch_dir.empty()) fs::remove(scratch_dir, ignored);
  };
  if (visibility == Visibility::Private) {
    scratch_dir = directory / path_from_utf8(hidden);
    std::error_code created;
    if (!fs::create_directory(scratch_dir, created)) {
      scratch_dir.clear();  // not ours: never remove it
      return std::unexpected(failure("cannot create a temporary directory in", directory, created));
    }
    std::error_code restricted;
    fs::permissions(scratch_dir, fs::perms::owner_all, fs::perm_options::replace, restricted);
    if (restricted) {
      cleanup();
      return std::unexpected(failure("cannot restrict the permissions of", scratch_dir, restricted));
    }
    temp = scratch_dir / target.filename();
  } else {
    temp = directory / path_from_utf8(hidden);
  }

  if (auto written = write_new_file(temp, bytes, visibility); !written) {
    cleanup();
    return written;
  }
  std::error_code renamed;
  fs::rename(temp, target, renamed);
  if (renamed) {
    cleanup();
    return std::unexpected(failure("cannot write", target, renamed));
  }
  cleanup();
  return {};
}

}  // namespace vostal::manifest_tool
