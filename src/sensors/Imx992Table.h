#pragma once

#include "sensors/SwirChipTable.h"

namespace nivexa::sensors {

inline constexpr SwirChipTable kImx992Table{
    .variantUncooled = 129,
    .variantCooled = 130,
    .arrayWidth = 2560,
    .arrayHeight = 2048,
    .lineLengthClocks = 2592,
    .fullFrameLength = 2140,
    .frameLengthExtra = 84,
    .binnedFrameLength = 1116,
    .subsampledFrameLength = 2140,
    .maxWindowWidth = 2688,
    .maxWindowHeight = 2056,
    .hasDriveControl = false,
    .driveControlValue = 10,
    .linesMin = 2,
    .linesMax = 16777177,
    .linesDefault = 2102,
    .ticksDefault = 137,
    .secondsDefault = 0.01370504,
    .secondsMinAtConstruction = 0.00001304,
    .gainMax = 420,
    .ticksMin = 1,
    .ticksMax = 20000,
    .secondsMax = 2.0,
    .sensorClock = 54545,
    .lineLengthNarrow = 489,
    .lineLengthWide = 978,
    .lineTimeNumerator = 355.7,
    .exposureOffsetUs = 0.0,
    .shutterMargin = 52,
    .fpgaTiming = {43, 8, 0},
    .temperatureFpgaVersionMin = 260,
    .initialOutputDepth = 0,
    .initialModeWord = 0,
    .hasBlackLevel = false,
    .blackLevelMax = 0,
    .blackLevelDefault = 0,
    .hasFeatureSwitch = false,
    .hasGainMode = true,
    .fullModeAlignX = 8,
    .fullModeAlignY = 4,
    .subsampledAlign = 32,
    .reducedWindowY = 4,
};

}  // namespace nivexa::sensors
