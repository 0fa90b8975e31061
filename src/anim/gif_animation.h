#pragma once
// The animation of a loaded GIF: which frame is shown next, how many passes have run, and
// when the timer should tick. Toolkit-free; the widget supplies the frames, the composing
// and the repaints through AnimationHost and the timer through AnimationTimer.
#include <cstdint>

namespace qv::anim {

// No frame shows for less than 50 ms at speed 100; never below 1 ms.
std::uint32_t frameInterval(std::int32_t delayMs, std::int32_t speed);

class AnimationTimer {
public:
  virtual ~AnimationTimer() = default;
  virtual void setInterval(std::uint32_t ms) = 0;
  virtual void setEnabled(bool on) = 0;
  virtual bool enabled() const = 0;
};

class AnimationHost {
public:
  virtual ~AnimationHost() = default;
  virtual std::int32_t frameCount() const = 0;
  virtual std::int32_t frameDelay(std::int32_t frame) const = 0;  // frame 1..frameCount
  // Composing; a frame outside 1..frameCount sets the index error and does nothing.
  virtual void disposeFrame(std::int32_t frame) = 0;
  virtual void drawFrame(std::int32_t frame) = 0;
  virtual void repaintDirect() = 0;
  virtual void invalidate() = 0;
  virtual void changing() = 0;
  virtual void changed() = 0;
  virtual void wrapped() = 0;
};

class GifAnimation {
public:
  GifAnimation(AnimationHost& host, AnimationTimer& timer) : host_(host), timer_(timer) {}

  // Back to "nothing loaded": timer off, frame 1, pass 1, loop count 1.
  void reset();
  // After a successful parse: loop count from the file, composite ready. Schedules an
  // immediate first tick and draws frame 1 between OnChanging and OnChange.
  void loaded(std::int32_t loopCount, bool infoOnly);

  // The timer's OnTimer.
  void tick();
  // The timer rule applied after every paint request: the animation starts with the first
  // paint after a load and stays stopped once its passes have ended.
  void applyTimerRule();

  bool animate() const { return animate_; }
  void setAnimate(bool value);
  bool loop() const { return loop_; }
  void setLoop(bool value);
  std::int32_t speed() const { return speed_; }
  void setSpeed(std::int32_t value);
  std::int32_t currentFrame() const { return currentFrame_; }
  // False (and nothing changes) for a frame outside 1..frameCount.
  bool setCurrentFrame(std::int32_t value);

  bool empty() const { return empty_; }
  bool infoOnly() const { return infoOnly_; }
  bool animated() const { return !empty_ && host_.frameCount() > 1; }
  std::int32_t loopCount() const { return loopCount_; }
  std::int32_t passCount() const { return passCount_; }
  // Stopped on its last frame after the file's counted passes.
  bool passesEnded() const { return !loop_ && loopCount_ > 0 && loopCount_ < passCount_; }

private:
  std::uint32_t intervalOf(std::int32_t frame) const;

  AnimationHost& host_;
  AnimationTimer& timer_;
  bool empty_ = true;
  bool infoOnly_ = false;
  bool animate_ = false;
  bool loop_ = false;
  std::int32_t speed_ = 100;
  std::int32_t currentFrame_ = 1;
  std::int32_t loopCount_ = 1;
  std::int32_t passCount_ = 1;
  bool firstTick_ = true;
};

}  // namespace qv::anim
