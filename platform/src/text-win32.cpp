// Text and path helpers of the seam for Windows, where paths and arguments
// are UTF-16 and everything the program writes is UTF-8.
#include "vostal/platform.hpp"
#include "win32.hpp"

#include <climits>
#include <cstddef>

namespace vostal {

namespace {

constexpr bool is_high_surrogate(wchar_t c) { return c >= 0xD800 && c <= 0xDBFF; }
constexpr bool is_low_surrogate(wchar_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

// The conversion functions take int lengths; longer text is converted in
// pieces that do not split a surrogate pair or a UTF-8 sequence. Such text
// never occurs here (paths are far shorter), but a size_t must not be
// truncated silently either.
constexpr std::size_t kMaxPiece = INT_MAX / 4;

std::string wide_to_utf8(std::wstring_view text, DWORD flags) {
  std::string out;
  while (!text.empty()) {
    std::size_t take = text.size() < kMaxPiece ? text.size() : kMaxPiece;
    if (take < text.size() && is_high_surrogate(text[take - 1])) --take;
    const int in_len = static_cast<int>(take);
    const int need = WideCharToMultiByte(CP_UTF8, flags, text.data(), in_len, nullptr, 0, nullptr, nullptr);
    if (need <= 0) return {};
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(need));
    WideCharToMultiByte(CP_UTF8, flags, text.data(), in_len, out.data() + at, need, nullptr, nullptr);
    text.remove_prefix(take);
  }
  return out;
}

std::wstring utf8_to_wide(std::string_view text, DWORD flags, bool& ok) {
  std::wstring out;
  ok = true;
  while (!text.empty()) {
    std::size_t take = text.size() < kMaxPiece ? text.size() : kMaxPiece;
    // Back up to the start of a sequence (a byte that is not 10xxxxxx).
    while (take < text.size() && take > 0 && (static_cast<unsigned char>(text[take]) & 0xC0) == 0x80) --take;
    const int in_len = static_cast<int>(take);
    const int need = MultiByteToWideChar(CP_UTF8, flags, text.data(), in_len, nullptr, 0);
    if (need <= 0) {
      ok = false;
      return {};
    }
    const std::size_t at = out.size();
    out.resize(at + static_cast<std::size_t>(need));
    MultiByteToWideChar(CP_UTF8, flags, text.data(), in_len, out.data() + at, need);
    text.remove_prefix(take);
  }
  return out;
}

}  // namespace

bool is_valid_text(OsStringView text) {
  for (std::size_t i = 0; i < text.size(); ++i) {
    const wchar_t c = text[i];
    if (is_high_surrogate(c)) {
      if (i + 1 == text.size() || !is_low_surrogate(text[i + 1])) return false;
      ++i;
    } else if (is_low_surrogate(c)) {
      return false;
    }
  }
  return true;
}

std::string to_utf8(OsStringView text) {
  if (text.empty()) return {};
  // Text reaching here is valid UTF-16 (the command line refuses anything
  // else); should an unpaired surrogate slip through, it becomes U+FFFD
  // rather than dropping the whole text.
  if (is_valid_text(text)) return wide_to_utf8(text, WC_ERR_INVALID_CHARS);
  return wide_to_utf8(text, 0);
}

OsString from_utf8(std::string_view text) {
  if (text.empty()) return {};
  bool ok = false;
  std::wstring strict = utf8_to_wide(text, MB_ERR_INVALID_CHARS, ok);
  if (ok) return strict;
  // Invalid bytes become U+FFFD, each sequence once.
  return utf8_to_wide(text, 0, ok);
}

OsString join_path(const OsString& directory, OsStringView name) {
  OsString joined = directory;
  if (!joined.empty() && joined.back() != L'\\' && joined.back() != L'/') joined.push_back(L'\\');
  joined.append(name);
  return joined;
}

}  // namespace vostal
