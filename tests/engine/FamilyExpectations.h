#pragma once

#include <cstdint>

namespace nivexa::engine::test {

// What the documentation says of every product of the family, written down here independently
// of the family table so that a wrong entry there fails a test instead of being shared.
struct ExpectedDriver {
  uint16_t productId;
  const char* driver;
  int32_t width;
  int32_t height;
  uint8_t address;
  int32_t variant;
  int32_t orientation;
  const char* groups;  // in the order of the group enumeration
};

inline constexpr const char* kSonyGs = "depth trigger gain mirror-v mirror-h";
inline constexpr const char* kStarvis = "depth gain mirror-v mirror-h black seconds";
inline constexpr const char* kCcd = "trigger gain mirror-v mirror-h black ccd";
inline constexpr const char* kLine = "depth gain mirror-v mirror-h";
inline constexpr const char* kSwir990 =
    "depth trigger gain mirror-v mirror-h seconds temperature no-colour-formats";
inline constexpr const char* kSwir990Cooled =
    "depth trigger gain mirror-v mirror-h seconds cooling temperature no-colour-formats";
inline constexpr const char* kSwir992 =
    "depth trigger gain mirror-v mirror-h seconds temperature gain-mode no-colour-formats";
inline constexpr const char* kSwir992Cooled =
    "depth trigger gain mirror-v mirror-h seconds cooling temperature gain-mode "
    "no-colour-formats";
inline constexpr const char* kSwir993 =
    "depth trigger gain mirror-v mirror-h black seconds temperature gain-mode no-colour-formats";
inline constexpr const char* kSwir993Cooled =
    "depth trigger gain mirror-v mirror-h black seconds cooling temperature gain-mode "
    "no-colour-formats";
inline constexpr const char* kGlux =
    "depth trigger gain mirror-v mirror-h black seconds temperature gain-mode";

// 0x3020 is not here: its driver depends on the chip's version register.
inline constexpr ExpectedDriver kExpectedFamily[] = {
    {0x3030, "CSensorMT9P001", 2592, 1944, 144, 0, 1,
     "trigger gain colour-gains mirror-v mirror-h"},
    {0x3040, "CSensorMT9J001", 3856, 2764, 32, 0, 1, "gain colour-gains mirror-v mirror-h clock"},
    {0x3042, "CSensorMT9J001", 3856, 2764, 32, 0, 1, "gain colour-gains mirror-v mirror-h clock"},
    {0x3050, "CSensorICX274", 1600, 1200, 0, 0, 1, "trigger gain mirror-v mirror-h"},
    {0x3090, "CSensorFamilyA", 2336, 1752, 0, 0, 1, kCcd},
    {0x30B0, "CSensorFamilyB", 4896, 3264, 0, 0, 1, kCcd},
    {0x30C0, "CSensorFamilyC", 6576, 4384, 0, 0, 1, kCcd},
    {0x30F0, "CSensorIMX178", 3072, 2048, 72, 0, 1, "trigger gain mirror-v mirror-h"},
    {0x3100, "CSensorIMX174", 1920, 1200, 72, 0, 1, kSonyGs},
    {0x3110, "CSensorIMX183", 5520, 3680, 72, 0, 1, "trigger gain mirror-v mirror-h"},
    {0x3120, "CSensorIMX159", 4800, 3520, 72, 0, 1, "trigger gain mirror-h"},
    {0x3130, "CSensorFamilyD", 1920, 1080, 66, 0, 1, "depth converter"},
    {0x3140, "CSensorFamilyE", 1280, 1024, 108, 0, 1, kSonyGs},
    {0x3150, "CSensorFamilyF", 640, 512, 108, 0, 1, "depth gain mirror-v mirror-h seconds"},
    {0x3170, "CSensorFamilyG", 320, 256, 108, 0, 1, "depth gain mirror-v mirror-h"},
    {0x3180, "CSensorFamilyH", 1280, 1024, 72, 0, 2, "depth trigger gain serial-text"},
    {0x3190, "CSensorFamilyI", 512, 32768, 32, 0, 1, kSonyGs},
    {0x31A0, "CSensorFamilyJ", 256, 32768, 32, 0, 1, kLine},
    {0x31B0, "CSensorIMX250", 2448, 2048, 72, 59, 1, kSonyGs},
    {0x31B4, "CSensorIMX264", 2448, 2048, 72, 0, 1, kSonyGs},
    {0x31C0, "CSensorIMX252", 2048, 1536, 72, 0, 1, kSonyGs},
    {0x31C4, "CSensorIMX265", 2048, 1536, 72, 0, 1, kSonyGs},
    {0x31D0, "CSensorFamilyK", 1024, 32768, 32, 0, 1, kLine},
    {0x31E0, "CSensorFamilyL", 2048, 2048, 108, 0, 1,
     "trigger gain mirror-v mirror-h seconds temperature gain-mode"},
    {0x31F0, "CSensorIMX226", 4168, 3062, 72, 0, 1, "depth gain mirror-v mirror-h"},
    {0x3200, "CSensorFamilyM", 640, 512, 72, 0, 1,
     "depth trigger mirror-v mirror-h cooling temperature"},
    {0x3210, "CSensorFamilyN", 2048, 32768, 32, 0, 1, kLine},
    {0x3220, "CSensorG1467x", 320, 256, 108, 105, 2,
     "depth gain mirror-v mirror-h cooling temperature thermistor"},
    {0x3260, "CSensorIMX990", 1280, 1024, 72, 109, 4, kSwir990},
    {0x3270, "CSensorIMX990", 1280, 1024, 72, 110, 1, kSwir990Cooled},
    {0x3280, "CSensorIMX991", 640, 512, 72, 111, 4, kSwir990},
    {0x3290, "CSensorIMX991", 640, 512, 72, 112, 1, kSwir990Cooled},
    {0x32A0, "CSensorIMX250", 2448, 2048, 72, 113, 1, kSonyGs},
    {0x32B0, "CSensorFamilyO", 1936, 1096, 72, 61, 1,
     "depth trigger gain mirror-v mirror-h seconds"},
    {0x32C0, "CSensorGLUX9701", 1280, 1024, 72, 114, 3, kGlux},
    {0x32D0, "CSensorFamilyP", 4096, 4096, 108, 0, 1,
     "trigger gain mirror-v mirror-h seconds temperature gain-mode fifth"},
    {0x32E0, "CSensorIMX536", 2848, 2848, 72, 0, 1, kStarvis},
    {0x32F0, "CSensorIMX487", 2848, 2848, 72, 0, 1, kStarvis},
    {0x3300, "CSensorIMX273", 1440, 1080, 72, 0, 1, kStarvis},
    {0x3310, "CSensorFamilyQ", 19568, 12588, 64, 116, 1, "depth gain seconds fpga-die-temperature"},
    {0x3320, "CSensorFamilyR", 2592, 2056, 64, 117, 1,
     "depth trigger gain seconds fpga-die-temperature"},
    {0x3330, "CSensorFamilyS", 2160, 1280, 64, 118, 1, "depth gain seconds fpga-die-temperature"},
    {0x3340, "CSensorFamilyT", 5688, 3336, 64, 119, 1,
     "depth trigger gain seconds fpga-die-temperature"},
    {0x3360, "CSensorIMX675", 2592, 4060, 72, 0, 1, "depth trigger gain seconds"},
    {0x3370, "CSensorIMX992", 2560, 2048, 72, 129, 4, kSwir992},
    {0x3380, "CSensorIMX992", 2560, 2048, 72, 130, 1, kSwir992Cooled},
    {0x33A0, "CSensorICE640", 640, 513, 72, 0, 1, "depth trigger mirror-v mirror-h"},
    {0x33B0, "CSensorGLUX9701", 1280, 1024, 72, 114, 3, kGlux},
    {0x33C0, "CSensorIMX993", 2048, 1536, 72, 131, 4, kSwir993},
    {0x33D0, "CSensorIMX993", 2048, 1536, 72, 132, 1, kSwir993Cooled},
};

// The products whose drivers this library carries with their chips' programming.
inline bool programmedHere(uint16_t productId) {
  switch (productId) {
    case 0x3260:
    case 0x3270:
    case 0x3280:
    case 0x3290:
    case 0x3370:
    case 0x3380:
    case 0x33C0:
    case 0x33D0:
      return true;
    default:
      return false;
  }
}

}  // namespace nivexa::engine::test
