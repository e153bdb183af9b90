#pragma once

#include <cstdint>
#include <span>
#include <string>

// The camera family in one table: for every USB product ID of the hardware platform, the sensor
// driver it gets, the pixel array, the serial-bus address byte and variant code the factory
// hands that driver, the orientation of its image and the groups of the driver interface it
// implements beyond the base, and the ways in which the engine treats the product apart from
// the rest. The sensor factory, the engine, the device names of the transport and the
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

// How the engine drives a product where it departs from the common way. These are facts of the
// camera (its FPGA firmware and its driver), not operations of the driver interface.
enum Trait : uint32_t {
  // The driver sets its own output depth before the engine tells the FPGA the new depth.
  kDriverSetsDepth = 1u << 0,
  // The FPGA takes its output size from the sensor: the engine writes no output size to it.
  kFpgaKeepsOutputSize = 1u << 1,
  // The engine writes the readout mode's output format and line offset to the FPGA.
  kWritesOutputFormat = 1u << 2,
  // ... and the full readout at the default height has an output format of its own.
  kDefaultHeightFormat = 1u << 3,
  // The strength of the FPGA's internal pixel correction can be set (0 to 65535).
  kCorrectionLevel = 1u << 4,
  // The FPGA offers internal pixel correction whatever its version word says.
  kInternalCorrection = 1u << 5,
  // Frames come through the alternative streaming interface, not through the FPGA's frame
  // header and payload; the engine writes no FPGA registers of its own.
  kAlternativeStreaming = 1u << 6,
  // Frames carry a time stamp and a header byte the caller can read; the ring has eight slots
  // and the first frame of a free-running capture is dropped.
  kStampedFrames = 1u << 7,
  // Frames are fetched one command each instead of streamed.
  kStreamsByCommand = 1u << 8,
  // A failed frame read also resets the bulk pipe.
  kResetsPipeOnFailure = 1u << 9,
  // A stream restart leaves the sensor's frame running (no frame restart through the FPGA).
  kKeepsFrameOnStreamRestart = 1u << 10,
  // The FPGA needs time to settle after a stream reset.
  kSettlesAfterStreamReset = 1u << 11,
  // An exposure time takes effect between frames: the capture thread hands it to the driver.
  kExposureBetweenFrames = 1u << 12,
};

// The USB vendor ID every product of the family reports.
inline constexpr uint16_t kUsbVendorId = 0x04B4;

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
  uint32_t traits;

  bool has(Group group) const { return (groups & group) != 0; }
  bool has(Trait trait) const { return (traits & trait) != 0; }
  bool lineScan() const { return arrayHeight == kLineScanHeight; }
};

std::span<const FamilyRow> familyTable();
const FamilyRow* findFamilyRow(int productId);

// The names of the groups in `groups`, in the order of the enumeration, separated by spaces.
std::string groupNames(uint32_t groups);

}  // namespace nivexa::family
