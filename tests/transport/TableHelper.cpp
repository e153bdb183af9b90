// A second process for the device-table tests. Constructs one controller, and writes what it
// sees of the shared table to the report file without scanning. With a hold file named, it
// keeps its controller alive until that file appears.
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "transport/CVelCy3Cam.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    return 2;
  }
  const std::filesystem::path report = argv[1];
  nivexa::transport::CVelCy3Cam cam;
  {
    std::ofstream out(report.string() + ".tmp");
    out << cam.DeviceCount() << '\n';
    for (int i = 0; i < cam.DeviceCount(); ++i) {
      out << std::hex << cam.ProductIdAt(i) << std::dec << ' ' << cam.InstanceAt(i) << '\n';
    }
  }
  std::filesystem::rename(report.string() + ".tmp", report);
  if (argc >= 3) {
    const std::filesystem::path release = argv[2];
    for (int i = 0; i < 3000 && !std::filesystem::exists(release); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  return 0;
}
