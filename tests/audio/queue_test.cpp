// The output devices' queue target: one block when the machine keeps up, more
// after the queue was found nearly empty, less again after a calm spell.
#include "audio/fa_queue.h"

#include <gtest/gtest.h>

#include "audio/fa_mixer.h"

namespace {
constexpr int kBlock = TFaMixer::kBlockFrames;
const int kCalmBlocks = TFaQueue::kCalmSeconds * 44100 / kBlock;
}  // namespace

TEST(FaQueue, GrowsWhenFoundNearlyEmptyAndShrinksAfterACalmSpell) {
  TFaQueue q(512, 44100);
  EXPECT_EQ(q.Frames(), kBlock);  // never less than a block
  for (int i = 0; i < 44100 / kBlock; ++i) q.Ready(0);  // a device filling up in its first second
  EXPECT_EQ(q.Frames(), kBlock);
  q.Ready(kBlock * 3 / 4);
  EXPECT_EQ(q.Frames(), kBlock);
  q.Ready(kBlock * 3 / 4 - 1);
  EXPECT_EQ(q.Frames(), 2 * kBlock);
  for (int i = 0; i < 10; ++i) q.RanDry();
  EXPECT_EQ(q.Frames(), q.MostFrames());
  EXPECT_EQ(q.MostFrames(), (1 + TFaQueue::kMaxExtraBlocks) * kBlock);
  for (int i = 0; i < kCalmBlocks - 1; ++i) q.Ready(q.Frames());
  EXPECT_EQ(q.Frames(), q.MostFrames());
  q.Ready(q.Frames());
  EXPECT_EQ(q.Frames(), q.MostFrames() - kBlock);
  for (int i = 0; i < 10 * kCalmBlocks; ++i) q.Ready(q.Frames());
  EXPECT_EQ(q.Frames(), kBlock);
  q.Restart();
  q.Ready(0);
  EXPECT_EQ(q.Frames(), kBlock);
  for (int i = 0; i < 44100 / kBlock; ++i) q.Ready(kBlock);
  q.Ready(0);
  EXPECT_EQ(q.Frames(), 2 * kBlock);
}

TEST(FaQueue, TakesTheNextBlockWhenEitherTheDelayOrWhatTheDeviceHoldsIsLowAndStaysInIt) {
  TFaQueue q(2048, 48000);  // a device whose period is two blocks
  EXPECT_EQ(q.Frames(), 2048);
  EXPECT_EQ(q.FramesToWait(2048, 2048), 0);
  EXPECT_EQ(q.FramesToWait(3000, 3000), 952);
  // A sound server far behind its client: the client never runs dry meanwhile.
  EXPECT_EQ(q.FramesToWait(20000, 1500), 1500 - 1024);
  EXPECT_EQ(q.FramesToWait(20000, 1024), 0);
  // Never more than the device holds.
  TFaQueue small(1024, 44100, 3 * kBlock + 100);
  for (int i = 0; i < 10; ++i) small.RanDry();
  EXPECT_EQ(small.Frames(), 3 * kBlock);
}
