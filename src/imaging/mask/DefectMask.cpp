#include "imaging/mask/DefectMask.h"

#include <cstring>
#include <memory>
#include <new>

#include "imaging/mask/MaskFile.h"
#include "platform/FileIO.h"

namespace nivexa::imaging::mask {
namespace {

constexpr int32_t kHot8 = 192;
constexpr int32_t kHot16 = 3072;
constexpr int32_t kDead8 = 64;
constexpr int32_t kDead16 = 1024;
constexpr uint16_t kWhite16 = 4095;

void fill16(DibImage& image, uint16_t value) {
  for (int32_t y = 0; y < image.height(); ++y) {
    uint8_t* row = image.row(y);
    for (int32_t x = 0; x < image.width(); ++x) {
      row[2 * x] = static_cast<uint8_t>(value);
      row[2 * x + 1] = static_cast<uint8_t>(value >> 8);
    }
  }
}

}  // namespace

void buildDefectMap(const DibImage& reference, MaskKind kind, DibImage& map) {
  if (!reference.valid() || !map.valid() || map.bitsPerPixel() != reference.bitsPerPixel() ||
      map.width() != reference.width() || map.height() != reference.height()) {
    return;
  }
  const bool wide = reference.bitsPerPixel() == 16;
  const bool dark = kind == MaskKind::Dark;
  const int32_t level = dark ? (wide ? kHot16 : kHot8) : (wide ? kDead16 : kDead8);
  std::memset(map.bits(), 0, map.imageBytes());
  for (int32_t y = 2; y <= reference.height() - 3; ++y) {
    const uint8_t* in = reference.row(y);
    uint8_t* out = map.row(y);
    for (int32_t x = 2; x <= reference.width() - 3; ++x) {
      const int32_t v = wide ? (in[2 * x] | in[2 * x + 1] << 8) : in[x];
      const bool marked = dark ? v > level : v < level;
      if (wide) {
        out[2 * x] = marked ? 1 : 0;
      } else {
        out[x] = marked ? 1 : 0;
      }
    }
  }
}

int DefectMask::Create() {
  if (!dark8_.Create(kMaskWidth, kMaskHeight, 8) || !white8_.Create(kMaskWidth, kMaskHeight, 8) ||
      !dark16_.Create(kMaskWidth, kMaskHeight, 16) ||
      !white16_.Create(kMaskWidth, kMaskHeight, 16) || !hot8_.Create(kMaskWidth, kMaskHeight, 8) ||
      !dead8_.Create(kMaskWidth, kMaskHeight, 8) || !hot16_.Create(kMaskWidth, kMaskHeight, 16) ||
      !dead16_.Create(kMaskWidth, kMaskHeight, 16) || !work8_.Create(kMaskWidth, kMaskHeight, 8) ||
      !work16_.Create(kMaskWidth, kMaskHeight, 16)) {
    return 0;
  }
  std::memset(white8_.bits(), 255, white8_.imageBytes());
  fill16(white16_, kWhite16);
  return 1;
}

bool DefectMask::Load(const char* path) {
  if (!valid()) {
    return false;
  }
  platform::InputFile file;
  if (!file.open(path)) {
    return false;
  }
  // Everything is checked before anything is allocated or read past the header: the file may
  // come from anywhere.
  const auto size = file.size();
  std::array<uint8_t, kHeaderBytes> headerBytes{};
  if (!size || *size != kFileBytes || !file.readExact(headerBytes)) {
    return false;
  }
  const auto header = decodeMaskHeader(headerBytes);
  if (!header || !isAcceptedMaskHeader(*header)) {
    return false;
  }
  // Read into fresh images and swap them in only when the whole file has arrived, so a file cut
  // short never leaves references half old and half new.
  DibImage fresh[4];
  const uint16_t depths[4] = {8, 8, 16, 16};
  for (int i = 0; i < 4; ++i) {
    if (!fresh[i].Create(kMaskWidth, kMaskHeight, depths[i]) ||
        fresh[i].imageBytes() != header->imageBytes[static_cast<size_t>(i)] ||
        !file.readExact(fresh[i].pixels())) {
      return false;
    }
  }
  dark8_.swap(fresh[0]);
  white8_.swap(fresh[1]);
  dark16_.swap(fresh[2]);
  white16_.swap(fresh[3]);
  buildDefectMap(dark8_, MaskKind::Dark, hot8_);
  buildDefectMap(white8_, MaskKind::White, dead8_);
  buildDefectMap(dark16_, MaskKind::Dark, hot16_);
  buildDefectMap(white16_, MaskKind::White, dead16_);
  return true;
}

bool DefectMask::Save(const char* path) const {
  if (!valid()) {
    return false;
  }
  MaskFileHeader header;
  header.width = static_cast<uint32_t>(dark8_.width());
  header.height = static_cast<uint32_t>(dark8_.height());
  header.imageBytes = {
      static_cast<uint32_t>(dark8_.imageBytes()), static_cast<uint32_t>(white8_.imageBytes()),
      static_cast<uint32_t>(dark16_.imageBytes()), static_cast<uint32_t>(white16_.imageBytes())};
  platform::AtomicFileWriter out;
  return out.open(path) && out.write(encodeMaskHeader(header)) && out.write(dark8_.pixels()) &&
         out.write(white8_.pixels()) && out.write(dark16_.pixels()) &&
         out.write(white16_.pixels()) && out.commit();
}

void DefectMask::Update(const DibImage& raw, MaskKind kind) {
  if (!valid() || !raw.valid() || raw.width() != kMaskWidth || raw.height() != kMaskHeight) {
    return;
  }
  const bool dark = kind == MaskKind::Dark;
  DibImage* target = nullptr;
  DibImage* map = nullptr;
  if (raw.bitsPerPixel() == 8) {
    target = dark ? &dark8_ : &white8_;
    map = dark ? &hot8_ : &dead8_;
  } else if (raw.bitsPerPixel() == 16) {
    target = dark ? &dark16_ : &white16_;
    map = dark ? &hot16_ : &dead16_;
  } else {
    return;
  }
  std::memcpy(target->bits(), raw.bits(), target->imageBytes());
  buildDefectMap(*target, kind, *map);
}

void DefectMask::ApplyMaskFilter(DibImage& raw, const SensorWindow& window) const {
  if (raw.bitsPerPixel() == 8) {
    maskFilter(raw, dark8_, white8_, window);
  } else if (raw.bitsPerPixel() == 16) {
    maskFilter(raw, dark16_, white16_, window);
  }
}

void DefectMask::ApplyDotFilter(DibImage& raw, const SensorWindow& window, int32_t threshold) {
  if (raw.bitsPerPixel() == 8) {
    dotFilter_.apply(raw, hot8_, dead8_, work8_, window, threshold);
  } else if (raw.bitsPerPixel() == 16) {
    dotFilter_.apply(raw, hot16_, dead16_, work16_, window, threshold);
  }
}

}  // namespace nivexa::imaging::mask
