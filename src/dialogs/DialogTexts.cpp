#include "dialogs/DialogTexts.h"

#include <array>
#include <cstdio>
#include <iterator>

namespace nivexa::dialogs {

namespace {

// English from the product's documentation (its spellings kept, "Nomal" included). The
// documentation gives one text for both languages; the Japanese column is this library's own
// translation, offered where the system's language is Japanese, and the Windows resources carry
// the same one.
constexpr TextRow kTexts[] = {
    {Text::Property, "Property", "プロパティ"},
    {Text::Ok, "OK", "OK"},
    {Text::Cancel, "Cancel", "キャンセル"},
    {Text::Default, "Default", "標準に戻す"},
    {Text::Apply, "Apply", "適用"},
    {Text::TabStreamFormat, "Stream Format", "ストリーム形式"},
    {Text::TabImageFilter, "Image Filter", "画像フィルタ"},
    {Text::TabGrayFilter, "Gray Filter", "グレーフィルタ"},
    {Text::TabAnalogGain, "Analog Gain", "アナログゲイン"},
    {Text::Brightness, "&Brightness", "明るさ(&B)"},
    {Text::Contrast, "&Contrast", "コントラスト(&C)"},
    {Text::Hue, "&Hue", "色相(&H)"},
    {Text::Saturation, "&Saturation", "彩度(&S)"},
    {Text::Sharpness, "Shar&pness", "シャープネス(&P)"},
    {Text::RedGain, "&R Gain", "Rゲイン(&R)"},
    {Text::GreenGain, "&G Gain", "Gゲイン(&G)"},
    {Text::BlueGain, "&B Gain", "Bゲイン(&B)"},
    {Text::Gamma, "&Gamma", "ガンマ(&A)"},
    {Text::BayerMode, "Bayer Mode", "ベイヤー配列"},
    {Text::AutoWhiteBalance, "Auto white balance", "オートホワイトバランス"},
    {Text::Once, "Once", "1回"},
    {Text::AllFrames, "All frames", "全フレーム"},
    {Text::Gain, "Gain", "ゲイン"},
    {Text::Offset, "Offset", "オフセット"},
    {Text::Red, "Red", "赤"},
    {Text::Green1, "Green1", "緑1"},
    {Text::Green2, "Green2", "緑2"},
    {Text::Blue, "Blue", "青"},
    {Text::FilterMode, "Filter mode", "フィルタモード"},
    {Text::Bayer, "Bayer", "ベイヤー"},
    {Text::BayerConvert, "Bayer convert", "ベイヤー変換"},
    {Text::Grayscale, "Grayscale", "グレースケール"},
    {Text::AutoGain, "Auto Gain", "オートゲイン"},
    {Text::GlobalGain, "&Global Gain", "全体ゲイン(&G)"},
    {Text::ColourGainG1, "&Color Gain G1", "カラーゲイン G1(&C)"},
    {Text::ColourGainR, "&Color Gain R", "カラーゲイン R(&C)"},
    {Text::ColourGainB, "&Color Gain B", "カラーゲイン B(&C)"},
    {Text::ColourGainG2, "&Color Gain G2", "カラーゲイン G2(&C)"},
    {Text::Exposure, "&Exposure", "露光(&E)"},
    {Text::ExposureMsec, "= msec", "= ミリ秒"},
    {Text::ExposureMsecFormat, "=%.2fms", "=%.2fms"},
    {Text::BlackLevel, "&Black Level", "黒レベル(&B)"},
    {Text::ExposureEx, "ExposureEx", "露光時間"},
    {Text::RangeFormat, "range: %d%s - %d%s", "範囲: %d%s - %d%s"},
    {Text::AutoIris, "Auto Iris", "オートアイリス"},
    {Text::AutoIrisGain, "Gain", "ゲイン"},
    {Text::AutoIrisExposure, "Exposure", "露光"},
    {Text::MirrorV, "Mirror V", "上下反転"},
    {Text::MirrorH, "Mirror H", "左右反転"},
    {Text::Peltier, "Peltier", "ペルチェ冷却"},
    {Text::ShortExposure, "Short exposure mode", "短時間露光モード"},
    {Text::HighGain, "High Gain", "高ゲイン"},
    {Text::LowGain, "Low Gain", "低ゲイン"},
    {Text::ColourCompression, "Color / Compression(&C):", "カラー / 圧縮(&C):"},
    {Text::Monochrome8, "Monochrome 8bit", "モノクロ 8bit"},
    {Text::MonochromeDeepFormat, "Monochrome %dbit *", "モノクロ %dbit *"},
    {Text::Colour24, "Color 24bit", "カラー 24bit"},
    {Text::Colour32, "Color 32bit", "カラー 32bit"},
    {Text::Colour48, "Color 48bit *", "カラー 48bit *"},
    {Text::Colour64, "Color 64bit *", "カラー 64bit *"},
    {Text::Size, "Size(&S):", "サイズ(&S):"},
    {Text::SizeFormat, "%d x %d", "%d x %d"},
    {Text::Custom, "Custom", "カスタム"},
    {Text::SubSample, "Sub Sample(&B):", "サブサンプル(&B):"},
    {Text::SubSampleFull, "1/1", "1/1"},
    {Text::SubSampleSkip, "1/2 Skip", "1/2 スキップ"},
    {Text::HTotal, "H Total", "水平トータル"},
    {Text::VTotal, "V Total", "垂直トータル"},
    {Text::HEffective, "H Effective", "水平有効"},
    {Text::VEffective, "V Effective", "垂直有効"},
    {Text::HStart, "H Start", "水平開始"},
    {Text::VStart, "V Start", "垂直開始"},
    {Text::WaitTime, "Wait Time(&T):", "待ち時間(&T):"},
    {Text::Clock, "Clock(&C):", "クロック(&L):"},
    {Text::ClockNormal, "Nomal(24MHz)", "標準(24MHz)"},
    {Text::ClockHalf, "Half(12MHz)", "低速(12MHz)"},
    {Text::ClockHighFormat, "High(%dMHz)", "高速(%dMHz)"},
};

static_assert(std::size(kTexts) == static_cast<size_t>(Text::Count), "one row per text");

constexpr bool inTableOrder() {
  for (size_t i = 0; i < std::size(kTexts); ++i) {
    if (static_cast<size_t>(kTexts[i].text) != i) {
      return false;
    }
  }
  return true;
}
static_assert(inTableOrder(), "rows in the order of Text");

}  // namespace

const TextRow* textTable(size_t& count) {
  count = std::size(kTexts);
  return kTexts;
}

const char* text(Text id, Language language) {
  const TextRow& row = kTexts[static_cast<size_t>(id)];
  return language == Language::Japanese ? row.japanese : row.english;
}

// The table's formats are fixed literals whose fields the callers match; -Wformat-nonliteral
// cannot see that, hence the pragma around the two calls.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
std::string formatText(Text id, Language language, int first) {
  std::array<char, 128> buffer{};
  std::snprintf(buffer.data(), buffer.size(), text(id, language), first);
  return buffer.data();
}

std::string formatText(Text id, Language language, int first, int second) {
  std::array<char, 128> buffer{};
  std::snprintf(buffer.data(), buffer.size(), text(id, language), first, second);
  return buffer.data();
}
#pragma GCC diagnostic pop

}  // namespace nivexa::dialogs
