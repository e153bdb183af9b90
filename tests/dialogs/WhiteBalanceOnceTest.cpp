// "Once" under "Auto white balance", through the real pixel pipeline: the gains change on the
// next frame only, automatic white balance is off afterwards, and the open dialog shows the
// gains the pipeline found. This product's sensor has no colour modes, so the camera here is a
// colour one whose values are the pipeline's own processing parameters.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <random>
#include <vector>

#include "DialogTestSupport.h"
#include "FakeCameraPort.h"
#include "dialogs/ImageDialog.h"
#include "imaging/PipelineTestSupport.h"
#include "imaging/ProcessFrame.h"

namespace nivexa::dialogs::test {
namespace {

using imaging::ColorMode;

// The white-balance values of the filter table, kept where the pipeline reads them.
class PipelinePort : public FakeCameraPort {
 public:
  imaging::ProcessingParameters params;
  std::atomic<int32_t> refresh{0};

  int32_t filterValue(int32_t id) override {
    switch (id) {
      case 7:
        return params.bayerGainRed;
      case 8:
        return params.bayerGainGreen;
      case 9:
        return params.bayerGainBlue;
      case 10:
        return params.bayerGainAuto;
      default:
        return FakeCameraPort::filterValue(id);
    }
  }
  bool setFilterValue(int32_t id, int32_t value) override {
    if (id == 10) {
      params.bayerGainAuto = value;
      return true;
    }
    return FakeCameraPort::setFilterValue(id, value);
  }
  void requestWhiteBalanceOnce() override {
    params.bayerGainSingleShot = 1;
    params.bayerGainAuto = 1;
  }
  void cancelWhiteBalanceOnce() override { params.bayerGainSingleShot = 0; }
  bool takeRefresh() override { return refresh.exchange(0) != 0; }
};

class RefreshingHost : public imaging::testing::FakeHost {
 public:
  explicit RefreshingHost(PipelinePort& port) : port_(port) {}
  void processingValuesChanged() override { port_.refresh = 1; }

 private:
  PipelinePort& port_;
};

void deliverFrame(imaging::FrameBitmaps& b) {
  imaging::DibImage& raw = b.rawFor(ColorMode::Bgr24);
  std::mt19937 rng(2);
  std::uniform_int_distribution<int> value(0, 255);
  std::vector<uint8_t> samples(static_cast<size_t>(raw.width()) * raw.height());
  for (uint8_t& s : samples) {
    s = static_cast<uint8_t>(value(rng));
  }
  std::memcpy(raw.bits(), samples.data(), samples.size());
}

TEST(WhiteBalanceOnceTest, GainsChangeOnceAndAutomaticBalanceIsOffAfterwards) {
  PipelinePort port;
  port.params.bayerGainRed = 5;
  ImageDialog dialog(port, Language::English);
  EXPECT_EQ(shown(dialog, 0, ids::kRedGain[1]), "5");
  click(dialog, 0, ids::kAutoOnce);

  imaging::FrameBitmaps bitmaps;
  ASSERT_EQ(imaging::createFrameBitmaps(bitmaps, ColorMode::Bgr24, 16, 16), 1);
  RefreshingHost host(port);
  deliverFrame(bitmaps);
  imaging::processFrame(ColorMode::Bgr24, bitmaps, port.params, host);
  const int32_t balanced = port.params.bayerGainRed;
  EXPECT_NE(balanced, 5);
  EXPECT_EQ(port.params.bayerGainAuto, 0) << "off after that one frame";

  ASSERT_TRUE(dialog.poll());
  EXPECT_EQ(shown(dialog, 0, ids::kRedGain[1]), std::to_string(balanced));
  EXPECT_EQ(dialog.control(0, ids::kAutoAllFrames).value, 0);

  // The next frames leave the gains alone.
  port.params.bayerGainRed = 7;
  imaging::processFrame(ColorMode::Bgr24, bitmaps, port.params, host);
  EXPECT_EQ(port.params.bayerGainRed, 7);
  EXPECT_FALSE(dialog.poll());
}

// "Once" and then Cancel before any frame came: the request goes with the dialog, so automatic
// balance turned on later for all frames stays on.
TEST(WhiteBalanceOnceTest, CancelWithdrawsAPendingRequest) {
  PipelinePort port;
  {
    ImageDialog dialog(port, Language::English);
    click(dialog, 0, ids::kAutoOnce);
    EXPECT_TRUE(dialog.press(ids::kCancel));
  }
  EXPECT_EQ(port.params.bayerGainAuto, 0) << "Cancel restores what the dialog found";
  ImageDialog dialog(port, Language::English);
  click(dialog, 0, ids::kAutoAllFrames);
  ASSERT_EQ(port.params.bayerGainAuto, 1);

  imaging::FrameBitmaps bitmaps;
  ASSERT_EQ(imaging::createFrameBitmaps(bitmaps, ColorMode::Bgr24, 16, 16), 1);
  RefreshingHost host(port);
  deliverFrame(bitmaps);
  for (int frame = 0; frame < 2; ++frame) {
    imaging::processFrame(ColorMode::Bgr24, bitmaps, port.params, host);
    EXPECT_EQ(port.params.bayerGainAuto, 1) << "frame " << frame;
  }
}

}  // namespace
}  // namespace nivexa::dialogs::test
