#include "anim/gif_animation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace qv::anim {
namespace {

struct FakeTimer final : AnimationTimer {
  std::uint32_t interval = 0;
  bool on = false;
  void setInterval(std::uint32_t ms) override { interval = ms; }
  void setEnabled(bool value) override { on = value; }
  bool enabled() const override { return on; }
};

// Records every step of the animation as a short word, e.g. "d5 D1 inv".
struct FakeHost final : AnimationHost {
  std::vector<std::int32_t> delays;
  std::vector<std::string> log;
  int wraps = 0;
  std::function<void()> onChanged;

  std::int32_t frameCount() const override { return static_cast<std::int32_t>(delays.size()); }
  std::int32_t frameDelay(std::int32_t f) const override { return delays.at(static_cast<std::size_t>(f - 1)); }
  void disposeFrame(std::int32_t f) override { log.push_back("d" + std::to_string(f)); }
  void drawFrame(std::int32_t f) override { log.push_back("D" + std::to_string(f)); }
  void repaintDirect() override { log.push_back("paint"); }
  void invalidate() override { log.push_back("inv"); }
  void changing() override { log.push_back("<"); }
  void changed() override {
    log.push_back(">");
    if (onChanged) onChanged();
  }
  void wrapped() override {
    ++wraps;
    log.push_back("wrap");
  }
  std::string take() {
    std::string s;
    for (const auto& w : log) s += (s.empty() ? "" : " ") + w;
    log.clear();
    return s;
  }
};

struct AnimationFixture : ::testing::Test {
  FakeHost host;
  FakeTimer timer;
  GifAnimation anim{host, timer};

