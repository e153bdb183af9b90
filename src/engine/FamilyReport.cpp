#include "engine/FamilyReport.h"

#include "engine/SensorFactory.h"
#include "sensors/CSensorTableDriver.h"

namespace nivexa::engine {

namespace {

using namespace family;

// Groups that only the table knows: the driver interface answers them by trying.
constexpr uint32_t kRowOnlyGroups = kDepth | kTrigger | kColourGains | kCcd | kClockMode |
                                    kSerialText | kThermistor | kFpgaDieTemperature | kConverter;

}  // namespace

uint32_t answeredGroups(sensors::CSensorBase& sensor, const FamilyRow& row) {
  uint32_t groups = row.groups & kRowOnlyGroups;
  auto add = [&](int answer, Group group) {
    if (answer != 0) {
      groups |= group;
    }
  };
  add(sensor.info().gainSupported, kGain);
  add(sensor.MirrorVSupported(), kMirrorV);
  add(sensor.MirrorHSupported(), kMirrorH);
  add(sensor.BlackLevelSupported(), kBlackLevel);
  add(sensor.ExposureSecondsSupported(), kSeconds);
  add(sensor.HasCooling(), kCooling);
  add(sensor.HasTemperature(), kTemperature);
  add(sensor.HasGainMode(), kGainMode);
  add(sensor.FifthParameterSupported(), kFifthParameter);
  add(sensor.AcceptsColourFormats() == 0, kNoColourFormats);
  return groups;
}

std::vector<FamilyDriverReport> describeFamily() {
  std::vector<FamilyDriverReport> reports;
  for (const FamilyRow& row : familyTable()) {
    auto sensor = buildNamedSensor(row.driver, row, nullptr);
    FamilyDriverReport report;
    report.productId = row.productId;
    report.driver = sensor->driverName();
    if (row.alternateDriver != nullptr) {
      report.driver += " or ";
      report.driver += row.alternateDriver;
    }
    const sensors::SensorInfo& info = sensor->info();
    report.arrayWidth = info.arrayWidth;
    report.arrayHeight = info.arrayHeight;
    report.deviceAddress = sensor->deviceAddress();
    report.variant = sensor->variantCode();
    report.orientation = info.orientation;
    report.groups = answeredGroups(*sensor, row);
    report.programmed = dynamic_cast<sensors::CSensorTableDriver*>(sensor.get()) == nullptr;
    reports.push_back(std::move(report));
  }
  return reports;
}

}  // namespace nivexa::engine
