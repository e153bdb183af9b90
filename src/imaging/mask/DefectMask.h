#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "imaging/DibImage.h"
#include "imaging/mask/DotFilter.h"
#include "imaging/mask/MaskFile.h"
#include "imaging/mask/MaskFilter.h"

namespace nivexa::imaging::mask {

enum class MaskKind : int32_t { Dark = 0, White = 1 };

// The four references of a mask file and the defect maps built from them, read apart from any
// mask so that no lock needs to be held while a file is read.
struct MaskFileContent {
  std::array<DibImage, 4> references;  // dark 8, white 8, dark 16, white 16
  std::array<DibImage, 4> maps;        // hot 8, dead 8, hot 16, dead 16
};

// Reads a mask file of a sensor of `size`. Null when it cannot be opened, is not a regular file,
// its header is not the one written for that sensor, or it is shorter than the header announces
// (bytes after that are not read).
std::unique_ptr<MaskFileContent> readMaskFile(const char* path, MaskSize size);

// The dark and white references of the whole sensor at 8 and 16 bits, the defect maps built
// from them, and the work maps of the dot filter. Not locked itself: the camera object holds its
// mask lock (after the image lock) around every call.
class DefectMask {
 public:
  // Creates the four references (dark 0, white full scale) and six zeroed maps of a sensor of
  // `size`, replacing any earlier ones. Returns 0 when a bitmap cannot be made.
  int Create(MaskSize size);
  bool valid() const { return dark8_.valid(); }
  // The sensor the references cover; zero before Create.
  MaskSize size() const { return {dark8_.width(), dark8_.height()}; }

  // Replaces all four references from a mask file of this mask's size. Returns false, changing
  // nothing, when readMaskFile() refuses the file.
  bool Load(const char* path);
  // Swaps in what readMaskFile() read; `content` is left with the previous references. False,
  // changing nothing, when this mask was never created or the content is of another size.
  bool Adopt(MaskFileContent& content);
  // Writes the four references; a failure leaves any existing file under that name intact.
  bool Save(const char* path) const;
  // Copies a full-sensor raw frame (8 or 16 bits) into the reference of that kind and depth and
  // rebuilds its defect map. A frame of another size or depth copies nothing.
  void Update(const DibImage& raw, MaskKind kind);

  void ApplyMaskFilter(DibImage& raw, const SensorWindow& window) const;
  void ApplyDotFilter(DibImage& raw, const SensorWindow& window, int32_t threshold);

  const DibImage& dark8() const { return dark8_; }
  const DibImage& white8() const { return white8_; }
  const DibImage& dark16() const { return dark16_; }
  const DibImage& white16() const { return white16_; }
  const DibImage& hot8() const { return hot8_; }
  const DibImage& dead8() const { return dead8_; }
  const DibImage& hot16() const { return hot16_; }
  const DibImage& dead16() const { return dead16_; }

 private:
  DibImage dark8_, white8_, dark16_, white16_;
  DibImage hot8_, dead8_, hot16_, dead16_, work8_, work16_;
  DotFilter dotFilter_;
};

// Marks, inside the border, the pixels of a dark reference above the hot level or of a white
// reference below the dead level (levels and border as NivexaSdk.h names them); everything else 0.
void buildDefectMap(const DibImage& reference, MaskKind kind, DibImage& map);

}  // namespace nivexa::imaging::mask
