// Windows has no named pipe in the file namespace that an ordinary
// CreateFileW path reaches, so the vanishing staged file is not made there.
#include "fault_process.hpp"

namespace vostal::e2e {

std::unique_ptr<VanishingFile> make_vanishing_file(const std::filesystem::path& /*path*/, std::string /*content*/,
                                                   std::string& why_not) {
  why_not = "no file-system FIFO on Windows to make a staged file vanish between hashing and swap";
  return nullptr;
}

}  // namespace vostal::e2e
