#include "platform/Process.h"

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <system_error>

extern char** environ;

namespace nivexa::platform {

std::string mainModuleDirectory() {
  std::array<char, 4096> buffer{};
  const ssize_t n = readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) {
    return {};
  }
  const std::string path(buffer.data(), static_cast<size_t>(n));
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

void debugOutput(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stderr);
}

bool setEnvironmentVariable(const char* name, const char* value) {
  return (value != nullptr ? setenv(name, value, 1) : unsetenv(name)) == 0;
}

size_t threadCount() {
  std::error_code error;
  size_t count = 0;
  for (std::filesystem::directory_iterator task("/proc/self/task", error), end;
       !error && task != end; task.increment(error)) {
    ++count;
  }
  return error ? 0 : count;
}

std::unique_ptr<ChildProcess> ChildProcess::start(const std::string& program,
                                                  const std::vector<std::string>& arguments) {
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid = 0;
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv.data(), environ) != 0) {
    return nullptr;
  }
  return std::unique_ptr<ChildProcess>(new ChildProcess(pid));
}

ChildProcess::~ChildProcess() {
  wait();
}

int ChildProcess::wait() {
  if (!ended_) {
    int status = 0;
    pid_t got = 0;
    do {
      got = waitpid(static_cast<pid_t>(osHandle_), &status, 0);
    } while (got < 0 && errno == EINTR);
    ended_ = true;
    exitCode_ = got > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  return exitCode_;
}

}  // namespace nivexa::platform
