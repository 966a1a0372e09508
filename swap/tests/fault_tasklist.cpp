// A `tasklist` that misbehaves on purpose, for the fault-matrix tests. It is
// put beside a copy of vostal-swap (whose own directory is searched first)
// and told what to do by the environment, which vostal-swap passes on:
//
//   VOSTAL_FAULT_TASKLIST  gone          prints the "no tasks" line: parent gone
//                          hang          prints nothing and never ends
//                          flood         first poll: megabytes on both outputs,
//                                        the parent's line last; then "gone"
//                          invalid-utf8  first poll: the parent's line among
//                                        invalid UTF-8; then "gone"
//   VOSTAL_FAULT_DIR       where each poll appends one line to polls.txt
//
// The parent's id is taken from the fifth argument, "PID eq N".
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <thread>

namespace {

constexpr std::string_view NO_MATCH = "INFO: No tasks are running which match the specified criteria.\n";

void put(std::FILE* stream, std::string_view bytes) {
  (void)std::fwrite(bytes.data(), 1, bytes.size(), stream);
}

// How many polls came before this one; records this one.
int count_poll(const char* dir) {
  if (dir == nullptr) return 0;
  const std::filesystem::path record = std::filesystem::path(dir) / "polls.txt";
  int before = 0;
  {
    std::ifstream in(record);
    std::string line;
    while (std::getline(in, line)) ++before;
  }
  std::ofstream(record, std::ios::app) << "poll\n";
  return before;
}

}  // namespace

int main(int argc, char** argv) {
  const char* mode_text = std::getenv("VOSTAL_FAULT_TASKLIST");
  const std::string_view mode = mode_text != nullptr ? mode_text : "gone";
  const int earlier_polls = count_poll(std::getenv("VOSTAL_FAULT_DIR"));
  const std::string_view filter = argc == 6 ? std::string_view(argv[5]) : std::string_view();
  const std::string pid = filter.starts_with("PID eq ") ? std::string(filter.substr(7)) : std::string("0");
  const std::string listed = "\"app.exe\",\"" + pid + "\",\"Console\",\"1\",\"10,240 K\"\n";

  if (mode == "hang") {
    std::this_thread::sleep_for(std::chrono::minutes(10));
    return 0;
  }
  if (mode == "flood" && earlier_polls == 0) {
    // Standard error first and in bulk: a reader that drains standard output
    // alone would wait forever on a child blocked writing to a full pipe.
    const std::string other = "\"other.exe\",\"1\",\"Console\",\"1\",\"1 K\"\n";
    std::string block;
    while (block.size() < (1u << 20)) block += other;
    for (int i = 0; i < 4; ++i) put(stderr, block);
    for (int i = 0; i < 4; ++i) put(stdout, block);
    put(stdout, listed);
    return 0;
  }
  if (mode == "invalid-utf8" && earlier_polls == 0) {
    // A lone continuation byte, an overlong form, a surrogate and a truncated
    // sequence around the line that names the parent.
    put(stdout, "\x80\xC0\xAF\xED\xA0\x80 ");
    put(stdout, listed);
    put(stdout, "\xF0\x9F\x98");
    return 0;
  }
  put(stdout, NO_MATCH);
  return 0;
}
