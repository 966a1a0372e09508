// Decodes a small manifest and runs the policy on it: it must be refused for
// want of signatures, with the library's exact message.
#include <cstdio>
#include <string>
#include <vector>

#include <update_proto/update_proto.hpp>

int main() {
  // A body with spec_version 2 and no signatures at all.
  std::vector<std::uint8_t> file = {0x2A, 0x02, 0x00, 0x00};  // body length 42, then its first fields
  file.insert(file.end(), 32, 0x11);
  file.insert(file.end(), {0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});  // the rest of the body
  file.push_back(0x00);  // no signatures
  const auto manifest = update_proto::decode_signed_manifest(file);
  if (!manifest) {
    std::printf("decode failed: %s\n", std::string(update_proto::to_string(manifest.error())).c_str());
    return 1;
  }
  const auto body = update_proto::verify_manifest(*manifest);
  const std::string expected = "threshold not met: 0 distinct valid signature(s), need 2";
  if (body || body.error().message != expected) {
    std::printf("unexpected verdict\n");
    return 1;
  }
  std::printf("update-proto %s: %s\n", std::string(update_proto::version()).c_str(), expected.c_str());
  return 0;
}
