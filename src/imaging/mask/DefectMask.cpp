#include "imaging/mask/DefectMask.h"

#include <cstring>
#include <memory>
#include <new>

#include "NivexaSdk.h"
#include "imaging/mask/MaskFile.h"
#include "platform/ByteOrder.h"
#include "platform/FileIO.h"

namespace nivexa::imaging::mask {
namespace {

// The levels are part of the public interface, which documents them.
constexpr int32_t kHot8 = NIVEXA_MASK_HOT_LEVEL_8;
constexpr int32_t kHot16 = NIVEXA_MASK_HOT_LEVEL_16;
constexpr int32_t kDead8 = NIVEXA_MASK_DEAD_LEVEL_8;
constexpr int32_t kDead16 = NIVEXA_MASK_DEAD_LEVEL_16;
constexpr int32_t kBorder = NIVEXA_MASK_BORDER;
constexpr uint16_t kWhite16 = 4095;

void fill16(DibImage& image, uint16_t value) {
  for (int32_t y = 0; y < image.height(); ++y) {
    const std::span<uint8_t> row(image.row(y), static_cast<size_t>(image.stride()));
    for (int32_t x = 0; x < image.width(); ++x) {
      platform::storeLe16(row, 2 * static_cast<size_t>(x), value);
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
  for (int32_t y = kBorder; y < reference.height() - kBorder; ++y) {
    const uint8_t* in = reference.row(y);
    uint8_t* out = map.row(y);
    for (int32_t x = kBorder; x < reference.width() - kBorder; ++x) {
      const int32_t v = wide ? platform::loadLe16({in + 2 * x, sizeof(uint16_t)}, 0) : in[x];
      const bool marked = dark ? v > level : v < level;
      if (wide) {
        out[2 * x] = marked ? 1 : 0;
      } else {
        out[x] = marked ? 1 : 0;
      }
    }
  }
}

int DefectMask::Create(MaskSize size) {
  const int32_t w = size.width;
  const int32_t h = size.height;
  if (!dark8_.Create(w, h, 8) || !white8_.Create(w, h, 8) || !dark16_.Create(w, h, 16) ||
      !white16_.Create(w, h, 16) || !hot8_.Create(w, h, 8) || !dead8_.Create(w, h, 8) ||
      !hot16_.Create(w, h, 16) || !dead16_.Create(w, h, 16) || !work8_.Create(w, h, 8) ||
      !work16_.Create(w, h, 16)) {
    return 0;
  }
  std::memset(white8_.bits(), 255, white8_.imageBytes());
  fill16(white16_, kWhite16);
  return 1;
}

std::unique_ptr<MaskFileContent> readMaskFile(const char* path, MaskSize size) {
  platform::InputFile file;
  if (!file.open(path)) {
    return nullptr;
  }
  // Everything is checked before anything is allocated or read past the header: the file may
  // come from anywhere. Only what the header announces is read; anything after it is not ours.
  std::array<uint8_t, kHeaderBytes> headerBytes{};
  const uint64_t expectedBytes = maskFileBytes(maskHeaderFor(size));
  const auto fileBytes = file.size();
  if (!fileBytes || *fileBytes < expectedBytes || !file.readExact(headerBytes)) {
    return nullptr;
  }
  const auto header = decodeMaskHeader(headerBytes);
  if (!header || !isAcceptedMaskHeader(*header, size)) {
    return nullptr;
  }
  auto content = std::make_unique<MaskFileContent>();
  constexpr std::array<uint16_t, 4> kDepths = {8, 8, 16, 16};
  constexpr std::array<MaskKind, 4> kKinds = {MaskKind::Dark, MaskKind::White, MaskKind::Dark,
                                              MaskKind::White};
  for (size_t i = 0; i < content->references.size(); ++i) {
    DibImage& reference = content->references[i];
    DibImage& map = content->maps[i];
    if (!reference.Create(size.width, size.height, kDepths[i]) ||
        !map.Create(size.width, size.height, kDepths[i]) ||
        reference.imageBytes() != header->imageBytes[i] || !file.readExact(reference.pixels())) {
      return nullptr;
    }
    buildDefectMap(reference, kKinds[i], map);
  }
  return content;
}

bool DefectMask::Load(const char* path) {
  if (!valid()) {
    return false;
  }
  const auto content = readMaskFile(path, size());
  return content && Adopt(*content);
}

bool DefectMask::Adopt(MaskFileContent& content) {
  // Whole images are swapped, never copied into: a file cut short never got this far, so the
  // references are never half old and half new.
  if (!valid() || content.references[0].width() != dark8_.width() ||
      content.references[0].height() != dark8_.height()) {
    return false;
  }
  DibImage* const references[] = {&dark8_, &white8_, &dark16_, &white16_};
  DibImage* const maps[] = {&hot8_, &dead8_, &hot16_, &dead16_};
  for (size_t i = 0; i < content.references.size(); ++i) {
    references[i]->swap(content.references[i]);
    maps[i]->swap(content.maps[i]);
  }
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
  if (!valid() || !raw.valid() || raw.width() != dark8_.width() ||
      raw.height() != dark8_.height()) {
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
