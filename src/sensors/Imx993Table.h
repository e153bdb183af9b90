#pragma once

#include "sensors/SwirChipTable.h"

namespace nivexa::sensors {

inline constexpr SwirChipTable kImx993Table{
    .variantUncooled = 131,
    .variantCooled = 132,
    .arrayWidth = 2048,
    .arrayHeight = 1536,
    .lineLengthClocks = 2080,
    .fullFrameLength = 1628,
    .frameLengthExtra = 84,
    .binnedFrameLength = 860,
    .subsampledFrameLength = 1628,
    .maxWindowWidth = 2176,
    .maxWindowHeight = 1544,
    .hasDriveControl = true,
    .driveControlValue = 10,
    .linesMin = 2,
    .linesMax = 16777163,
    .linesDefault = 1576,
    .ticksDefault = 102,
    .secondsDefault = 0.010290322,
    .secondsMinAtConstruction = 0.000027842,
    .gainMax = 420,
    .ticksMin = 1,
    .ticksMax = 20000,
    .secondsMax = 2.0,
    .sensorClock = 54545,
    .lineLengthNarrow = 489,
    .lineLengthWide = 978,
    .lineTimeNumerator = 355.7,
    .exposureOffsetUs = 14.802,
    .shutterMargin = 52,
    .fpgaTiming = {51, 6, 0},
    .temperatureFpgaVersionMin = 260,
    .initialOutputDepth = 0,
    .initialModeWord = 15,
    .hasBlackLevel = true,
    .blackLevelMax = 4095,
    .blackLevelDefault = 240,
    .hasFeatureSwitch = true,
    .hasGainMode = true,
    .fullModeAlignX = 8,
    .fullModeAlignY = 4,
    .subsampledAlign = 32,
    .reducedWindowY = 4,
};

}  // namespace nivexa::sensors
