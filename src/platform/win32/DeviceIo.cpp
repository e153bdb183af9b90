#include "platform/DeviceIo.h"

#include <windows.h>

// Needs the types of <windows.h> before it.
#include <setupapi.h>

#include <mutex>

#include "platform/win32/Guid.h"

namespace nivexa::platform {

namespace {

class Win32PendingIo : public PendingIo {
 public:
  Win32PendingIo() { overlapped_.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr); }
  ~Win32PendingIo() override {
    std::lock_guard lock(mutex_);
    if (wait_ != nullptr) {
      // Blocks until a callback in progress has returned, so it never runs on a dead object.
      UnregisterWaitEx(wait_, INVALID_HANDLE_VALUE);
    }
    if (overlapped_.hEvent != nullptr) {
      CloseHandle(overlapped_.hEvent);
    }
  }

  bool valid() const { return overlapped_.hEvent != nullptr; }
  OVERLAPPED* overlapped() { return &overlapped_; }

  bool notifyWhenDone(std::function<void()> done) override {
    std::lock_guard lock(mutex_);
    done_ = std::move(done);
    return RegisterWaitForSingleObject(&wait_, overlapped_.hEvent, &Win32PendingIo::signalled, this,
                                       INFINITE, WT_EXECUTEONLYONCE) != 0;
  }

 private:
  static void CALLBACK signalled(void* self, BOOLEAN) {
    static_cast<Win32PendingIo*>(self)->done_();
  }

  OVERLAPPED overlapped_{};
  std::mutex mutex_;
  HANDLE wait_ = nullptr;
  std::function<void()> done_;
};

DeviceIoOutcome lastError() {
  return {false, 0, static_cast<uint32_t>(GetLastError())};
}

class Win32DeviceIo : public DeviceIo {
 public:
  std::vector<std::string> interfacePaths(const std::array<uint8_t, 16>& classGuid) override {
    std::vector<std::string> paths;
    const GUID guid = win32::toGuid(classGuid);
    HDEVINFO set =
        SetupDiGetClassDevsA(&guid, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (set == INVALID_HANDLE_VALUE) {
      return paths;
    }
    SP_DEVICE_INTERFACE_DATA item{};
    item.cbSize = sizeof item;
    for (DWORD index = 0; SetupDiEnumDeviceInterfaces(set, nullptr, &guid, index, &item); ++index) {
      DWORD needed = 0;
      SetupDiGetDeviceInterfaceDetailA(set, &item, nullptr, 0, &needed, nullptr);
      if (needed < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A)) {
        continue;
      }
      // The detail record is a size field followed by the path; its cbSize is the fixed part.
      std::vector<DWORD> storage(needed / sizeof(DWORD) + 1);
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
      if (SetupDiGetDeviceInterfaceDetailA(set, &item, detail, needed, nullptr, nullptr)) {
        paths.emplace_back(detail->DevicePath);
      }
    }
    SetupDiDestroyDeviceInfoList(set);
    return paths;
  }

  Handle createFile(const std::string& path, bool overlapped) override {
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, overlapped ? FILE_FLAG_OVERLAPPED : 0, nullptr);
    return file == INVALID_HANDLE_VALUE ? kInvalidHandle : reinterpret_cast<Handle>(file);
  }

  void closeHandle(Handle handle) override {
    if (handle != kInvalidHandle) {
      CloseHandle(reinterpret_cast<HANDLE>(handle));
    }
  }

  std::unique_ptr<PendingIo> newPendingIo() override {
    auto pending = std::make_unique<Win32PendingIo>();
    return pending->valid() ? std::move(pending) : nullptr;
  }

  DeviceIoOutcome deviceIoControl(Handle handle, uint32_t code, std::span<uint8_t> in,
                                  std::span<uint8_t> out, PendingIo* pending) override {
    OVERLAPPED* overlapped =
        pending != nullptr ? static_cast<Win32PendingIo*>(pending)->overlapped() : nullptr;
    DWORD returned = 0;
    if (!DeviceIoControl(reinterpret_cast<HANDLE>(handle), code, in.empty() ? nullptr : in.data(),
                         static_cast<DWORD>(in.size()), out.empty() ? nullptr : out.data(),
                         static_cast<DWORD>(out.size()), &returned, overlapped)) {
      return lastError();
    }
    return {true, returned, 0};
  }

  DeviceIoOutcome getOverlappedResult(Handle handle, PendingIo& pending, bool wait) override {
    DWORD transferred = 0;
    if (!GetOverlappedResult(reinterpret_cast<HANDLE>(handle),
                             static_cast<Win32PendingIo&>(pending).overlapped(), &transferred,
                             wait ? TRUE : FALSE)) {
      DeviceIoOutcome failed = lastError();
      failed.bytes = transferred;
      return failed;
    }
    return {true, transferred, 0};
  }
};

}  // namespace

std::shared_ptr<DeviceIo> systemDeviceIo() {
  static const auto calls = std::make_shared<Win32DeviceIo>();
  return calls;
}

}  // namespace nivexa::platform
