// A refusal from the policy or the freshness window: exactly one message text,
// shown to the user unchanged.
#pragma once

#include <string>

namespace update_proto {

struct Failure {
  std::string message;

  friend bool operator==(const Failure&, const Failure&) = default;
};

}  // namespace update_proto
