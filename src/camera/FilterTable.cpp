#include "camera/FilterTable.h"

#include <algorithm>
#include <iterator>

#include "camera/FilterIds.h"

namespace nivexa::camera {

namespace {

using imaging::ProcessingParameters;
using Field = std::atomic<int32_t>;

constexpr ObjectFilterRow kObjectFilters[] = {
    {kFilterBrightness, -255, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.brightness; }},
    {kFilterContrast, -127, 127, true,
     [](ProcessingParameters& p) -> Field& { return p.contrast; }},
    {kFilterHue, -360, 360, true, [](ProcessingParameters& p) -> Field& { return p.hue; }},
    {kFilterSaturation, -255, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.saturation; }},
    {kFilterSharpness, 0, 30, true, [](ProcessingParameters& p) -> Field& { return p.sharpness; }},
    {kFilterBayerGainRed, 0, 400, true,
     [](ProcessingParameters& p) -> Field& { return p.bayerGainRed; }},
    {kFilterBayerGainGreen, 0, 400, true,
     [](ProcessingParameters& p) -> Field& { return p.bayerGainGreen; }},
    {kFilterBayerGainBlue, 0, 400, true,
     [](ProcessingParameters& p) -> Field& { return p.bayerGainBlue; }},
    {kFilterGamma, 0, 200, true, [](ProcessingParameters& p) -> Field& { return p.gamma; }},
    {kFilterBayerMode, 0, 3, true, [](ProcessingParameters& p) -> Field& { return p.bayerMode; }},
    {kFilterGrayMode, 0, 2, true, [](ProcessingParameters& p) -> Field& { return p.grayMode; }},
    {kFilterGrayGainR, 0, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.grayGain[imaging::kGrayR]; }},
    {kFilterGrayGainG1, 0, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.grayGain[imaging::kGrayG1]; }},
    {kFilterGrayGainG2, 0, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.grayGain[imaging::kGrayG2]; }},
    {kFilterGrayGainB, 0, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.grayGain[imaging::kGrayB]; }},
    {kFilterGrayOffsetR, -255, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.grayOffset[imaging::kGrayR]; }},
    {kFilterGrayOffsetG1, -255, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.grayOffset[imaging::kGrayG1]; }},
    {kFilterGrayOffsetG2, -255, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.grayOffset[imaging::kGrayG2]; }},
    {kFilterGrayOffsetB, -255, 255, true,
     [](ProcessingParameters& p) -> Field& { return p.grayOffset[imaging::kGrayB]; }},
    {kFilterAutoGrayGain, 0, 1, false,
     [](ProcessingParameters& p) -> Field& { return p.grayGainAutoOnce; }},
    {kFilterDotFilter, 0, 1, true, [](ProcessingParameters& p) -> Field& { return p.dotFilter; }},
    {kFilterMaskFilter, 0, 1, true, [](ProcessingParameters& p) -> Field& { return p.maskFilter; }},
};

}  // namespace

const ObjectFilterRow* findObjectFilter(int32_t id) {
  const auto* row = std::find_if(std::begin(kObjectFilters), std::end(kObjectFilters),
                                 [id](const ObjectFilterRow& r) { return r.id == id; });
  return row == std::end(kObjectFilters) ? nullptr : row;
}

}  // namespace nivexa::camera
