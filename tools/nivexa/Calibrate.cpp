#include "Calibrate.h"

#include <chrono>
#include <cstdio>
#include <string>

#include "Camera.h"
#include "Files.h"
#include "NivexaSdk.h"
#include "calibration/Calibration.h"

namespace nivexa::tool {
namespace {

namespace cal = nivexa::calibration;

constexpr double kDefaultSettleS = 30;
constexpr double kDefaultTimeoutS = 600;
constexpr int64_t kDefaultFrames = 16;
constexpr int64_t kDefaultCheckFrames = 4;
constexpr size_t kClustersShown = 10;
constexpr int kSixteenBits = 16;
// A flat reference this dim marks its darker parts dead; this bright, it clips.
constexpr double kFlatTooDim = 1.5 * NIVEXA_MASK_DEAD_LEVEL_16;
constexpr double kFullScale = 4095;  // the 12 significant bits of a 16-bit sample
constexpr double kFlatTooBright = 0.9 * kFullScale;
constexpr double kPercent = 100;

std::chrono::milliseconds milliseconds(double seconds) {
  return std::chrono::milliseconds(static_cast<int64_t>(seconds * 1000));
}

}  // namespace

int coolCamera(const Arguments& args) {
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  cal::CoolingOptions options;
  if (args.has("target")) {
    options.targetC = args.number("target", 0);
  }
  options.settle = milliseconds(args.number("settle", kDefaultSettleS));
  options.timeout = milliseconds(args.number("timeout", kDefaultTimeoutS));
  std::printf("cooling: settled once within %.1f C for %g s (giving up after %g s)\n",
              options.toleranceC, args.number("settle", kDefaultSettleS),
              args.number("timeout", kDefaultTimeoutS));
  std::fflush(stdout);
  const cal::CoolingResult result =
      cal::coolAndSettle(h.get(), options, [](const cal::CoolingSample& sample) {
        std::printf("%6.0f s  %7.2f C  held %.0f s\n", sample.elapsedS, sample.temperatureC,
                    sample.heldS);
        std::fflush(stdout);
        return true;
      });
  if (result.outcome == cal::CoolingOutcome::NoCooler ||
      result.outcome == cal::CoolingOutcome::ReadFailed) {
    std::fprintf(stderr, "nivexa cool: %s (%s)\n", cal::describe(result.outcome),
                 errorText(h.get()).c_str());
    return kExitFailed;
  }
  std::printf("%s at %.2f C after %.0f s\n", cal::describe(result.outcome), result.temperatureC,
              result.elapsedS);
  return result.settled() ? kExitOk : kExitFailed;
}

int calibrate(const Arguments& args) {
  const std::string& action = args.positional()[0];
  const bool check = action == "check";
  if (!check && action != "dark" && action != "flat") {
    std::fprintf(stderr,
                 "nivexa calibrate: '%s' is none of dark, flat, check (see 'nivexa "
                 "calibrate --help')\n",
                 action.c_str());
    return kExitUsage;
  }
  if (args.has("bits") && args.integer("bits", 0) != kSixteenBits) {
    std::fprintf(stderr, "nivexa calibrate: references are taken at 16 bits, not %s\n",
                 args.text("bits").c_str());
    return kExitUsage;
  }
  std::string maskFile;
  if (check) {
    if (args.positional().size() != 2 || args.has("output")) {
      std::fprintf(stderr, "nivexa calibrate check: give the mask file as its argument\n");
      return kExitUsage;
    }
    maskFile = args.positional()[1];
    if (const std::string why = whyNotReadable(maskFile); !why.empty()) {
      std::fprintf(stderr, "nivexa calibrate check: cannot read %s: %s\n", maskFile.c_str(),
                   why.c_str());
      return kExitFailed;
    }
  } else {
    if (args.positional().size() != 1 || !args.has("output")) {
      std::fprintf(stderr, "nivexa calibrate %s: give the mask file with -o MASKFILE\n",
                   action.c_str());
      return kExitUsage;
    }
    maskFile = args.text("output");
    if (const std::string why = whyNotWritable(maskFile); !why.empty()) {
      std::fprintf(stderr, "nivexa calibrate: cannot write %s: %s\n", maskFile.c_str(),
                   why.c_str());
      return kExitFailed;
    }
  }
  const Handle h = openCamera(args);
  if (!h) {
    return kExitFailed;
  }
  if (check) {
    const auto frames = static_cast<uint32_t>(args.integer("frames", kDefaultCheckFrames));
    const cal::CheckResult result = cal::checkMask(h.get(), maskFile, frames);
    if (!result.ok) {
      std::fprintf(stderr, "nivexa calibrate check: %s (%s)\n", result.problem.c_str(),
                   errorText(h.get()).c_str());
      return kExitFailed;
    }
    std::printf("without the mask: mean %.1f, deviation %.2f, non-uniformity %.3f %%\n",
                result.before.mean, result.before.deviation,
                result.before.nonUniformity() * kPercent);
    std::printf("with the mask:    mean %.1f, deviation %.2f, non-uniformity %.3f %%\n",
                result.after.mean, result.after.deviation, result.after.nonUniformity() * kPercent);
    return kExitOk;
  }
  cal::ReferenceOptions options;
  options.kind = action == "dark" ? cal::ReferenceKind::Dark : cal::ReferenceKind::Flat;
  options.frames = static_cast<uint32_t>(args.integer("frames", kDefaultFrames));
  // At long exposures the frames take a while: each one is shown as it is averaged.
  options.progress = [](uint32_t averaged, uint32_t wanted) {
    std::printf("averaged %u of %u frames\n", averaged, wanted);
    std::fflush(stdout);
    return true;
  };
  const cal::ReferenceResult result = cal::takeReference(h.get(), options, maskFile);
  if (!result.ok) {
    std::fprintf(stderr, "nivexa calibrate %s: %s (%s)\n", action.c_str(), result.problem.c_str(),
                 errorText(h.get()).c_str());
    return kExitFailed;
  }
  std::printf(
      "%s reference saved to %s; %u frames averaged (%dx%d), mean %.1f, %llu lost, %llu "
      "dropped\n",
      action.c_str(), maskFile.c_str(), result.framesAveraged, result.width, result.height,
      result.mean, static_cast<unsigned long long>(result.framesLost),
      static_cast<unsigned long long>(result.framesDropped));
  std::printf("%llu %s pixels in %zu clusters (counted on the average)\n",
              static_cast<unsigned long long>(result.defects.defectPixels),
              options.kind == cal::ReferenceKind::Dark ? "hot" : "dead",
              result.defects.clusters.size());
  for (size_t i = 0; i < result.defects.clusters.size() && i < kClustersShown; ++i) {
    const auto& c = result.defects.clusters[i];
    std::printf("  cluster at %d,%d: %dx%d, %u pixels\n", c.x, c.y, c.width, c.height, c.pixels);
  }
  if (options.kind == cal::ReferenceKind::Flat &&
      (result.mean < kFlatTooDim || result.mean > kFlatTooBright)) {
    std::fprintf(stderr,
                 "nivexa calibrate flat: the panel is %s (mean %.0f of %.0f); take it "
                 "again with %s --exposure\n",
                 result.mean < kFlatTooDim ? "dim" : "near full scale", result.mean, kFullScale,
                 result.mean < kFlatTooDim ? "a longer" : "a shorter");
  }
  return kExitOk;
}

}  // namespace nivexa::tool
