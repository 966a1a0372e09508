// update-proto's chief source: the texts that leave the library for users to
// read, kept together so the words are reviewed in one place, and the
// library's version.
#include "update_proto/update_proto.hpp"

#ifndef UPDATE_PROTO_VERSION
#error "UPDATE_PROTO_VERSION must be defined by the build"
#endif

namespace update_proto {

std::string_view version() noexcept { return UPDATE_PROTO_VERSION; }

std::string_view to_string(DecodeError error) noexcept {
  switch (error) {
    case DecodeError::EndOfInput:
      return "Hit the end of buffer, expected more data";
    case DecodeError::VarintTooLong:
      return "Found a varint that didn't terminate. Was it written with a size type too big for this platform?";
    case DecodeError::InvalidUtf8:
      return "Tried to parse invalid utf-8";
  }
  return "unknown decode error";
}

std::string_view to_string(EntryVerdict verdict) noexcept {
  switch (verdict) {
    case EntryVerdict::Counted:
      return "counted";
    case EntryVerdict::SameKeyAgain:
      return "same key again";
    case EntryVerdict::Revoked:
      return "revoked";
    case EntryVerdict::UnknownId:
      return "unknown id";
    case EntryVerdict::EmptySlot:
      return "empty slot";
    case EntryVerdict::WrongLength:
      return "wrong length";
    case EntryVerdict::Invalid:
      return "invalid";
  }
  return "unknown verdict";
}

}  // namespace update_proto
