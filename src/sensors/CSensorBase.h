#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#include "platform/CriticalSection.h"
#include "sensors/SensorInfo.h"
#include "transport/CControllerBase.h"

namespace nivexa::sensors {

// Abstract driver of the image sensor behind the camera's FPGA. Every operation has a harmless
// default so that the engine can call any of them on any driver and read 0 as "not supported".
// The virtual operations are declared in their fixed slot order. FrameWidthFactor answers 2
// when every frame line carries twice the output width (the engine then sizes its buffers
// twice as wide); SetFpgaControlFlag sets bit 1 of the FPGA's control register 164, which no
// driver of the family needs.
class CSensorBase {
 public:
  CSensorBase(transport::CControllerBase* controller, uint8_t deviceAddress);
  CSensorBase(const CSensorBase&) = delete;
  CSensorBase& operator=(const CSensorBase&) = delete;

  virtual ~CSensorBase();                                       // 0
  virtual int SetVariant(int code);                             // 1
  virtual void SetModeWord(int32_t word) { modeWord_ = word; }  // 2
  virtual int32_t GetModeWord() { return modeWord_; }           // 3
  virtual int PreInitCheck() { return 0; }                      // 4
  virtual int ApplyDefaults() { return 0; }                     // 5
  virtual int HardwareHandshake() { return 0; }                 // 6
  virtual int SetFpgaControlFlag() { return 0; }                // 7
  virtual int SetReadoutWindow(int /*x*/, int /*width*/, int /*y*/, int /*height*/, int /*mode*/) {
    return 0;
  }  // 8
  virtual int GetReadoutWindow(int* /*x*/, int* /*width*/, int* /*y*/, int* /*height*/,
                               int* /*mode*/) {
    return 0;
  }                                                                        // 9
  virtual int SetTriggerMode(int /*mode*/) { return 0; }                   // 10
  virtual int GetTriggerMode() { return 0; }                               // 11
  virtual int StoreValue(int /*value*/) { return 0; }                      // 12
  virtual int FpgaStartupSequence() { return 0; }                          // 13
  virtual int FpgaVersionAbove4() { return 0; }                            // 14
  virtual int SetOutputDepth(int /*sixteenBit*/) { return 0; }             // 15
  virtual int SetExposureLines(int /*lines*/) { return 0; }                // 16
  virtual int GetExposureLines() { return 0; }                             // 17
  virtual int SetAnalogGain(int /*code*/) { return 0; }                    // 18
  virtual int GetAnalogGain() { return 0; }                                // 19
  virtual int SetColourGainRed(int /*value*/) { return 0; }                // 20
  virtual int GetColourGainRed() { return 0; }                             // 21
  virtual int SetColourGainGreen1(int /*value*/) { return 0; }             // 22
  virtual int GetColourGainGreen1() { return 0; }                          // 23
  virtual int SetColourGainGreen2(int /*value*/) { return 0; }             // 24
  virtual int GetColourGainGreen2() { return 0; }                          // 25
  virtual int SetColourGainBlue(int /*value*/) { return 0; }               // 26
  virtual int GetColourGainBlue() { return 0; }                            // 27
  virtual int GetExposureLinesMin() { return 0; }                          // 28
  virtual int GetExposureLinesMax() { return 0; }                          // 29
  virtual int GetExposureLinesDefault() { return 0; }                      // 30
  virtual int GetAnalogGainMin() { return 0; }                             // 31
  virtual int GetAnalogGainMax() { return 0; }                             // 32
  virtual int GetAnalogGainDefault() { return 0; }                         // 33
  virtual int GetColourGainMin() { return 0; }                             // 34
  virtual int GetColourGainMax() { return 0; }                             // 35
  virtual int GetColourGainDefault() { return 0; }                         // 36
  virtual int CcdOperation37(int /*value*/) { return 0; }                  // 37
  virtual int CcdOperation38(int /*value*/) { return 0; }                  // 38
  virtual int CcdOperation39(int /*value*/) { return 0; }                  // 39
  virtual int CcdOperation40(int /*value*/) { return 0; }                  // 40
  virtual int CcdOperation41(int /*value*/) { return 0; }                  // 41
  virtual int CcdOperation42(int /*value*/) { return 0; }                  // 42
  virtual int CcdOperation43(int /*value*/) { return 0; }                  // 43
  virtual int CcdOperation44(int /*value*/) { return 0; }                  // 44
  virtual int CcdOperation45(int /*value*/) { return 0; }                  // 45
  virtual int CcdOperation46(int /*value*/) { return 0; }                  // 46
  virtual int BlackLevelSupported() { return info_.blackLevelSupported; }  // 47
  virtual int SetBlackLevel(int /*value*/) { return 0; }                   // 48
  virtual int GetBlackLevel(int* value);                                   // 49
  virtual int GetBlackLevelMin(int* value);                                // 50
  virtual int GetBlackLevelMax(int* value);                                // 51
  virtual int GetBlackLevelDefault(int* value);                            // 52
  virtual int FeatureSwitchSupported() { return info_.featureSupported; }  // 53
  virtual int SetFeatureSwitch(int /*on*/) { return 0; }                   // 54
  virtual int GetFeatureSwitch(int* on);                                   // 55
  virtual int FifthParameterSupported() { return info_.fifthSupported; }   // 56
  virtual int GetFifthParameterMin(int* value);                            // 57
  virtual int GetFifthParameterMax(int* value);                            // 58
  virtual int GetFifthParameterDefault(int* value);                        // 59
  virtual int GetFifthParameterCurrent(int* value);                        // 60
  virtual int SetFifthParameter(int /*value*/) { return 0; }               // 61
  virtual int ReadFifthParameter(int* /*value*/) { return 0; }             // 62
  virtual int GetFifthParameterLabel(int /*step*/, char* /*text*/, size_t /*size*/) {
    return 0;
  }                                                                              // 63
  virtual int SetExposureTicks(int /*ticks*/) { return 0; }                      // 64
  virtual int GetExposureTicks() { return 0; }                                   // 65
  virtual int GetExposureTicksMin() { return 0; }                                // 66
  virtual int GetExposureTicksMax() { return 0; }                                // 67
  virtual int GetExposureTicksDefault() { return 0; }                            // 68
  virtual int SetMirrorV(int /*on*/) { return 0; }                               // 69
  virtual int GetMirrorV() { return 0; }                                         // 70
  virtual int SetMirrorH(int /*on*/) { return 0; }                               // 71
  virtual int GetMirrorH() { return 0; }                                         // 72
  virtual int GetMirrorVDefault() { return info_.mirrorVDefault; }               // 73
  virtual int GetMirrorHDefault() { return info_.mirrorHDefault; }               // 74
  virtual int MirrorVSupported() { return info_.mirrorVSupported; }              // 75
  virtual int MirrorHSupported() { return info_.mirrorHSupported; }              // 76
  virtual int FramePeriodHook() { return 0; }                                    // 77
  virtual int WriteSensorRegisterRaw(uint16_t /*address*/, uint8_t /*value*/) {  // 78
    return 0;
  }
  virtual int ReadSensorRegisterRaw(uint16_t /*address*/, uint8_t* /*value*/) {  // 79
    return 0;
  }
  virtual int WriteSensorRegister(uint16_t /*address*/, uint8_t /*value*/) {  // 80
    return 0;
  }
  virtual int ReadSensorRegister(uint16_t /*address*/, uint8_t* /*value*/) {  // 81
    return 0;
  }
  virtual int StoreInteger(int /*value*/) { return 0; }                      // 82
  virtual int ReadBackInteger() { return 0; }                                // 83
  virtual int Reserved84() { return 0; }                                     // 84
  virtual int Reserved85() { return 0; }                                     // 85
  virtual int Reserved86() { return 0; }                                     // 86
  virtual int Reserved87() { return 0; }                                     // 87
  virtual int SetClockMode(int /*mode*/) { return 0; }                       // 88
  virtual int GetClockMode() { return 0; }                                   // 89
  virtual int Reserved90() { return 0; }                                     // 90
  virtual int Reserved91() { return 0; }                                     // 91
  virtual int CopySensorInfo(SensorInfo* out);                               // 92
  virtual void Hook93() {}                                                   // 93
  virtual void Hook94() {}                                                   // 94
  virtual int InternalCorrectionCapability() { return 0; }                   // 95
  virtual int SetFpgaRegister144(int /*value*/) { return 0; }                // 96
  virtual int GetFpgaRegister144(int* /*value*/) { return 0; }               // 97
  virtual int HasCooling() { return 0; }                                     // 98
  virtual int GetCooling(int* /*on*/) { return 0; }                          // 99
  virtual int SetCooling(int /*on*/) { return 0; }                           // 100
  virtual int HasTemperature() { return 0; }                                 // 101
  virtual int ReadTemperature(double* /*celsius*/) { return 0; }             // 102
  virtual void CaptureStartedHook() {}                                       // 103
  virtual void CaptureStoppedHook() {}                                       // 104
  virtual int CaptureStartHook() { return 0; }                               // 105
  virtual int OtherOperation106(int /*value*/) { return 0; }                 // 106
  virtual int OtherOperation107(int /*value*/) { return 0; }                 // 107
  virtual int OtherOperation108(int /*value*/) { return 0; }                 // 108
  virtual int ReadSerialText(char* /*text*/, size_t /*size*/) { return 0; }  // 109
  virtual int WriteSerialText(const char* /*text*/) { return 0; }            // 110
  virtual int FpgaStatusRead111(int* /*value*/) { return 0; }                // 111
  virtual int FpgaStatusRead112(int* /*value*/) { return 0; }                // 112
  virtual int FpgaStatusRead113(int* /*value*/) { return 0; }                // 113
  virtual int FpgaStatusRead114(int* /*value*/) { return 0; }                // 114
  virtual int FpgaStatusRead115(int* /*value*/) { return 0; }                // 115
  virtual int FpgaStatusRead116(int* /*value*/) { return 0; }                // 116
  virtual int SetThermistorSetPoint(int /*value*/) { return 0; }             // 117
  virtual int GetThermistorSetPoint(int* /*value*/) { return 0; }            // 118
  virtual int ExposureSecondsSupported() { return info_.secondsSupported; }  // 119
  virtual int GetExposureSecondsMin(double* seconds);                        // 120
  virtual int GetExposureSecondsMax(double* seconds);                        // 121
  virtual int GetExposureSecondsDefault(double* seconds);                    // 122
  virtual int GetExposureSecondsCurrent(double* seconds);                    // 123
  virtual int SetExposureSeconds(double /*seconds*/) { return 0; }           // 124
  virtual int OtherOperation125(int /*value*/) { return 0; }                 // 125
  virtual int OtherOperation126(int /*value*/) { return 0; }                 // 126
  virtual int OtherOperation127(int /*value*/) { return 0; }                 // 127
  virtual int OtherOperation128(int /*value*/) { return 0; }                 // 128
  virtual int OtherOperation129(int /*value*/) { return 0; }                 // 129
  virtual int HasGainMode() { return 0; }                                    // 130
  virtual int GetGainMode() { return -1; }                                   // 131
  virtual int SetGainMode(int /*mode*/) { return 0; }                        // 132
  virtual int OtherOperation133(int /*value*/) { return 0; }                 // 133
  virtual int FrameWidthFactor() { return -1; }                              // 134
  virtual int OtherOperation135(int /*value*/) { return 0; }                 // 135
  virtual int AcceptsMonochromeFormats() { return 1; }                       // 136
  virtual int SecondFormatCapability() { return 1; }                         // 137
  virtual int AcceptsColourFormats() { return 1; }                           // 138
  virtual int FpgaRegister23Operation(int /*value*/) { return 0; }           // 139
  virtual int FpgaRegister24Operation(int /*value*/) { return 0; }           // 140

