// The acquisition-mode table, cell by cell: what each command does in each mode, what it records
// and which mode it leaves behind.
#include <string>
#include <vector>

#include "camera/CameraTestSupport.h"

namespace nivexa::camera::test {
namespace {

enum Mode { kIdle = 0, kPreview = 1, kCapture = 2, kTrigger = 3 };

enum class Command {
  StartPreview,
  Preview,
  CallBackPreview,
  Capture,
  SnapShot,
  Trigger,
  Stop,
  Close
};

const char* name(Command command) {
  switch (command) {
    case Command::StartPreview:
      return "StartPreview";
    case Command::Preview:
      return "Preview";
    case Command::CallBackPreview:
      return "CallBackPreview";
    case Command::Capture:
      return "Capture";
    case Command::SnapShot:
      return "SnapShot";
    case Command::Trigger:
      return "Trigger";
    case Command::Stop:
      return "StopPreview";
    case Command::Close:
      return "Close";
  }
  return "?";
}

struct Cell {
  Mode before;
  Command command;
  BOOL result;
  std::vector<LONG> errors;  // newest first
  Mode after;
};

std::string cellName(const ::testing::TestParamInfo<Cell>& info) {
  return "Mode" + std::to_string(info.param.before) + "_" + name(info.param.command);
}

class ModeTable : public CameraTest, public ::testing::WithParamInterface<Cell> {
 protected:
  BOOL run(Command command) {
    switch (command) {
      case Command::StartPreview:
        return Nivexa_StartPreview(h_);
      case Command::Preview:
        return Nivexa_Preview(h_);
      case Command::CallBackPreview:
        return Nivexa_CallBackPreview(h_, frames_, buffer_.data(), LONG(buffer_.size()), 1);
      case Command::Capture:
        return Nivexa_Capture(h_);
      case Command::SnapShot:
        return Nivexa_SnapShot(h_, buffer_.data(), LONG(buffer_.size()), 1);
      case Command::Trigger:
        return Nivexa_Trigger(h_, frames_, buffer_.data(), LONG(buffer_.size()), 1);
      case Command::Stop:
        return Nivexa_StopPreview(h_);
      case Command::Close:
        return Nivexa_Close(h_);
    }
    return 0;
  }

  void enter(Mode mode) {
    const Command entry[] = {Command::Stop, Command::StartPreview, Command::Capture,
                             Command::Trigger};
    ASSERT_EQ(run(entry[mode]), 1);
    ASSERT_EQ(errors(), std::vector<LONG>{});
  }

  // Tells the mode apart by the refusals alone: SnapShot is refused exactly in modes 1 and 3,
  // StartPreview in 2 and 3, Trigger in every mode but 0. Only an idle object is changed (it
  // ends in trigger mode), so this is the last thing a test does.
  Mode probe() {
    Mode mode;
    if (Nivexa_SnapShot(h_, nullptr, 0, 0)) {
      mode = Nivexa_Trigger(h_, nullptr, nullptr, 0, 0) ? kIdle : kCapture;
    } else {
      mode = Nivexa_StartPreview(h_) ? kPreview : kTrigger;
    }
    errors();
    return mode;
  }

  Sink frames_;
  std::vector<uint8_t> buffer_ = std::vector<uint8_t>(kFullFrame8);
};

TEST_P(ModeTable, Cell) {
  const Cell& cell = GetParam();
  enter(cell.before);
  EXPECT_EQ(run(cell.command), cell.result);
  EXPECT_EQ(errors(), cell.errors);
  EXPECT_EQ(probe(), cell.after);
}

using C = Command;
const std::vector<LONG> none;
const std::vector<LONG> refused = {NIVEXA_ERR_NO_CAMERA};
// Preview and CallBackPreview close the object after a refused start and report the frame error.
const std::vector<LONG> closedAfterRefusal = {NIVEXA_ERR_FRAME, NIVEXA_ERR_NO_CAMERA};

INSTANTIATE_TEST_SUITE_P(Idle, ModeTable,
                         ::testing::Values(Cell{kIdle, C::StartPreview, 1, none, kPreview},
                                           Cell{kIdle, C::Preview, 1, none, kPreview},
                                           Cell{kIdle, C::CallBackPreview, 1, none, kPreview},
                                           Cell{kIdle, C::Capture, 1, none, kCapture},
                                           Cell{kIdle, C::SnapShot, 1, none, kIdle},
                                           Cell{kIdle, C::Trigger, 1, none, kTrigger},
                                           Cell{kIdle, C::Stop, 1, none, kIdle},
                                           Cell{kIdle, C::Close, 1, none, kIdle}),
                         cellName);

INSTANTIATE_TEST_SUITE_P(Previewing, ModeTable,
                         ::testing::Values(Cell{kPreview, C::StartPreview, 1, none, kPreview},
                                           Cell{kPreview, C::Preview, 1, none, kPreview},
                                           Cell{kPreview, C::CallBackPreview, 1, none, kPreview},
                                           Cell{kPreview, C::Capture, 0, refused, kPreview},
                                           Cell{kPreview, C::SnapShot, 0, refused, kPreview},
                                           Cell{kPreview, C::Trigger, 0, refused, kPreview},
                                           Cell{kPreview, C::Stop, 1, none, kIdle},
                                           Cell{kPreview, C::Close, 1, none, kIdle}),
                         cellName);

INSTANTIATE_TEST_SUITE_P(Capturing, ModeTable,
                         ::testing::Values(Cell{kCapture, C::StartPreview, 0, refused, kCapture},
                                           Cell{kCapture, C::Preview, 0, closedAfterRefusal, kIdle},
                                           Cell{kCapture, C::CallBackPreview, 0, closedAfterRefusal,
                                                kIdle},
                                           Cell{kCapture, C::Capture, 1, none, kCapture},
                                           Cell{kCapture, C::SnapShot, 1, none, kCapture},
                                           Cell{kCapture, C::Trigger, 0, refused, kCapture},
                                           Cell{kCapture, C::Stop, 1, none, kIdle},
                                           Cell{kCapture, C::Close, 1, none, kIdle}),
                         cellName);

// A Trigger while triggering is refused like the other conflicting commands: one loop only.
INSTANTIATE_TEST_SUITE_P(Triggering, ModeTable,
                         ::testing::Values(Cell{kTrigger, C::StartPreview, 0, refused, kTrigger},
                                           Cell{kTrigger, C::Preview, 0, closedAfterRefusal, kIdle},
                                           Cell{kTrigger, C::CallBackPreview, 0, closedAfterRefusal,
                                                kIdle},
                                           Cell{kTrigger, C::Capture, 0, refused, kTrigger},
                                           Cell{kTrigger, C::SnapShot, 0, refused, kTrigger},
                                           Cell{kTrigger, C::Trigger, 0, refused, kTrigger},
                                           Cell{kTrigger, C::Stop, 1, none, kIdle},
                                           Cell{kTrigger, C::Close, 1, none, kIdle}),
                         cellName);

}  // namespace
}  // namespace nivexa::camera::test
