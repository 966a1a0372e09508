// The end-to-end harness's OS unit for Windows (run under Wine in CI). Programs
// are started with CreateProcessW and a command line quoted by the standard
// rules, so what reaches vostal-swap is exactly the UTF-8 arguments given.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <fstream>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <thread>

#include "e2e_process.hpp"
#include "vostal/platform.hpp"

namespace vostal::e2e {
namespace {

std::wstring wide(std::string_view utf8) { return vostal::from_utf8(utf8); }

// Quoting as the C runtime splits it back: bare when nothing needs quoting,
// otherwise in quotes, with backslashes doubled before a quote or the end.
// Written apart from the updater's own routine so that the two check each
// other.
std::wstring quote_for_command_line(std::wstring_view argument) {
  if (!argument.empty() && argument.find_first_of(L" \t\n\v\"") == std::wstring_view::npos) return std::wstring(argument);
  std::wstring out = L"\"";
  for (std::size_t i = 0; i < argument.size();) {
    std::size_t slashes = 0;
    while (i < argument.size() && argument[i] == L'\\') {
      ++slashes;
      ++i;
    }
    if (i == argument.size()) {
      out.append(slashes * 2, L'\\');
    } else if (argument[i] == L'"') {
      out.append(slashes * 2 + 1, L'\\');
      out.push_back(L'"');
      ++i;
    } else {
      out.append(slashes, L'\\');
      out.push_back(argument[i]);
      ++i;
    }
  }
  out.push_back(L'"');
  return out;
}

std::string last_error_text(const std::string& what) {
  return what + ": " + make_native_platform()->error_text(GetLastError());
}

// Our environment block with `extra` set on top (names compare without case,
// as Windows does), in the UTF-16 form CreateProcessW takes.
std::wstring environment_block(const Environment& extra) {
  std::map<std::wstring, std::wstring, bool (*)(const std::wstring&, const std::wstring&)> variables(
      [](const std::wstring& a, const std::wstring& b) { return _wcsicmp(a.c_str(), b.c_str()) < 0; });
  wchar_t* strings = GetEnvironmentStringsW();
  for (const wchar_t* entry = strings; *entry != L'\0'; entry += wcslen(entry) + 1) {
    const std::wstring_view text(entry);
    // Entries such as "=C:=C:\dir" start with '='; the name ends at the next one.
    const std::size_t equals = text.find(L'=', 1);
    if (equals == std::wstring_view::npos) continue;
    variables[std::wstring(text.substr(0, equals))] = std::wstring(text.substr(equals + 1));
  }
  FreeEnvironmentStringsW(strings);
  for (const auto& [name, value] : extra) variables[wide(name)] = wide(value);
  std::wstring block;
  for (const auto& [name, value] : variables) {
    block += name;
    block += L'=';
    block += value;
    block += L'\0';
  }
  block += L'\0';
  return block;
}

struct Pipe {
  HANDLE read = nullptr;
  HANDLE write = nullptr;
};

Pipe make_pipe() {
  Pipe pipe;
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  if (!CreatePipe(&pipe.read, &pipe.write, &inheritable, 0)) throw std::runtime_error(last_error_text("CreatePipe"));
  // Only the child's end is inherited.
  SetHandleInformation(pipe.read, HANDLE_FLAG_INHERIT, 0);
  return pipe;
}

// Handles of the processes this harness started and still answers for, by
// id. A process that has ended keeps its handle here, so its id is not given
// to another process while the tests run (Windows reuses ids quickly).
std::mutex processes_lock;
std::map<std::uint32_t, HANDLE> processes;

// Starting processes one at a time keeps each child's inherited handles to
// the ones meant for it.
std::mutex spawn_lock;

PROCESS_INFORMATION start(const fs::path& program, const std::vector<std::string>& arguments, const Environment& extra,
                          HANDLE input, HANDLE output, HANDLE error) {
  std::wstring command_line = L"\"" + program.wstring() + L"\"";
  for (const auto& argument : arguments) command_line += L" " + quote_for_command_line(wide(argument));
  std::wstring environment = environment_block(extra);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = input;
  startup.hStdOutput = output;
  startup.hStdError = error;
  PROCESS_INFORMATION info{};
  if (!CreateProcessW(program.wstring().c_str(), command_line.data(), nullptr, nullptr, TRUE, CREATE_UNICODE_ENVIRONMENT,
                      environment.data(), nullptr, &startup, &info)) {
    throw std::runtime_error(last_error_text("cannot start " + program.string()));
  }
  CloseHandle(info.hThread);
  return info;
}

HANDLE null_device(DWORD access) {
  SECURITY_ATTRIBUTES inheritable{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
  const HANDLE handle =
      CreateFileW(L"NUL", access, FILE_SHARE_READ | FILE_SHARE_WRITE, &inheritable, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) throw std::runtime_error(last_error_text("NUL"));
  return handle;
}

// Reads a pipe to its end on a thread of its own. The text lives as long as
// the thread: one still blocked when the harness gives up (a grandchild
// holds the pipe) is left behind rather than waited for.
class Drain {
 public:
  explicit Drain(HANDLE pipe) : state_(std::make_shared<State>()) {
    std::thread([state = state_, pipe] {
      char buffer[65536];
      DWORD got = 0;
      std::string text;
      while (ReadFile(pipe, buffer, sizeof buffer, &got, nullptr) && got > 0) text.append(buffer, got);
      CloseHandle(pipe);
      std::lock_guard lock(state->mutex);
      state->text = std::move(text);
      state->done = true;
    }).detach();
  }
  bool done() const {
    std::lock_guard lock(state_->mutex);
    return state_->done;
  }
  std::string take() {
    std::lock_guard lock(state_->mutex);
    return std::move(state_->text);
  }

 private:
  struct State {
    std::mutex mutex;
    std::string text;
    bool done = false;
  };
  std::shared_ptr<State> state_;
};

fs::path probe_program() { return fs::path(E2E_PROBE_V1); }

}  // namespace

Completed run_program(const fs::path& program, const std::vector<std::string>& arguments, const Environment& extra,
                      StandardError standard_error, std::chrono::seconds limit) {
  Completed completed;
  Pipe out = make_pipe();
  Pipe err = make_pipe();
  const HANDLE input = null_device(GENERIC_READ);
  PROCESS_INFORMATION info{};
  {
    std::lock_guard lock(spawn_lock);
    try {
      info = start(program, arguments, extra, input, out.write, err.write);
    } catch (...) {
      for (HANDLE h : {out.read, out.write, err.read, err.write, input}) CloseHandle(h);
      throw;
    }
    for (HANDLE h : {out.write, err.write, input}) CloseHandle(h);
  }
  if (standard_error == StandardError::reader_gone) {
    // Writing to a pipe without a reader fails with ERROR_NO_DATA.
    CloseHandle(err.read);
    err.read = nullptr;
  }
  const auto give_up = std::chrono::steady_clock::now() + limit;
  Drain out_drain(out.read);
  std::optional<Drain> err_drain;
  if (err.read != nullptr) err_drain.emplace(err.read);
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(give_up - std::chrono::steady_clock::now());
  if (WaitForSingleObject(info.hProcess, static_cast<DWORD>(std::max<std::int64_t>(left.count(), 0))) != WAIT_OBJECT_0) {
    TerminateProcess(info.hProcess, 1);
    WaitForSingleObject(info.hProcess, INFINITE);
    CloseHandle(info.hProcess);
    throw std::runtime_error(program.string() + " still running after the limit");
  }
  // The outputs end when every process that inherited them (the relaunched
  // program) has let go.
  while (!out_drain.done() || (err_drain && !err_drain->done())) {
    if (std::chrono::steady_clock::now() >= give_up) {
      CloseHandle(info.hProcess);
      throw std::runtime_error("the outputs of " + program.string() + " did not end within the limit");
    }
    Sleep(10);
  }
  completed.standard_output = out_drain.take();
  if (err_drain) completed.standard_error = err_drain->take();
  DWORD code = 0;
  GetExitCodeProcess(info.hProcess, &code);
  CloseHandle(info.hProcess);
  completed.exit_code = static_cast<int>(code);
  return completed;
}

ParentProcess::ParentProcess(std::chrono::milliseconds lifetime) {
  // The probe program sleeps for the time given and does nothing else.
  const HANDLE input = null_device(GENERIC_READ);
  const HANDLE output = null_device(GENERIC_WRITE);
  PROCESS_INFORMATION info{};
  {
    std::lock_guard lock(spawn_lock);
    info = start(probe_program(), {}, {{"VOSTAL_PROBE_SLEEP_MS", std::to_string(lifetime.count())}}, input, output, output);
  }
  CloseHandle(input);
  CloseHandle(output);
  pid_ = info.dwProcessId;
  std::lock_guard lock(processes_lock);
  processes[pid_] = info.hProcess;
}

ParentProcess::~ParentProcess() { end(); }

void ParentProcess::end() {
  if (reaped_) return;
  std::lock_guard lock(processes_lock);
  const auto found = processes.find(pid_);
  if (found != processes.end()) {
    TerminateProcess(found->second, 1);
    WaitForSingleObject(found->second, INFINITE);
    // The handle stays open: see `processes`.
  }
  reaped_ = true;
}

std::uint32_t gone_pid() {
  ParentProcess gone(std::chrono::milliseconds(0));
  gone.end();
  return gone.pid();
}

std::string parent_image_name() { return probe_program().filename().string(); }

std::string executable_file_name(std::string_view base) { return std::string(base) + ".exe"; }

void write_scripted_tasklist(const fs::path& dir, const fs::path& record, std::string_view output) {
  // tasklist.exe is the scripted stand-in; it reads what to do from the
  // file beside it.
  // Built beside vostal-swap.exe (swap/tests/CMakeLists.txt).
  const fs::path program = fs::path(E2E_SWAP).parent_path() / "swap_e2e_scripted_tasklist.exe";
  fs::copy_file(program, dir / "tasklist.exe", fs::copy_options::overwrite_existing);
  const auto record_text = record.u8string();
  std::ofstream script(dir / "tasklist.script", std::ios::binary);
  script.write(reinterpret_cast<const char*>(record_text.data()), static_cast<std::streamsize>(record_text.size()));
  script << '\n';
  script.write(output.data(), static_cast<std::streamsize>(output.size()));
}

void make_executable(const fs::path&) {}

std::string error_text(SystemFailure failure) {
  DWORD code = 0;
  switch (failure) {
    case SystemFailure::not_found: code = ERROR_FILE_NOT_FOUND; break;
    // Opening a directory as a file, or replacing one by a rename, is
    // refused as access denied.
    case SystemFailure::is_a_directory: code = ERROR_ACCESS_DENIED; break;
    case SystemFailure::cross_device: code = ERROR_NOT_SAME_DEVICE; break;
    case SystemFailure::not_a_program: code = ERROR_BAD_EXE_FORMAT; break;
  }
  return make_native_platform()->error_text(code);
}

std::optional<fs::path> directory_on_another_file_system(const fs::path& here) {
  // Under Wine, drive Z: is the Unix root, and /dev/shm is a file system of
  // its own. A rename that refuses with ERROR_NOT_SAME_DEVICE proves it.
  const fs::path candidate = L"Z:\\dev\\shm";
  std::error_code ignored;
  if (!fs::is_directory(candidate, ignored)) return std::nullopt;
  const fs::path probe = candidate / ("vostal-e2e-volume-probe-" + std::to_string(GetCurrentProcessId()));
  std::ofstream(probe).put('x');
  const fs::path target = here / probe.filename();
  const bool moved = MoveFileExW(probe.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
  const DWORD error = moved ? 0 : GetLastError();
  fs::remove(moved ? target : probe, ignored);
  if (moved || error != ERROR_NOT_SAME_DEVICE) return std::nullopt;
  return candidate;
}

}  // namespace vostal::e2e
