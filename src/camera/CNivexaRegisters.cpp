#include "camera/CNivexa.h"
#include "camera/OkFlag.h"

namespace nivexa::camera {

namespace {

constexpr uint32_t kFpgaAddressMask = 0xFFu;
constexpr uint32_t kFpgaValueMask = 0xFFFFu;
// The user area of the camera's memory; the bits above it would reach the serial number.
constexpr uint32_t kSromWriteAddressMask = 0x0FFFu;
constexpr uint32_t kSromReadClearedBits = 0xF000u;
constexpr int kSromReadBackAttempts = 10;

}  // namespace

// A successful read also sets *ok: a caller that declared ok without a value must never read
// garbage as "failed" or, worse, as "succeeded" after a failure elsewhere.
template <typename Read>
int32_t CNivexa::ReadRegisterThroughEngine(BOOL* ok, Read read) {
  if (!RequireEngine()) {
    setOk(ok, 0);
    return 0;
  }
  std::lock_guard command(commandLock_);
  int done = 0;
  const int value = read(&done);
  if (done == 0) {
    RecordError(NIVEXA_ERR_REGISTER);
    setOk(ok, 0);
    return 0;
  }
  setOk(ok, 1);
  return value;
}

int32_t CNivexa::FpgaReadRegister(int32_t address, BOOL* ok) {
  return ReadRegisterThroughEngine(ok, [&](int* done) {
    return engine_->ReadFpgaRegister(
        static_cast<int>(static_cast<uint32_t>(address) & kFpgaAddressMask), done);
  });
}

template <typename Write>
int CNivexa::WriteRegisterThroughEngine(Write write) {
  if (!RequireEngine()) {
    return 0;
  }
  std::lock_guard command(commandLock_);
  if (write() == 0) {
    RecordError(NIVEXA_ERR_REGISTER);
    return 0;
  }
  return 1;
}

int CNivexa::FpgaWriteRegister(int32_t address, int32_t value) {
  return WriteRegisterThroughEngine([&] {
    return engine_->WriteFpgaRegister(
        static_cast<int>(static_cast<uint32_t>(address) & kFpgaAddressMask),
        static_cast<int>(static_cast<uint32_t>(value) & kFpgaValueMask));
  });
}

int32_t CNivexa::ReadSensorRegister(uint32_t address, BOOL* ok) {
  return ReadRegisterThroughEngine(
      ok, [&](int* done) { return engine_->ReadSensorRegisterRaw(address, done); });
}

int CNivexa::WriteSensorRegister(uint32_t address, uint32_t value) {
  return WriteRegisterThroughEngine(
      [&] { return engine_->WriteSensorRegisterRaw(address, value); });
}

// The device-memory functions only post their refusal; applications poll them in loops and
// must not fill their error stack.
int32_t CNivexa::ReadSromID(int32_t address, BOOL* ok) {
  if (!engine_) {
    setOk(ok, 0);
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  std::lock_guard command(commandLock_);
  // The memory takes 16-bit addresses: with bits 12 to 15 cleared, every address lands in the
  // user area.
  const auto cleared = static_cast<uint32_t>(address) & ~kSromReadClearedBits;
  uint8_t byte = 0;
  if (engine_->ReadEepromByte(static_cast<uint16_t>(cleared), byte) == 0) {
    setOk(ok, 0);
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  setOk(ok, 1);
  return byte;
}

// The memory may take a write without keeping it (a page still programming): the byte is read
// back and written again until it holds. Success means the first write was taken.
int CNivexa::WriteSromID(int32_t address, int32_t value) {
  if (!engine_) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  std::lock_guard command(commandLock_);
  const auto where = static_cast<uint16_t>(static_cast<uint32_t>(address) & kSromWriteAddressMask);
  const auto byte = static_cast<uint8_t>(static_cast<uint32_t>(value) & 0xFFu);
  if (engine_->WriteEepromByte(where, byte) == 0) {
    PostError(NIVEXA_ERR_NO_CAMERA);
    return 0;
  }
  for (int attempt = 0; attempt < kSromReadBackAttempts; ++attempt) {
    uint8_t readBack = 0;
    if (engine_->ReadEepromByte(where, readBack) == 0) {
      readBack = 0;
      PostError(NIVEXA_ERR_NO_CAMERA);
    }
    if (readBack == byte) {
      break;
    }
    engine_->WriteEepromByte(where, byte);
  }
  return 1;
}

}  // namespace nivexa::camera
