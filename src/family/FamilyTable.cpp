#include "family/FamilyTable.h"

#include <algorithm>
#include <iterator>

namespace nivexa::family {

namespace {

constexpr uint32_t kMirrors = kMirrorV | kMirrorH;
constexpr uint32_t kCcdDriver = kTrigger | kGain | kMirrors | kBlackLevel | kCcd;
constexpr uint32_t kSonyGlobalShutter = kDepth | kTrigger | kGain | kMirrors;
constexpr uint32_t kSonyStarvis = kDepth | kGain | kMirrors | kBlackLevel | kSeconds;
constexpr uint32_t kLineScan = kDepth | kGain | kMirrors;
constexpr uint32_t kFpgaTimed = kDepth | kGain | kSeconds | kFpgaDieTemperature;
// The SWIR drivers: the cooled variant of each pair adds the cooler.
constexpr uint32_t kSwir =
    kDepth | kTrigger | kGain | kMirrors | kSeconds | kTemperature | kNoColourFormats;
constexpr uint32_t kSwirGainMode = kSwir | kGainMode;
constexpr uint32_t kSwirBlack = kSwirGainMode | kBlackLevel;

// The SWIR drivers set their own depth and their FPGA's correction has a level.
constexpr uint32_t kSwirTraits = kDriverSetsDepth | kCorrectionLevel;
// The FPGA-timed products fetch each frame by command, in the size the FPGA keeps itself.
constexpr uint32_t kFetchedByCommand = kFpgaKeepsOutputSize | kStreamsByCommand;

// Orientation codes.
constexpr int32_t kNormal = 1;
constexpr int32_t kFlipH = 2;
constexpr int32_t kFlipV = 3;
constexpr int32_t kFlipBoth = 4;

constexpr FamilyRow kRows[] = {
    {0x3020, "CSensorMT9F001", "CSensorMT9F002", 4608, 3288, 32, 0, kNormal,
     kGain | kColourGains | kMirrors, 12, 0},
    {0x3030, "CSensorMT9P001", nullptr, 2592, 1944, 144, 0, kNormal,
     kTrigger | kGain | kColourGains | kMirrors, 12, 0},
    {0x3040, "CSensorMT9J001", nullptr, 3856, 2764, 32, 0, kNormal,
     kGain | kColourGains | kMirrors | kClockMode, 12, 0},
    {0x3042, "CSensorMT9J001", nullptr, 3856, 2764, 32, 0, kNormal,
     kGain | kColourGains | kMirrors | kClockMode, 12, kAlternativeStreaming},
    {0x3050, "CSensorICX274", nullptr, 1600, 1200, 0, 0, kNormal, kTrigger | kGain | kMirrors, 0,
     0},
    {0x3090, "CSensorFamilyA", nullptr, 2336, 1752, 0, 0, kNormal, kCcdDriver, 0, 0},
    {0x30B0, "CSensorFamilyB", nullptr, 4896, 3264, 0, 0, kNormal, kCcdDriver, 0, 0},
    {0x30C0, "CSensorFamilyC", nullptr, 6576, 4384, 0, 0, kNormal, kCcdDriver, 0,
     kKeepsFrameOnStreamRestart},
    {0x30F0, "CSensorIMX178", nullptr, 3072, 2048, 72, 0, kNormal, kTrigger | kGain | kMirrors, 0,
     0},
    {0x3100, "CSensorIMX174", nullptr, 1920, 1200, 72, 0, kNormal, kSonyGlobalShutter, 0,
     kDriverSetsDepth | kResetsPipeOnFailure},
    {0x3110, "CSensorIMX183", nullptr, 5520, 3680, 72, 0, kNormal, kTrigger | kGain | kMirrors, 0,
     0},
    {0x3120, "CSensorIMX159", nullptr, 4800, 3520, 72, 0, kNormal, kTrigger | kGain | kMirrorH, 0,
     0},
    {0x3130, "CSensorFamilyD", nullptr, 1920, 1080, 66, 0, kNormal, kDepth | kConverter, 0,
     kResetsPipeOnFailure},
    {0x3140, "CSensorFamilyE", nullptr, 1280, 1024, 108, 0, kNormal, kSonyGlobalShutter, 0, 0},
    {0x3150, "CSensorFamilyF", nullptr, 640, 512, 108, 0, kNormal,
     kDepth | kGain | kMirrors | kSeconds, 0,
     kResetsPipeOnFailure | kSettlesAfterStreamReset | kInternalCorrection},
    {0x3170, "CSensorFamilyG", nullptr, 320, 256, 108, 0, kNormal, kDepth | kGain | kMirrors, 0,
     kResetsPipeOnFailure | kInternalCorrection},
    {0x3180, "CSensorFamilyH", nullptr, 1280, 1024, 72, 0, kFlipH,
     kDepth | kTrigger | kGain | kSerialText, 0, 0},
    {0x3190, "CSensorFamilyI", nullptr, 512, kLineScanHeight, 32, 0, kNormal, kLineScan | kTrigger,
     0, 0},
    {0x31A0, "CSensorFamilyJ", nullptr, 256, kLineScanHeight, 32, 0, kNormal, kLineScan, 0, 0},
    {0x31B0, "CSensorIMX250", nullptr, 2448, 2048, 72, 59, kNormal, kSonyGlobalShutter, 0,
     kDriverSetsDepth | kResetsPipeOnFailure},
    {0x31B4, "CSensorIMX264", nullptr, 2448, 2048, 72, 0, kNormal, kSonyGlobalShutter, 0,
     kDriverSetsDepth | kResetsPipeOnFailure},
    {0x31C0, "CSensorIMX252", nullptr, 2048, 1536, 72, 0, kNormal, kSonyGlobalShutter, 0,
     kDriverSetsDepth | kResetsPipeOnFailure},
    {0x31C4, "CSensorIMX265", nullptr, 2048, 1536, 72, 0, kNormal, kSonyGlobalShutter, 0,
     kDriverSetsDepth | kResetsPipeOnFailure},
    {0x31D0, "CSensorFamilyK", nullptr, 1024, kLineScanHeight, 32, 0, kNormal, kLineScan, 0, 0},
    {0x31E0, "CSensorFamilyL", nullptr, 2048, 2048, 108, 0, kNormal,
     kTrigger | kGain | kMirrors | kSeconds | kTemperature | kGainMode, 0,
     kFpgaKeepsOutputSize | kResetsPipeOnFailure | kInternalCorrection},
    {0x31F0, "CSensorIMX226", nullptr, 4168, 3062, 72, 0, kNormal, kDepth | kGain | kMirrors, 0, 0},
    {0x3200, "CSensorFamilyM", nullptr, 640, 512, 72, 0, kNormal,
     kDepth | kTrigger | kMirrors | kCooling | kTemperature, 0, kExposureBetweenFrames},
    {0x3210, "CSensorFamilyN", nullptr, 2048, kLineScanHeight, 32, 0, kNormal, kLineScan, 0, 0},
    {0x3220, "CSensorG1467x", nullptr, 320, 256, 108, 105, kFlipH,
     kDepth | kGain | kMirrors | kCooling | kTemperature | kThermistor, 0, kInternalCorrection},
    {0x3260, "CSensorIMX990", nullptr, 1280, 1024, 72, 109, kFlipBoth, kSwir, 0, kSwirTraits},
    {0x3270, "CSensorIMX990", nullptr, 1280, 1024, 72, 110, kNormal, kSwir | kCooling, 0,
     kSwirTraits},
    {0x3280, "CSensorIMX991", nullptr, 640, 512, 72, 111, kFlipBoth, kSwir, 0, kSwirTraits},
    {0x3290, "CSensorIMX991", nullptr, 640, 512, 72, 112, kNormal, kSwir | kCooling, 0,
     kSwirTraits},
    {0x32A0, "CSensorIMX250", nullptr, 2448, 2048, 72, 113, kNormal, kSonyGlobalShutter, 0,
     kDriverSetsDepth | kResetsPipeOnFailure},
    {0x32B0, "CSensorFamilyO", nullptr, 1936, 1096, 72, 61, kNormal, kSonyGlobalShutter | kSeconds,
     0, 0},
    {0x32C0, "CSensorGLUX9701", nullptr, 1280, 1024, 72, 114, kFlipV,
     kSonyGlobalShutter | kBlackLevel | kSeconds | kTemperature | kGainMode, 0, 0},
    {0x32D0, "CSensorFamilyP", nullptr, 4096, 4096, 108, 0, kNormal,
     kTrigger | kGain | kMirrors | kSeconds | kTemperature | kGainMode | kFifthParameter, 0,
     kFpgaKeepsOutputSize | kStampedFrames | kResetsPipeOnFailure},
    {0x32E0, "CSensorIMX536", nullptr, 2848, 2848, 72, 0, kNormal, kSonyStarvis, 0,
     kDriverSetsDepth},
    {0x32F0, "CSensorIMX487", nullptr, 2848, 2848, 72, 0, kNormal, kSonyStarvis, 0,
     kDriverSetsDepth},
    {0x3300, "CSensorIMX273", nullptr, 1440, 1080, 72, 0, kNormal, kSonyStarvis, 0,
     kDriverSetsDepth},
    {0x3310, "CSensorFamilyQ", nullptr, 19568, 12588, 64, 116, kNormal, kFpgaTimed, 0,
     kFetchedByCommand},
    {0x3320, "CSensorFamilyR", nullptr, 2592, 2056, 64, 117, kNormal, kFpgaTimed | kTrigger, 0,
     kFetchedByCommand},
    {0x3330, "CSensorFamilyS", nullptr, 2160, 1280, 64, 118, kNormal, kFpgaTimed, 0,
     kFetchedByCommand},
    {0x3340, "CSensorFamilyT", nullptr, 5688, 3336, 64, 119, kNormal, kFpgaTimed | kTrigger, 0,
     kFetchedByCommand},
    {0x3360, "CSensorIMX675", nullptr, 2592, 4060, 72, 0, kNormal,
     kDepth | kTrigger | kGain | kSeconds, 0, kDriverSetsDepth},
    {0x3370, "CSensorIMX992", nullptr, 2560, 2048, 72, 129, kFlipBoth, kSwirGainMode, 0,
     kSwirTraits | kWritesOutputFormat | kDefaultHeightFormat},
    {0x3380, "CSensorIMX992", nullptr, 2560, 2048, 72, 130, kNormal, kSwirGainMode | kCooling, 0,
     kSwirTraits | kWritesOutputFormat | kDefaultHeightFormat},
    {0x33A0, "CSensorICE640", nullptr, 640, 513, 72, 0, kNormal, kDepth | kTrigger | kMirrors, 0,
     0},
    {0x33B0, "CSensorGLUX9701", nullptr, 1280, 1024, 72, 114, kFlipV,
     kSonyGlobalShutter | kBlackLevel | kSeconds | kTemperature | kGainMode, 0, 0},
    {0x33C0, "CSensorIMX993", nullptr, 2048, 1536, 72, 131, kFlipBoth, kSwirBlack, 0,
     kSwirTraits | kWritesOutputFormat},
    {0x33D0, "CSensorIMX993", nullptr, 2048, 1536, 72, 132, kNormal, kSwirBlack | kCooling, 0,
     kSwirTraits | kWritesOutputFormat},
};

constexpr const char* kGroupNames[] = {
    "depth",
    "trigger",
    "gain",
    "colour-gains",
    "mirror-v",
    "mirror-h",
    "black",
    "seconds",
    "cooling",
    "temperature",
    "gain-mode",
    "ccd",
    "clock",
    "serial-text",
    "thermistor",
    "fifth",
    "fpga-die-temperature",
    "no-colour-formats",
    "converter",
};

}  // namespace

std::span<const FamilyRow> familyTable() {
  return kRows;
}

const FamilyRow* findFamilyRow(int productId) {
  const auto found = std::find_if(std::begin(kRows), std::end(kRows),
                                  [&](const FamilyRow& row) { return row.productId == productId; });
  return found == std::end(kRows) ? nullptr : found;
}

std::string groupNames(uint32_t groups) {
  std::string text;
  for (size_t bit = 0; bit < std::size(kGroupNames); ++bit) {
    if ((groups >> bit) & 1u) {
      if (!text.empty()) {
        text += ' ';
      }
      text += kGroupNames[bit];
    }
  }
  return text;
}

}  // namespace nivexa::family
