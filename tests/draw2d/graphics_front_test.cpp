// The graphics front over a scripted driver and a scripted clock: the sequence
// number, selection and cached settings, failure paths and Flip(-1)'s pacing.
#include "draw2d/graphics.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "platform/clock.h"
#include "platform/hook.h"
#include "platform/polled_input.h"

namespace {

uint64_t g_now = 5'000'000;
std::vector<int> g_sleeps;

uint64_t FakeClock() { return g_now; }
void FakeSleep(int ms) {
  g_sleeps.push_back(ms);
  g_now += static_cast<uint64_t>(ms);
}

struct TFakeDriver;

struct TFakeGraphics : TGraphics {
  Ref<TFakeDriver> driver;
  int w = 0, h = 0, d = 0, hz = 0, f = 0;
  bool closed = false;
  Ref<TGraphicsDriver> Driver() override;
  void GetSettings(int& width, int& height, int& depth, int& hertz, int& flags) override {
    width = w, height = h, depth = d, hertz = hz, flags = f;
  }
  void Close() override { closed = true; }
};

struct TFakeDriver : TGraphicsDriver, std::enable_shared_from_this<TFakeDriver> {
  enum { kWork, kFail, kThrow } mode = kWork;
  int flip_cost = 0;  // fake milliseconds one driver flip takes
  std::vector<int> flips;
  std::vector<TGraphics*> selected;
  std::vector<int> created_flags;

