#include "engine/SensorFactory.h"

#include <gtest/gtest.h>

#include <array>
#include <set>

#include "engine/FamilyReport.h"
#include "family/FamilyTable.h"
#include "sensors/CSensorIMX990.h"
#include "sensors/CSensorIMX991.h"
#include "sensors/CSensorIMX992.h"
#include "sensors/CSensorIMX993.h"
#include "sensors/CSensorImx99x.h"
#include "sensors/CSensorTableDriver.h"

namespace nivexa::engine {
namespace {

// A driver gets its row's geometry, bus address, variant code and orientation, and answers
// through its own operations exactly the groups of its row.
TEST(SensorFactory, BuildsEveryDriverWithItsRowsGeometryAndCapabilities) {
  int programmed = 0;
  for (const family::FamilyRow& row : family::familyTable()) {
    if (row.alternateDriver != nullptr) {
      continue;  // needs the chip's version register (below)
    }
    SCOPED_TRACE(testing::Message() << std::hex << "product 0x" << row.productId);
    auto sensor = buildSensor(row, nullptr);
    ASSERT_NE(sensor, nullptr);
    EXPECT_STREQ(sensor->driverName(), row.driver);
    EXPECT_EQ(sensor->info().arrayWidth, row.arrayWidth);
    EXPECT_EQ(sensor->info().arrayHeight, row.arrayHeight);
    EXPECT_EQ(sensor->deviceAddress(), row.deviceAddress);
    EXPECT_EQ(sensor->variantCode(), row.variant);
    EXPECT_EQ(sensor->info().orientation, row.orientation);
    EXPECT_EQ(family::groupNames(answeredGroups(*sensor, row)), family::groupNames(row.groups));
    // Only the SWIR drivers carry their chips' programming and are classes of their own; they
    // are the ones that refuse the colour formats. The rest open nothing.
    const bool tabled = dynamic_cast<sensors::CSensorTableDriver*>(sensor.get()) != nullptr;
    const bool swir = dynamic_cast<sensors::CSensorImx99x*>(sensor.get()) != nullptr;
    EXPECT_NE(tabled, swir);
    EXPECT_EQ(swir, sensor->AcceptsColourFormats() == 0);
    programmed += swir ? 1 : 0;
    if (tabled) {
      EXPECT_EQ(sensor->PreInitCheck(), 0);
    }
    // A line-scan driver has no frame height until a window asks for lines.
    EXPECT_EQ(sensor->info().defaultHeight, row.lineScan() ? 0 : row.arrayHeight);
  }
  EXPECT_EQ(programmed, 8) << "the four SWIR pairs";
}

TEST(SensorFactory, SwirProductsGetTheirOwnClasses) {
  auto build = [](int productId) {
    return buildSensor(*family::findFamilyRow(productId), nullptr);
  };
  EXPECT_NE(dynamic_cast<sensors::CSensorIMX990*>(build(0x3270).get()), nullptr);
  EXPECT_NE(dynamic_cast<sensors::CSensorIMX991*>(build(0x3280).get()), nullptr);
  EXPECT_NE(dynamic_cast<sensors::CSensorIMX992*>(build(0x3380).get()), nullptr);
  EXPECT_NE(dynamic_cast<sensors::CSensorIMX993*>(build(0x33D0).get()), nullptr);
}

TEST(SensorFactory, TableHoldsEachProductOnceAndFindsItsRow) {
  std::set<int> ids;
  for (const auto& row : family::familyTable()) {
    EXPECT_TRUE(ids.insert(row.productId).second) << "product listed twice: " << row.productId;
    EXPECT_EQ(family::findFamilyRow(row.productId), &row);
  }
  EXPECT_TRUE(ids.contains(0x3020));
  EXPECT_EQ(family::findFamilyRow(0x1234), nullptr);
}

// Answers the chip-version read of the product that chooses its driver by it.
class ChipVersionController : public transport::CControllerBase {
 public:
  explicit ChipVersionController(int version) : version_(version) {}
  int BusWrite(uint8_t device, std::span<const uint8_t> data) override {
    addressWritten_ = device == 0x20 && data.size() == 2 && data[0] == 0 && data[1] == 0;
    return version_ >= 0 ? 1 : 0;
  }
  int BusRead(uint8_t device, std::span<uint8_t> data) override {
    if (version_ < 0 || !addressWritten_ || (device | 1) != 0x21 || data.size() != 2) {
      return 0;
    }
    data[0] = static_cast<uint8_t>(version_ >> 8);
    data[1] = static_cast<uint8_t>(version_);
    return 1;
  }

 private:
  int version_;
  bool addressWritten_ = false;
};

TEST(SensorFactory, ChipVersionChoosesBetweenTheTwoDriversOfOneProduct) {
  const family::FamilyRow& row = *family::findFamilyRow(0x3020);
  ChipVersionController newer(302), older(301), silent(-1);
  auto chosen = buildSensor(row, &newer);
  ASSERT_NE(chosen, nullptr);
  EXPECT_STREQ(chosen->driverName(), "CSensorMT9F002");
  auto other = buildSensor(row, &older);
  ASSERT_NE(other, nullptr);
  EXPECT_STREQ(other->driverName(), "CSensorMT9F001");
  for (auto* sensor : {chosen.get(), other.get()}) {
    EXPECT_EQ(sensor->info().arrayWidth, 4608);
    EXPECT_EQ(sensor->info().arrayHeight, 3288);
    EXPECT_EQ(sensor->deviceAddress(), 32);
    EXPECT_EQ(sensor->info().outputDepth, 12) << "fixed depth of the chip";
    EXPECT_EQ(family::groupNames(answeredGroups(*sensor, row)),
              "gain colour-gains mirror-v mirror-h");
  }
  EXPECT_EQ(buildSensor(row, &silent), nullptr) << "a failed version read builds no driver";
  EXPECT_EQ(buildSensor(row, nullptr), nullptr);
}

TEST(FamilyReport, DescribesEveryRowFromItsDriver) {
  const auto reports = describeFamily();
  ASSERT_EQ(reports.size(), family::familyTable().size());
  int programmed = 0;
  for (const auto& report : reports) {
    programmed += report.programmed ? 1 : 0;
    if (report.productId == 0x3020) {
      EXPECT_EQ(report.driver, "CSensorMT9F001 or CSensorMT9F002");
    }
    if (report.productId == 0x33D0) {
      EXPECT_TRUE(report.programmed);
      EXPECT_EQ(report.arrayWidth, 2048);
      EXPECT_TRUE(report.groups & family::kCooling);
    }
  }
  EXPECT_EQ(programmed, 8) << "the four SWIR pairs";
}

}  // namespace
}  // namespace nivexa::engine
