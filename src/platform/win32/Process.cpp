#include "platform/Process.h"

#include <windows.h>
// After windows.h, which it needs.
#include <tlhelp32.h>

#include <cstdlib>
#include <string>

namespace nivexa::platform {

std::string mainModuleDirectory() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) {
      return {};
    }
    // A full buffer means the name was cut short: try again with more room.
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) {
      return {};
    }
    path.resize(path.size() * 2);
  }
  const auto separator = path.find_last_of("\\/");
  return separator == std::string::npos ? std::string() : path.substr(0, separator + 1);
}

void debugOutput(std::string_view text) {
  OutputDebugStringA(std::string(text).c_str());
}

// The C library keeps its own copy of the environment, which is the one getenv reads.
bool setEnvironmentVariable(const char* name, const char* value) {
  return _putenv_s(name, value != nullptr ? value : "") == 0;
}

namespace {

// One argument as the C runtime's command-line parser reads it back: quoted, with backslashes
// doubled only where they precede a quote.
void appendQuoted(std::string& line, const std::string& argument) {
  line.push_back('"');
  size_t backslashes = 0;
  for (const char c : argument) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    line.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
    backslashes = 0;
    line.push_back(c);
  }
  line.append(backslashes * 2, '\\');
  line.push_back('"');
}

}  // namespace

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program,
                                                  const std::vector<std::string>& arguments) {
  std::string line;
  appendQuoted(line, program);
  for (const auto& argument : arguments) {
    line.push_back(' ');
    appendQuoted(line, argument);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION info{};
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return nullptr;
  }
  CloseHandle(info.hThread);
  return std::unique_ptr<ChildProcess>(new ChildProcess(reinterpret_cast<intptr_t>(info.hProcess)));
}

size_t threadCount() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) {
    return 0;
  }
  const DWORD self = GetCurrentProcessId();
  size_t count = 0;
  THREADENTRY32 entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    count += entry.th32OwnerProcessID == self ? 1 : 0;
  }
  CloseHandle(snapshot);
  return count;
}

ChildProcess::~ChildProcess() {
  wait();
  CloseHandle(reinterpret_cast<HANDLE>(osHandle_));
}

int ChildProcess::wait() {
  if (!ended_) {
    HANDLE process = reinterpret_cast<HANDLE>(osHandle_);
    DWORD code = 0;
    ended_ = true;
    if (WaitForSingleObject(process, INFINITE) == WAIT_OBJECT_0 &&
        GetExitCodeProcess(process, &code)) {
      exitCode_ = static_cast<int>(code);
    }
  }
  return exitCode_;
}

}  // namespace nivexa::platform