  // Common operations of every driver.

  // Pulses the FPGA's frame restart after a failed transfer or a stream restart; nothing to do
  // (returns 1) while restarts are disabled.
  int RestartFpgaFrame();
  // FPGA version word, read once and then cached; 0 when it cannot be read.
  uint16_t FpgaVersion();

  const SensorInfo& info() const { return info_; }
  // The class name the family table gives this driver.
  const char* driverName() const { return driverName_; }
  int variantCode() const { return variant_; }
  int restartEnabled() const { return restartEnable_; }
  uint8_t deviceAddress() const { return deviceAddress_; }
  // Frame period at the programmed exposure, in microseconds and in whole milliseconds rounded
  // down; 0 while no exposure has been programmed or when the driver does not know it. Read by
  // other threads than the one that programs the sensor.
  static constexpr double kMicrosecondsPerMs = 1000.0;
  double framePeriodUs() const { return framePeriodUs_; }
  int framePeriodMs() const { return static_cast<int>(framePeriodUs_ / kMicrosecondsPerMs); }

 protected:
  // Writes an FPGA register and reads it back until it holds (the FPGA drops writes that
  // arrive while it is busy with its own bus traffic).
  int VerifiedFpgaWrite(uint8_t reg, uint8_t value);
  int WriteFpga(uint8_t reg, uint8_t value);
  int ReadFpga(uint8_t reg, uint8_t* value);

