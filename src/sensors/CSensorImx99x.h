#pragma once

#include <optional>

#include "sensors/CSensorBase.h"
#include "sensors/SwirChipTable.h"

namespace nivexa::sensors {

// What the four IMX99x SWIR drivers share; each concrete class adds only its chip's table and
// the sequences in which it differs.
class CSensorImx99x : public CSensorBase {
 public:
  CSensorImx99x(transport::CControllerBase* controller, uint8_t deviceAddress,
                const SwirChipTable& chip);
  ~CSensorImx99x() override;  // 0

  int SetVariant(int code) override;                                                  // 1
  int PreInitCheck() override { return 1; }                                           // 4
  int SetReadoutWindow(int x, int width, int y, int height, int mode) override;       // 8
  int GetReadoutWindow(int* x, int* width, int* y, int* height, int* mode) override;  // 9
  int GetTriggerMode() override { return modeWord_; }                                 // 11
  int SetOutputDepth(int sixteenBit) override;                                        // 15
  int SetExposureLines(int lines) override;                                           // 16
  int GetExposureLines() override { return info_.linesCurrent; }                      // 17
  int SetAnalogGain(int code) override;                                               // 18
  int GetAnalogGain() override { return info_.gainCurrent; }                          // 19
  int GetExposureLinesMin() override { return info_.linesMin; }                       // 28
  int GetExposureLinesMax() override { return info_.linesMax; }                       // 29
  int GetExposureLinesDefault() override { return info_.linesDefault; }               // 30
  int GetAnalogGainMin() override { return info_.gainMin; }                           // 31
  int GetAnalogGainMax() override { return info_.gainMax; }                           // 32
  int GetAnalogGainDefault() override { return info_.gainDefault; }                   // 33
  int GetColourGainMin() override { return info_.colourGainMin; }                     // 34
  int GetColourGainMax() override { return info_.colourGainMax; }                     // 35
  int GetColourGainDefault() override { return info_.colourGainDefault; }             // 36
  int SetExposureTicks(int ticks) override;                                           // 64
  int GetExposureTicks() override { return info_.ticksCurrent; }                      // 65
  int GetExposureTicksMin() override { return info_.ticksMin; }                       // 66
  int GetExposureTicksMax() override { return info_.ticksMax; }                       // 67
  int GetExposureTicksDefault() override { return info_.ticksDefault; }               // 68
  int SetMirrorV(int on) override;                                                    // 69
  int GetMirrorV() override { return info_.mirrorVCurrent; }                          // 70
  int SetMirrorH(int on) override;                                                    // 71
  int GetMirrorH() override { return info_.mirrorHCurrent; }                          // 72
  int WriteSensorRegisterRaw(uint16_t address, uint8_t value) override;               // 78
  int ReadSensorRegisterRaw(uint16_t address, uint8_t* value) override;               // 79
  int WriteSensorRegister(uint16_t address, uint8_t value) override;                  // 80
  int ReadSensorRegister(uint16_t address, uint8_t* value) override;                  // 81
  int InternalCorrectionCapability() override;                                        // 95
  int HasCooling() override;                                                          // 98
  int GetCooling(int* on) override;                                                   // 99
  int SetCooling(int on) override;                                                    // 100
  int HasTemperature() override { return 1; }                                         // 101
  int ReadTemperature(double* celsius) override;                                      // 102
  int SetExposureSeconds(double seconds) override;                                    // 124
  int HasGainMode() override;                                                         // 130
  int GetGainMode() override;                                                         // 131
  int SetGainMode(int mode) override;                                                 // 132
  int AcceptsColourFormats() override { return 0; }                                   // 138

  // Sensor line time in microseconds at the current line length.
  double lineTimeUs() const;
  // Keeps the frame period other threads read in step with the line and frame length just
  // programmed: a depth or window change alters the line time without a new exposure.
  void notePeriod();

 protected:
  // Microseconds of exposure to sensor lines; 0 when the line time is unknown.
  virtual int64_t microsecondsToLines(int64_t microseconds);
  // The shutter and frame-length programming shared by IMX992 and IMX993.
  int ProgramExposureLines(int64_t lines);
  int WriteFrameLengthOrdered(int64_t frameLength, uint32_t pauseMs);
  int Write16(uint16_t lowAddress, uint16_t highAddress, int value, uint8_t highMask);
  int writeMirror(int vertical, int horizontal);
  // Trigger-mode changes of IMX992 and IMX993. A camera already free-running needs nothing when
  // asked to free-run; frame restarts are off while the mode is being changed.
  bool alreadyFreeRunning(int mode);
  // The sensor side of entering trigger mode, with the FPGA's exposure copies bracketed first.
  void armSensorTrigger(bool sameMode);

  const SwirChipTable& chip_;
  // Output depth seen by the previous window change; a change of depth needs standby. It is
  // remembered per driver object, not shared by all drivers of the class in the process: with
  // two cameras open, one camera's depth change would otherwise decide whether the other one's
  // sensor enters standby, and a camera could change its wire format outside standby.
  std::optional<int> windowDepth_;
};

}  // namespace nivexa::sensors
