#include <gtest/gtest.h>

#include "platform/Registry.h"
#include "platform/RegistryTestSupport.h"
#include "settings/Layout.h"
#include "settings/SizePresets.h"
#include "settings/StoredValues.h"
#include "settings/StreamSettings.h"

namespace nivexa::settings {
namespace {

using StreamGroup = TemporaryRegistry;

// The product's sensor.
constexpr SensorSize kSensor{2048, 1536};
constexpr GeometrySettings kFull = fullSensorGeometry(kSensor);
const GeometrySettings kQuarter{2048, 1536, 1024, 768, 512, 384, 2};

void storeSizeSet(const std::string& parent, int32_t number, const GeometrySettings& g) {
  const std::string path = parent + "\\" + sizeKeyName(number);
  platform::RegistryChanges changes;
  changes.setDword(path, "TH", toDword(g.horizontalTotal));
  changes.setDword(path, "TV", toDword(g.verticalTotal));
  changes.setDword(path, "EH", toDword(g.frameWidth));
  changes.setDword(path, "EV", toDword(g.frameHeight));
  changes.setDword(path, "EHS", toDword(g.horizontalStart));
  changes.setDword(path, "EVS", toDword(g.verticalStart));
  changes.setDword(path, "Buf", toDword(g.buffer));
  ASSERT_TRUE(changes.apply());
}

void storeCameraValue(int32_t position, std::string_view name, int32_t value) {
  platform::RegistryChanges changes;
  changes.setDword(cameraKeyPath(position), name, toDword(value));
  ASSERT_TRUE(changes.apply());
}

TEST_F(StreamGroup, TheFirstRunWritesItsValuesUnderTheCurrentPositionAndLoadsNothing) {
  GeometrySettings geometry = kQuarter;
  EXPECT_EQ(loadGeometry(-1, geometry, FormatCapabilities{}, kSensor), 0);
  EXPECT_EQ(geometry, kQuarter);

  const auto camera = platform::RegistryKey::open(std::string(kProductKey) + "\\Camera_-1");
  ASSERT_NE(camera, nullptr);
  EXPECT_EQ(camera->queryDword("Size"), 0u);
  EXPECT_EQ(camera->queryDword("Color"), 2u);
  EXPECT_EQ(camera->queryDword("SubSample"), 0u);
  EXPECT_EQ(camera->queryDword("WaitTime"), 1u);
  EXPECT_EQ(camera->queryDword("Clock"), 0u);
  const auto size = camera->openSubkey("Size_00");
  ASSERT_NE(size, nullptr);
  const std::pair<const char*, uint32_t> expected[] = {
      {"TH", 2048}, {"TV", 1536}, {"EH", 2048}, {"EV", 1536}, {"EHS", 0}, {"EVS", 0}, {"Buf", 4}};
  for (const auto& [name, value] : expected) {
    EXPECT_EQ(size->queryDword(name), value) << name;
  }
  EXPECT_EQ(camera->subkeyNames(), std::vector<std::string>{"Size_00"});

  // The next start reads them back.
  EXPECT_EQ(loadGeometry(-1, geometry, FormatCapabilities{}, kSensor), 1);
  EXPECT_EQ(geometry, kFull);
  // Another position finds the product key, so nothing is written for it.
  EXPECT_EQ(loadGeometry(0, geometry, FormatCapabilities{}, kSensor), 0);
  EXPECT_EQ(platform::RegistryKey::open(cameraKeyPath(0)), nullptr);
}

TEST_F(StreamGroup, FirstRunColourModeAndTheCorrectionOfAStoredOneFollowTheEngine) {
  struct Case {
    bool monochrome, second, colour;
    int32_t firstRun;
    int32_t corrected[6];  // of stored modes 0..5
  };
  const Case cases[] = {
      {true, true, true, 2, {0, 1, 2, 3, 4, 5}},
      {true, true, false, 1, {0, 1, 1, 1, 1, 1}},  // this camera: 8 or 16 bits only
      {true, false, false, 0, {0, 0, 0, 0, 0, 0}},
      {false, true, true, 2, {1, 1, 2, 1, 4, 5}},
      {false, false, true, 2, {2, 2, 2, 2, 4, 5}},
      {false, false, false, 2, {0, 0, 0, 0, 0, 0}},
  };
  for (const auto& c : cases) {
    const FormatCapabilities formats{c.monochrome, c.second, c.colour};
    SCOPED_TRACE(testing::Message() << c.monochrome << c.second << c.colour);
    EXPECT_EQ(firstRunColorMode(formats), c.firstRun);
    for (int32_t mode = 0; mode < 6; ++mode) {
      EXPECT_EQ(correctedColorMode(mode, formats), c.corrected[mode]) << mode;
    }
  }
}

TEST_F(StreamGroup, TheColourLoadTakesOnlyValuesItsSettersAccept) {
  StreamSettings stream;
  EXPECT_EQ(loadStreamSettings(0, stream, FormatCapabilities{}), 0);
  EXPECT_EQ(stream.waitTimeMs, 10);

  storeCameraValue(0, "Color", 4);
  storeCameraValue(0, "SubSample", 1);
  storeCameraValue(0, "WaitTime", 25);
  storeCameraValue(0, "Clock", -3);
  EXPECT_EQ(loadStreamSettings(0, stream, FormatCapabilities{}), 1);
  EXPECT_EQ(stream.colorMode, 4);
  EXPECT_EQ(stream.subsample, 1);
  EXPECT_EQ(stream.waitTimeMs, 25);
  EXPECT_EQ(stream.clock, -3);

  storeCameraValue(0, "Color", 6);
  storeCameraValue(0, "SubSample", 2);
  storeCameraValue(0, "WaitTime", -1);
  EXPECT_EQ(loadStreamSettings(0, stream, FormatCapabilities{true, true, false}), 1);
  EXPECT_EQ(stream.colorMode, 1) << "kept 4, then corrected for a monochrome engine";
  EXPECT_EQ(stream.subsample, 1);
  EXPECT_EQ(stream.waitTimeMs, 25);
}

TEST_F(StreamGroup, TheGeometryLoadReadsTheActiveSizeSetWhenItFitsTheSensor) {
  GeometrySettings geometry = kFull;
  // First run: the product key exists now.
  loadGeometry(-1, geometry, FormatCapabilities{}, kSensor);
  const std::string camera = cameraKeyPath(1);
  storeSizeSet(camera, 0, kFull);
  storeSizeSet(camera, 1, kQuarter);
  storeCameraValue(1, "Size", 1);
  EXPECT_EQ(loadGeometry(1, geometry, FormatCapabilities{}, kSensor), 1);
  EXPECT_EQ(geometry, kQuarter);
  EXPECT_EQ(loadSizeSets(1), (std::vector<GeometrySettings>{kFull, kQuarter}));

  const GeometrySettings refused[] = {
      {2048, 1536, 2049, 1536, 0, 0, 4},   {2048, 1536, 2048, 1537, 0, 0, 4},
      {2048, 1536, 1024, 768, 1025, 0, 4}, {2048, 1536, 1024, 768, 0, 769, 4},
      {2048, 1536, -1, 768, 0, 0, 4},      {2048, 1536, 1024, 768, -2, 0, 4},
      {-5, 1536, 1024, 768, 0, 0, 4},
  };
  for (const auto& bad : refused) {
    storeSizeSet(camera, 1, bad);
    geometry = kFull;
    EXPECT_EQ(loadGeometry(1, geometry, FormatCapabilities{}, kSensor), 0);
    EXPECT_EQ(geometry, kFull);
  }
  storeSizeSet(camera, 1, {2048, 1536, 1024, 768, 1024, 768, 4});  // touches both edges
  EXPECT_EQ(loadGeometry(1, geometry, FormatCapabilities{}, kSensor), 1);

  for (const int32_t number : {2, 100, -1}) {
    storeCameraValue(1, "Size", number);
    geometry = kFull;
    EXPECT_EQ(loadGeometry(1, geometry, FormatCapabilities{}, kSensor), 0) << number;
    EXPECT_EQ(geometry, kFull);
  }

  // The size set must fit the sensor it is loaded for: the quarter ends at (1536, 1152).
  storeSizeSet(camera, 1, kQuarter);
  storeCameraValue(1, "Size", 1);
  geometry = kFull;
  EXPECT_EQ(loadGeometry(1, geometry, FormatCapabilities{}, SensorSize{1535, 1152}), 0);
  EXPECT_EQ(loadGeometry(1, geometry, FormatCapabilities{}, SensorSize{1536, 1151}), 0);
  EXPECT_EQ(geometry, kFull);
  EXPECT_EQ(loadGeometry(1, geometry, FormatCapabilities{}, SensorSize{1536, 1152}), 1);
  EXPECT_EQ(geometry, kQuarter);
}

TEST_F(StreamGroup, TheDialogsSaveIsWhatTheLoadsRead) {
  GeometrySettings geometry = kFull;
  loadGeometry(-1, geometry, FormatCapabilities{}, kSensor);
  const StreamSettings stream{1, 1, 40, 5};
  EXPECT_EQ(saveStreamSettings(2, stream, 1, kQuarter), 0) << "Size_01 before Size_00";
  ASSERT_EQ(saveStreamSettings(2, stream, 0, kFull), 1);
  ASSERT_EQ(saveStreamSettings(2, stream, 1, kQuarter), 1);
  EXPECT_EQ(saveStreamSettings(2, stream, 3, kQuarter), 0) << "a gap after Size_01";

  StreamSettings loaded;
  EXPECT_EQ(loadStreamSettings(2, loaded, FormatCapabilities{}), 1);
  EXPECT_EQ(loaded.colorMode, 1);
  EXPECT_EQ(loaded.subsample, 1);
  EXPECT_EQ(loaded.waitTimeMs, 40);
  EXPECT_EQ(loaded.clock, 5);
  EXPECT_EQ(loadGeometry(2, geometry, FormatCapabilities{}, kSensor), 1);
  EXPECT_EQ(geometry, kQuarter);
  EXPECT_EQ(loadSizeSets(2).size(), 2u);

  // The whole list in one change: refused as a whole when the store could not hold it.
  const std::vector<GeometrySettings> tooMany(kMaxSizeSets + 1, kQuarter);
  EXPECT_EQ(saveStreamSettings(2, stream, 0, tooMany), 0);
  EXPECT_EQ(saveStreamSettings(2, stream, 2, std::span(tooMany).first(2)), 0) << "not in the list";
  EXPECT_EQ(loadSizeSets(2), (std::vector<GeometrySettings>{kFull, kQuarter}));
  EXPECT_EQ(loadSizeNumber(2), 1);
  const std::vector<GeometrySettings> three{kQuarter, kQuarter, kFull};
  ASSERT_EQ(saveStreamSettings(2, stream, 0, three), 1);
  EXPECT_EQ(loadSizeSets(2), three);
  EXPECT_EQ(loadSizeNumber(2), 0);
}

TEST_F(StreamGroup, CaptureSizePresetsAreReadUpToTheFirstGapOrIncompleteOne) {
  EXPECT_TRUE(loadCaptureSizePresets().empty());
  const std::string product(kProductKey);
  storeSizeSet(product, 0, kFull);
  storeSizeSet(product, 1, kQuarter);
  storeSizeSet(product, 3, {2048, 1536, 640, 480, 0, 0, 4});
  EXPECT_EQ(loadCaptureSizePresets(), (std::vector<GeometrySettings>{kFull, kQuarter}));
  EXPECT_EQ(findCaptureSizePreset(1024, 768), kQuarter);
  EXPECT_EQ(findCaptureSizePreset(640, 480), std::nullopt);
  EXPECT_EQ(findCaptureSizePreset(768, 1024), std::nullopt);

  platform::RegistryChanges partial;
  partial.setDword(product + "\\Size_02", "EH", 640);
  ASSERT_TRUE(partial.apply());
  EXPECT_EQ(loadCaptureSizePresets().size(), 2u);
  // Presets under a camera position are not the product's presets.
  storeSizeSet(cameraKeyPath(0), 0, {2048, 1536, 320, 240, 0, 0, 4});
  EXPECT_EQ(findCaptureSizePreset(320, 240), std::nullopt);
}

}  // namespace
}  // namespace nivexa::settings
