#pragma once

// What the dialog tests of both platforms do with the camera around a dialog: a callback
// preview into a buffer, the next frame after a change and its mean, and filter values.
#include <gtest/gtest.h>

#include <numeric>
#include <optional>
#include <vector>

#include "NivexaSdk.h"
#include "api/ApiTestSupport.h"

namespace nivexa::dialogs::test {

inline constexpr LONG kFullFrame8 = 2048 * 1536;

class DialogCameraTest : public ::testing::Test {
 protected:
  void startPreview(LONG size = kFullFrame8 * 2) {
    buffer_.assign(static_cast<size_t>(size), 0);
    ASSERT_EQ(Nivexa_CallBackPreview(h_, frames_, buffer_.data(), size, 0), 1);
  }

  // Waits for the next frame delivered after this call; its information, or nullopt.
  std::optional<NivexaFrameInfo> nextFrame() {
    frames_.take();
    nivexa::test::TestMessage message{};
    for (int i = 0; i < 2; ++i) {  // the first may have been copied before the change
      if (!nivexa::test::takeMessage(frames_, message, 5000)) {
        return std::nullopt;
      }
    }
    if (message.wParam == 0) {
      return std::nullopt;
    }
    return *reinterpret_cast<const NivexaFrameInfo*>(message.wParam);
  }

  double meanOfFrame() {
    const std::optional<NivexaFrameInfo> info = nextFrame();
    if (!info) {
      return -1;
    }
    const size_t pixels = static_cast<size_t>(info->width) * static_cast<size_t>(info->height);
    const double sum = std::accumulate(buffer_.begin(), buffer_.begin() + pixels, 0.0);
    return sum / static_cast<double>(pixels);
  }

  LONG filter(LONG id) {
    BOOL ok = 0;
    return Nivexa_GetFilterValue(h_, id, &ok);
  }

  nivexa::test::Sink notify_;
  nivexa::test::Sink frames_;
  std::vector<BYTE> buffer_;
  LONG h_ = 0;
};

}  // namespace nivexa::dialogs::test
