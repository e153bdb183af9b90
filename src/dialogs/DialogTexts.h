#pragma once

#include <cstddef>
#include <string>

namespace nivexa::dialogs {

enum class Language { English, Japanese };

// Every text the dialogs show, in one table with both languages. Texts with printf fields are
// formats; "&" marks the mnemonic letter as in the Windows resources.
enum class Text {
  Property,
  Ok,
  Cancel,
  Default,
  Apply,
  TabStreamFormat,
  TabImageFilter,
  TabGrayFilter,
  TabAnalogGain,
  Brightness,
  Contrast,
  Hue,
  Saturation,
  Sharpness,
  RedGain,
  GreenGain,
  BlueGain,
  Gamma,
  BayerMode,
  AutoWhiteBalance,
  Once,
  AllFrames,
  Gain,
  Offset,
  Red,
  Green1,
  Green2,
  Blue,
  FilterMode,
  Bayer,
  BayerConvert,
  Grayscale,
  AutoGain,
  GlobalGain,
  ColourGainG1,
  ColourGainR,
  ColourGainB,
  ColourGainG2,
  Exposure,
  ExposureMsec,
  ExposureMsecFormat,
  BlackLevel,
  ExposureEx,
  RangeFormat,
  AutoIris,
  AutoIrisGain,
  AutoIrisExposure,
  MirrorV,
  MirrorH,
  Peltier,
  ShortExposure,
  HighGain,
  LowGain,
  ColourCompression,
  Monochrome8,
  MonochromeDeepFormat,
  Colour24,
  Colour32,
  Colour48,
  Colour64,
  Size,
  SizeFormat,
  Custom,
  SubSample,
  SubSampleFull,
  SubSampleSkip,
  HTotal,
  VTotal,
  HEffective,
  VEffective,
  HStart,
  VStart,
  WaitTime,
  Clock,
  ClockNormal,
  ClockHalf,
  ClockHighFormat,
  Count
};

struct TextRow {
  Text text;
  const char* english;
  const char* japanese;  // UTF-8
};

// The whole table, in the order of `Text`.
const TextRow* textTable(size_t& count);
// The text in `language`, UTF-8.
const char* text(Text id, Language language);

// A format text of the table filled in; the fields are those of the table's text.
std::string formatText(Text id, Language language, int first);
std::string formatText(Text id, Language language, int first, int second);

}  // namespace nivexa::dialogs
