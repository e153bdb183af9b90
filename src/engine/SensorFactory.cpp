#include "engine/SensorFactory.h"

#include <algorithm>
#include <cstring>

#include "sensors/CSensorIMX990.h"
#include "sensors/CSensorIMX991.h"
#include "sensors/CSensorIMX992.h"
#include "sensors/CSensorIMX993.h"

namespace nivexa::engine {

namespace {

// The whole family, so that a product ID is always recognised; only the SWIR drivers are built
// into this library.
constexpr SensorFactoryRow kRows[] = {
    {0x3020, "CSensorMT9F001", 32, 0},    {0x3030, "CSensorMT9P001", 144, 0},
    {0x3040, "CSensorMT9J001", 32, 0},    {0x3042, "CSensorMT9J001", 32, 0},
    {0x3050, "CSensorICX274", 0, 0},      {0x3090, "family driver A", 0, 0},
    {0x30B0, "family driver B", 0, 0},    {0x30C0, "family driver C", 0, 0},
    {0x30F0, "CSensorIMX178", 72, 0},     {0x3100, "CSensorIMX174", 72, 0},
    {0x3110, "CSensorIMX183", 72, 0},     {0x3120, "CSensorIMX159", 72, 0},
    {0x3130, "family driver D", 66, 0},   {0x3140, "family driver E", 108, 0},
    {0x3150, "family driver F", 108, 0},  {0x3170, "family driver G", 108, 0},
    {0x3180, "family driver H", 72, 0},   {0x3190, "family driver I", 32, 0},
    {0x31A0, "family driver J", 32, 0},   {0x31B0, "CSensorIMX250", 72, 59},
    {0x31B4, "CSensorIMX264", 72, 0},     {0x31C0, "CSensorIMX252", 72, 0},
    {0x31C4, "CSensorIMX265", 72, 0},     {0x31D0, "family driver K", 32, 0},
    {0x31E0, "family driver L", 108, 0},  {0x31F0, "CSensorIMX226", 72, 0},
    {0x3200, "family driver M", 72, 0},   {0x3210, "family driver N", 32, 0},
    {0x3220, "CSensorG1467x", 108, 105},  {0x3260, "CSensorIMX990", 72, 109},
    {0x3270, "CSensorIMX990", 72, 110},   {0x3280, "CSensorIMX991", 72, 111},
    {0x3290, "CSensorIMX991", 72, 112},   {0x32A0, "CSensorIMX250", 72, 113},
    {0x32B0, "family driver O", 72, 61},  {0x32C0, "CSensorGLUX9701", 72, 114},
    {0x33B0, "CSensorGLUX9701", 72, 114}, {0x32D0, "family driver P", 108, 0},
    {0x32E0, "CSensorIMX536", 72, 0},     {0x32F0, "CSensorIMX487", 72, 0},
    {0x3300, "CSensorIMX273", 72, 0},     {0x3310, "family driver Q", 64, 116},
    {0x3320, "family driver R", 64, 117}, {0x3330, "family driver S", 64, 118},
    {0x3340, "family driver T", 64, 119}, {0x3360, "CSensorIMX675", 72, 0},
    {0x3370, "CSensorIMX992", 72, 129},   {0x3380, "CSensorIMX992", 72, 130},
    {0x33A0, "CSensorICE640", 72, 0},     {0x33C0, "CSensorIMX993", 72, 131},
    {0x33D0, "CSensorIMX993", 72, 132},
};

bool is(const SensorFactoryRow& row, const char* driver) {
  return std::strcmp(row.driver, driver) == 0;
}

}  // namespace

std::span<const SensorFactoryRow> sensorFactoryTable() {
  return kRows;
}

const SensorFactoryRow* findSensorRow(int productId) {
  const auto found =
      std::find_if(std::begin(kRows), std::end(kRows),
                   [&](const SensorFactoryRow& row) { return row.productId == productId; });
  return found == std::end(kRows) ? nullptr : found;
}

std::unique_ptr<sensors::CSensorBase> buildSensor(const SensorFactoryRow& row,
                                                  transport::CControllerBase* controller) {
  std::unique_ptr<sensors::CSensorBase> sensor;
  if (is(row, "CSensorIMX993")) {
    sensor = std::make_unique<sensors::CSensorIMX993>(controller, row.deviceAddress);
  } else if (is(row, "CSensorIMX992")) {
    sensor = std::make_unique<sensors::CSensorIMX992>(controller, row.deviceAddress);
  } else if (is(row, "CSensorIMX991")) {
    sensor = std::make_unique<sensors::CSensorIMX991>(controller, row.deviceAddress);
  } else if (is(row, "CSensorIMX990")) {
    sensor = std::make_unique<sensors::CSensorIMX990>(controller, row.deviceAddress);
  }
  if (sensor && row.variant != 0) {
    sensor->SetVariant(row.variant);
  }
  return sensor;
}

}  // namespace nivexa::engine
