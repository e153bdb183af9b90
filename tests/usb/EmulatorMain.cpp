// nivexa-usb-emulator [--cameras N] [--virtual-options OPTIONS] [--wire-rate MB/S] -- COMMAND
// [ARGS...]
// Runs COMMAND with a USB bus of N virtual cameras in place of the machine's: libusb (or anything
// else reading sysfs and /dev/bus/usb) in COMMAND finds the cameras and talks usbfs to them. The
// exit status is COMMAND's.
// COMMAND pulls and plugs cables and fires the cameras' trigger inputs by writing lines
// "unplug N", "replug N" and "trigger N" (N from 0) to the FIFO named by
// NIVEXA_USB_EMULATOR_CONTROL in its environment; "hold N" and "letgo N" act as another program
// that claims the camera's interface and lets it go; "fault N KIND COUNT" injects one of the
// camera's faults COUNT times (-1: until "fault N clear"), KIND as in kFaultNames below. "timings N
// FILE" writes the camera's frame endpoint transfers since the last such line to FILE (which
// appears complete, by a rename), one line each: the steady clock's nanoseconds when the device had
// the URB and when its data was complete, and its length.
#include <fcntl.h>
#include <glib-unix.h>
#include <glib.h>
#include <linux/capability.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "sim/CameraOptions.h"
#include "sim/Faults.h"
#include "usb/EmulatedBus.h"

namespace {

// What umockdev-run preloads into the command: it redirects /sys, /dev and the usbfs ioctls into
// the testbed.
constexpr const char* kPreloadLibrary = "libumockdev-preload.so.0";
// Set once the emulator runs under the preload itself: umockdev sends uevents through the
// system's libudev, which accepts the testbed's sysfs paths only with the preload in place.
constexpr const char* kPreloadedVariable = "NIVEXA_USB_EMULATOR_PRELOADED";
constexpr const char* kControlVariable = "NIVEXA_USB_EMULATOR_CONTROL";
constexpr const char* kControlName = "/nivexa-control";
constexpr mode_t kControlMode = 0600;
constexpr size_t kControlReadBytes = 256;
constexpr int kUsageError = 2;
constexpr int kAbnormalEnd = 1;

struct Arguments {
  int cameras = 0;  // 0: as many as the options list
  std::string options;
  double wireMegabytesPerSecond = 0;  // 0: transfers are filled at once
  std::vector<std::string> command;
};

bool parseArguments(int argc, char** argv, Arguments& out) {
  for (int i = 1; i < argc; ++i) {
    std::string_view arg = argv[i];
    if (arg == "--") {
      out.command.assign(argv + i + 1, argv + argc);
      return !out.command.empty();
    }
    if (i + 1 >= argc) {
      return false;
    }
    if (arg == "--cameras") {
      out.cameras = std::atoi(argv[++i]);
      if (out.cameras <= 0) {
        return false;
      }
    } else if (arg == "--virtual-options") {
      out.options = argv[++i];
    } else if (arg == "--wire-rate") {
      out.wireMegabytesPerSecond = std::atof(argv[++i]);
      if (out.wireMegabytesPerSecond <= 0) {
        return false;
      }
    } else {
      return false;
    }
  }
  return false;
}

// The cameras: the options in the virtual-camera variable's syntax; with a camera count, one
// option list serves every camera (each still numbered by position).
std::optional<std::vector<nivexa::sim::CameraOptions>> cameraList(const Arguments& a,
                                                                  std::string& error) {
  std::string text = a.options.empty() ? std::to_string(a.cameras > 0 ? a.cameras : 1) : a.options;
  const bool oneList = !a.options.empty() && a.options.find(';') == std::string::npos &&
                       a.options.find('=') != std::string::npos;
  if (a.cameras > 0 && oneList) {
    text.clear();
    for (int i = 0; i < a.cameras; ++i) {
      text += (i > 0 ? ";" : "") + a.options;
    }
  }
  auto list = nivexa::sim::parseCameraList(text, error);
  if (list && a.cameras > 0 && static_cast<int>(list->size()) != a.cameras) {
    error = "--cameras " + std::to_string(a.cameras) + " but the options describe " +
            std::to_string(list->size()) + " cameras";
    return std::nullopt;
  }
  return list;
}

struct LoopUnref {
  void operator()(GMainLoop* loop) const { g_main_loop_unref(loop); }
};
struct StrvFree {
  void operator()(gchar** strings) const { g_strfreev(strings); }
};

struct Run {
  GMainLoop* loop = nullptr;
  int exitCode = kAbnormalEnd;
};

void onCommandEnded(GPid pid, gint waitStatus, gpointer data) {
  auto& run = *static_cast<Run*>(data);
  GError* error = nullptr;
  if (g_spawn_check_wait_status(waitStatus, &error)) {
    run.exitCode = 0;
  } else {
    run.exitCode = error->domain == G_SPAWN_EXIT_ERROR ? error->code : kAbnormalEnd;
    if (error->domain != G_SPAWN_EXIT_ERROR) {
      std::fprintf(stderr, "nivexa-usb-emulator: %s\n", error->message);
    }
    g_error_free(error);
  }
  g_spawn_close_pid(pid);
  g_main_loop_quit(run.loop);
}

// The control FIFO: read on the main loop, a line at a time.
struct Control {
  nivexa::usbtest::EmulatedBus* bus = nullptr;
  int fd = -1;
  std::string pending;
};

using nivexa::sim::Fault;
constexpr std::pair<std::string_view, Fault> kFaultNames[] = {
    {"header-timeout", Fault::HeaderTimeout},
    {"payload-timeout", Fault::PayloadTimeout},
    {"short-read", Fault::ShortRead},
    {"long-payload", Fault::WrongPayloadLength},
    {"short-payload", Fault::ShortPayloadLength},
    {"stall", Fault::UsbStatus},
    {"bus-busy", Fault::BusBusy},
    {"eeprom-write", Fault::EepromWriteFail},
    {"fpga-write", Fault::FpgaWriteFail},
    {"fpga-read", Fault::FpgaReadFail},
};

// "KIND COUNT" or "clear" after the camera number.
bool injectFault(nivexa::sim::Camera& camera, const std::string& words) {
  const size_t space = words.find(' ');
  const std::string kind = words.substr(0, space);
  if (kind == "clear") {
    camera.clearFaults();
    return true;
  }
  if (space == std::string::npos) {
    return false;
  }
  constexpr int kDecimal = 10;
  const int count = static_cast<int>(std::strtol(words.c_str() + space + 1, nullptr, kDecimal));
  for (const auto& [name, fault] : kFaultNames) {
    if (name == kind) {
      camera.setFault(fault, count);
      return true;
    }
  }
  return false;
}

long long sinceEpochNs(std::chrono::steady_clock::time_point t) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(t.time_since_epoch()).count();
}

