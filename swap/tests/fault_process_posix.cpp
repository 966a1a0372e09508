// The vanishing staged file on POSIX: a named pipe. vostal-swap opens it to
// hash it; a thread here writes the content, unlinks the path while the
// reader still holds it open, then closes its end, so the reader sees the
// end of the data only after the path is gone.
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "fault_process.hpp"

namespace vostal::e2e {
namespace {

class FifoVanishingFile final : public VanishingFile {
 public:
  FifoVanishingFile(std::filesystem::path path, std::string content) : path_(std::move(path)) {
    if (::mkfifo(path_.c_str(), 0600) != 0) throw std::runtime_error("mkfifo " + path_.string());
    writer_ = std::jthread([this, content = std::move(content)](const std::stop_token& stop) { serve(stop, content); });
  }
  ~FifoVanishingFile() override {
    writer_.request_stop();
    writer_.join();
    ::unlink(path_.c_str());  // when no reader ever came
  }
  bool served() const override { return served_; }

 private:
  void serve(const std::stop_token& stop, const std::string& content) {
    int fd = -1;
    // Without a reader a non-blocking open fails with ENXIO; poll for one.
    while (!stop.stop_requested()) {
      fd = ::open(path_.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
      if (fd >= 0 || errno != ENXIO) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    if (fd < 0) return;
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    std::size_t done = 0;
    while (done < content.size()) {
      const ssize_t wrote = ::write(fd, content.data() + done, content.size() - done);
      if (wrote < 0 && errno == EINTR) continue;
      if (wrote <= 0) break;
      done += static_cast<std::size_t>(wrote);
    }
    ::unlink(path_.c_str());
    ::close(fd);
    served_ = done == content.size();
  }

  std::filesystem::path path_;
  std::atomic<bool> served_{false};
  std::jthread writer_;
};

}  // namespace

std::unique_ptr<VanishingFile> make_vanishing_file(const std::filesystem::path& path, std::string content,
                                                   std::string& /*why_not*/) {
  // A reader that goes away mid-content must fail our write, not kill us.
  ::signal(SIGPIPE, SIG_IGN);
  return std::make_unique<FifoVanishingFile>(path, std::move(content));
}

}  // namespace vostal::e2e
