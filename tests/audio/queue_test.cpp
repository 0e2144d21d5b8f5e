// The output devices' queue target: one block when the machine keeps up, more
// after the device ran dry or nearly so twice in a short while, less again after
// a calm spell.
#include "audio/fa_queue.h"

#include <gtest/gtest.h>

#include "audio/fa_mixer.h"

namespace {
constexpr int kBlock = TFaMixer::kBlockFrames;
const int kCalmBlocks = TFaQueue::kCalmMs * 44100 / 1000 / kBlock;
const int kNearMiss = kBlock / 4 - 1;

void Calm(TFaQueue& q, int blocks) {
  for (int i = 0; i < blocks; ++i) q.Ready(q.Frames());
}
}  // namespace

TEST(FaQueue, GrowsOnlyWhenRunningDryOrNearlyTwiceAndForgetsAfterACalmSpell) {
  TFaQueue q(512, 44100);
  EXPECT_EQ(q.Frames(), kBlock);  // never less than a block
  for (int i = 0; i < 44100 / kBlock; ++i) q.Ready(0);  // a device filling up in its first second
  EXPECT_EQ(q.Frames(), kBlock);
  // One late wake-up is forgiven, and so is one a calm spell later.
  q.Ready(kNearMiss);
  Calm(q, kCalmBlocks);
  q.Ready(kNearMiss);
  EXPECT_EQ(q.Frames(), kBlock);
  q.Ready(kBlock / 4);  // a quarter block left is no near miss
  EXPECT_EQ(q.Frames(), kBlock);
  Calm(q, kCalmBlocks / 2);
  q.Ready(kNearMiss);  // the second within a few seconds
  EXPECT_EQ(q.Frames(), 2 * kBlock);
  q.Ready(kNearMiss);  // counting starts afresh after growing
  EXPECT_EQ(q.Frames(), 2 * kBlock);
  q.Ready(0);  // nothing left: it ran dry
  EXPECT_EQ(q.Frames(), 3 * kBlock);
  for (int i = 0; i < 10; ++i) q.RanDry();  // an underrun the device reports
  EXPECT_EQ(q.Frames(), q.MostFrames());
  EXPECT_EQ(q.MostFrames(), (1 + TFaQueue::kMaxExtraBlocks) * kBlock);
  // A block is given back after each calm spell; a near miss restarts the spell.
  Calm(q, kCalmBlocks - 1);
  q.Ready(kNearMiss);
  Calm(q, kCalmBlocks - 1);
  EXPECT_EQ(q.Frames(), q.MostFrames());
  Calm(q, 1);
  EXPECT_EQ(q.Frames(), q.MostFrames() - kBlock);
  Calm(q, TFaQueue::kMaxExtraBlocks * kCalmBlocks);
  EXPECT_EQ(q.Frames(), kBlock);
  // After a reset the device settles again.
  q.Restart();
  for (int i = 0; i < 44100 / kBlock; ++i) q.Ready(0);
  EXPECT_EQ(q.Frames(), kBlock);
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
