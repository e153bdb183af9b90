#include "engine/SensorFactory.h"

#include <gtest/gtest.h>

#include <set>
#include <typeinfo>

#include "sensors/CSensorIMX990.h"
#include "sensors/CSensorIMX993.h"

namespace nivexa::engine {
namespace {

TEST(SensorFactory, ThisProductGetsTheImx993AtAddress72WithVariant132) {
  const SensorFactoryRow* row = findSensorRow(0x33D0);
  ASSERT_NE(row, nullptr);
  EXPECT_EQ(row->deviceAddress, 72);
  EXPECT_EQ(row->variant, 132);
  auto sensor = buildSensor(*row, nullptr);
  ASSERT_NE(sensor, nullptr);
  EXPECT_NE(dynamic_cast<sensors::CSensorIMX993*>(sensor.get()), nullptr);
  EXPECT_EQ(sensor->variantCode(), 132);
  EXPECT_EQ(sensor->deviceAddress(), 72);
}

TEST(SensorFactory, SiblingProductsGetTheirVariants) {
  auto uncooled = buildSensor(*findSensorRow(0x33C0), nullptr);
  ASSERT_NE(dynamic_cast<sensors::CSensorIMX993*>(uncooled.get()), nullptr);
  EXPECT_EQ(uncooled->variantCode(), 131);
  auto older = buildSensor(*findSensorRow(0x3270), nullptr);
  ASSERT_NE(dynamic_cast<sensors::CSensorIMX990*>(older.get()), nullptr);
  EXPECT_EQ(older->variantCode(), 110);
  for (int productId : {0x3260, 0x3280, 0x3290, 0x3370, 0x3380}) {
    EXPECT_NE(buildSensor(*findSensorRow(productId), nullptr), nullptr) << std::hex << productId;
  }
}

TEST(SensorFactory, KnowsTheWholeFamilyButBuildsOnlyItsOwnDrivers) {
  const auto table = sensorFactoryTable();
  EXPECT_EQ(table.size(), 51u);
  std::set<int> ids;
  for (const auto& row : table) {
    EXPECT_TRUE(ids.insert(row.productId).second) << "product listed twice: " << row.productId;
  }
  EXPECT_EQ(buildSensor(*findSensorRow(0x3020), nullptr), nullptr);
  EXPECT_EQ(buildSensor(*findSensorRow(0x31B0), nullptr), nullptr);
  EXPECT_EQ(findSensorRow(0x1234), nullptr);
  EXPECT_EQ(findSensorRow(0x32C0)->variant, findSensorRow(0x33B0)->variant);
}

}  // namespace
}  // namespace nivexa::engine
