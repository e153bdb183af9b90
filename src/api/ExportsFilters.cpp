#include "api/ExportSupport.h"
#include "camera/FilterIds.h"

using nivexa::api::withCamera;
using nivexa::camera::CNivexa;
namespace camera = nivexa::camera;

extern "C" {

NIVEXA_API LONG Nivexa_GetFilterValue(LONG h, LONG id, BOOL* ok) {
  return withCamera(h, LONG{0}, [&](CNivexa& cam) { return cam.GetFilterValue(id, ok); });
}

NIVEXA_API BOOL Nivexa_SetFilterValue(LONG h, LONG id, LONG value) {
  return withCamera(h, BOOL{0}, [&](CNivexa& cam) { return cam.SetFilterValue(id, value); });
}

// Each named pair is exactly the generic pair with a fixed filter id.
#define NIVEXA_FILTER_GETTER(Name, id)                 \
  NIVEXA_API LONG Nivexa_Get##Name(LONG h, BOOL* ok) { \
    return Nivexa_GetFilterValue(h, id, ok);           \
  }
#define NIVEXA_FILTER_SETTER(Name, id)                   \
  NIVEXA_API BOOL Nivexa_Set##Name(LONG h, LONG value) { \
    return Nivexa_SetFilterValue(h, id, value);          \
  }
#define NIVEXA_FILTER_PAIR(Name, id) \
  NIVEXA_FILTER_GETTER(Name, id)     \
  NIVEXA_FILTER_SETTER(Name, id)

NIVEXA_FILTER_PAIR(Brightness, camera::kFilterBrightness)
NIVEXA_FILTER_PAIR(Contrast, camera::kFilterContrast)
NIVEXA_FILTER_PAIR(Hue, camera::kFilterHue)
NIVEXA_FILTER_PAIR(Saturation, camera::kFilterSaturation)
NIVEXA_FILTER_PAIR(Sharpness, camera::kFilterSharpness)
NIVEXA_FILTER_PAIR(BayerGainRGB, camera::kFilterBayerGainRGB)
NIVEXA_FILTER_PAIR(BayerGainRed, camera::kFilterBayerGainRed)
NIVEXA_FILTER_PAIR(BayerGainGreen, camera::kFilterBayerGainGreen)
NIVEXA_FILTER_PAIR(BayerGainBlue, camera::kFilterBayerGainBlue)
NIVEXA_FILTER_PAIR(BayerGainAuto, camera::kFilterBayerGainAuto)
NIVEXA_FILTER_PAIR(Gamma, camera::kFilterGamma)
NIVEXA_FILTER_PAIR(BayerMode, camera::kFilterBayerMode)
NIVEXA_FILTER_PAIR(GlobalGain, camera::kFilterGlobalGain)
NIVEXA_FILTER_PAIR(ColorGainRed, camera::kFilterColorGainRed)
NIVEXA_FILTER_PAIR(ColorGainGreen1, camera::kFilterColorGainGreen1)
NIVEXA_FILTER_PAIR(ColorGainGreen2, camera::kFilterColorGainGreen2)
NIVEXA_FILTER_PAIR(ColorGainBlue, camera::kFilterColorGainBlue)
NIVEXA_FILTER_PAIR(ExposureTime, camera::kFilterExposureTime)
NIVEXA_FILTER_PAIR(GrayMode, camera::kFilterGrayMode)
NIVEXA_FILTER_PAIR(GrayGainR, camera::kFilterGrayGainR)
NIVEXA_FILTER_PAIR(GrayGainG1, camera::kFilterGrayGainG1)
NIVEXA_FILTER_PAIR(GrayGainG2, camera::kFilterGrayGainG2)
NIVEXA_FILTER_PAIR(GrayGainB, camera::kFilterGrayGainB)
NIVEXA_FILTER_PAIR(GrayOffsetR, camera::kFilterGrayOffsetR)
NIVEXA_FILTER_PAIR(GrayOffsetG1, camera::kFilterGrayOffsetG1)
NIVEXA_FILTER_PAIR(GrayOffsetG2, camera::kFilterGrayOffsetG2)
NIVEXA_FILTER_PAIR(GrayOffsetB, camera::kFilterGrayOffsetB)
NIVEXA_FILTER_PAIR(Peltier, camera::kFilterPeltier)
NIVEXA_FILTER_GETTER(Temperature, camera::kFilterTemperature)
NIVEXA_FILTER_PAIR(DotFilter, camera::kFilterDotFilter)
NIVEXA_FILTER_PAIR(MaskFilter, camera::kFilterMaskFilter)

#undef NIVEXA_FILTER_PAIR
#undef NIVEXA_FILTER_SETTER
#undef NIVEXA_FILTER_GETTER

// Channels 1..4 map onto consecutive filter ids; any other channel is answered at once, without
// touching `ok` or the error stack.
NIVEXA_API LONG Nivexa_GetChannelGain(LONG h, LONG channel, BOOL* ok) {
  if (channel < 1 || channel > camera::kChannelCount) {
    return 0;
  }
  return Nivexa_GetFilterValue(h, camera::kFilterChannelGain1 + channel - 1, ok);
}

NIVEXA_API BOOL Nivexa_SetChannelGain(LONG h, LONG channel, LONG value) {
  if (channel < 1 || channel > camera::kChannelCount) {
    return 0;
  }
  return Nivexa_SetFilterValue(h, camera::kFilterChannelGain1 + channel - 1, value);
}

NIVEXA_API LONG Nivexa_GetChannelOffset(LONG h, LONG channel, BOOL* ok) {
  if (channel < 1 || channel > camera::kChannelCount) {
    return 0;
  }
  return Nivexa_GetFilterValue(h, camera::kFilterChannelOffset1 + channel - 1, ok);
}

NIVEXA_API BOOL Nivexa_SetChannelOffset(LONG h, LONG channel, LONG value) {
  if (channel < 1 || channel > camera::kChannelCount) {
    return 0;
  }
  return Nivexa_SetFilterValue(h, camera::kFilterChannelOffset1 + channel - 1, value);
}

}  // extern "C"
