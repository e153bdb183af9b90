#include "imaging/ProcessFrame.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "imaging/steps/AutoIris.h"
#include "imaging/steps/Demosaic.h"
#include "imaging/steps/GrayFilter.h"
#include "imaging/steps/HueSaturation.h"
#include "imaging/steps/ImageView.h"
#include "imaging/steps/Mirror.h"
#include "imaging/steps/PointOps.h"
#include "imaging/steps/RowSpacing.h"
#include "imaging/steps/Sharpness.h"

namespace nivexa::imaging {

int32_t colorModeBits(ColorMode mode) {
  switch (mode) {
    case ColorMode::Mono8:
      return 8;
    case ColorMode::Mono16:
      return 16;
    case ColorMode::Bgr24:
      return 24;
    case ColorMode::Bgr32:
      return 32;
    case ColorMode::Bgr48:
      return 48;
    case ColorMode::Bgr64:
      return 64;
  }
  return 0;
}

int32_t colorModeFromBits(int32_t bits) {
  switch (bits) {
    case 8:
      return 0;
    case 16:
      return 1;
    case 24:
      return 2;
    case 32:
      return 3;
    case 48:
      return 4;
    case 64:
      return 5;
    default:
      return -1;
  }
}

DibImage& FrameBitmaps::rawFor(ColorMode mode) {
  switch (mode) {
    case ColorMode::Mono16:
    case ColorMode::Bgr48:
    case ColorMode::Bgr64:
      return raw16;
    default:
      return raw8;
  }
}

DibImage& FrameBitmaps::outputFor(ColorMode mode) {
  switch (mode) {
    case ColorMode::Mono8:
      return raw8;
    case ColorMode::Mono16:
      return raw16;
    case ColorMode::Bgr24:
      return bgr24;
    case ColorMode::Bgr32:
      return bgr32;
    case ColorMode::Bgr48:
      return bgr48;
    case ColorMode::Bgr64:
      return bgr64;
  }
  return raw8;
}

int createFrameBitmaps(FrameBitmaps& b, ColorMode mode, int32_t width, int32_t height) {
  const int m = static_cast<int>(mode);
  if (m <= 3 && !b.raw8.Create(width, height, 8)) {
    return 0;
  }
  if ((m == 1 || m == 4 || m == 5) && !b.raw16.Create(width, height, 16)) {
    return 0;
  }
  // Mode 0 keeps a 24-bit bitmap too: gray mode 2 demosaics into it before reducing to gray.
  if (m != 1 && !b.bgr24.Create(width, height, 24)) {
    return 0;
  }
  if (m == 3 && !b.bgr32.Create(width, height, 32)) {
    return 0;
  }
  if (m == 4 && !b.bgr48.Create(width, height, 48)) {
    return 0;
  }
  if (m == 5 && !b.bgr64.Create(width, height, 64)) {
    return 0;
  }
  return b.work.CopyFormat(b.outputFor(mode));
}

namespace {

using namespace steps;

// The values one frame works with, read once so that a setter racing with the frame changes
// either all of its use or none.
struct FrameSettings {
  int32_t autoIris, maskFilter, dotFilter, grayMode, pattern;
  bool mirrorH, mirrorV, softMirrorH, softMirrorV;
  int32_t hue, saturation, gamma, contrast, sharpness, brightness;
};

FrameSettings readSettings(ProcessingParameters& p, PipelineHost& host) {
  FrameSettings s{};
  s.autoIris = p.autoIris;
  s.maskFilter = p.maskFilter;
  s.dotFilter = p.dotFilter;
  s.grayMode = p.grayMode;
  s.pattern = p.bayerMode;
  s.mirrorH = p.mirrorH != 0;
  s.mirrorV = p.mirrorV != 0;
  s.softMirrorH = s.mirrorH && !host.engineMirrorsHorizontally();
  s.softMirrorV = s.mirrorV && !host.engineMirrorsVertically();
  s.hue = p.hue;
  s.saturation = p.saturation;
  s.gamma = p.gamma;
  s.contrast = p.contrast;
  s.sharpness = p.sharpness;
  s.brightness = p.brightness;
  return s;
}

bool isMono(ColorMode mode) {
  return mode == ColorMode::Mono8 || mode == ColorMode::Mono16;
}

// Steps 1 to 3, shared by both pipelines: they talk to the host and the defect mask.
void hostSteps(DibImage& raw, const FrameSettings& s, PipelineHost& host) {
  if (s.autoIris == 1 || s.autoIris == 2) {
    autoIris(viewOf(raw), s.autoIris, host);
  }
  if (raw.bitsPerPixel() != 8 && raw.bitsPerPixel() != 16) {
    return;
  }
  if (s.maskFilter != 0) {
    host.applyMaskFilter(raw);
  }
  if (s.dotFilter != 0) {
    host.applyDotFilter(raw, raw.bitsPerPixel() == 8 ? 30 : 480);
  }
}

// Gray mode 1's gains for this frame, after the one-shot measurement when one is asked for.
GrayGains grayGainsForFrame(const ImageView& raw, const FrameSettings& s, ProcessingParameters& p,
                            PipelineHost& host) {
  GrayGains g;
  for (size_t c = 0; c < 4; ++c) {
    g.gain[c] = p.grayGain[c];
    g.offset[c] = p.grayOffset[c];
  }
  if (p.grayGainAutoOnce != 0) {
    if (measureGrayGains(raw, s.pattern, g)) {
      for (size_t c = 0; c < 4; ++c) {
        p.grayGain[c] = g.gain[c];
      }
      host.processingValuesChanged();
    }
    p.grayGainAutoOnce = 0;
  }
  return g;
}

// Automatic white balance, then the demosaic with the gains it leaves.
template <class Demosaic>
void demosaicStep(const ImageView& raw, const ImageView& out, const FrameSettings& s,
                  ProcessingParameters& p, PipelineHost& host, Demosaic&& demosaic) {
  if (!demosaicFormatsMatch(raw, out)) {
    return;
  }
  const int32_t pattern = effectiveBayerPattern(s.pattern, s.mirrorH, s.mirrorV);
  if (p.bayerGainAuto != 0) {
    WhiteBalanceGains g{p.bayerGainRed, p.bayerGainGreen, p.bayerGainBlue};
    if (measureWhiteBalance(raw, pattern, g)) {
      p.bayerGainRed = g.red;
      p.bayerGainGreen = g.green;
      p.bayerGainBlue = g.blue;
      host.processingValuesChanged();
    }
    if (p.bayerGainSingleShot != 0) {
      p.bayerGainSingleShot = 0;
      p.bayerGainAuto = 0;
    }
  }
  demosaic(raw, out, pattern, p.bayerGainRed.load(), p.bayerGainBlue.load());
}

bool sameFormat(const ImageView& a, const ImageView& b) {
  return a.valid() && b.valid() && a.width == b.width && a.height == b.height &&
         a.channels == b.channels && a.sampleBytes == b.sampleBytes;
}

// Gamma, contrast and brightness in one table pass; brightness alone by its arithmetic, which
// vectorises where a table cannot.
void pointStep(const ImageView& image, int32_t gamma, int32_t contrast, int32_t brightness,
               int32_t y0, int32_t y1) {
  if (gamma == 100 && contrast == 0) {
    brightnessRows(image, brightness, y0, y1);
  } else {
    applyTableRows(image, pointTable(gamma, contrast, brightness, image.wide()), y0, y1);
  }
}

// Rows per band when the point step and the sharpness run band by band: the band and the four
// work rows the box reaches stay in the cache between the two, so the frame crosses memory
// once instead of three times.
constexpr int32_t kBandRows = 32;

// The value steps of a monochrome frame, then its sharpness, band by band. Sharpening row y
// needs work rows y - 2 .. y + 1, so it trails the point step by one row; it writes only rows
// the point step has already passed.
template <class Points>
void pointsThenSharpenInBands(const ImageView& out, const ImageView& work, int32_t strength,
                              int32_t brightness, StepScratch& scratch, Points&& points) {
  int32_t sharpened = 0;
  for (int32_t y0 = 0; y0 < out.height; y0 += kBandRows) {
    const int32_t y1 = std::min(y0 + kBandRows, out.height);
    points(y0, y1);
    copyToWork(out, work, y0, y1);
    const int32_t ready = y1 == out.height ? y1 : y1 - 1;
    sharpenRows(out, work, strength, brightness, sharpened, ready, &scratch);
    sharpened = ready;
  }
}

}  // namespace

void processFrameReference(ColorMode mode, FrameBitmaps& bitmaps, ProcessingParameters& params,
                           PipelineHost& host) {
  DibImage& raw = bitmaps.rawFor(mode);
  if (!raw.valid()) {
    return;
  }
  respaceRows(raw);
  const FrameSettings s = readSettings(params, host);
  hostSteps(raw, s, host);
  const ImageView rv = viewOf(raw);
  if (isMono(mode) && s.grayMode == 1) {
    const GrayGains g = grayGainsForFrame(rv, s, params, host);
    if (!grayGainsAreNeutral(g)) {
      grayFilterReference(rv, s.pattern, g);
    }
  } else if (mode == ColorMode::Mono8 && s.grayMode == 2) {
    const ImageView bgr = viewOf(bitmaps.bgr24);
    if (demosaicFormatsMatch(rv, bgr)) {
      demosaicStep(rv, bgr, s, params, host, demosaicReference);
      luminanceFromBgr(bgr, rv);
    }
  }
  mirrorReference(rv, s.softMirrorH, s.softMirrorV);
  const ImageView out = viewOf(bitmaps.outputFor(mode));
  if (!isMono(mode)) {
    demosaicStep(rv, out, s, params, host, demosaicReference);
    if (out.valid() && (s.hue != 0 || s.saturation != 0)) {
      hueSaturation(out, s.hue, s.saturation);
    }
  }
  if (!out.valid()) {
    return;
  }
  if (s.gamma != 100) {
    gammaReference(out, s.gamma);
  }
  if (s.contrast != 0) {
    contrastReference(out, s.contrast);
  }
  const ImageView work = viewOf(bitmaps.work);
  if (s.sharpness != 0 && sameFormat(out, work)) {
    sharpnessReference(out, work, s.sharpness);
  }
  if (s.brightness != 0) {
    brightnessReference(out, s.brightness);
  }
}

void processFrame(ColorMode mode, FrameBitmaps& bitmaps, ProcessingParameters& params,
                  PipelineHost& host) {
  DibImage& raw = bitmaps.rawFor(mode);
  if (!raw.valid()) {
    return;
  }
  respaceRows(raw);
  const FrameSettings s = readSettings(params, host);
  hostSteps(raw, s, host);
  const ImageView rv = viewOf(raw);
  const ImageView out = viewOf(bitmaps.outputFor(mode));
  const ImageView work = viewOf(bitmaps.work);
  const bool sharpen = s.sharpness != 0 && sameFormat(out, work);
  // Gamma, contrast and (unless sharpness comes between) brightness depend on a sample's value
  // only, so they fold into one table; for monochrome that table also absorbs the gray filter
  // and runs before the mirror, which only moves samples about.
  const int32_t tableBrightness = sharpen ? 0 : s.brightness;
  bool pointsDone = false;
  if (isMono(mode)) {
    bool grayOn = false;
    GrayGains g;
    if (s.grayMode == 1) {
      g = grayGainsForFrame(rv, s, params, host);
      grayOn = !grayGainsAreNeutral(g);
    } else if (mode == ColorMode::Mono8 && s.grayMode == 2) {
      const ImageView bgr = viewOf(bitmaps.bgr24);
      if (demosaicFormatsMatch(rv, bgr)) {
        demosaicStep(
            rv, bgr, s, params, host,
            [&](const ImageView& r, const ImageView& o, int32_t pat, int32_t red, int32_t blue) {
              demosaicRows(r, o, pat, red, blue, 0, r.height, &bitmaps.scratch);
            });
        luminanceFromBgr(bgr, rv);
      }
    }
    // With no value step after it, the gray filter runs by its arithmetic, which vectorises.
    const bool grayAlone = grayOn && s.gamma == 100 && s.contrast == 0 && tableBrightness == 0;
    const std::array<SampleTable, 4>* siteTables =
        grayOn && !grayAlone ? &graySiteTables(g, rv.wide(), s.gamma, s.contrast, tableBrightness)
                             : nullptr;
    auto points = [&](int32_t y0, int32_t y1) {
      if (grayAlone) {
        applyGrayRows(rv, s.pattern, g, y0, y1);
      } else if (siteTables != nullptr) {
        applySiteTables(rv, s.pattern, *siteTables, y0, y1);
      } else {
        pointStep(rv, s.gamma, s.contrast, tableBrightness, y0, y1);
      }
    };
    if (sharpen && !s.softMirrorH && !s.softMirrorV) {
      pointsThenSharpenInBands(out, work, s.sharpness, s.brightness, bitmaps.scratch, points);
      return;
    }
    points(0, rv.height);
    pointsDone = true;
  }
  mirrorInPlace(rv, s.softMirrorH, s.softMirrorV);
  if (!isMono(mode)) {
    demosaicStep(
        rv, out, s, params, host,
        [&](const ImageView& r, const ImageView& o, int32_t pat, int32_t red, int32_t blue) {
          demosaicRows(r, o, pat, red, blue, 0, r.height, &bitmaps.scratch);
        });
    if (out.valid() && (s.hue != 0 || s.saturation != 0)) {
      hueSaturation(out, s.hue, s.saturation);
    }
  }
  if (!out.valid()) {
    return;
  }
  if (!pointsDone) {
    pointStep(out, s.gamma, s.contrast, tableBrightness, 0, out.height);
  }
  if (sharpen) {
    copyToWork(out, work, 0, out.height);
    sharpenRows(out, work, s.sharpness, s.brightness, 0, out.height, &bitmaps.scratch);
  }
}

}  // namespace nivexa::imaging
