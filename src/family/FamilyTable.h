#pragma once

#include <cstdint>
#include <span>
#include <string>

// The camera family in one table: for every USB product ID of the hardware platform, the sensor
// driver it gets, the pixel array, the serial-bus address byte and variant code the factory
// hands that driver, the orientation of its image and the groups of the driver interface it
// implements beyond the base. The sensor factory, the device names of the transport and the
// command-line tool all read this one table, so they cannot disagree.
namespace nivexa::family {

// Groups of driver operations beyond the base.
enum Group : uint32_t {
  kDepth = 1u << 0,        // SetOutputDepth
  kTrigger = 1u << 1,      // SetTriggerMode
  kGain = 1u << 2,         // SetAnalogGain
  kColourGains = 1u << 3,  // the four colour gains
  kMirrorV = 1u << 4,      // SetMirrorV
  kMirrorH = 1u << 5,      // SetMirrorH
  kBlackLevel = 1u << 6,   // SetBlackLevel
  kSeconds = 1u << 7,      // SetExposureSeconds
  kCooling = 1u << 8,      // HasCooling, GetCooling, SetCooling
  kTemperature = 1u << 9,  // HasTemperature, ReadTemperature
  kGainMode = 1u << 10,    // HasGainMode, GetGainMode, SetGainMode
  kCcd = 1u << 11,         // the ten operations of the CCD drivers
  kClockMode = 1u << 12,   // clock/readout mode 0, 1, 2
  kSerialText = 1u << 13,  // text exchange over the camera's serial channel
  kThermistor = 1u << 14,  // thermistor set-point of the cooler
  kFifthParameter = 1u << 15,
  kFpgaDieTemperature = 1u << 16,  // answered by the engine from FPGA registers
  kNoColourFormats = 1u << 17,     // refuses the 24, 48 and 64 bits per pixel output
  kConverter = 1u << 18,           // video converter: three bytes per pixel on the wire
};

inline constexpr int kLineScanHeight = 32768;  // array height that marks a line-scan sensor

struct FamilyRow {
  uint16_t productId;
  const char* driver;
  // A second driver the factory chooses by reading the chip's version register (null: none).
  const char* alternateDriver;
  int32_t arrayWidth;
  int32_t arrayHeight;
  uint8_t deviceAddress;
  int32_t variant;      // 0: the driver takes no variant code
  int32_t orientation;  // 1 normal, 2 horizontal flip, 3 vertical flip, 4 both
  uint32_t groups;
  int32_t fixedDepthBits;  // bits per sample of a chip whose depth cannot be chosen, else 0

  bool has(Group group) const { return (groups & group) != 0; }
  bool lineScan() const { return arrayHeight == kLineScanHeight; }
};

std::span<const FamilyRow> familyTable();
const FamilyRow* findFamilyRow(int productId);

// The names of the groups in `groups`, in the order of the enumeration, separated by spaces.
std::string groupNames(uint32_t groups);

}  // namespace nivexa::family
