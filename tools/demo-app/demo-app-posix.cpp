// The application of scripts/demo.sh: it updates itself with vostal-swap.
// Built twice, as version 1 (demo-app) and version 2 (demo-app-v2).
//
//   demo-app                          says which version it is
//   demo-app update DIR VOSTAL_SWAP   stages DIR/demo-app and DIR/demo-app.manifest
//                                     beside itself, starts VOSTAL_SWAP with its own
//                                     process id, and exits at once
//
// Each start also appends a line to "<its own path>.log", so the demo can tell
// when the relaunched version has run.
#include <spawn.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>
#include <vector>

extern char** environ;

namespace fs = std::filesystem;

namespace {

fs::path own_path() {
  std::error_code error;
  const fs::path path = fs::read_symlink("/proc/self/exe", error);
  return error ? fs::path() : path;
}

void say(const std::string& line) {
  std::printf("demo-app version %d: %s\n", DEMO_VERSION, line.c_str());
  std::fflush(stdout);
}

int update(const fs::path& self, const fs::path& source, const fs::path& swap) {
  const fs::path staged = fs::path(self).concat(".new");
  const fs::path manifest = fs::path(self).concat(".manifest");
  std::error_code error;
  fs::copy_file(source / "demo-app", staged, fs::copy_options::overwrite_existing, error);
  if (!error) fs::copy_file(source / "demo-app.manifest", manifest, fs::copy_options::overwrite_existing, error);
  if (error) {
    say("cannot stage the update: " + error.message());
    return 1;
  }
  fs::permissions(staged, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                              fs::perms::others_read | fs::perms::others_exec);
  say("staged " + staged.string() + " and its manifest");

  std::vector<std::string> arguments{swap.string(), self.string(), staged.string(), std::to_string(::getpid()),
                                     manifest.string()};
  std::vector<char*> argv;
  argv.reserve(arguments.size() + 1);
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (int e = ::posix_spawn(&pid, swap.c_str(), nullptr, nullptr, argv.data(), environ); e != 0) {
    say("cannot start " + swap.string() + ": " + std::generic_category().message(e));
    return 1;
  }
  say("started vostal-swap (PID " + std::to_string(pid) + ") and exits now, so that it can be replaced");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path self = own_path();
  std::ofstream(fs::path(self).concat(".log"), std::ios::app) << "version " << DEMO_VERSION << " started\n";

  if (argc == 4 && std::string(argv[1]) == "update") return update(self, argv[2], argv[3]);
  if (argc != 1) {
    std::fprintf(stderr, "usage: demo-app [update DIR VOSTAL_SWAP]\n");
    return 1;
  }
  if (DEMO_VERSION == 1) {
    say("hello, I am the installed version");
  } else {
    say("hello, I am version 2, installed and started by vostal-swap");
  }
  return 0;
}
