// Applications read these records by offset (and other language bindings declare them by
// hand), so their layout is part of the interface.
#include <cstddef>

#include "NivexaSdk.h"

static_assert(sizeof(LONG) == 4 && sizeof(BOOL) == 4 && sizeof(BYTE) == 1);

static_assert(offsetof(NivexaFrameInfo, reserved) == 0);
static_assert(offsetof(NivexaFrameInfo, width) == 4);
static_assert(offsetof(NivexaFrameInfo, height) == 8);
static_assert(offsetof(NivexaFrameInfo, bitsPerPixel) == 12);
static_assert(offsetof(NivexaFrameInfo, frameRate) == 16);
static_assert(offsetof(NivexaFrameInfo, buffer) == 24);
static_assert(sizeof(void*) != 8 || sizeof(NivexaFrameInfo) == 32);

static_assert(offsetof(NivexaCameraInfo, size) == 0);
static_assert(offsetof(NivexaCameraInfo, widthLimit) == 4);
static_assert(offsetof(NivexaCameraInfo, heightLimit) == 8);
static_assert(offsetof(NivexaCameraInfo, globalGainMin) == 12);
static_assert(offsetof(NivexaCameraInfo, globalGainMax) == 16);
static_assert(offsetof(NivexaCameraInfo, colorGainMin) == 20);
static_assert(offsetof(NivexaCameraInfo, colorGainMax) == 24);
static_assert(offsetof(NivexaCameraInfo, exposureMin) == 28);
static_assert(offsetof(NivexaCameraInfo, exposureMax) == 32);
static_assert(offsetof(NivexaCameraInfo, exposureSecondsMin) == 40);
static_assert(offsetof(NivexaCameraInfo, exposureSecondsMax) == 48);
static_assert(sizeof(NivexaCameraInfo) == 56);