bool writeTimings(const std::vector<nivexa::usbtest::UrbTiming>& timings, const std::string& path) {
  const std::string partial = path + ".partial";
  FILE* out = std::fopen(partial.c_str(), "w");
  if (out == nullptr) {
    return false;
  }
  for (const auto& t : timings) {
    std::fprintf(out, "%lld %lld %d\n", sinceEpochNs(t.submitted), sinceEpochNs(t.completed),
                 t.bytes);
  }
  return std::fclose(out) == 0 && std::rename(partial.c_str(), path.c_str()) == 0;
}

void obey(Control& control, const std::string& line) {
  // Every command is a word and a camera number ("timings" then a file name, "fault" its kind).
  constexpr std::string_view kUnplug = "unplug ";
  constexpr std::string_view kReplug = "replug ";
  constexpr std::string_view kTrigger = "trigger ";
  constexpr std::string_view kTimings = "timings ";
  constexpr std::string_view kHold = "hold ";
  constexpr std::string_view kFault = "fault ";
  constexpr std::string_view kLetGo = "letgo ";
  constexpr int kDecimal = 10;
  auto index = [&](std::string_view word) {
    return static_cast<size_t>(std::strtoul(line.c_str() + word.size(), nullptr, kDecimal));
  };
  bool done = false;
  if (line.starts_with(kUnplug)) {
    done = control.bus->unplug(index(kUnplug));
  } else if (line.starts_with(kReplug)) {
    done = control.bus->replug(index(kReplug));
  } else if (line.starts_with(kFault)) {
    const size_t camera = index(kFault);
    const size_t space = line.find(' ', kFault.size());
    done = camera < control.bus->cameraCount() && space != std::string::npos &&
           injectFault(control.bus->camera(camera), line.substr(space + 1));
  } else if (line.starts_with(kHold)) {
    done = control.bus->holdElsewhere(index(kHold), true);
  } else if (line.starts_with(kLetGo)) {
    done = control.bus->holdElsewhere(index(kLetGo), false);
  } else if (line.starts_with(kTimings)) {
    const size_t camera = index(kTimings);
    const size_t space = line.find(' ', kTimings.size());
    done = camera < control.bus->cameraCount() && space != std::string::npos;
    if (done) {
      done = writeTimings(control.bus->takeFrameUrbTimings(camera), line.substr(space + 1));
    }
  } else if (line.starts_with(kTrigger)) {
    // A pulse while the camera is not waiting for one exposes nothing, as on the real input.
    done = index(kTrigger) < control.bus->cameraCount();
    if (done) {
      control.bus->camera(index(kTrigger)).fireTrigger();
    }
  } else {
    std::fprintf(stderr, "nivexa-usb-emulator: unknown control \"%s\"\n", line.c_str());
    return;
  }
  if (!done) {
    std::fprintf(stderr, "nivexa-usb-emulator: \"%s\" did nothing\n", line.c_str());
  }
}

