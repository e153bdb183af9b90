#include "imaging/ApplyKernel.h"

#include <gtest/gtest.h>

#include <vector>

namespace nivexa::imaging {
namespace {

struct Calls {
  int count = 0;
  KernelArgs last;
};

void recordingKernel(const KernelArgs& args) {
  auto* calls = static_cast<Calls*>(const_cast<void*>(args.params));
  ++calls->count;
  calls->last = args;
}

TEST(ApplyKernel, PassesWholeSourceAndLayoutsWhenNoRectangleIsGiven) {
  DibImage dst, src;
  ASSERT_EQ(dst.Create(8, 6, 24), 1);
  ASSERT_EQ(src.Create(5, 4, 16), 1);
  Calls calls;
  ASSERT_EQ(ApplyKernel(dst, recordingKernel, src, nullptr, 1, 2, &calls), 1);
  ASSERT_EQ(calls.count, 1);
  const KernelArgs& a = calls.last;
  EXPECT_EQ(a.rect.left, 0);
  EXPECT_EQ(a.rect.top, 0);
  EXPECT_EQ(a.rect.right, 5);
  EXPECT_EQ(a.rect.bottom, 4);
  EXPECT_EQ(a.dstX, 1);
  EXPECT_EQ(a.dstY, 2);
  EXPECT_EQ(a.dstBytesPerPixel, 3);
  EXPECT_EQ(a.srcBytesPerPixel, 2);
  EXPECT_EQ(a.dstStride, dst.stride());
  EXPECT_EQ(a.srcStride, src.stride());
  EXPECT_EQ(a.dst, dst.bits());
  EXPECT_EQ(a.src, src.bits());
}

TEST(ApplyKernel, ClipsAgainstSourceAndDestination) {
  DibImage dst, src;
  ASSERT_EQ(dst.Create(4, 4, 8), 1);
  ASSERT_EQ(src.Create(10, 10, 8), 1);
  Calls calls;
  Rect r{-3, 2, 20, 9};
  ASSERT_EQ(ApplyKernel(dst, recordingKernel, src, &r, 1, 0, &calls), 1);
  EXPECT_EQ(calls.last.rect.left, 0);
  EXPECT_EQ(calls.last.rect.top, 2);
  EXPECT_EQ(calls.last.rect.right, 3);   // destination columns 1..3
  EXPECT_EQ(calls.last.rect.bottom, 6);  // destination rows 0..3
  // A negative destination origin drops the leading source columns and rows.
  ASSERT_EQ(ApplyKernel(dst, recordingKernel, src, nullptr, -2, -1, &calls), 1);
  EXPECT_EQ(calls.last.rect.left, 2);
  EXPECT_EQ(calls.last.rect.top, 1);
  EXPECT_EQ(calls.last.rect.right, 6);
  EXPECT_EQ(calls.last.rect.bottom, 5);
  EXPECT_EQ(calls.last.dstX, 0);
  EXPECT_EQ(calls.last.dstY, 0);
}

TEST(ApplyKernel, EmptyClipOrMissingPixelsNeverCallsTheKernel) {
  DibImage dst, src, none;
  ASSERT_EQ(dst.Create(4, 4, 8), 1);
  ASSERT_EQ(src.Create(4, 4, 8), 1);
  Calls calls;
  Rect outside{5, 5, 9, 9};
  EXPECT_EQ(ApplyKernel(dst, recordingKernel, src, &outside, 0, 0, &calls), 0);
  EXPECT_EQ(ApplyKernel(dst, recordingKernel, src, nullptr, 4, 0, &calls), 0);
  EXPECT_EQ(ApplyKernel(dst, recordingKernel, none, nullptr, 0, 0, &calls), 0);
  EXPECT_EQ(ApplyKernel(none, recordingKernel, src, nullptr, 0, 0, &calls), 0);
  Rect inverted{3, 3, 1, 1};
  EXPECT_EQ(ApplyKernel(dst, recordingKernel, src, &inverted, 0, 0, &calls), 0);
  EXPECT_EQ(calls.count, 0);
}

}  // namespace
}  // namespace nivexa::imaging
