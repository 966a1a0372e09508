// OS-specific helpers of the fault-matrix tests, beyond e2e_process.hpp. One
// implementation per OS (fault_process_posix.cpp, fault_process_win32.cpp).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

namespace vostal::e2e {

// A staged file that disappears between verification and swap: its path
// serves `content` to the first reader, and is removed before that reader
// sees the end of it. The path exists only while someone is reading.
class VanishingFile {
 public:
  virtual ~VanishingFile() = default;
  // Whether a reader came and was served.
  virtual bool served() const = 0;
};

// Nothing where the OS offers no way to do this; `why_not` then says why.
std::unique_ptr<VanishingFile> make_vanishing_file(const std::filesystem::path& path, std::string content,
                                                   std::string& why_not);

}  // namespace vostal::e2e
