#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace nivexa::platform {

// Directory of the running program's executable, with its trailing separator; empty when the
// OS does not tell.
std::string mainModuleDirectory();

// A line for a debugger or system log; never shown to the user.
void debugOutput(std::string_view text);

// Sets (or with a null value removes) a variable of this process's environment, as the C
// library's getenv sees it. False when the system refuses.
bool setEnvironmentVariable(const char* name, const char* value);

// How many threads this process runs now; 0 when the OS does not tell.
size_t threadCount();

// Another program run as a separate process, with the environment of this one.
class ChildProcess {
 public:
  // Null when the program cannot be started.
  static std::unique_ptr<ChildProcess> start(const std::string& program,
                                             const std::vector<std::string>& arguments);
  ~ChildProcess();  // waits for the program to end
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // The program's exit code once it has ended; -1 when it did not end normally.
  int wait();

 private:
  explicit ChildProcess(intptr_t osHandle) : osHandle_(osHandle) {}
  intptr_t osHandle_;  // process id or process handle
  bool ended_ = false;
  int exitCode_ = -1;
};

}  // namespace nivexa::platform
