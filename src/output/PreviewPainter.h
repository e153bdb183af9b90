#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "imaging/DibImage.h"
#include "imaging/ProcessFrame.h"
#include "platform/Window.h"

namespace nivexa::output {

// Destination column x of a scaled picture takes source column
// min(trunc(x * (sourceWidth / clientWidth)), sourceWidth - 1), with single-precision factors.
std::vector<int32_t> scaledColumns(int32_t sourceWidth, int32_t clientWidth);
// The source memory row that destination memory row y of a scaled bitmap takes: the rows are
// turned over, because the display bitmap shows its last memory row at the top.
int32_t scaledSourceRow(int32_t y, float factor, int32_t sourceHeight);

// Fills `display` (its own size and depth, equal to the source's) from `source` by nearest
// neighbour through a column map made by scaledColumns for the display's width.
void scaleNearest(const imaging::DibImage& source, imaging::DibImage& display,
                  std::span<const int32_t> columns);

// The display bitmap of a mode: 8 bits with the gray palette for the monochrome modes, 24 bits
// for the colour modes.
int createDisplayBitmap(imaging::DibImage& display, imaging::ColorMode mode, int32_t width,
                        int32_t height);

// Draws each processed frame into the preview window. Keeps the column map between frames, so
// it is worked out again only when the frame or client width changes.
class PreviewPainter {
 public:
  // Draws the output bitmap of `mode`; where the window shows the frame at another size, through
  // `display`, (re)created at the client size. Reports nothing: a hidden window or an empty
  // client area skips the frame.
  void paint(platform::PreviewWindow& window, imaging::ColorMode mode,
             imaging::FrameBitmaps& bitmaps, imaging::DibImage& display);

 private:
  std::vector<int32_t> columns_;
  int32_t columnsSource_ = 0;
  int32_t columnsClient_ = 0;
};

// What a bitmap looks like to a window.
platform::DibPixels dibPixelsOf(imaging::DibImage& image);

}  // namespace nivexa::output
