#include "platform/ResourceUse.h"

#include <windows.h>
// windows.h first: the helper headers below use its types.
#include <psapi.h>

#include "platform/Process.h"

namespace nivexa::platform {

namespace {

// Views of mapped files and sections, counted once per allocation as a Linux maps line is.
size_t mappedViews() {
  size_t count = 0;
  const void* lastBase = nullptr;
  MEMORY_BASIC_INFORMATION region{};
  for (const auto* address = static_cast<const char*>(nullptr);
       VirtualQuery(address, &region, sizeof region) == sizeof region;
       address = static_cast<const char*>(region.BaseAddress) + region.RegionSize) {
    if (region.Type == MEM_MAPPED && region.AllocationBase != lastBase) {
      lastBase = region.AllocationBase;
      ++count;
    }
  }
  return count;
}

}  // namespace

ResourceUse currentResourceUse() {
  ResourceUse use;
  DWORD handles = 0;
  if (GetProcessHandleCount(GetCurrentProcess(), &handles)) {
    use.openHandles = handles;
  }
  use.threads = threadCount();
  use.mappings = mappedViews();
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  // The kernel32 entry point, so the library needs no psapi import.
  if (K32GetProcessMemoryInfo(GetCurrentProcess(),
                              reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory), sizeof memory)) {
    use.residentBytes = memory.WorkingSetSize;
    use.committedBytes = memory.PrivateUsage;
  }
  return use;
}

}  // namespace nivexa::platform
