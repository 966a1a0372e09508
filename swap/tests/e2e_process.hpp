// What the end-to-end tests need from the operating system, beyond
// std::filesystem: running a program to its end with captured output, a
// parent process to wait for, a scripted `tasklist`, and a directory on
// another file system. One implementation per OS (e2e_process_posix.cpp); the
// scenarios in e2e_test.cpp use only this interface.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vostal::e2e {

namespace fs = std::filesystem;

struct Completed {
  int exit_code = -1;
  std::string standard_output;
  std::string standard_error;
};

using Environment = std::vector<std::pair<std::string, std::string>>;

enum class StandardError {
  captured,
  // A pipe whose reading end is closed as soon as the program has started,
  // as when the application that started the updater read its standard
  // error and has since exited. Writing to it fails (on POSIX, with SIGPIPE).
  reader_gone,
};

// Runs `program` with `arguments` (UTF-8), standard input from the null
// device, our environment plus `extra`, and its outputs read to their end
// (which includes the output of any child that inherited them). A program
// still running after `limit` is killed and the test fails.
Completed run_program(const fs::path& program, const std::vector<std::string>& arguments, const Environment& extra = {},
                      StandardError standard_error = StandardError::captured,
                      std::chrono::seconds limit = std::chrono::seconds(120));

// A real process for vostal-swap to wait for. It lives for `lifetime`, or
// until end(); the destructor ends and reaps it.
class ParentProcess {
 public:
  explicit ParentProcess(std::chrono::milliseconds lifetime);
  ParentProcess(const ParentProcess&) = delete;
  ParentProcess& operator=(const ParentProcess&) = delete;
  ~ParentProcess();

  std::uint32_t pid() const { return pid_; }
  void end();

 private:
  std::uint32_t pid_ = 0;
  bool reaped_ = false;
};

// The id of a process that has already ended.
std::uint32_t gone_pid();

// The image name `tasklist` shows for a ParentProcess.
std::string parent_image_name();

// The file name an executable called `base` has on this OS.
std::string executable_file_name(std::string_view base);

// Puts a `tasklist` program into `dir` that writes each of its arguments on
// a line of its own into `record` and prints `output` on standard output.
void write_scripted_tasklist(const fs::path& dir, const fs::path& record, std::string_view output);

// Marks a copied file as executable where the OS needs that.
void make_executable(const fs::path& file);

// The failures the scenarios provoke, and the text vostal-swap shows for
// each: the system's message and " (os error N)".
enum class SystemFailure {
  not_found,          // a file that does not exist is read
  is_a_directory,     // a directory is read as a file, or a file renamed onto one
  cross_device,       // a rename between file systems
  not_a_program,      // a file that is no executable is started
};
std::string error_text(SystemFailure failure);

// A writable directory on a different file system from `here`, or nothing
// (then the caller skips, saying why).
std::optional<fs::path> directory_on_another_file_system(const fs::path& here);

}  // namespace vostal::e2e
