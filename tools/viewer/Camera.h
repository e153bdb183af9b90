#pragma once

// The viewer's camera handle and the message sink the library reports to: opening and closing a
// camera, listing them, and turning a failed call into a line for the window.

#include <NivexaMessages.h>
#include <NivexaSdk.h>

#include <functional>
#include <string>
#include <vector>

namespace nivexa::viewer {

class Camera {
 public:
  using ErrorSink = std::function<void(const std::string&)>;

  explicit Camera(ErrorSink errors);
  ~Camera();
  Camera(const Camera&) = delete;
  Camera& operator=(const Camera&) = delete;

  // Makes the sink and the handle; false when either could not be made.
  bool initialize();
  // Asks the library for one virtual camera when none is attached and none was asked for;
  // true when it did.
  bool fallBackToVirtual();

  NivexaLong handle() const { return handle_; }
  NivexaWindow sink() const { return sink_; }
  std::vector<std::string> list();
  bool open(int number);
  void close();
  bool isOpen() const { return open_ >= 0; }
  int openNumber() const { return open_; }
  // The camera went away under us: forget it without talking to it.
  void lost() { open_ = -1; }

  // For a call that returned `ok`: on failure reports "<action> failed: error N: ..." (or that
  // the call gave no code) and returns false.
  bool check(bool ok, const std::string& action);
  void report(const std::string& line) { errors_(line); }

 private:
  ErrorSink errors_;
  NivexaWindow sink_ = nullptr;
  NivexaLong handle_ = 0;
  int open_ = -1;
};

}  // namespace nivexa::viewer
