// Calibration workflow over the public C interface: cool the sensor until its temperature holds
// still, take dark and flat references into a mask file, and check what a mask file does to a
// flat frame. Used by the command-line tool and by graphical front ends; it depends on the SDK's
// public headers only and calls no toolkit.
//
// Every function takes a handle from Nivexa_Initialize with a camera open on it
// (Nivexa_SetDeviceNumber) and no acquisition running; they run on the calling thread and block.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace nivexa::calibration {

// ---- Cooling ----

struct CoolingOptions {
  // The temperature counts as settled once every reading over `settle` lies within `tolerance`
  // of the others (and, with a target, no reading is above target + tolerance).
  std::optional<double> targetC;
  std::chrono::milliseconds settle{std::chrono::seconds(30)};
  std::chrono::milliseconds timeout{std::chrono::minutes(10)};
  double toleranceC = 0.2;
  std::chrono::milliseconds interval{std::chrono::seconds(1)};
};

struct CoolingSample {
  double elapsedS = 0;
  double temperatureC = 0;
  // Spread of the readings within the settle window so far, and how long they have held.
  double spreadC = 0;
  double heldS = 0;
};

enum class CoolingOutcome { Settled, TimedOut, Cancelled, NoCooler, ReadFailed };

struct CoolingResult {
  CoolingOutcome outcome = CoolingOutcome::ReadFailed;
  double temperatureC = 0;
  double elapsedS = 0;
  int32_t error = 0;  // the library's error code where it refused
  bool settled() const { return outcome == CoolingOutcome::Settled; }
};

// Called with each reading; returning false cancels the wait (the cooler stays on).
using CoolingProgress = std::function<bool(const CoolingSample&)>;

// Switches the cooler on and reads the temperature every interval until it settles, the timeout
// passes or progress cancels.
CoolingResult coolAndSettle(int32_t handle, const CoolingOptions& options,
                            const CoolingProgress& progress);

const char* describe(CoolingOutcome outcome);

// ---- Defects ----

enum class ReferenceKind : int32_t { Dark = 0, Flat = 1 };

// A connected group of defective pixels (8-neighbourhood): bounding box and pixel count.
struct DefectCluster {
  int32_t x = 0;
  int32_t y = 0;
  int32_t width = 0;
  int32_t height = 0;
  uint32_t pixels = 0;
};

struct DefectReport {
  uint64_t defectPixels = 0;
  std::vector<DefectCluster> clusters;  // largest first (pixels, then box area, then position)
};

// Marks the pixels of a 16-bit reference image (12 significant bits, rows packed) the way the
// library marks its reference: above the hot level in a dark reference, below the dead level in
// a flat one, outside the border the library leaves unmarked.
DefectReport findDefects(std::span<const uint16_t> image, int32_t width, int32_t height,
                         ReferenceKind kind);

// ---- References ----

// The most frames averaged at once; more are refused.
inline constexpr uint32_t kMaxAveragedFrames = 4096;

struct ReferenceOptions {
  ReferenceKind kind = ReferenceKind::Dark;
  uint32_t frames = 16;
  int32_t frameTimeoutMs = 5000;
};

struct ReferenceResult {
  bool ok = false;
  std::string problem;  // why not, when !ok
  int32_t error = 0;    // the library's error code, when it refused
  uint32_t framesAveraged = 0;
  int32_t width = 0;
  int32_t height = 0;
  double mean = 0;  // of the averaged frame, 0..4095
  uint64_t framesLost = 0;
  uint64_t framesDropped = 0;
  DefectReport defects;  // counted on the averaged frame
};

// Averages `frames` raw 16-bit frames (for the report), then has the library take its reference
// of that kind from one further frame and saves the mask file. An existing mask file at that path
// is loaded first, so a flat reference joins the dark reference taken before it. Leaves the
// camera at 16 bits per pixel.
ReferenceResult takeReference(int32_t handle, const ReferenceOptions& options,
                              const std::string& maskFile);

// ---- Check ----

struct Uniformity {
  double mean = 0;
  double deviation = 0;
  double nonUniformity() const { return mean > 0 ? deviation / mean : 0; }
};

// Mean and standard deviation of an image (rows packed) inside the border the library neither
// marks nor corrects.
Uniformity measureUniformity(std::span<const uint16_t> image, int32_t width, int32_t height);

struct CheckResult {
  bool ok = false;
  std::string problem;
  int32_t error = 0;
  Uniformity before;  // mask and dot filters off
  Uniformity after;   // the mask file's references applied by both filters
};

// Loads the mask file, measures processed 16-bit frames (averaged over `frames`) with the
// flat-field and defect filters off and then on. Leaves both filters on.
CheckResult checkMask(int32_t handle, const std::string& maskFile, uint32_t frames);

}  // namespace nivexa::calibration
