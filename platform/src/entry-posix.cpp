// Process entry of vostal-swap on POSIX: make the process safe to run, hand
// the arguments to the driver and return its exit status.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <vector>

#include "run.hpp"
#include "vostal/platform.hpp"

namespace {

// The application may start the updater with a standard stream closed. A
// file opened later would then get that descriptor, and a line meant for
// standard error would land in it; the null device takes the place instead.
void occupy_closed_standard_streams() {
  for (int fd = 0; fd <= 2; ++fd) {
    if (::fcntl(fd, F_GETFD) != -1) continue;
    const int opened = ::open("/dev/null", fd == 0 ? O_RDONLY : O_WRONLY);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  occupy_closed_standard_streams();
  // Standard error may be a pipe whose reader (the exiting application) is
  // gone; a line that cannot be written must not end the run. Children get
  // the default action back (see platform-posix.cpp).
  ::signal(SIGPIPE, SIG_IGN);

  std::vector<vostal::OsString> arguments(argv, argv + argc);
  const auto platform = vostal::make_native_platform();
  return vostal::run(*platform, arguments);
}