  // Raw access: a 16-bit big-endian address then one value byte, under the register lock.
  int RawWrite(uint16_t address, uint8_t value);
  int RawRead(uint16_t address, uint8_t* value);
  // Asks the FPGA to stand aside on the shared bus, then performs one raw access.
  int ArbitratedWrite(uint16_t address, uint8_t value);
  int ArbitratedRead(uint16_t address, uint8_t* value);

  int ProgramFrameLength(int64_t lines);
  int ProgramLineLength(int64_t length);
  void EnterStandby(uint32_t settleMs);
  void LeaveStandby(uint32_t settleMs);
  // FPGA copies of the exposure; with the trigger bracket the FPGA's trigger is held off meanwhile.
  int ProgramFpgaExposure(bool triggerBracket, const uint8_t (&timing)[3]);

  uint8_t workArea_[1024]{};
  const char* driverName_ = "CSensorBase";
  SensorInfo info_{};
  transport::CControllerBase* controller_;
  uint8_t deviceAddress_;
  int32_t modeWord_ = 15;
  uint16_t fpgaVersion_ = 0;
  int32_t variant_ = 0;
  // Read by the capture thread's frame restart while the application thread sets the trigger.
  std::atomic<int32_t> restartEnable_{1};
  int32_t otherParameter_ = 300;
  int32_t otherFlag_ = 1;
  uint8_t fpgaStatus_ = 0;
  int64_t baseFrameLength_ = 0;
  int64_t currentFrameLength_ = 0;
  int64_t baseLineLength_ = 0;
  int64_t currentLineLength_ = 0;
  int64_t spareTiming_ = 0;
  std::atomic<double> framePeriodUs_{0.0};
  platform::CriticalSection registerLock_;
};

}  // namespace nivexa::sensors