  // Loads n frames of delay ms, as the widget does after a parse, then paints once.
  void load(int n, std::int32_t delay, std::int32_t loopCount, bool animate = true) {
    anim.reset();
    host.delays.assign(static_cast<std::size_t>(n), delay);
    anim.loaded(loopCount, false);
    anim.setAnimate(animate);
    anim.applyTimerRule();
    host.take();
  }
};

TEST(FrameInterval, HasAFiftyMillisecondFloorScaledBySpeed) {
  EXPECT_EQ(frameInterval(0, 100), 50u);
  EXPECT_EQ(frameInterval(30, 100), 50u);
  EXPECT_EQ(frameInterval(30, 200), 25u);
  EXPECT_EQ(frameInterval(250, 100), 250u);
  EXPECT_EQ(frameInterval(50, 1), 5000u);
  EXPECT_EQ(frameInterval(50, 100000), 1u);  // never 0, which would stop the timer
  EXPECT_EQ(frameInterval(50, 0), 5000u);
}

TEST_F(AnimationFixture, LoadDrawsFrameOneAndTheFirstTickOnlySchedules) {
  host.delays.assign(8, 250);
  anim.loaded(0, false);
  EXPECT_EQ(host.take(), "< D1 >");
  EXPECT_EQ(timer.interval, 1u);
  EXPECT_FALSE(timer.on);  // starts with the first paint
  anim.setAnimate(true);
  anim.applyTimerRule();
  EXPECT_TRUE(timer.on);
  host.take();

  anim.tick();
  EXPECT_EQ(host.take(), "< >");
  EXPECT_EQ(timer.interval, 250u);
  EXPECT_EQ(anim.currentFrame(), 2);
  anim.tick();
  EXPECT_EQ(host.take(), "< d1 D2 paint >");
  EXPECT_EQ(anim.currentFrame(), 3);
}

TEST_F(AnimationFixture, LoopCountTwoPlaysTwiceAndStopsOnTheLastFrame) {
  load(8, 250, 2);
  std::vector<std::int32_t> frameDuringChange;
  host.onChanged = [&] { frameDuringChange.push_back(anim.currentFrame()); };
  int ticks = 0;
  while (timer.on && ticks < 100) {
    anim.tick();
    ++ticks;
  }
  EXPECT_EQ(ticks, 16);  // 8 per pass; the first tick of a load only schedules frame 2
  EXPECT_EQ(host.wraps, 2);
  EXPECT_EQ(frameDuringChange.back(), 9);  // past the end after a counted pass
  EXPECT_EQ(host.log[host.log.size() - 4], "D8");
  EXPECT_TRUE(anim.passesEnded());
  anim.applyTimerRule();
  EXPECT_FALSE(timer.on);

  // Turning Loop on restarts from frame 1 after frame 1's interval.
  host.delays[0] = 400;
  host.take();
  anim.setLoop(true);
  EXPECT_TRUE(timer.on);
  EXPECT_EQ(timer.interval, 400u);
  EXPECT_EQ(anim.currentFrame(), 1);
  anim.tick();
  EXPECT_EQ(host.take(), "< d8 D1 paint >");
}

TEST_F(AnimationFixture, LoopCountZeroOrLoopOnPlaysForEver) {
  load(3, 100, 0);
  for (int i = 0; i < 3 * 5; ++i) anim.tick();
  EXPECT_EQ(host.wraps, 5);
  EXPECT_TRUE(timer.on);
  EXPECT_EQ(anim.currentFrame(), 1);

  load(3, 100, 1);
  anim.setLoop(true);
  for (int i = 0; i < 3 * 4; ++i) anim.tick();
  EXPECT_EQ(host.wraps, 5 + 4);
  EXPECT_TRUE(timer.on);
}

TEST_F(AnimationFixture, AnimateOffAtFrameFiveShowsFrameOneAndResumesFromIt) {
  load(8, 250, 0);
  for (int i = 0; i < 5; ++i) anim.tick();  // schedule, then frames 2..5
  ASSERT_EQ(anim.currentFrame(), 6);
  host.take();
  host.delays[0] = 120;

  anim.setAnimate(false);
  EXPECT_EQ(host.take(), "d5 D1 inv");
  EXPECT_EQ(anim.currentFrame(), 1);
  EXPECT_FALSE(timer.on);
  anim.tick();  // a late tick does nothing
  EXPECT_EQ(host.take(), "");

  anim.setAnimate(true);
  EXPECT_TRUE(timer.on);
  EXPECT_EQ(timer.interval, 120u);
  anim.tick();
  EXPECT_EQ(host.take(), "< d8 D1 paint >");
  anim.tick();
  EXPECT_EQ(host.take(), "< d1 D2 paint >");
}

TEST_F(AnimationFixture, OneFrameImagesNeverTick) {
  load(1, 250, 0);
  EXPECT_FALSE(timer.on);
  anim.setAnimate(false);
  anim.setAnimate(true);
  anim.applyTimerRule();
  EXPECT_FALSE(timer.on);
}

TEST_F(AnimationFixture, CurrentFrameOutOfRangeChangesNothing) {
  load(8, 250, 0, false);
  EXPECT_FALSE(anim.setCurrentFrame(0));
  EXPECT_FALSE(anim.setCurrentFrame(9));
  EXPECT_EQ(host.take(), "");
  EXPECT_EQ(anim.currentFrame(), 1);
  EXPECT_TRUE(anim.setCurrentFrame(4));
  EXPECT_EQ(host.take(), "< d1 D4 paint >");

  anim.reset();
  host.delays.clear();
  EXPECT_FALSE(anim.setCurrentFrame(2));
}

TEST_F(AnimationFixture, SpeedIsAtLeastOneAndAChangeTicksAtOnce) {
  load(8, 50, 0);
  anim.tick();
  EXPECT_EQ(timer.interval, 50u);
  anim.setSpeed(0);
  EXPECT_EQ(anim.speed(), 1);
  EXPECT_EQ(timer.interval, 1u);
  anim.tick();
  EXPECT_EQ(timer.interval, 5000u);
  anim.setSpeed(-7);
  EXPECT_EQ(anim.speed(), 1);
}

TEST_F(AnimationFixture, NothingHappensWhileEmpty) {
  anim.setAnimate(true);
  anim.tick();
  anim.applyTimerRule();
  EXPECT_EQ(host.take(), "");
  EXPECT_FALSE(timer.on);
}

}  // namespace
}  // namespace qv::anim