  std::vector<Ref<TGraphicsMode>> GraphicsModes() override { return {std::make_shared<TGraphicsMode>(1, 2, 3, 4)}; }
  Ref<TGraphics> AttachGraphics(unsigned long, int) override { return nullptr; }
  Ref<TGraphics> CreateGraphics(int width, int height, int depth, int hertz, int flags) override {
    created_flags.push_back(flags);
    if (mode == kFail) return nullptr;
    if (mode == kThrow) throw std::runtime_error("no visual");
    auto g = std::make_shared<TFakeGraphics>();
    g->driver = shared_from_this();
    g->w = width, g->h = height, g->d = depth, g->hz = hertz, g->f = flags;
    return g;
  }
  void SetGraphics(const Ref<TGraphics>& g) override { selected.push_back(g.get()); }
  void Flip(int sync) override {
    flips.push_back(sync);
    g_now += static_cast<uint64_t>(flip_cost);
  }
};

Ref<TGraphicsDriver> TFakeGraphics::Driver() { return driver; }

class GraphicsFrontTest : public ::testing::Test {
 protected:
  void SetUp() override {
    SetClockSource(FakeClock);
    SetPacingSleep(FakeSleep);
    driver = std::make_shared<TFakeDriver>();
    SetGraphicsDriver(driver, GraphicsFlagBackBuffer);
    SetGraphicsSeqForTest(0);
    g_sleeps.clear();
  }
  void TearDown() override {
    EndGraphics();
    SetPacingSleep(nullptr);
    SetClockSource(nullptr);
  }
  Ref<TFakeDriver> driver;
};

TEST_F(GraphicsFrontTest, SequenceRisesAtEachOpenAndCloseAndSkipsZero) {
  EXPECT_EQ(GraphicsSeq(), 0);
  auto first = Graphics(480, 320, 0, 60, 0);
  ASSERT_TRUE(first);
  EXPECT_EQ(GraphicsSeq(), 1);
  auto second = Graphics(800, 600, 0, 60, 0);
  ASSERT_TRUE(second);
  EXPECT_EQ(GraphicsSeq(), 3);
  EXPECT_TRUE(std::static_pointer_cast<TFakeGraphics>(first)->closed);
  EXPECT_FALSE(std::static_pointer_cast<TFakeGraphics>(second)->closed);
  EndGraphics();
  EXPECT_EQ(GraphicsSeq(), 4);
  EndGraphics();  // nothing open: no change
  EXPECT_EQ(GraphicsSeq(), 4);

  SetGraphicsSeqForTest(-1);  // 0xffffffff
  ASSERT_TRUE(Graphics(10, 10, 0, 0, 0));
  EXPECT_EQ(GraphicsSeq(), 1);
}

TEST_F(GraphicsFrontTest, OpeningSelectsCachesSettingsAndSwitchesPolledInput) {
  SetGraphicsDriver(driver, GraphicsFlagBackBuffer | GraphicsFlagDepthBuffer);
  EXPECT_EQ(DefaultGraphicsFlags(), 10);
  auto g = Graphics(640, 480, 0, 75, GraphicsFlagAlphaBuffer);
  ASSERT_TRUE(g);
  EXPECT_EQ(driver->created_flags.back(), 14);
  EXPECT_EQ(CurrentGraphics(), g);
  EXPECT_EQ(DefaultGraphics(), g);
  EXPECT_EQ(GraphicsWidth(), 640);
  EXPECT_EQ(GraphicsHeight(), 480);
  EXPECT_EQ(GraphicsDepth(), 0);
  EXPECT_EQ(GraphicsHertz(), 75);
  EXPECT_EQ(GraphicsFlags(), 14);
  ASSERT_FALSE(driver->selected.empty());
  EXPECT_EQ(driver->selected.back(), g.get());
  EXPECT_TRUE(PolledInputEnabled());
  ASSERT_EQ(GraphicsModes().size(), 1u);

  EndGraphics();
  EXPECT_FALSE(PolledInputEnabled());
  EXPECT_EQ(CurrentGraphics(), nullptr);
  EXPECT_EQ(DefaultGraphics(), nullptr);
  EXPECT_EQ(driver->selected.back(), nullptr);
  EXPECT_EQ(GraphicsWidth() | GraphicsHeight() | GraphicsHertz() | GraphicsFlags(), 0);
  EXPECT_TRUE(std::static_pointer_cast<TFakeGraphics>(g)->closed);
}

TEST_F(GraphicsFrontTest, FailedOrThrowingCreationGivesNullAndLeavesNothingSelected) {
  auto before = Graphics(320, 200, 0, 60, 0);
  ASSERT_TRUE(before);
  driver->mode = TFakeDriver::kFail;
  EXPECT_EQ(Graphics(800, 600, 0, 60, 0), nullptr);
  EXPECT_EQ(GraphicsSeq(), 2);  // raised for closing the first, not for the failure
  EXPECT_TRUE(std::static_pointer_cast<TFakeGraphics>(before)->closed);
  EXPECT_EQ(CurrentGraphics(), nullptr);
  EXPECT_EQ(GraphicsWidth(), 0);
  EXPECT_FALSE(PolledInputEnabled());

  driver->mode = TFakeDriver::kThrow;
  EXPECT_EQ(Graphics(800, 600, 0, 60, 0), nullptr);
  EXPECT_EQ(GraphicsSeq(), 2);

  // Front operations do nothing now: no flip reaches the driver.
  driver->flips.clear();
  Flip(0);
  Flip(-1);
  Flip(1);
  EXPECT_TRUE(driver->flips.empty());
  EXPECT_TRUE(g_sleeps.empty());
}

TEST_F(GraphicsFrontTest, SelectingAnotherDriversObjectDeselectsOnTheOldDriver) {
  auto other = std::make_shared<TFakeDriver>();
  auto mine = Graphics(100, 100, 0, 0, 0);
  ASSERT_TRUE(mine);
  auto foreign = other->CreateGraphics(50, 40, 0, 0, 0);
  SetGraphics(foreign);
  EXPECT_EQ(driver->selected.back(), nullptr);
  EXPECT_EQ(other->selected.back(), foreign.get());
  EXPECT_EQ(GetGraphicsDriver(), other);
  EXPECT_EQ(GraphicsWidth(), 50);
  // Flip(-1) on an object that is not the default one is not paced.
  Flip(-1);
  EXPECT_EQ(other->flips.back(), 0);
  EXPECT_TRUE(g_sleeps.empty());
  SetGraphics(nullptr);
  EXPECT_EQ(other->selected.back(), nullptr);
  SetGraphicsDriver(driver, GraphicsFlagBackBuffer);
}

TEST_F(GraphicsFrontTest, FlipRunsTheFlipHookBeforeTheSwap) {
  static int calls = 0;
  static bool data_null = false;
  static size_t flips_seen = 0;
  static TFakeDriver* drv = nullptr;
  drv = driver.get();
  calls = 0;
  THookFunc hook = [](int, Ref<TObject> data, Ref<TObject>) -> Ref<TObject> {
    ++calls;
    data_null = data == nullptr;
    flips_seen = drv->flips.size();
    return data;
  };
  AddHook(FlipHook(), hook, nullptr, 0);
  ASSERT_TRUE(Graphics(64, 64, 0, 0, 0));
  driver->flips.clear();
  Flip(0);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(data_null);
  EXPECT_EQ(flips_seen, 0u);
  EXPECT_EQ(driver->flips.size(), 1u);
  RemoveHook(FlipHook(), hook, nullptr);
}

TEST_F(GraphicsFrontTest, AutomaticFlipPacesSixtyHertzAtSixteenSeventeenSeventeen) {
  ASSERT_TRUE(Graphics(800, 600, 0, 60, 0));
  driver->flips.clear();
  for (int i = 0; i < 60; ++i) Flip(-1);
  ASSERT_EQ(g_sleeps.size(), 60u);
  int total = 0;
  for (size_t i = 0; i < g_sleeps.size(); ++i) {
    const int expected = i % 3 == 0 ? 16 : 17;
    EXPECT_EQ(g_sleeps[i], expected) << "frame " << i;
    total += g_sleeps[i];
  }
  EXPECT_EQ(total, 1000);
  for (int s : driver->flips) EXPECT_EQ(s, 0);  // paced in software, swapped at once
}

TEST_F(GraphicsFrontTest, ALateFrameMovesTheDueTimeToThePresentInsteadOfBursting) {
  ASSERT_TRUE(Graphics(800, 600, 0, 60, 0));
  Flip(-1);
  Flip(-1);
  g_sleeps.clear();
  g_now += 200;  // a frame that took far too long
  Flip(-1);
  EXPECT_TRUE(g_sleeps.empty());  // no wait for the late frame
  Flip(-1);
  Flip(-1);
  ASSERT_EQ(g_sleeps.size(), 2u);
  // The following frames are paced from the present again, not swapped back to back.
  EXPECT_GE(g_sleeps[0], 16);
  EXPECT_LE(g_sleeps[0], 17);
  EXPECT_GE(g_sleeps[1], 16);
  EXPECT_LE(g_sleeps[1], 17);
}

TEST_F(GraphicsFrontTest, WithoutARateOrWhenTheRetracePacesFlipChoosesTheSync) {
  // Window without a rate: swap at once.
  ASSERT_TRUE(Graphics(800, 600, 0, 0, 0));
  driver->flips.clear();
  Flip(-1);
  EXPECT_EQ(driver->flips, std::vector<int>{0});
  // Full screen without a rate: retrace sync.
  ASSERT_TRUE(Graphics(800, 600, 32, 0, 0));
  driver->flips.clear();
  Flip(-1);
  EXPECT_EQ(driver->flips, std::vector<int>{1});
  EXPECT_TRUE(g_sleeps.empty());

  // Full screen whose retrace flips take the period: measured, software pacing off.
  driver->flip_cost = 16;
  ASSERT_TRUE(Graphics(800, 600, 32, 60, 0));
  EXPECT_EQ(driver->flips.back(), 1);
  driver->flips.clear();
  Flip(-1);
  EXPECT_EQ(driver->flips, std::vector<int>{1});
  EXPECT_TRUE(g_sleeps.empty());

  // Flips far from the period: measuring gives up after a second, pacing stays on.
  driver->flip_cost = 5;
  const uint64_t start = g_now;
  ASSERT_TRUE(Graphics(800, 600, 32, 60, 0));
  EXPECT_GE(g_now - start, 1000u);
  EXPECT_LE(g_now - start, 1010u);
  driver->flips.clear();
  Flip(-1);
  EXPECT_EQ(driver->flips, std::vector<int>{0});
  EXPECT_EQ(g_sleeps.size(), 1u);
}

}  // namespace