gboolean onControl(gint fd, GIOCondition /*condition*/, gpointer data) {
  auto& control = *static_cast<Control*>(data);
  char bytes[kControlReadBytes];
  ssize_t got = 0;
  while ((got = read(fd, bytes, sizeof bytes)) > 0) {
    control.pending.append(bytes, static_cast<size_t>(got));
  }
  for (size_t end = control.pending.find('\n'); end != std::string::npos;
       end = control.pending.find('\n')) {
    obey(control, control.pending.substr(0, end));
    control.pending.erase(0, end + 1);
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

// The preload first, then whatever was preloaded already.
std::string withPreload(const char* preloaded) {
  std::string preload = kPreloadLibrary;
  if (preloaded != nullptr && *preloaded != '\0') {
    preload += std::string(" ") + preloaded;
  }
  return preload;
}

int main(int argc, char** argv) {
  // The preload serialises a device's requests with a lock its waiters poll with zero-length
  // sleeps. A real-time thread of the command (the library's capture thread, which asks for one
  // where the system grants it) then spins while an ordinary thread holds the lock, and takes a
  // core from it, from the emulator and from the camera model: streams lost frames on a 2-core
  // machine for the emulation's sake alone. Without the right to ask for real-time scheduling,
  // the command's threads keep ordinary priority, as for any user without that privilege; a
  // caller who never had the right loses nothing, so a refusal is ignored.
  (void)prctl(PR_CAPBSET_DROP, CAP_SYS_NICE, 0, 0, 0);
  if (g_getenv(kPreloadedVariable) == nullptr) {
    g_setenv("LD_PRELOAD", withPreload(g_getenv("LD_PRELOAD")).c_str(), TRUE);
    g_setenv(kPreloadedVariable, "1", TRUE);
    execv("/proc/self/exe", argv);
    std::fprintf(stderr, "nivexa-usb-emulator: cannot start again under the preload\n");
    return kAbnormalEnd;
  }
  Arguments arguments;
  if (!parseArguments(argc, argv, arguments)) {
    std::fprintf(stderr,
                 "usage: nivexa-usb-emulator [--cameras N] [--virtual-options OPTIONS] "
                 "[--wire-rate MB/S] -- COMMAND [ARGS...]\n");
    return kUsageError;
  }
  std::string error;
  auto cameras = cameraList(arguments, error);
  if (!cameras) {
    std::fprintf(stderr, "nivexa-usb-emulator: %s\n", error.c_str());
    return kUsageError;
  }
  constexpr double kBytesPerMegabyte = 1e6;
  nivexa::usbtest::EmulatedBus bus(*cameras, arguments.wireMegabytesPerSecond * kBytesPerMegabyte);
  if (bus.rootDir().empty()) {
    return kAbnormalEnd;
  }

  // The command inherits the preload the emulator runs under.
  std::unique_ptr<gchar*, StrvFree> environment(g_get_environ());
  // g_environ_setenv hands back the (possibly moved) list it was given.
  environment.reset(g_environ_unsetenv(environment.release(), kPreloadedVariable));
  environment.reset(
      g_environ_setenv(environment.release(), "UMOCKDEV_DIR", bus.rootDir().c_str(), TRUE));
  // Opened for reading and writing, so that it never reads as ended between two writers.
  const std::string controlPath = bus.rootDir() + kControlName;
  Control control{&bus, -1, {}};
  if (mkfifo(controlPath.c_str(), kControlMode) == 0) {
    control.fd = open(controlPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  }
  if (control.fd < 0) {
    std::fprintf(stderr, "nivexa-usb-emulator: no control FIFO at %s\n", controlPath.c_str());
    return kAbnormalEnd;
  }
  environment.reset(
      g_environ_setenv(environment.release(), kControlVariable, controlPath.c_str(), TRUE));
  std::vector<gchar*> command;
  for (auto& word : arguments.command) {
    command.push_back(word.data());
  }
  command.push_back(nullptr);

  GPid pid = 0;
  GError* spawnError = nullptr;
  const bool started =
      g_spawn_async(nullptr, command.data(), environment.get(),
                    static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                             G_SPAWN_CHILD_INHERITS_STDIN),
                    nullptr, nullptr, &pid, &spawnError);
  if (!started) {
    std::fprintf(stderr, "nivexa-usb-emulator: %s\n", spawnError->message);
    g_error_free(spawnError);
    return kAbnormalEnd;
  }
  std::unique_ptr<GMainLoop, LoopUnref> loop(g_main_loop_new(nullptr, FALSE));
  Run run;
  run.loop = loop.get();
  g_child_watch_add(pid, onCommandEnded, &run);
  g_unix_fd_add(control.fd, G_IO_IN, onControl, &control);
  g_main_loop_run(loop.get());
  close(control.fd);
  return run.exitCode;
}
