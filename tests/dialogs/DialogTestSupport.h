#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "camera/CNivexa.h"
#include "camera/DialogPort.h"
#include "camera/FilterIds.h"
#include "dialogs/ControlIds.h"
#include "dialogs/DialogModel.h"
#include "sim/CameraSet.h"

namespace nivexa::dialogs::test {

// A camera object opened on one virtual camera, and the dialogs' port onto it.
class CameraDialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    sim::CameraOptions options;
    options.pacing = sim::Pacing::Fast;
    options.noise = false;
    options.serial = "VC0001";
    sim_ = sim::createCamera(options);
    camera_ = std::make_unique<camera::CNivexa>();
    ASSERT_EQ(camera_->Initialize(nullptr), 1);
    port_ = std::make_unique<camera::DialogPort>(*camera_);
  }

  void TearDown() override {
    port_.reset();
    camera_.reset();
    sim::removeCamera(sim_);
  }

  int32_t filter(int32_t id) {
    BOOL ok = 0;
    const int32_t value = camera_->GetFilterValue(id, &ok);
    EXPECT_EQ(ok, 1) << "filter " << id;
    return value;
  }

  std::shared_ptr<sim::Camera> sim_;
  std::unique_ptr<camera::CNivexa> camera_;
  std::unique_ptr<camera::DialogPort> port_;
};

// What a user does to one control, found by page and id.
inline int32_t indexOf(const DialogModel& dialog, int32_t page, int32_t id) {
  const int32_t index = dialog.find(page, id);
  EXPECT_GE(index, 0) << "no control " << id << " on page " << page;
  return index;
}

inline void slide(DialogModel& dialog, int32_t page, int32_t id, int32_t position) {
  dialog.slide(indexOf(dialog, page, id), position);
}

// Types the text into the edit box and leaves it with Enter.
inline void enter(DialogModel& dialog, int32_t page, int32_t id, const std::string& text) {
  const int32_t index = indexOf(dialog, page, id);
  dialog.type(index, text);
  dialog.commit(index);
}

inline void click(DialogModel& dialog, int32_t page, int32_t id) {
  dialog.click(indexOf(dialog, page, id));
}

inline void choose(DialogModel& dialog, int32_t page, int32_t id, int32_t item) {
  dialog.choose(indexOf(dialog, page, id), item);
}

inline const std::string& shown(const DialogModel& dialog, int32_t page, int32_t id) {
  return dialog.control(page, id).text;
}

}  // namespace nivexa::dialogs::test
